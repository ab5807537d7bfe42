#pragma once

#include "CalibrationHistory.h"

#include <QStringList>
#include <functional>

class IOManager;

// Puts a recorded calibration back on the controller as a transaction: the cameras must be the
// recorded ones, the current calibration is kept first, every write must be acknowledged and
// read back equal, and on any failure the kept calibration goes back. Every step is logged, and
// the report says what the log says: both stay English, like every event-log line.
class RestoreTransaction
{
public:
    struct Plan
    {
        int block = 0;
        QString date;
        QString configuration; // "description (id)" of the controller's active configuration
        QStringList cameras;   // "c01 20417", ...
        QStringList commands;
    };
    struct Report
    {
        bool success = false;
        bool changed = false; // whether anything was written to the controller
        bool reached = true;  // false when the controller did not answer the first read
        QString summary;
        QStringList cameras; // one line per camera saying what happened to it
    };
    using Logger = std::function<void(const QString&)>;
    using Confirm = std::function<bool(const Plan&)>;

    RestoreTransaction(IOManager* io, Logger log);

    Report restore(const CalibrationBlock& block, const QStringList& commands,
                   const Confirm& confirm);
    // Whether the controller holds exactly the block's calibration; writes nothing.
    Report verify(const CalibrationBlock& block, const QStringList& commands);

    // Whether an answer to "morvek2 get tracking room cNN" holds the values of the command that
    // sets them; numbers compare by value, so "1.50" equals "1.5".
    static bool sameRoom(const QString& answer, const QString& command);

private:
    bool checkCameras(const CalibrationBlock& block, QString* difference, Report* report);
    bool readRoom(int slot, QString* answer);
    bool send(const QString& command, QString* problem);
    Report fail(Report report, const QString& summary);
    void log(const QString& text);

    IOManager* m_io;
    Logger m_log;
};
