#include "ControllerIOManager.h"

#include "ControllerTransport.h"
#include "EventLog.h"
#include "MessageBus.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {
const QByteArray GetPrefix = "morvek2 get ";
const QByteArray SetPrefix = "morvek2 set ";
const QByteArray ErrorPrefix = "morvek2 err ";
const QByteArray BareError = "morvek2 err";
const QByteArray Acknowledged = "morvek2 ok";
constexpr int ControllerRefused = -4;

// The formatted text of a printf-style request; false for a missing or unusable format. Short
// texts, which are nearly all, are formatted on the stack.
bool vformat(const char* format, va_list args, QByteArray* text)
{
    if (!format)
        return false;
    char stack[256];
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(stack, sizeof stack, format, copy);
    va_end(copy);
    if (length < 0)
        return false;
    if (size_t(length) < sizeof stack) {
        *text = QByteArray(stack, length);
        return true;
    }
    text->resize(length);
    std::vsnprintf(text->data(), size_t(length) + 1, format, args);
    return true;
}

// Copies at most AnswerBufferSize - 1 bytes and the NUL; a NUL inside the text ends it early.
void copyAnswer(const QByteArray& text, char* answer)
{
    if (!answer)
        return;
    const int length = qMin(text.size(), IOManager::AnswerBufferSize - 1);
    std::memcpy(answer, text.constData(), size_t(length));
    answer[length] = '\0';
}

// Decimal words separated by single or repeated blanks; empty parts are not values.
QList<QByteArray> valueWords(const QByteArray& value)
{
    QList<QByteArray> words;
    for (const QByteArray& word : value.split(' '))
        if (!word.isEmpty())
            words << word;
    return words;
}

bool parseDouble(const QByteArray& word, double* value)
{
    bool ok = false;
    const double parsed = word.toDouble(&ok);
    // The module shows and computes with these; nan and inf are no measurement.
    if (!ok || !std::isfinite(parsed))
        return false;
    *value = parsed;
    return true;
}
} // namespace

ControllerIOManager::ControllerIOManager(ControllerTransport* transport, EventLog* log,
                                         MessageBus* bus)
    : m_transport(transport), m_log(log), m_bus(bus)
{
}

int ControllerIOManager::fail(int code, const QString& reason)
{
    m_lastError = reason;
    return code;
}

int ControllerIOManager::misfit(const QByteArray& request, const QByteArray& answer)
{
    // The line belongs to some other request, or to none: what follows it on the line cannot be
    // trusted either.
    m_transport->dropConnection();
    return fail(MalformedAnswer,
                QStringLiteral("answer does not fit \"%1\": %2")
                    .arg(QString::fromLatin1(request), QString::fromLatin1(answer)));
}

void ControllerIOManager::noteTransport(bool ok)
{
    // Only the changes reach the log: a lost controller would otherwise flood it with one line
    // per parameter the module reads.
    if (ok == m_reachable)
        return;
    m_reachable = ok;
    if (m_stateHandler)
        m_stateHandler(ok);
    if (!m_log)
        return;
    const QString where = m_transport->description();
    if (ok)
        m_log->append(QStringLiteral("standard"), QLatin1String(HostSource), 1,
                      QStringLiteral("controller %1 answers again").arg(where));
    else
        m_log->append(QStringLiteral("standard"), QLatin1String(HostSource), 2,
                      QStringLiteral("Error: controller %1 does not answer: %2")
                          .arg(where, m_transport->lastError()));
}

int ControllerIOManager::exchange(const QByteArray& request, QByteArray* answer)
{
    if (!m_transport)
        return fail(TransportFailure, QStringLiteral("no controller connection"));
    // One request is one line: an embedded line break would desynchronise every later answer.
    if (request.contains('\n') || request.contains('\r'))
        return fail(BadArguments, QStringLiteral("request contains a line break"));
    const bool ok = m_transport->transact(request, answer);
    if (m_timeoutToRestore > 0) {
        m_transport->setTimeout(m_timeoutToRestore);
        m_timeoutToRestore = 0;
    }
    noteTransport(ok);
    if (!ok)
        return fail(TransportFailure, m_transport->lastError());
    if (answer->startsWith(ErrorPrefix) || *answer == BareError) {
        const QByteArray rest = answer->mid(ErrorPrefix.size());
        const int blank = rest.indexOf(' ');
        bool numeric = false;
        const int number = (blank < 0 ? rest : rest.left(blank)).toInt(&numeric);
        const QString message =
            blank < 0 ? QString() : QString::fromLatin1(rest.mid(blank + 1)).remove('"');
        return fail(numeric && number != 0 ? number : ControllerRefused,
                    QStringLiteral("controller refused \"%1\": %2")
                        .arg(QString::fromLatin1(request), message));
    }
    return 0;
}

int ControllerIOManager::command(const QByteArray& request, QByteArray* answer)
{
    if (const int result = exchange(request, answer))
        return result;
    // A read's answer names its parameter and a write's is "ok"; any other command must not be
    // answered as if it were a read.
    const bool fits = request.startsWith(GetPrefix)
                          ? echoes(*answer, request.constData() + GetPrefix.size(), nullptr)
                      : request.startsWith(SetPrefix) ? *answer == Acknowledged
                                                      : !answer->startsWith(SetPrefix);
    return fits ? 0 : misfit(request, *answer);
}

bool ControllerIOManager::echoes(const QByteArray& answer, const char* name, QByteArray* value)
{
    // "morvek2 set X value", or "morvek2 set X" for an empty value.
    const int nameLength = int(std::strlen(name));
    const int end = SetPrefix.size() + nameLength;
    if (!answer.startsWith(SetPrefix) || answer.size() < end ||
        std::memcmp(answer.constData() + SetPrefix.size(), name, size_t(nameLength)) != 0 ||
        (answer.size() > end && answer.at(end) != ' '))
        return false;
    if (value)
        *value = answer.mid(end + 1);
    return true;
}

