#pragma once

#include "plugin/IOManager.h"

#include <QHash>
#include <QPair>
#include <QSet>
#include <QStringList>
#include <functional>
#include <optional>

class MessageReceiver;

// A recording IOManager: answers from a table keyed by the formatted text, every exchange logged
// as "<operation> <formatted text>". Reads without an answer fail; a failure with a text leaves it
// in the buffer, as a careless host may; writes and registrations succeed unless made to fail.
class FakeIOManager : public IOManager
{
public:
    struct Reply
    {
        int result = 0;
        QString text;
    };
    // Consulted before the table; returning nothing falls through to the table.
    using Handler = std::function<std::optional<Reply>(const QString& op, const QString& text)>;

    void answer(const QString& text, const QString& value) { m_answers.insert(text, value); }
    void fail(const QString& text) { m_failures.insert(text); }
    void clearFailure(const QString& text) { m_failures.remove(text); }
    void setHandler(Handler handler) { m_handler = std::move(handler); }
    void clearCalls()
    {
        calls.clear();
        logLines.clear();
    }
    // Calls of one operation only, without the operation name.
    QStringList callsOf(const QString& op) const;
    // Sends a message to every registered receiver, as the host's bus would.
    void deliver(const char* message);

    int setChannelOption(int option, int value, int flags) override;
    int sendCommand(char* answer, const char* format, ...) override;
    int getString(char* answer, const char* format, ...) override;
    int getInt(int* value, const char* format, ...) override;
    int getDouble(double* value, const char* format, ...) override;
    int getFlag(bool* value, const char* format, ...) override;
    int getDoubles(double* values, int count, const char* format, ...) override;
    int setParameter(const char* format, ...) override;
    int logMessage(const char* category, const char* source, int level, const char* text) override;
    int registerReceiver(const char* name, MessageReceiver* receiver) override;
    int unregisterReceiver(const char* name, MessageReceiver* receiver) override;

    QStringList calls;
    QStringList logLines;
    // Event-log entries whose category, source or level were not the module's.
    int foreignLogEntries = 0;
    QList<QPair<QString, MessageReceiver*>> receivers;

private:
    // The reply for a read or command; nullopt when there is no answer.
    std::optional<Reply> reply(const QString& op, const QString& text);
    int writeText(const QString& op, const QString& text, char* answer);
    template <typename T>
    int valueRead(const QString& op, const QString& text, T* values, int count);

    QHash<QString, QString> m_answers;
    QSet<QString> m_failures;
    Handler m_handler;
};
