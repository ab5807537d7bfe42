#pragma once

#include <QByteArray>

// Cuts a byte stream into request lines. A client that sends more than the limit without a line
// end gets one "too long" entry for that line; the rest of it is dropped up to the next line end,
// so a runaway client cannot make the server buffer without bound. The caller appends input only
// when next() has no line left, which keeps the buffer below the limit plus one appended chunk.
class SimLineReader
{
public:
    enum Result { NeedMore, Line, TooLong };

    explicit SimLineReader(int maxLength = 4096) : m_maxLength(maxLength)
    {
        m_buffer.reserve(8192); // kept when emptied
    }

    void append(const char* data, int size);
    // The next line without its line end (and without a CR before it), into *line.
    Result next(QByteArray* line);

private:
    int m_maxLength;
    QByteArray m_buffer;
    int m_from = 0; // start of the unread part of m_buffer
    bool m_discarding = false;
};
