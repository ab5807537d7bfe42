#include "ChaosIOManager.h"

#include "plugin/MessageReceiver.h"

#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>
#include <vector>

namespace {
QString vformat(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length < 0)
        return QString();
    std::vector<char> buffer(size_t(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    return QString::fromLatin1(buffer.data(), length);
}

#define FORMATTED(format)                                                                          \
    va_list args;                                                                                  \
    va_start(args, format);                                                                        \
    const QString text = vformat(format, args);                                                    \
    va_end(args)

constexpr int RecentExchanges = 40;

// The text after a fixed prefix, e.g. the camera name of "roomcal fixed_camera c03".
QString after(const QString& name, const QString& prefix)
{
    return name.mid(prefix.size());
}

QString escaped(const QByteArray& bytes)
{
    QString out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 32 && u < 127)
            out += QLatin1Char(c);
        else
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
    }
    return out;
}
} // namespace

ChaosIOManager::ChaosIOManager(quint32 seed)
{
    reseed(seed);
}

void ChaosIOManager::reseed(quint32 seed)
{
    m_seed = seed;
    m_random.seed(seed);
    // A healthy system keeps its size for a while.
    m_cameras = chance(0.1) ? 0 : uniform(1, 8);
    m_configs = uniform(1, 5);
}

int ChaosIOManager::uniform(int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(m_random);
}

bool ChaosIOManager::chance(double probability)
{
    return std::uniform_real_distribution<double>(0.0, 1.0)(m_random) < probability;
}

QString ChaosIOManager::pick(const QStringList& choices)
{
    return choices.at(uniform(0, choices.size() - 1));
}

QByteArray ChaosIOManager::randomBytes(int minLength, int maxLength)
{
    QByteArray bytes(uniform(minLength, maxLength), Qt::Uninitialized);
    for (char& c : bytes)
        c = char(uniform(1, 255));
    return bytes;
}

ChaosIOManager::Kind ChaosIOManager::drawKind()
{
    const std::vector<std::pair<int, Kind>> table = {{m_odds.plausible, Kind::Plausible},
                                                     {m_odds.failure, Kind::Failure},
                                                     {m_odds.empty, Kind::Empty},
                                                     {m_odds.longText, Kind::LongText},
                                                     {m_odds.extraWords, Kind::ExtraWords},
                                                     {m_odds.missingWords, Kind::MissingWords},
                                                     {m_odds.doubledBlanks, Kind::DoubledBlanks},
                                                     {m_odds.notANumber, Kind::NotANumber},
                                                     {m_odds.nonFinite, Kind::NonFinite},
                                                     {m_odds.formatText, Kind::FormatText},
                                                     {m_odds.randomBytes, Kind::RandomBytes}};
    int total = 0;
    for (const auto& entry : table)
        total += qMax(0, entry.first);
    if (total <= 0)
        return Kind::Plausible;
    int draw = uniform(0, total - 1);
    for (const auto& entry : table) {
        draw -= qMax(0, entry.first);
        if (draw < 0)
            return entry.second;
    }
    return Kind::Plausible;
}

int ChaosIOManager::failureCode()
{
    static const int codes[] = {-1, 1, 2, -42, INT_MIN, INT_MAX};
    return codes[uniform(0, int(std::size(codes)) - 1)];
}

// ---------------------------------------------------------------------------------------------
// What a healthy controller could answer

QString ChaosIOManager::runStatus(bool stepwise)
{
    if (m_running) {
        if (m_runPolls > 0) {
            --m_runPolls;
            if (!stepwise)
                return QStringLiteral("cal");
            return chance(0.1) ? QStringLiteral("pause 1") : pick({"cal 1", "cal 2"});
        }
        m_running = false;
        return chance(0.7) ? QStringLiteral("none") : QStringLiteral("err");
    }
    // Outside a run: tracking idle, tracking running, an old error or something unknown.
    const int draw = uniform(0, 99);
    if (draw < 50)
        return QStringLiteral("none");
    if (draw < 75)
        return stepwise ? QStringLiteral("cal 1") : QStringLiteral("cal");
    if (draw < 88)
        return QStringLiteral("err");
    return QStringLiteral("tracking");
}

