#include "EventLog.h"

EventLog::EventLog(QObject* parent) : QObject(parent) {}

void EventLog::append(const QString& category, const QString& source, int level,
                      const QString& text)
{
    const Entry entry{category, source, level, text, QDateTime::currentDateTime()};
    m_entries.append(entry);
    while (m_entries.size() > m_capacity)
        m_entries.removeFirst();
    emit entryAdded(entry);
}

void EventLog::setCapacity(int capacity)
{
    m_capacity = qMax(1, capacity);
    while (m_entries.size() > m_capacity)
        m_entries.removeFirst();
}
