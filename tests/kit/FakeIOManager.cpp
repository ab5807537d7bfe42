#include "FakeIOManager.h"
#include "Formatting.h"

#include "plugin/MessageReceiver.h"

#include <QVector>
#include <type_traits>

QStringList FakeIOManager::callsOf(const QString& op) const
{
    QStringList result;
    const QString prefix = op + QLatin1Char(' ');
    for (const QString& call : calls)
        if (call.startsWith(prefix))
            result << call.mid(prefix.size());
    return result;
}

void FakeIOManager::deliver(const char* message)
{
    const auto current = receivers;
    for (const auto& entry : current)
        entry.second->receiveMessage("Monitor2d", 0, message);
}

std::optional<FakeIOManager::Reply> FakeIOManager::reply(const QString& op, const QString& text)
{
    calls << op + QLatin1Char(' ') + text;
    if (m_failures.contains(text))
        return Reply{-1, QString()};
    if (m_handler)
        if (auto handled = m_handler(op, text))
            return handled;
    if (!m_answers.contains(text))
        return std::nullopt;
    return Reply{0, m_answers.value(text)};
}

int FakeIOManager::writeText(const QString& op, const QString& text, char* answer)
{
    const auto r = reply(op, text);
    if (!r)
        return -1;
    // A failing host need not leave the buffer alone: a failure with a text writes it too.
    if (r->result == 0 || !r->text.isEmpty())
        qstrncpy(answer, r->text.toLatin1().constData(), AnswerBufferSize);
    return r->result;
}

int FakeIOManager::setChannelOption(int option, int value, int flags)
{
    const auto r = reply(QStringLiteral("setChannelOption"),
                         QStringLiteral("%1 %2 %3").arg(option).arg(value).arg(flags));
    return r ? r->result : 0;
}

int FakeIOManager::sendCommand(char* answer, const char* format, ...)
{
    FORMATTED(format);
    return writeText(QStringLiteral("sendCommand"), text, answer);
}

int FakeIOManager::getString(char* answer, const char* format, ...)
{
    FORMATTED(format);
    return writeText(QStringLiteral("getString"), text, answer);
}

namespace {
template <typename T> bool parseWord(const QString& word, T* value)
{
    bool ok = false;
    if constexpr (std::is_same_v<T, bool>)
        ok = (*value = word == QLatin1String("yes")) || word == QLatin1String("no");
    else if constexpr (std::is_same_v<T, int>)
        *value = word.toInt(&ok);
    else
        *value = word.toDouble(&ok);
    return ok;
}
} // namespace

// One value is the whole answer; of several, extra words are ignored; all parse, or none is set.
template <typename T>
int FakeIOManager::valueRead(const QString& op, const QString& text, T* values, int count)
{
    const auto r = reply(op, text);
    if (!r || r->result != 0)
        return r ? r->result : -1;
    const QStringList words = r->text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() < count || (count == 1 && words.size() != 1))
        return -1;
    QVector<T> parsed(count);
    for (int i = 0; i < count; ++i)
        if (!parseWord(words.at(i), &parsed[i]))
            return -1;
    std::copy(parsed.begin(), parsed.end(), values);
    return 0;
}

int FakeIOManager::getInt(int* value, const char* format, ...)
{
    FORMATTED(format);
    return valueRead(QStringLiteral("getInt"), text, value, 1);
}

int FakeIOManager::getDouble(double* value, const char* format, ...)
{
    FORMATTED(format);
    return valueRead(QStringLiteral("getDouble"), text, value, 1);
}

int FakeIOManager::getFlag(bool* value, const char* format, ...)
{
    FORMATTED(format);
    return valueRead(QStringLiteral("getFlag"), text, value, 1);
}

int FakeIOManager::getDoubles(double* values, int count, const char* format, ...)
{
    FORMATTED(format);
    return valueRead(QStringLiteral("getDoubles"), text, values, count);
}

int FakeIOManager::setParameter(const char* format, ...)
{
    FORMATTED(format);
    const auto r = reply(QStringLiteral("setParameter"), text);
    return r ? r->result : 0;
}

int FakeIOManager::logMessage(const char* category, const char* source, int level, const char* text)
{
    const QString entry = QString::fromLatin1(text);
    calls << QStringLiteral("logMessage ") + entry;
    logLines << entry;
    if (qstrcmp(category, "standard") != 0 || qstrcmp(source, "MORVEK3") != 0 || level != 1)
        ++foreignLogEntries;
    return 0;
}

int FakeIOManager::registerReceiver(const char* name, MessageReceiver* receiver)
{
    calls << QStringLiteral("registerReceiver ") + QString::fromLatin1(name);
    receivers.append(qMakePair(QString::fromLatin1(name), receiver));
    return 0;
}

int FakeIOManager::unregisterReceiver(const char* name, MessageReceiver* receiver)
{
    calls << QStringLiteral("unregisterReceiver ") + QString::fromLatin1(name);
    receivers.removeAll(qMakePair(QString::fromLatin1(name), receiver));
    return 0;
}