QString ChaosIOManager::plausible(const QString& op, const QString& name)
{
    const auto yesNo = [this](double yes) {
        return chance(yes) ? QStringLiteral("yes") : QStringLiteral("no");
    };
    const auto is = [&name](const char* text) { return name == QLatin1String(text); };
    const auto starts = [&name](const char* text) { return name.startsWith(QLatin1String(text)); };

    // Calibration run
    if (is("status active"))
        return runStatus(false);
    if (is("status step_active"))
        return runStatus(true);
    if (is("status progress")) {
        if (m_running && chance(0.6))
            m_progress = qMin(1.0, m_progress + double(uniform(1, 25)) / 100.0);
        return QString::number(m_progress, 'g', 6);
    }
    if (is("status step_progress"))
        return QStringLiteral("%1 %2").arg(uniform(1, 2)).arg(double(uniform(0, 100)) / 100.0);
    if (starts("cal step_duration "))
        return pick({"40", "41.5", "10", "0"});
    if (starts("cal step_pause "))
        return chance(0.85) ? QStringLiteral("no") : QStringLiteral("yes 1");
    if (starts("cal type_desc "))
        return QStringLiteral("\"Room calibration\"");
    if (starts("cal number_of_steps "))
        return chance(0.85) ? QStringLiteral("1") : QStringLiteral("2");
    if (is("cal available room"))
        return yesNo(0.85);
    if (starts("morvek2 cal ") && name.endsWith(QLatin1String(" start"))) {
        if (!chance(0.9))
            return QStringLiteral("morvek2 err \"calibration already running\"");
        m_running = true;
        m_runPolls = uniform(0, m_maxRunPolls);
        m_progress = 0.0;
        return QStringLiteral("morvek2 ok");
    }
    if (starts("morvek2 cal ") && name.endsWith(QLatin1String(" stop"))) {
        m_running = false;
        return QStringLiteral("morvek2 ok");
    }
    if (is("morvek2 get status err"))
        return pick({"morvek2 get status err \"wand lost in camera c02\"",
                     "morvek2 get status err \"%s%n 100% failed\"", "morvek2 get status err"});
    if (starts("morvek2 get status camera_progress "))
        return QStringLiteral("morvek2 get status camera_progress %1 %2")
            .arg(after(name, QStringLiteral("morvek2 get status camera_progress ")))
            .arg(pick({"0", "0.004", "0.29", "0.5", "1.0", "1.2"}));
    if (starts("morvek2 get cal step_pause "))
        return name + QStringLiteral(" yes %1").arg(uniform(0, 2));

    // Opening the dialog
    if (is("tracking available") || is("config is_changeable"))
        return yesNo(0.8);
    if (is("roomcal has_type wand_no_angle"))
        return yesNo(0.7);
    if (is("roomcal duration"))
        return pick({"30", "30", "30", "45", "12.5"});
    if (is("roomcal wand_length"))
        return pick({"410", "410", "184", "204.63", "0"});
    if (is("roomcal angle"))
        return pick(
            {"278 163 83", "384 225 114", "192 112.5 57", "240 150 90", "0 0 0", "278 83 163"});
    if (is("roomcal angle_height"))
        return pick({"55", "15.5", "43", "40", "0"});
    if (is("roomcal coordinate_type"))
        return pick({"normal", "powerwall", "powerwall_standing", "mid_camera", "Normal"});
    if (is("roomcal type"))
        return pick({"wand", "wand", "wand_no_angle"});
    if (is("roomcal last_date"))
        return pick(
            {"'2023-05-04 10:20:30'", "none", "1970-01-01 00:00:00", "1970-01-01T00:00:00"});
    if (is("roomcal number_of_available_coordinate_types"))
        return QString::number(uniform(0, 5));
    if (starts("roomcal available_coordinate_type_desc "))
        return QStringLiteral("\"%1 system\"")
            .arg(after(name, QStringLiteral("roomcal available_coordinate_type_desc ")));
    if (starts("roomcal available_coordinate_type "))
        return pick({"normal", "powerwall", "powerwall_standing", "mid_camera", "first_camera",
                     "\"quoted\""});
    if (is("roomcal fixed_camera_min_number"))
        return QString::number(uniform(0, 3));
    if (starts("roomcal fixed_camera ") || starts("roomcal has_reference "))
        return yesNo(0.6);

    // Cameras
    if (is("camera number_of_cameras"))
        return QString::number(m_cameras);
    if (starts("camera serial_desc "))
        return QStringLiteral("\"SN %1\"").arg(uniform(1000, 9999));
    if (starts("camera camera "))
        return pick({"0x0c01", "0x0C00", "0x0701", "0x0B01", "0x0d02"}) +
               QStringLiteral(" %1").arg(uniform(1, 9999));
    if (starts("morvek2 get camera camera "))
        return name + QLatin1Char(' ') + pick({"0x0c01", "0x0701", "0x0B01", "0x0d02"}) +
               QStringLiteral(" %1").arg(uniform(1, 9999));
    if (starts("morvek2 get camera model_desc "))
        return name + pick({" \"MX40\"", " MX20", ""});

    // Result and room adjustment
    if (is("roomcal wand_residual"))
        return pick({"0.12345 1.5", "12.3 0", "0 0"});
    if (starts("roomcal cam_residual "))
        return pick({"0.08 0.987", "0 1.0", "0.3 0.005", "0.1 0.999"});
    if (starts("roomcal new "))
        return QStringLiteral("1 0 0 0 1 0 0 0 1 %1 0 0").arg(uniform(0, 5000));
    if (is("tracking extra_rotation"))
        return pick({"1 0 0 0 1 0 0 0 1", "1 0 0 0 1 0 0 0 1", "0.999 0 0 0 1 0 0 0 1",
                     "0.98 -0.17 0 0.17 0.98 0 0 0 1", "1  0 0 0 1 0 0 0 1"});
    if (is("tracking extra_translation"))
        return pick({"0 0 0", "0 0 0", "0 0 0.001", "10 0 0"});
    if (is("tracking extra_scaling"))
        return pick({"1", "1", "1.0001"});

    // Configurations
    if (is("config number_of_configs"))
        return QString::number(m_configs);
    if (is("config active_config"))
        return m_activeConfig;
    if (starts("config config t"))
        return after(name, QStringLiteral("config config "));
    if (starts("config desc_of_config "))
        return QStringLiteral("\"Config %1\"")
            .arg(after(name, QStringLiteral("config desc_of_config ")));
    if (is("config desc"))
        return QStringLiteral("\"Active \"hall\"\"");
    if (starts("config owner_of_config "))
        return pick({"\"operator\"", "admin", ""});
    if (starts("config config_has_password "))
        return yesNo(0.3);
    if (starts("morvek2 get tracking room "))
        return QStringLiteral("morvek2 set tracking room %1 %2 0 0 0 1 0 0 0 1 0 0 0")
            .arg(after(name, QStringLiteral("morvek2 get tracking room ")),
                 chance(0.1) ? QStringLiteral("none") : QStringLiteral("1"));

    if (op == QLatin1String("sendCommand"))
        return QStringLiteral("morvek2 ok");
    if (op == QLatin1String("getInt"))
        return QString::number(uniform(0, 10));
    if (op == QLatin1String("getDouble") || op == QLatin1String("getDoubles"))
        return QStringLiteral("1.0 2.0 3.0");
    return pick({"yes", "no", "none", "1"});
}

