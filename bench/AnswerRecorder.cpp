#include "AnswerRecorder.h"

#include "kit/FakeIOManager.h"
#include "kit/Formatting.h"
#include "plugin/ControllerText.h"

#include <vector>

namespace {
// Numbers go into the table in a form that reads back to the same double.
QString exact(double value)
{
    return QString::number(value, 'g', 17);
}
} // namespace

AnswerRecorder::AnswerRecorder(IOManager* controller, FakeIOManager* table)
    : m_controller(controller), m_table(table)
{
}

void AnswerRecorder::keep(const QString& op, const QString& text, int result, const QString& value)
{
    calls << op + QLatin1Char(' ') + text;
    if (m_known.contains(text))
        return;
    m_known.insert(text);
    if (result != 0)
        m_table->fail(text);
    else
        m_table->answer(text, value);
}

int AnswerRecorder::setChannelOption(int option, int value, int flags)
{
    calls << QStringLiteral("setChannelOption %1 %2 %3").arg(option).arg(value).arg(flags);
    return m_controller->setChannelOption(option, value, flags);
}

int AnswerRecorder::sendCommand(char* answer, const char* format, ...)
{
    FORMATTED(format);
    const QByteArray latin1 = text.toLatin1();
    const int result = m_controller->sendCommand(answer, "%s", latin1.constData());
    keep(QStringLiteral("sendCommand"), text, result,
         result == 0 ? ControllerText::fromBuffer(answer) : QString());
    return result;
}

int AnswerRecorder::getString(char* answer, const char* format, ...)
{
    FORMATTED(format);
    const QByteArray latin1 = text.toLatin1();
    const int result = m_controller->getString(answer, "%s", latin1.constData());
    keep(QStringLiteral("getString"), text, result,
         result == 0 ? ControllerText::fromBuffer(answer) : QString());
    return result;
}

int AnswerRecorder::getInt(int* value, const char* format, ...)
{
    FORMATTED(format);
    const QByteArray latin1 = text.toLatin1();
    int read = 0;
    const int result = m_controller->getInt(&read, "%s", latin1.constData());
    keep(QStringLiteral("getInt"), text, result, QString::number(read));
    if (result == 0)
        *value = read;
    return result;
}

int AnswerRecorder::getDouble(double* value, const char* format, ...)
{
    FORMATTED(format);
    const QByteArray latin1 = text.toLatin1();
    double read = 0.0;
    const int result = m_controller->getDouble(&read, "%s", latin1.constData());
    keep(QStringLiteral("getDouble"), text, result, exact(read));
    if (result == 0)
        *value = read;
    return result;
}

int AnswerRecorder::getFlag(bool* value, const char* format, ...)
{
    FORMATTED(format);
    const QByteArray latin1 = text.toLatin1();
    bool read = false;
    const int result = m_controller->getFlag(&read, "%s", latin1.constData());
    keep(QStringLiteral("getFlag"), text, result,
         read ? QStringLiteral("yes") : QStringLiteral("no"));
    if (result == 0)
        *value = read;
    return result;
}

int AnswerRecorder::getDoubles(double* values, int count, const char* format, ...)
{
    FORMATTED(format);
    const QByteArray latin1 = text.toLatin1();
    std::vector<double> read(size_t(qMax(count, 0)), 0.0);
    const int result = m_controller->getDoubles(read.data(), count, "%s", latin1.constData());
    QStringList numbers;
    for (double v : read)
        numbers << exact(v);
    keep(QStringLiteral("getDoubles"), text, result, numbers.join(QLatin1Char(' ')));
    if (result == 0)
        std::copy(read.begin(), read.end(), values);
    return result;
}

int AnswerRecorder::setParameter(const char* format, ...)
{
    FORMATTED(format);
    const QByteArray latin1 = text.toLatin1();
    const int result = m_controller->setParameter("%s", latin1.constData());
    keep(QStringLiteral("setParameter"), text, result, QString());
    return result;
}

int AnswerRecorder::logMessage(const char*, const char*, int, const char* text)
{
    calls << QStringLiteral("logMessage ") + QString::fromLatin1(text);
    return 0;
}

int AnswerRecorder::registerReceiver(const char* name, MessageReceiver*)
{
    calls << QStringLiteral("registerReceiver ") + QString::fromLatin1(name);
    return 0;
}

int AnswerRecorder::unregisterReceiver(const char* name, MessageReceiver*)
{
    calls << QStringLiteral("unregisterReceiver ") + QString::fromLatin1(name);
    return 0;
}
