#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

// The host's event log: what the modules and the host itself report to the operator.
class EventLog : public QObject
{
    Q_OBJECT

public:
    struct Entry
    {
        QString category;
        QString source;
        int level = 0;
        QString text;
        QDateTime time;
    };

    explicit EventLog(QObject* parent = nullptr);

    void append(const QString& category, const QString& source, int level, const QString& text);
    QList<Entry> entries() const { return m_entries; }
    // Oldest entries are dropped beyond this many, so a chatty module cannot exhaust memory.
    void setCapacity(int capacity);
    int capacity() const { return m_capacity; }

signals:
    void entryAdded(const EventLog::Entry& entry);

private:
    QList<Entry> m_entries;
    int m_capacity = 10000;
};