// ---------------------------------------------------------------------------------------------
// What a confused controller could answer

QByteArray ChaosIOManager::textAnswer(Kind kind, const QString& plausibleText)
{
    const QByteArray base = plausibleText.toLatin1();
    switch (kind) {
    case Kind::Plausible:
    case Kind::Failure:
        return base;
    case Kind::Empty:
        return QByteArray();
    case Kind::LongText: {
        QByteArray text = base.isEmpty() ? QByteArray("x") : base;
        while (text.size() < IOManager::AnswerBufferSize - 1)
            text += ' ' + text;
        return text.left(IOManager::AnswerBufferSize - 1);
    }
    case Kind::ExtraWords: {
        QByteArray text = base;
        const int extra = uniform(1, 5);
        for (int i = 0; i < extra; ++i)
            text += ' ' + pick({"yes", "no", "0", "-1", "none", "x", "1e5"}).toLatin1();
        return text;
    }
    case Kind::MissingWords: {
        const QList<QByteArray> words = base.split(' ');
        return words.mid(0, uniform(0, qMax(0, words.size() - 1))).join(' ');
    }
    case Kind::DoubledBlanks: {
        QByteArray text = base;
        text.replace(" ", "  ");
        return (chance(0.5) ? " " : "") + text + (chance(0.5) ? " " : "");
    }
    case Kind::NotANumber:
        return pick({"abc", "1.2.3", "--", "0x", "yes 5x", "1e", "n/a", "yes", "0,5"}).toLatin1();
    case Kind::NonFinite: {
        const QByteArray value = pick({"nan", "inf", "-inf", "1e999", "-1e999", "NaN"}).toLatin1();
        QList<QByteArray> words = base.split(' ');
        if (words.isEmpty() || chance(0.4))
            return value;
        words[uniform(0, words.size() - 1)] = value;
        return words.join(' ');
    }
    case Kind::FormatText:
        return pick({"%s%n%x", "\"%s\"", "\"", "'%n'", "\"unterminated", "%1 %2 %%", "''",
                     "\"\"\"\"", "morvek2 ok \"%s\" %n"})
            .toLatin1();
    case Kind::RandomBytes:
        return randomBytes(1, IOManager::AnswerBufferSize - 1);
    }
    return base;
}

