#include "ChaosIOManager.h"
#include "Formatting.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>

namespace {
// What a healthy controller answers: "name=choice|choice..." separated by line breaks or "; ".
// A name ending in "*" stands for every name it begins. In a choice "@" becomes the whole name
// asked for and "$" its last word; repeated choices are likelier. Texts not listed answer "yes"
// or "no", "morvek2 ok" to commands.
const char* const Answers = R"(status step_progress=1 0|1 0.5|2 0.25|2 1
cal step_duration *=40|41.5|10|0; cal step_pause *=no|no|no|no|no|yes 1
cal number_of_steps *=1|1|1|1|1|2; cal available room=yes|yes|yes|yes|yes|yes|yes|yes|no
tracking available=yes|yes|yes|yes|yes|yes|yes|yes|no; roomcal has_type wand_no_angle=yes|yes|no
config is_changeable=yes|yes|yes|yes|yes|yes|yes|yes|no
morvek2 get status err=@ "wand lost in c02"|@ "%s%n 100% failed"|@
morvek2 get status camera_progress *=@ 0|@ 0.004|@ 0.29|@ 1.0|@ 1.2
morvek2 get cal step_pause *=@ yes 0|@ yes 1|@ yes 2; roomcal type=wand|wand|wand_no_angle
roomcal duration=30|30|30|45|12.5; roomcal wand_length=410|410|410|184|204.63|0
roomcal angle=278 163 83|278 163 83|384 225 114|192 112.5 57|0 0 0|278 83 163
roomcal coordinate_type=normal|powerwall|mid_camera|Normal; roomcal angle_height=55|15.5|43|0
roomcal last_date='2023-05-04 10:20:30'|none|1970-01-01T00:00:00
roomcal number_of_available_coordinate_types=0|1|2|3|4|5; roomcal fixed_camera_min_number=0|1|3
roomcal available_coordinate_type *=normal|powerwall|powerwall_standing|mid_camera|first_camera
camera camera *=0x0c01 1234|0x0C00 77|0x0701 5|0x0B01 4711|0x0d02 99
morvek2 get camera camera *=@ 0x0c01 1234|@ 0x0701 5|@ 0x0B01 4711
morvek2 get camera model_desc *=@ "MX40"|@ MX20|@; roomcal available_coordinate_type_desc *="$ type"
roomcal wand_residual=0.12345 1.5|12.3 0|0 0; roomcal new *=1 0 0 0 1 0 0 0 1 4096 0 0
roomcal cam_residual *=0.08 0.987|0 1.0|0.3 0.005|0.1 0.999
tracking extra_rotation=1 0 0 0 1 0 0 0 1|1 0 0 0 1 0 0 0 1|0.98 -0.17 0 0.17 0.98 0 0 0 1
tracking extra_translation=0 0 0|0 0 0|0 0 0.001|10 0 0; tracking extra_scaling=1|1|1.0001
config config *=$; config desc_of_config *="Config $"; config desc="Active "hall""
config owner_of_config *="operator"|admin|)";
} // namespace

void ChaosIOManager::reseed(quint32 seed)
{
    m_random.seed(seed); // the system keeps its size until the next seed
    m_cameras = chance(0.1) ? 0 : uniform(1, 8);
    m_configs = uniform(1, 5);
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
    // Failures weigh 8, each kind of nonsense 4.
    const int draw = uniform(0, m_plausibleWeight + 43) - m_plausibleWeight;
    return draw < 0 ? Plausible : draw < 8 ? Failure : Kind(Empty + (draw - 8) / 4);
}

