#pragma once

#include "plugin/IOManager.h"

#include <QSet>
#include <QString>
#include <QStringList>

class FakeIOManager;

// Passes every exchange on to a real command channel and keeps the first answer to each text
// in a FakeIOManager's table. Timed runs then replay that table, so their figures are the
// module's own cost and do not depend on how fast the controller (or its simulator) answers.
//
// Receivers and event-log entries stay here: the recording run needs neither.
class AnswerRecorder : public IOManager
{
public:
    AnswerRecorder(IOManager* controller, FakeIOManager* table);

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

    // Every exchange in order, written as FakeIOManager writes its calls, so that a replay can
    // be checked against the recording.
    QStringList calls;

private:
    void keep(const QString& op, const QString& text, int result, const QString& value);

    IOManager* m_controller;
    FakeIOManager* m_table;
    QSet<QString> m_known;
};