int ChaosIOManager::chaoticInt(const QString& name)
{
    if (name.contains(QLatin1String("number_of"))) {
        // Hundreds of cameras make every workflow slow; they come now and then, not often.
        const int draw = uniform(0, 9);
        if (draw < 2)
            return -5;
        if (draw < 4)
            return uniform(-1, 0);
        if (draw < 8)
            return uniform(1, 12);
        if (draw < 9)
            return uniform(13, 60);
        return uniform(100, 300);
    }
    switch (uniform(0, 4)) {
    case 0:
        return INT_MIN;
    case 1:
        return INT_MAX;
    case 2:
        return -1;
    case 3:
        return 0;
    default:
        return int(m_random());
    }
}

double ChaosIOManager::chaoticDouble()
{
    switch (uniform(0, 9)) {
    case 0:
        return std::numeric_limits<double>::quiet_NaN();
    case 1:
        return std::numeric_limits<double>::infinity();
    case 2:
        return -std::numeric_limits<double>::infinity();
    case 3:
        return std::numeric_limits<double>::max();
    case 4:
        return -std::numeric_limits<double>::max();
    case 5:
        return std::numeric_limits<double>::denorm_min();
    case 6:
        return -0.0;
    case 7:
        return -1.0;
    case 8:
        return 1e9;
    default:
        return std::uniform_real_distribution<double>(-1e6, 1e6)(m_random);
    }
}

// ---------------------------------------------------------------------------------------------
// Exchanges

void ChaosIOManager::record(const QString& op, const QString& text, int result,
                            const QByteArray& answer)
{
    ++m_exchanges;
    ++m_byOperation[op];
    m_recent << QStringLiteral("%1 %2 -> %3 \"%4\"")
                    .arg(op, escaped(text.toLatin1()))
                    .arg(result)
                    .arg(escaped(answer));
    while (m_recent.size() > RecentExchanges)
        m_recent.removeFirst();
    if (m_observer)
        m_observer(op, text, result, answer);
}

QStringList ChaosIOManager::recent() const
{
    return m_recent;
}

int ChaosIOManager::textExchange(const QString& op, const QString& name, char* answer)
{
    const Kind kind = drawKind();
    // The plausible answer is drawn even for a failure, so that the modelled run advances alike.
    const QString sensible = plausible(op, name);
    if (kind == Kind::Failure) {
        const int code = failureCode();
        QByteArray garbage;
        // The host need not touch the buffer on failure; sometimes it leaves rubbish there.
        if (chance(0.5)) {
            garbage = randomBytes(0, IOManager::AnswerBufferSize - 1);
            std::memcpy(answer, garbage.constData(), size_t(garbage.size()));
            answer[garbage.size()] = '\0';
        }
        record(op, name, code, garbage);
        return code;
    }
    const QByteArray bytes = textAnswer(kind, sensible).left(IOManager::AnswerBufferSize - 1);
    std::memcpy(answer, bytes.constData(), size_t(bytes.size()));
    answer[bytes.size()] = '\0';
    record(op, name, 0, bytes);
    return 0;
}

int ChaosIOManager::setChannelOption(int option, int value, int flags)
{
    const int result = drawKind() == Kind::Failure ? failureCode() : 0;
    record(QStringLiteral("setChannelOption"),
           QStringLiteral("%1 %2 %3").arg(option).arg(value).arg(flags), result, QByteArray());
    return result;
}

int ChaosIOManager::sendCommand(char* answer, const char* format, ...)
{
    FORMATTED(format);
    return textExchange(QStringLiteral("sendCommand"), text, answer);
}

int ChaosIOManager::getString(char* answer, const char* format, ...)
{
    FORMATTED(format);
    return textExchange(QStringLiteral("getString"), text, answer);
}

int ChaosIOManager::getInt(int* value, const char* format, ...)
{
    FORMATTED(format);
    const Kind kind = drawKind();
    const QString sensible = plausible(QStringLiteral("getInt"), text);
    int result = 0;
    if (kind == Kind::Failure) {
        result = failureCode();
        if (chance(0.5))
            *value = chaoticInt(text);
    } else if (kind == Kind::Plausible) {
        *value = sensible.toInt();
    } else {
        *value = chaoticInt(text);
    }
    record(QStringLiteral("getInt"), text, result,
           result == 0 ? QByteArray::number(*value) : QByteArray());
    return result;
}

