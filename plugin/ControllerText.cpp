#include "ControllerText.h"

#include "IOManager.h"

#include <QVarLengthArray>

#include <cstring>

namespace ControllerText {

namespace {
// Every name the module builds is plain ASCII; controller texts round-trip as Latin-1.
QByteArray bytes(const QString& text)
{
    return text.toLatin1();
}
} // namespace

QStringList words(const QString& answer)
{
    return answer.split(QLatin1Char(' '));
}

QString word(const QString& answer, int index)
{
    const QStringList parts = words(answer);
    return index >= 0 && index < parts.size() ? parts.at(index) : QString();
}

QString withoutQuotes(QString text)
{
    return text.remove(QLatin1Char('"'));
}

QString numbered(char prefix, int number)
{
    return QStringLiteral("%1%2").arg(QLatin1Char(prefix)).arg(number, 2, 10, QLatin1Char('0'));
}

QString fromBuffer(const char* buffer)
{
    const void* end = std::memchr(buffer, 0, IOManager::AnswerBufferSize);
    const int length =
        end ? int(static_cast<const char*>(end) - buffer) : IOManager::AnswerBufferSize;
    return QString::fromLatin1(buffer, length);
}

bool getString(IOManager* io, const QString& name, QString* value)
{
    char answer[IOManager::AnswerBufferSize] = {};
    const bool ok = io->getString(answer, "%s", bytes(name).constData()) == 0;
    *value = ok ? fromBuffer(answer) : QString();
    return ok;
}

QString getStringOr(IOManager* io, const QString& name, const QString& fallback)
{
    QString value;
    return getString(io, name, &value) ? value : fallback;
}

bool sendCommand(IOManager* io, const QString& command, QString* answer)
{
    char buffer[IOManager::AnswerBufferSize] = {};
    const bool ok = io->sendCommand(buffer, "%s", bytes(command).constData()) == 0;
    if (answer)
        *answer = ok ? fromBuffer(buffer) : QString();
    return ok;
}

QString commandAnswer(IOManager* io, const QString& command)
{
    char buffer[IOManager::AnswerBufferSize] = {};
    io->sendCommand(buffer, "%s", bytes(command).constData());
    return fromBuffer(buffer);
}

bool setParameter(IOManager* io, const QString& text)
{
    return io->setParameter("%s", bytes(text).constData()) == 0;
}

bool getInt(IOManager* io, const QString& name, int* value)
{
    int read = 0;
    const bool ok = io->getInt(&read, "%s", bytes(name).constData()) == 0;
    if (ok)
        *value = read;
    return ok;
}

bool getDouble(IOManager* io, const QString& name, double* value)
{
    double read = 0.0;
    const bool ok = io->getDouble(&read, "%s", bytes(name).constData()) == 0;
    if (ok)
        *value = read;
    return ok;
}

bool getFlag(IOManager* io, const QString& name, bool* value)
{
    bool read = false;
    const bool ok = io->getFlag(&read, "%s", bytes(name).constData()) == 0;
    if (ok)
        *value = read;
    return ok;
}

bool getDoubles(IOManager* io, const QString& name, double* values, int count)
{
    // Read into a scratch copy so that a failed read leaves the caller's defaults alone.
    QVarLengthArray<double, 4> read(count);
    const bool ok = io->getDoubles(read.data(), count, "%s", bytes(name).constData()) == 0;
    if (ok)
        std::copy(read.cbegin(), read.cend(), values);
    return ok;
}

void log(IOManager* io, const QString& text)
{
    io->logMessage("standard", "MORVEK3", 1, bytes(text).constData());
}

} // namespace ControllerText
