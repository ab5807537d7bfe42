#include "sim/SimLineReader.h"

#include <cstring>

void SimLineReader::append(const char* data, int size)
{
    if (m_from > 0) {
        m_buffer.remove(0, m_from);
        m_from = 0;
    }
    m_buffer.append(data, size);
}

SimLineReader::Result SimLineReader::next(QByteArray* line)
{
    while (m_from < m_buffer.size()) {
        const int end = m_buffer.indexOf('\n', m_from);
        if (m_discarding) {
            if (end < 0) {
                m_buffer.resize(0);
                m_from = 0;
                return NeedMore;
            }
            m_discarding = false;
            m_from = end + 1;
            continue;
        }
        int length = (end < 0 ? m_buffer.size() : end) - m_from;
        if (end >= 0 && length > 0 && m_buffer.at(end - 1) == '\r')
            --length;
        if (length > m_maxLength) {
            m_discarding = end < 0;
            m_from = end < 0 ? m_buffer.size() : end + 1;
            return TooLong;
        }
        if (end < 0)
            return NeedMore;
        // Copied into the caller's buffer, which keeps its capacity from line to line.
        line->resize(length);
        std::memcpy(line->data(), m_buffer.constData() + m_from, size_t(length));
        m_from = end + 1;
        return Line;
    }
    m_buffer.resize(0);
    m_from = 0;
    return NeedMore;
}