int ChaosIOManager::getDouble(double* value, const char* format, ...)
{
    FORMATTED(format);
    const Kind kind = drawKind();
    const QString sensible = plausible(QStringLiteral("getDouble"), text);
    int result = 0;
    if (kind == Kind::Failure) {
        result = failureCode();
        if (chance(0.5))
            *value = chaoticDouble();
    } else if (kind == Kind::Plausible) {
        *value = sensible.section(QLatin1Char(' '), 0, 0).toDouble();
    } else {
        *value = chaoticDouble();
    }
    record(QStringLiteral("getDouble"), text, result,
           result == 0 ? QByteArray::number(*value, 'g', 17) : QByteArray());
    return result;
}

int ChaosIOManager::getFlag(bool* value, const char* format, ...)
{
    FORMATTED(format);
    const Kind kind = drawKind();
    const QString sensible = plausible(QStringLiteral("getFlag"), text);
    int result = 0;
    if (kind == Kind::Failure)
        result = failureCode();
    else
        *value = kind == Kind::Plausible ? sensible == QLatin1String("yes") : chance(0.5);
    record(QStringLiteral("getFlag"), text, result,
           result == 0 ? QByteArray(*value ? "yes" : "no") : QByteArray());
    return result;
}

int ChaosIOManager::getDoubles(double* values, int count, const char* format, ...)
{
    FORMATTED(format);
    const Kind kind = drawKind();
    const QStringList sensible =
        plausible(QStringLiteral("getDoubles"), text).split(QLatin1Char(' '));
    int result = 0;
    QByteArray shown;
    if (kind == Kind::Failure) {
        result = failureCode();
        if (chance(0.5))
            for (int i = 0; i < count; ++i)
                values[i] = chaoticDouble();
    } else {
        for (int i = 0; i < count; ++i) {
            // A plausible answer may still mix in one odd value.
            values[i] = kind == Kind::Plausible || chance(0.3) ? sensible.value(i).toDouble()
                                                               : chaoticDouble();
            shown += QByteArray::number(values[i], 'g', 17) + ' ';
        }
    }
    record(QStringLiteral("getDoubles"), text, result, shown.trimmed());
    return result;
}

int ChaosIOManager::setParameter(const char* format, ...)
{
    FORMATTED(format);
    const int result = drawKind() == Kind::Failure ? failureCode() : 0;
    // The controller adopts a configuration switch that it acknowledged.
    if (result == 0 && text.startsWith(QLatin1String("config active_config ")))
        m_activeConfig = text.mid(int(qstrlen("config active_config ")));
    record(QStringLiteral("setParameter"), text, result, QByteArray());
    return result;
}

int ChaosIOManager::logMessage(const char* category, const char* source, int level,
                               const char* text)
{
    const QString entry = QString::fromLatin1(text);
    logLines << entry;
    if (qstrcmp(category, "standard") != 0 || qstrcmp(source, "MORVEK3") != 0 || level != 1)
        ++foreignLogEntries;
    record(QStringLiteral("logMessage"), entry, 0, QByteArray());
    return 0;
}

int ChaosIOManager::registerReceiver(const char* name, MessageReceiver* receiver)
{
    receivers.append(qMakePair(QString::fromLatin1(name), receiver));
    record(QStringLiteral("registerReceiver"), QString::fromLatin1(name), 0, QByteArray());
    return 0;
}

int ChaosIOManager::unregisterReceiver(const char* name, MessageReceiver* receiver)
{
    receivers.removeAll(qMakePair(QString::fromLatin1(name), receiver));
    record(QStringLiteral("unregisterReceiver"), QString::fromLatin1(name), 0, QByteArray());
    return 0;
}

void ChaosIOManager::deliver(const char* message)
{
    const auto current = receivers;
    for (const auto& entry : current)
        entry.second->receiveMessage("Monitor2d", 0, message);
}

QByteArray ChaosIOManager::randomMessage()
{
    const QByteArray prefix =
        pick({"Monitor2dTabChanged", "Monitor2dMostActive", "monitor2dtabchanged", "", "Other"})
            .toLatin1();
    QByteArray payload;
    switch (uniform(0, 4)) {
    case 0:
        payload = " " + QByteArray::number(uniform(-1, 5)) + " 3,2,1,0,7,x,,-1,99999999999";
        break;
    case 1:
        payload = " " + QByteArray::number(uniform(0, 8)) + "," + QByteArray::number(uniform(0, 8));
        break;
    case 2:
        payload = QByteArray();
        break;
    case 3:
        payload = " " + QByteArray::number(INT_MAX) + " " + QByteArray::number(INT_MIN) + ",0";
        break;
    default:
        payload = randomBytes(0, 300);
        break;
    }
    return prefix + payload;
}