QString ChaosIOManager::plausible(const QString& op, const QString& name)
{
    if (name.startsWith(QLatin1String("status ")) && name.endsWith(QLatin1String("active"))) {
        const bool stepwise = name.contains(QLatin1String("step"));
        if (m_running && m_runPolls-- > 0)
            return !stepwise ? "cal" : chance(0.1) ? "pause 1" : pick({"cal 1", "cal 2"});
        if (std::exchange(m_running, false))
            return chance(0.7) ? "none" : "err";
        // Outside a run: idle, tracking, an old error or something unknown.
        return pick({"none", "none", stepwise ? "cal 1" : "cal", "err", "tracking"});
    }
    if (name == QLatin1String("status progress")) {
        if (m_running && chance(0.6))
            m_progress = qMin(1.0, m_progress + uniform(1, 25) / 100.0);
        return QString::number(m_progress);
    }
    if (name.startsWith(QLatin1String("morvek2 cal "))) {
        m_running = name.endsWith(QLatin1String(" start"));
        m_runPolls = uniform(0, 25);
        m_progress = 0.0;
        return m_running && chance(0.1) ? "morvek2 err \"calibration already running\""
                                        : "morvek2 ok";
    }
    if (name == QLatin1String("camera number_of_cameras") ||
        name == QLatin1String("config number_of_configs"))
        return QString::number(name.startsWith(QLatin1String("camera")) ? m_cameras : m_configs);
    if (name == QLatin1String("config active_config"))
        return m_activeConfig;
    if (name.startsWith(QLatin1String("morvek2 get tracking room ")))
        return QStringLiteral("morvek2 set tracking room %1 %2 0 0 0 1 0 0 0 1 0 0 0")
            .arg(name.section(QLatin1Char(' '), -1), chance(0.1) ? "none" : "1");
    static const QStringList table =
        QString::fromLatin1(Answers).replace(QLatin1String("; "), QLatin1String("\n")).split('\n');
    for (const QString& entry : table) {
        const QString key = entry.section(QLatin1Char('='), 0, 0);
        if (key.endsWith(QLatin1Char('*')) ? !name.startsWith(key.chopped(1)) : name != key)
            continue;
        QString text;
        for (const QChar c : pick(entry.section(QLatin1Char('='), 1).split(QLatin1Char('|'))))
            text += c == QLatin1Char('@')   ? name
                    : c == QLatin1Char('$') ? name.section(QLatin1Char(' '), -1)
                                            : QString(c);
        return text;
    }
    if (op == QLatin1String("sendCommand"))
        return QStringLiteral("morvek2 ok");
    return op == QLatin1String("getInt") ? QString::number(uniform(0, 10)) : pick({"yes", "no"});
}

QByteArray ChaosIOManager::distorted(Kind kind, QByteArray text)
{
    QList<QByteArray> words = text.split(' ');
    switch (kind) {
    case Empty:
        return QByteArray();
    case LongText:
        for (text += " x"; text.size() < IOManager::AnswerBufferSize - 1;)
            text += ' ' + text;
        return text.left(IOManager::AnswerBufferSize - 1);
    case ExtraWords:
        for (int i = uniform(1, 5); i > 0; --i)
            text += ' ' + pick({"yes", "no", "0", "-1", "none", "x", "1e5"}).toLatin1();
        return text;
    case MissingWords:
        return words.mid(0, uniform(0, words.size() - 1)).join(' ');
    case DoubledBlanks:
        return (chance(0.5) ? " " : "") + text.replace(" ", "  ") + (chance(0.5) ? " " : "");
    case NotANumber:
        return pick({"abc", "1.2.3", "--", "0x", "yes 5x", "1e", "n/a", "yes", "0,5"}).toLatin1();
    case NonFinite:
        text = pick({"nan", "inf", "-inf", "1e999", "-1e999", "NaN"}).toLatin1();
        words[uniform(0, words.size() - 1)] = text;
        return chance(0.4) ? text : words.join(' ');
    case FormatText:
        return pick({"%s%n%x", "\"%s\"", "\"", "'%n'", "\"open", "%1 %%", "ok \"%s\" %n"})
            .toLatin1();
    case RandomBytes:
        return randomBytes(1, IOManager::AnswerBufferSize - 1);
    default:
        return text;
    }
}

double ChaosIOManager::chaoticValue(const QString& op, const QString& name)
{
    if (op == QLatin1String("getFlag"))
        return chance(0.5);
    // Hundreds of cameras make every workflow slow; they come now and then, not often.
    if (name.contains(QLatin1String("number_of"))) {
        const int small = uniform(1, 12);
        const int counts[] = {
            -5, -5, -1, 0, small, small, small, small, uniform(13, 60), uniform(100, 300)};
        return counts[uniform(0, 9)];
    }
    if (op == QLatin1String("getInt")) {
        const int values[] = {INT_MIN, INT_MAX, -1, 0, int(m_random())};
        return values[uniform(0, 4)];
    }
    const double values[] = {
        NAN,          INFINITY, -INFINITY, DBL_MAX, -DBL_MAX,
        DBL_TRUE_MIN, -0.0,     -1.0,      1e9,     uniform(-1000000, 1000000) / 7.0};
    return values[uniform(0, 9)];
}

