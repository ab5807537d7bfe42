#include "sim/SimLineReader.h"

QVector<SimLineReader::Line> SimLineReader::feed(const QByteArray& bytes)
{
    QVector<Line> lines;
    int from = 0;
    while (from < bytes.size()) {
        const int end = bytes.indexOf('\n', from);
        const int stop = end < 0 ? bytes.size() : end;
        if (!m_discarding) {
            m_buffer.append(bytes.constData() + from, stop - from);
            if (m_buffer.endsWith('\r') && end >= 0)
                m_buffer.chop(1);
            if (m_buffer.size() > m_maxLength) {
                lines.append(Line{QByteArray(), true});
                m_buffer.clear();
                m_discarding = end < 0;
            } else if (end >= 0) {
                lines.append(Line{m_buffer, false});
                m_buffer.clear();
            }
        } else if (end >= 0) {
            m_discarding = false;
        }
        from = stop + 1;
    }
    return lines;
}