int ControllerIOManager::readParameter(const QByteArray& name, QByteArray* value)
{
    QByteArray request;
    request.reserve(GetPrefix.size() + name.size());
    request.append(GetPrefix).append(name);
    QByteArray answer;
    if (const int result = exchange(request, &answer))
        return result;
    return echoes(answer, name.constData(), value) ? 0 : misfit(request, answer);
}

int ControllerIOManager::formatted(const char* format, va_list args, QByteArray* text)
{
    return vformat(format, args, text) ? 0 : fail(BadArguments, QStringLiteral("unusable format"));
}

int ControllerIOManager::readFormatted(const char* format, va_list args, QByteArray* name,
                                       QByteArray* value)
{
    if (const int result = formatted(format, args, name))
        return result;
    return readParameter(*name, value);
}

int ControllerIOManager::setChannelOption(int option, int value, int flags)
{
    m_options.append({option, value, flags});
    if (option == TimeoutOption && value > 0 && m_transport) {
        // A second option before any exchange must not make its raised value the default.
        if (m_timeoutToRestore == 0)
            m_timeoutToRestore = m_transport->timeout();
        m_transport->setTimeout(value);
    }
    return 0;
}

int ControllerIOManager::sendCommand(char* answer, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    QByteArray request;
    int result = formatted(format, args, &request);
    va_end(args);
    QByteArray text;
    if (result == 0)
        result = command(request, &text);
    // A refusal is handed over as well: its text is the only place the reason can come from.
    if (result == 0 || text.startsWith(ErrorPrefix))
        copyAnswer(text, answer);
    return result;
}

int ControllerIOManager::getString(char* answer, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    QByteArray name, value;
    const int result = readFormatted(format, args, &name, &value);
    va_end(args);
    if (result == 0)
        copyAnswer(value, answer);
    return result;
}

int ControllerIOManager::readChecked(const char* format, va_list args, const QString& unfit,
                                     const std::function<bool(const QByteArray&)>& take)
{
    QByteArray name, text;
    if (const int result = readFormatted(format, args, &name, &text))
        return result;
    if (!take(text))
        return fail(MalformedAnswer,
                    QStringLiteral("\"%1\" %2: %3")
                        .arg(QString::fromLatin1(name), unfit, QString::fromLatin1(text)));
    return 0;
}

int ControllerIOManager::getInt(int* value, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int result =
        readChecked(format, args, QStringLiteral("is no integer"), [value](const QByteArray& text) {
            bool ok = false;
            const int parsed = text.trimmed().toInt(&ok, 10);
            if (ok && value)
                *value = parsed;
            return ok;
        });
    va_end(args);
    return result;
}

int ControllerIOManager::getDouble(double* value, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int result =
        readChecked(format, args, QStringLiteral("is no number"), [value](const QByteArray& text) {
            double parsed = 0;
            const bool ok = parseDouble(text.trimmed(), &parsed);
            if (ok && value)
                *value = parsed;
            return ok;
        });
    va_end(args);
    return result;
}

int ControllerIOManager::getFlag(bool* value, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int result =
        readChecked(format, args, QStringLiteral("is no yes/no"), [value](const QByteArray& text) {
            const QByteArray word = text.trimmed();
            const bool ok = word == "yes" || word == "no";
            if (ok && value)
                *value = word == "yes";
            return ok;
        });
    va_end(args);
    return result;
}

int ControllerIOManager::getDoubles(double* values, int count, const char* format, ...)
{
    if (count <= 0 || !values)
        return fail(BadArguments, QStringLiteral("no room for values"));
    va_list args;
    va_start(args, format);
    // Extra values are the controller's business (newer versions append fields); missing or
    // malformed ones fail the whole read so that no half-filled vector is used.
    const int result =
        readChecked(format, args, QStringLiteral("does not hold %1 numbers").arg(count),
                    [values, count](const QByteArray& text) {
                        const QList<QByteArray> words = valueWords(text);
                        bool ok = words.size() >= count;
                        std::vector<double> parsed(ok ? size_t(count) : 0, 0.0);
                        for (int i = 0; ok && i < count; ++i)
                            ok = parseDouble(words.at(i), &parsed[size_t(i)]);
                        if (ok)
                            std::copy(parsed.begin(), parsed.end(), values);
                        return ok;
                    });
    va_end(args);
    return result;
}

int ControllerIOManager::setParameter(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    QByteArray assignment;
    const int result = formatted(format, args, &assignment);
    va_end(args);
    if (result)
        return result;
    QByteArray request, answer;
    request.reserve(SetPrefix.size() + assignment.size());
    request.append(SetPrefix).append(assignment);
    return command(request, &answer);
}

int ControllerIOManager::logMessage(const char* category, const char* source, int level,
                                    const char* text)
{
    if (!m_log)
        return 0;
    m_log->append(QString::fromLatin1(category), QString::fromLatin1(source), level,
                  QString::fromLatin1(text));
    return 0;
}

int ControllerIOManager::registerReceiver(const char* name, MessageReceiver* receiver)
{
    if (!m_bus || !name)
        return -1;
    return m_bus->registerReceiver(QByteArray(name), receiver);
}

int ControllerIOManager::unregisterReceiver(const char* name, MessageReceiver* receiver)
{
    if (!m_bus || !name)
        return -1;
    return m_bus->unregisterReceiver(QByteArray(name), receiver);
}