int ChaosIOManager::record(const QString& op, const QString& text, int result,
                           const QByteArray& answer)
{
    ++m_exchanges;
    // Printable, so that a failure report survives random bytes.
    const char* keep = " !\"#$&'()*+,/:;<=>?@[\\]^`{|}";
    m_recent << QStringLiteral("%1 %2 -> %3 \"%4\"")
                    .arg(op, QString::fromLatin1(text.toLatin1().toPercentEncoding(keep)))
                    .arg(result)
                    .arg(QString::fromLatin1(answer.toPercentEncoding(keep)));
    if (m_recent.size() > 40)
        m_recent.removeFirst();
    if (m_observer)
        m_observer(op, text, result, answer);
    return result;
}

int ChaosIOManager::textExchange(const QString& op, const QString& name, char* answer)
{
    const Kind kind = drawKind();
    // Drawn even for a failure, so that the modelled run advances alike.
    const QByteArray sensible = plausible(op, name).toLatin1();
    // The host need not touch the buffer on failure; sometimes it leaves rubbish there.
    if (kind == Failure && chance(0.5))
        return record(op, name, failureCode(), QByteArray());
    const QByteArray bytes = (kind == Failure ? randomBytes(0, 300) : distorted(kind, sensible))
                                 .left(IOManager::AnswerBufferSize - 1);
    std::memcpy(answer, bytes.constData(), size_t(bytes.size()));
    answer[bytes.size()] = '\0';
    return record(op, name, kind == Failure ? failureCode() : 0, bytes);
}

int ChaosIOManager::setChannelOption(int option, int value, int flags)
{
    return record(QStringLiteral("setChannelOption"),
                  QStringLiteral("%1 %2 %3").arg(option).arg(value).arg(flags),
                  drawKind() == Failure ? failureCode() : 0, QByteArray());
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

// On failure the out values are left alone or set to nonsense; a distorted answer still keeps
// some sensible values.
template <typename T>
int ChaosIOManager::valueRead(const QString& op, const QString& text, T* out, int count)
{
    const Kind kind = drawKind();
    const QStringList sensible = plausible(op, text).split(QLatin1Char(' '));
    const bool write = kind != Failure || chance(0.5);
    QByteArray shown;
    for (int i = 0; write && i < count; ++i) {
        const bool keep = kind != Failure && (kind == Plausible || chance(0.3));
        const QString word = sensible.value(i);
        const double value = !keep                            ? chaoticValue(op, text)
                             : op == QLatin1String("getFlag") ? word == QLatin1String("yes")
                                                              : word.toDouble();
        // NaN or huge values would be undefined as an int.
        out[i] =
            std::is_same<T, int>::value ? T(qBound<double>(INT_MIN, value, INT_MAX)) : T(value);
        shown += QByteArray::number(value, 'g', 17) + ' ';
    }
    return record(op, text, kind == Failure ? failureCode() : 0,
                  kind == Failure ? QByteArray() : shown.trimmed());
}

int ChaosIOManager::getInt(int* value, const char* format, ...)
{
    FORMATTED(format);
    return valueRead(QStringLiteral("getInt"), text, value, 1);
}

int ChaosIOManager::getDouble(double* value, const char* format, ...)
{
    FORMATTED(format);
    return valueRead(QStringLiteral("getDouble"), text, value, 1);
}

int ChaosIOManager::getFlag(bool* value, const char* format, ...)
{
    FORMATTED(format);
    return valueRead(QStringLiteral("getFlag"), text, value, 1);
}

int ChaosIOManager::getDoubles(double* values, int count, const char* format, ...)
{
    FORMATTED(format);
    return valueRead(QStringLiteral("getDoubles"), text, values, count);
}

int ChaosIOManager::setParameter(const char* format, ...)
{
    FORMATTED(format);
    const int result = drawKind() == Failure ? failureCode() : 0;
    if (result == 0 && text.startsWith(QLatin1String("config active_config ")))
        m_activeConfig = text.section(QLatin1Char(' '), 2);
    return record(QStringLiteral("setParameter"), text, result, QByteArray());
}

QByteArray ChaosIOManager::randomMessage()
{
    const QByteArray payloads[] = {
        " " + QByteArray::number(uniform(-1, 5)) + " 3,2,1,0,7,x,,-1,99999999999",
        " " + QByteArray::number(uniform(0, 8)) + "," + QByteArray::number(uniform(0, 8)),
        QByteArray(), " 2147483647 -2147483648,0", randomBytes(0, 300)};
    return pick({"Monitor2dTabChanged", "Monitor2dMostActive", "monitor2dtabchanged", "", "Other"})
               .toLatin1() +
           payloads[uniform(0, 4)];
}
