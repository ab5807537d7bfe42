#pragma once

#include <QByteArray>
#include <QString>

// One request line to the controller, one answer line back. Implementations return false when no
// answer line arrived (the answer is then undefined) and keep a readable reason.
class ControllerTransport
{
public:
    virtual ~ControllerTransport() = default;

    // request and answer carry no line terminator.
    virtual bool transact(const QByteArray& request, QByteArray* answer) = 0;
    // How long one exchange may take; transports without waiting ignore it.
    virtual void setTimeout(int milliseconds) { Q_UNUSED(milliseconds); }
    virtual int timeout() const { return 0; }
    virtual QString lastError() const { return QString(); }
    // Called when an answer did not fit its request: whatever else is under way on the line
    // must not reach a later request.
    virtual void dropConnection() {}
    // A short description for the operator, e.g. "simulated controller" or "127.0.0.1:7000".
    virtual QString description() const = 0;
};
