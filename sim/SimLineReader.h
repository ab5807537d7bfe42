#pragma once

#include <QByteArray>
#include <QVector>

// Cuts a byte stream into request lines. A client that sends more than the limit without a line
// end gets one "too long" entry for that line; the rest of it is dropped up to the next line end,
// so a runaway client cannot make the server buffer without bound.
class SimLineReader
{
public:
    struct Line
    {
        QByteArray text; // without the line end; empty when tooLong
        bool tooLong = false;
    };

    explicit SimLineReader(int maxLength = 4096) : m_maxLength(maxLength) {}

    QVector<Line> feed(const QByteArray& bytes);

private:
    int m_maxLength;
    QByteArray m_buffer;
    bool m_discarding = false;
};
