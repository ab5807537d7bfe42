#include "sim/SimController.h"

#include "sim/BundledScenarios.h"
#include "sim/SimScenario.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLockFile>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {

const int MaxAnswerLength = 199;

enum ErrorCode {
    UnknownCommand = 1,
    UnknownParameter = 2,
    InvalidValue = 3,
    NotNow = 4,
    NotChangeable = 5,
    ReadOnlyParameter = 6,
    AnswerTooLong = 7,
};

struct Reply
{
    int code = 0; // 0: success
    QString text; // value of a read, or the message of an error

    static Reply value(const QString& text) { return {0, text}; }
    static Reply ok() { return {0, QString()}; }
    static Reply error(int code, const QString& message) { return {code, message}; }
};

QString errorLine(int code, const QString& message)
{
    return QStringLiteral("morvek2 err %1 \"%2\"").arg(code).arg(message);
}

QString yesNo(bool b)
{
    return b ? QStringLiteral("yes") : QStringLiteral("no");
}

QString quoted(const QString& s)
{
    return QLatin1Char('"') + s + QLatin1Char('"');
}

// Exactly `count` finite numbers separated by single blanks.
std::optional<QVector<double>> parseNumbers(const QString& text, int count)
{
    const QStringList parts = text.split(QLatin1Char(' '));
    if (parts.size() != count)
        return std::nullopt;
    QVector<double> values;
    for (const QString& p : parts) {
        bool ok = false;
        const double v = p.toDouble(&ok);
        if (!ok || !std::isfinite(v))
            return std::nullopt;
        values.append(v);
    }
    return values;
}

QString joinNumbers(const QVector<double>& values)
{
    QStringList parts;
    for (double v : values)
        parts.append(SimRoom::number(v));
    return parts.join(QLatin1Char(' '));
}

// "c01" ... "c100": the canonical spelling only, as the controller names cameras.
int numberedIndex(const QString& word, QChar prefix)
{
    const int digits = word.size() - 1;
    if (digits < 2 || digits > 3 || word.at(0) != prefix || (digits == 3 && word.at(1) == '0'))
        return -1;
    int n = 0;
    for (int i = 1; i <= digits; ++i) {
        const ushort c = word.at(i).unicode();
        if (c < '0' || c > '9')
            return -1;
        n = n * 10 + (c - '0');
    }
    return n >= 1 ? n : -1;
}

} // namespace

class SimState
{
public:
    using Getter = std::function<Reply(const QStringList& args)>;
    using Setter = std::function<Reply(const QStringList& args, const QString& value)>;

    struct Parameter
    {
        QStringList pattern; // literal words, "*" for any one word
        int sinceMajor;
        int sinceMinor;
        Getter get;
        Setter set;
    };

    enum class Phase { Idle, Running, Failed };

    struct Result
    {
        bool pending = false; // finished but neither accepted nor replaced yet
        bool available = false;
        double wandResidual = 0;
        double wandRange = 0;
        QVector<double> residual;
        QVector<double> used;
        QStringList rooms;
    };

    SimState();

    QString handle(const QString& request);
    void reset(const SimScenario& scenario, const QString& statePath);
    void applyOverrides();

    std::function<qint64()> m_clock;
    SimScenario m_s;
    QString m_statePath;
    std::optional<std::array<int, 3>> m_versionOverride;
    std::optional<QString> m_modelOverride;
    // Held while the state file is ours: a second server on the scenario would overwrite it.
    std::unique_ptr<QLockFile> m_lock;

private:
    // A request's words point into its line, so that reading one allocates little.
    using Words = QVector<QStringRef>;
    QString dispatch(const QString& line);
    QString read(const QString& line, const Words& words);
    QString write(const QString& line, const Words& words);
    QString command(const QString& line, const Words& words);
    static bool matches(const QStringList& pattern, const Words& words, QStringList* args);
    const std::vector<int>& group(const Words& words) const;
    bool atLeast(int major, int minor) const;
    void addParameters();
    void add(const QString& pattern, Getter get, Setter set = nullptr, int sinceMajor = 0,
             int sinceMinor = 0);

    void advance();
    void finishRun();
    Reply startRun(const QString& type);
    QString saveState();
    Reply persist(const SimScenario& before);

    SimConfiguration& active()
    {
        return m_s.configurations[m_s.configurationIndex(m_s.activeConfiguration)];
    }
    int cameraCount() { return active().rooms.size(); }
    int camera(const QString& word) // 0-based index into the active configuration, or -1
    {
        const int n = numberedIndex(word, QLatin1Char('c'));
        return n >= 1 && n <= cameraCount() ? n - 1 : -1;
    }
    std::optional<Reply> refuseChange();
    QStringList coordinateTypeNames() const;

    std::vector<Parameter> m_parameters;
    // The table's entries grouped by their first word, in table order: a request is matched
    // against its own group only.
    std::vector<std::pair<QString, std::vector<int>>> m_groups;
    bool m_tracking = false;
    Phase m_phase = Phase::Idle;
    qint64 m_runStart = 0;
    qint64 m_runMeasureMs = 0;
    double m_progress = 0;
    QString m_failMessage;
    Result m_result;
};

SimState::SimState()
{
    addParameters();
}

void SimState::reset(const SimScenario& scenario, const QString& statePath)
{
    m_s = scenario;
    m_statePath = statePath;
    m_tracking = scenario.trackingRunning && scenario.trackingAvailable;
    m_phase = Phase::Idle;
    m_progress = 0;
    m_result = Result();
    applyOverrides();
}

void SimState::applyOverrides()
{
    if (m_versionOverride) {
        m_s.major = (*m_versionOverride)[0];
        m_s.minor = (*m_versionOverride)[1];
        m_s.patch = (*m_versionOverride)[2];
    }
    if (m_modelOverride)
        m_s.model = *m_modelOverride;
}

bool SimState::atLeast(int major, int minor) const
{
    return std::make_tuple(m_s.major, m_s.minor, m_s.patch) >= std::make_tuple(major, minor, -1);
}

QString SimState::handle(const QString& request)
{
    QString line = request;
    while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    advance();
    // A NUL would end the request early for a controller that reads it as a C string.
    QString answer = line.contains(QChar(0))
                         ? errorLine(InvalidValue, QStringLiteral("Request contains a NUL byte"))
                         : dispatch(line);
    if (answer.size() > MaxAnswerLength)
        answer = errorLine(AnswerTooLong, QStringLiteral("Answer too long"));
    return answer;
}

QString SimState::dispatch(const QString& line)
{
    const Words words = line.splitRef(QLatin1Char(' '));
    if (words.size() < 2 || words[0] != QLatin1String("morvek2"))
        return errorLine(UnknownCommand, QStringLiteral("Unknown command"));
    if (words[1] == QLatin1String("get"))
        return read(line, words);
    if (words[1] == QLatin1String("set"))
        return write(line, words);
    return command(line, words);
}

// Whether the words after "morvek2 get|set" start with the pattern; only then are the words in
// place of "*" copied out.
bool SimState::matches(const QStringList& pattern, const Words& words, QStringList* args)
{
    // Every request is tried against several entries, so the wildcard test is kept inline.
    const auto any = [](const QString& word) {
        return word.size() == 1 && word.at(0) == QLatin1Char('*');
    };
    const int from = 2;
    if (words.size() - from < pattern.size())
        return false;
    for (int i = 0; i < pattern.size(); ++i) {
        if (any(pattern[i]) ? words[from + i].isEmpty() : pattern[i] != words[from + i])
            return false;
    }
    args->clear();
    for (int i = 0; i < pattern.size(); ++i) {
        if (any(pattern[i]))
            args->append(words[from + i].toString());
    }
    return true;
}

const std::vector<int>& SimState::group(const Words& words) const
{
    static const std::vector<int> none;
    if (words.size() < 3)
        return none;
    for (const auto& g : m_groups) {
        if (g.first == words[2])
            return g.second;
    }
    return none;
}

QString SimState::read(const QString& line, const Words& words)
{
    QStringList args;
    for (const int i : group(words)) {
        const Parameter& p = m_parameters[size_t(i)];
        if (!p.get || words.size() - 2 != p.pattern.size() || !matches(p.pattern, words, &args))
            continue;
        if (!atLeast(p.sinceMajor, p.sinceMinor))
            break;
        const Reply r = p.get(args);
        if (r.code != 0)
            return errorLine(r.code, r.text);
        // The read's own words follow "morvek2 get ", so the answer is built in one piece.
        QString answer;
        answer.reserve(line.size() + 1 + r.text.size());
        answer += QLatin1String("morvek2 set ");
        answer += line.midRef(words[2].position());
        answer += QLatin1Char(' ');
        answer += r.text;
        return answer;
    }
    return errorLine(UnknownParameter, QStringLiteral("Unknown parameter"));
}

QString SimState::write(const QString& line, const Words& words)
{
    QStringList args;
    for (const int i : group(words)) {
        const Parameter& p = m_parameters[size_t(i)];
        if (words.size() - 2 <= p.pattern.size() || !matches(p.pattern, words, &args))
            continue;
        if (!atLeast(p.sinceMajor, p.sinceMinor))
            break;
        if (!p.set)
            return errorLine(ReadOnlyParameter, QStringLiteral("Parameter is read-only"));
        const QString value = line.mid(words[2 + p.pattern.size()].position());
        const Reply r = p.set(args, value);
        if (r.code != 0)
            return errorLine(r.code, r.text);
        return QStringLiteral("morvek2 ok");
    }
    return errorLine(UnknownParameter, QStringLiteral("Unknown parameter"));
}

QString SimState::command(const QString& line, const Words& words)
{
    const QStringRef text = line.midRef(words[1].position());
    Reply r = Reply::error(UnknownCommand, QStringLiteral("Unknown command"));
    if (text == QLatin1String("tracking start")) {
        if (!m_s.trackingAvailable) {
            r = Reply::error(NotNow, QStringLiteral("Tracking is not available"));
        } else if (m_phase == Phase::Running) {
            r = Reply::error(NotNow, QStringLiteral("Calibration in progress"));
        } else {
            m_tracking = true;
            m_phase = Phase::Idle;
            r = Reply::ok();
        }
    } else if (text == QLatin1String("tracking stop")) {
        m_tracking = false;
        r = Reply::ok();
    } else if (words.size() == 4 && words[1] == QLatin1String("cal") &&
               words[3] == QLatin1String("start")) {
        r = startRun(words[2].toString());
    } else if (words.size() == 4 && words[1] == QLatin1String("cal") &&
               words[3] == QLatin1String("stop")) {
        if (words[2] != QLatin1String("room")) {
            r = Reply::error(UnknownParameter, QStringLiteral("Unknown calibration type"));
        } else {
            // Stopping a run that already ended is harmless: the operator's cancel may cross
            // the run's own end.
            if (m_phase == Phase::Running)
                m_phase = Phase::Idle;
            r = Reply::ok();
        }
    } else if (text == QLatin1String("roomcal accept_new_calibration")) {
        if (!m_s.changeable) {
            r = Reply::error(NotChangeable, QStringLiteral("Configuration is not changeable"));
        } else if (!m_result.pending || m_result.rooms.size() != cameraCount()) {
            r = Reply::error(NotNow, QStringLiteral("No new calibration to accept"));
        } else {
            const SimScenario before = m_s;
            active().rooms = m_result.rooms;
            m_s.lastDate =
                QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
            r = persist(before);
            m_result.pending = r.code != 0;
        }
    }
    return r.code == 0 ? QStringLiteral("morvek2 ok") : errorLine(r.code, r.text);
}

Reply SimState::startRun(const QString& type)
{
    if (type != QLatin1String("room"))
        return Reply::error(UnknownParameter, QStringLiteral("Unknown calibration type"));
    if (!m_s.run.refuseStart.isEmpty())
        return Reply::error(NotNow, m_s.run.refuseStart);
    if (m_phase == Phase::Running)
        return Reply::error(NotNow, QStringLiteral("Calibration already running"));
    if (!m_s.trackingAvailable)
        return Reply::error(NotNow, QStringLiteral("Tracking is not available"));
    if (!m_s.calibrationAvailable)
        return Reply::error(NotNow, QStringLiteral("Room calibration is not available"));
    if (!m_s.changeable)
        return Reply::error(NotChangeable, QStringLiteral("Configuration is not changeable"));
    if (m_tracking)
        return Reply::error(NotNow, QStringLiteral("Stop tracking first"));
    if (m_s.calibrationType == QLatin1String("wand_no_angle")) {
        int fixed = 0;
        for (int i = 0; i < cameraCount(); ++i)
            fixed += m_s.cameras[i].fixed ? 1 : 0;
        if (fixed < m_s.fixedCameraMinNumber)
            return Reply::error(NotNow, QStringLiteral("Too few static cameras"));
    }
    m_result = Result();
    m_phase = Phase::Running;
    m_runStart = m_clock();
    m_runMeasureMs = qint64(std::llround(qMax(0.0, m_s.duration) * 1000.0));
    m_progress = 0;
    m_failMessage.clear();
    return Reply::ok();
}

// The run is a function of the clock; every request first brings it up to date.
void SimState::advance()
{
    if (m_phase != Phase::Running)
        return;
    const qint64 elapsed = m_clock() - m_runStart;
    double measured = m_runMeasureMs > 0 ? double(elapsed) / double(m_runMeasureMs) : 1.0;
    measured = qBound(0.0, measured, 1.0);
    const SimRunOptions& run = m_s.run;
    bool stalled = false;
    if (run.stallAtPercent >= 0 && measured >= run.stallAtPercent / 100.0) {
        measured = run.stallAtPercent / 100.0;
        stalled = true;
    }
    if (run.failAtPercent >= 0 && measured >= run.failAtPercent / 100.0) {
        m_progress = run.failAtPercent / 100.0;
        m_phase = Phase::Failed;
        m_failMessage =
            run.failMessage.isEmpty() ? QStringLiteral("Calibration failed") : run.failMessage;
        return;
    }
    m_progress = measured;
    if (!stalled && elapsed >= m_runMeasureMs + run.calculationMs)
        finishRun();
}

void SimState::finishRun()
{
    m_phase = Phase::Idle;
    m_progress = 1.0;
    Result r;
    r.pending = true;
    r.available = true;
    r.wandResidual = m_s.run.wandResidual;
    r.wandRange = m_s.run.wandRange;
    const QStringList& old = active().rooms;
    for (int i = 0; i < old.size(); ++i) {
        const SimCamera& cam = m_s.cameras[i];
        r.residual.append(cam.residual);
        r.used.append(cam.used);
        const QString base =
            old[i] == QLatin1String("none") ? SimRoom::synthetic(i + 1, old.size(), 0) : old[i];
        r.rooms.append(SimRoom::remeasured(base, i + 1));
    }
    m_result = r;
}

// Puts `from` in place of `to` in one step. Swapping the two names costs a tenth of a millisecond
// where a rename over the old file makes some file systems (ext4) write the new one out first,
// about 3 ms; the old content left under `from` is dropped afterwards. Sets errno on failure.
static bool replace(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from), target = QFile::encodeName(to);
    struct stat old = {};
    // A swap would also succeed with a folder in the way.
    if (::lstat(target.constData(), &old) == 0 && S_ISREG(old.st_mode) &&
        ::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_EXCHANGE) ==
            0) {
        ::unlink(source.constData());
        return true;
    }
    // No old file yet, or a file system that cannot swap.
    return std::rename(source.constData(), target.constData()) == 0;
}

// Written beside the state file and renamed over it: a reader or a restart after a kill sees the
// old state or the new one, never a mix. There is no sync to disk; a simulator's state does not
// need to survive a power cut, and a sync made every change cost several milliseconds.
QString SimState::saveState()
{
    if (m_statePath.isEmpty())
        return QString();
    const QByteArray json = QJsonDocument(SimScenarioIO::stateToJson(m_s)).toJson();
    const QString temporary = m_statePath + QStringLiteral(".new");
    QFile file(temporary);
    QString why;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(json) != json.size() ||
        !file.flush())
        why = file.errorString();
    file.close();
    if (why.isEmpty() && !replace(temporary, m_statePath))
        why = QString::fromLocal8Bit(std::strerror(errno));
    if (why.isEmpty())
        return QString();
    QFile::remove(temporary);
    // The message has to fit one answer line; a deep folder is left out then.
    const QString message = QStringLiteral("cannot write %1: %2");
    return message.arg(m_statePath, why).size() <= 150
               ? message.arg(m_statePath, why)
               : message.arg(QFileInfo(m_statePath).fileName(), why);
}

// A change that cannot be kept is taken back and refused: after a restart it would be gone.
Reply SimState::persist(const SimScenario& before)
{
    const QString why = saveState();
    if (why.isEmpty())
        return Reply::ok();
    m_s = before;
    return Reply::error(NotNow, why);
}

std::optional<Reply> SimState::refuseChange()
{
    if (!m_s.changeable)
        return Reply::error(NotChangeable, QStringLiteral("Configuration is not changeable"));
    if (m_phase == Phase::Running)
        return Reply::error(NotNow, QStringLiteral("Calibration in progress"));
    return std::nullopt;
}

QStringList SimState::coordinateTypeNames() const
{
    QStringList names;
    for (const SimCoordinateType& t : m_s.coordinateTypes)
        names.append(t.name);
    if (names.isEmpty())
        names << QStringLiteral("normal") << QStringLiteral("powerwall")
              << QStringLiteral("powerwall_standing");
    return names;
}

void SimState::add(const QString& pattern, Getter get, Setter set, int sinceMajor, int sinceMinor)
{
    m_parameters.push_back(Parameter{pattern.split(QLatin1Char(' ')), sinceMajor, sinceMinor,
                                     std::move(get), std::move(set)});
    // Grouping by the first word needs that word to be literal.
    const QString& first = m_parameters.back().pattern.first();
    Q_ASSERT(first != QLatin1String("*"));
    const int index = int(m_parameters.size()) - 1;
    for (auto& g : m_groups) {
        if (g.first == first) {
            g.second.push_back(index);
            return;
        }
    }
    m_groups.push_back({first, {index}});
}

void SimState::addParameters()
{
    const auto invalid = [](const QString& what) { return Reply::error(InvalidValue, what); };
    const auto noCamera = [] {
        return Reply::error(InvalidValue, QStringLiteral("No such camera"));
    };
    // The write handler of a setting whose value is one word from a known set.
    const auto word = [this, invalid](QString* target, std::function<bool(const QString&)> valid,
                                      const QString& complaint) {
        return [=](const QStringList&, const QString& v) {
            if (auto refused = refuseChange())
                return *refused;
            if (!valid(v))
                return invalid(complaint);
            *target = v;
            return Reply::ok();
        };
    };
    // The write handler of a one-number setting that the controller range-checks.
    const auto number = [this, invalid](double* target, bool (*valid)(double),
                                        const QString& complaint, bool persistent = false) {
        return [=](const QStringList&, const QString& v) {
            if (auto refused = refuseChange())
                return *refused;
            const auto n = parseNumbers(v, 1);
            if (!n || !valid((*n)[0]))
                return invalid(complaint);
            const SimScenario before = m_s;
            *target = (*n)[0];
            return persistent ? persist(before) : Reply::ok();
        };
    };

    // Controller state.
    add(QStringLiteral("status active"), [this](const QStringList&) {
        if (m_phase == Phase::Running)
            return Reply::value(QStringLiteral("cal"));
        if (m_phase == Phase::Failed)
            return Reply::value(QStringLiteral("err"));
        return Reply::value(m_tracking ? QStringLiteral("tracking") : QStringLiteral("none"));
    });
    add(QStringLiteral("status step_active"), [this](const QStringList&) {
        if (m_phase == Phase::Running)
            return Reply::value(QStringLiteral("cal 1"));
        return Reply::value(m_phase == Phase::Failed ? QStringLiteral("err")
                                                     : QStringLiteral("none"));
    });
    add(QStringLiteral("status err"), [this](const QStringList&) {
        if (m_phase != Phase::Failed)
            return Reply::value(QStringLiteral("0 \"No error\""));
        return Reply::value(
            QStringLiteral("%1 %2").arg(m_s.run.failCode).arg(quoted(m_failMessage)));
    });
    add(
        QStringLiteral("tracking available"),
        [this](const QStringList&) { return Reply::value(yesNo(m_s.trackingAvailable)); }, nullptr,
        0, 17);
    add(
        QStringLiteral("config is_changeable"),
        [this](const QStringList&) { return Reply::value(yesNo(m_s.changeable)); }, nullptr, 1, 9);
    add(QStringLiteral("cal available *"), [this](const QStringList& a) {
        if (a[0] != QLatin1String("room"))
            return Reply::value(QStringLiteral("no"));
        return Reply::value(yesNo(m_s.calibrationAvailable));
    });

    // Room calibration settings.
    add(
        QStringLiteral("roomcal duration"),
        [this](const QStringList&) { return Reply::value(SimRoom::number(m_s.duration)); },
        number(&m_s.duration, SimRange::duration,
               QStringLiteral("Duration must be 0 to 300 seconds")),
        0, 12);
    add(
        QStringLiteral("roomcal wand_length"),
        [this](const QStringList&) { return Reply::value(SimRoom::number(m_s.wandLength)); },
        number(&m_s.wandLength, SimRange::wandLength, QStringLiteral("Invalid wand length")));
    add(
        QStringLiteral("roomcal angle"),
        [this](const QStringList&) { return Reply::value(joinNumbers(m_s.angle)); },
        [this, invalid](const QStringList&, const QString& v) {
            if (auto refused = refuseChange())
                return *refused;
            const auto n = parseNumbers(v, 3);
            if (!n || !std::all_of(n->begin(), n->end(), SimRange::distance))
                return invalid(QStringLiteral("Expected three distances"));
            m_s.angle = *n;
            return Reply::ok();
        });
    add(
        QStringLiteral("roomcal angle_height"),
        [this](const QStringList&) { return Reply::value(SimRoom::number(m_s.angleHeight)); },
        number(&m_s.angleHeight, SimRange::coordinate, QStringLiteral("Invalid height")), 1, 23);
    add(
        QStringLiteral("roomcal type"),
        [this](const QStringList&) { return Reply::value(m_s.calibrationType); },
        word(
            &m_s.calibrationType,
            [this](const QString& v) {
                return v == QLatin1String("wand") ||
                       (v == QLatin1String("wand_no_angle") && m_s.hasRecalibration);
            },
            QStringLiteral("Unknown calibration type")));
    add(QStringLiteral("roomcal has_type *"), [this](const QStringList& a) {
        if (a[0] == QLatin1String("wand"))
            return Reply::value(QStringLiteral("yes"));
        if (a[0] == QLatin1String("wand_no_angle"))
            return Reply::value(yesNo(m_s.hasRecalibration));
        return Reply::value(QStringLiteral("no"));
    });
    add(
        QStringLiteral("roomcal coordinate_type"),
        [this](const QStringList&) { return Reply::value(m_s.coordinateType); },
        word(
            &m_s.coordinateType,
            [this](const QString& v) { return coordinateTypeNames().contains(v); },
            QStringLiteral("Unknown coordinate type")));
    add(
        QStringLiteral("roomcal number_of_available_coordinate_types"),
        [this](const QStringList&) {
            return Reply::value(QString::number(m_s.coordinateTypes.size()));
        },
        nullptr, 1, 9);
    add(
        QStringLiteral("roomcal available_coordinate_type *"),
        [this, invalid](const QStringList& a) {
            const int n = numberedIndex(a[0], QLatin1Char('t'));
            if (n < 1 || n > m_s.coordinateTypes.size())
                return invalid(QStringLiteral("No such coordinate type"));
            return Reply::value(m_s.coordinateTypes[n - 1].name);
        },
        nullptr, 1, 9);
    add(
        QStringLiteral("roomcal available_coordinate_type_desc *"),
        [this, invalid](const QStringList& a) {
            for (const SimCoordinateType& t : m_s.coordinateTypes) {
                if (t.name == a[0])
                    return Reply::value(quoted(t.description));
            }
            return invalid(QStringLiteral("No such coordinate type"));
        },
        nullptr, 1, 9);
    add(
        QStringLiteral("roomcal fixed_camera_min_number"),
        [this](const QStringList&) {
            return Reply::value(QString::number(m_s.fixedCameraMinNumber));
        },
        nullptr, 1, 9);
    add(
        QStringLiteral("roomcal fixed_camera *"),
        [this, noCamera](const QStringList& a) {
            const int c = camera(a[0]);
            return c < 0 ? noCamera() : Reply::value(yesNo(m_s.cameras[c].fixed));
        },
        [this, noCamera, invalid](const QStringList& a, const QString& v) {
            if (auto refused = refuseChange())
                return *refused;
            const int c = camera(a[0]);
            if (c < 0)
                return noCamera();
            if (v != QLatin1String("yes") && v != QLatin1String("no"))
                return invalid(QStringLiteral("Expected yes or no"));
            m_s.cameras[c].fixed = v == QLatin1String("yes");
            return Reply::ok();
        });
    add(
        QStringLiteral("roomcal has_reference *"),
        [this, noCamera](const QStringList& a) {
            const int c = camera(a[0]);
            return c < 0 ? noCamera() : Reply::value(yesNo(m_s.cameras[c].reference));
        },
        nullptr, 1, 18);
    add(
        QStringLiteral("roomcal last_date"),
        [this](const QStringList&) {
            if (m_s.lastDate.isEmpty())
                return Reply::value(QStringLiteral("none"));
            return Reply::value(QLatin1Char('\'') + m_s.lastDate + QLatin1Char('\''));
        },
        nullptr, 1, 11);

    // Results of the last completed run.
    add(QStringLiteral("roomcal wand_residual"), [this](const QStringList&) {
        if (!m_result.available)
            return Reply::error(NotNow, QStringLiteral("No calibration result"));
        return Reply::value(joinNumbers({m_result.wandResidual, m_result.wandRange}));
    });
    add(QStringLiteral("roomcal cam_residual *"), [this, noCamera](const QStringList& a) {
        if (!m_result.available)
            return Reply::error(NotNow, QStringLiteral("No calibration result"));
        const int c = camera(a[0]);
        if (c < 0 || c >= m_result.residual.size())
            return noCamera();
        return Reply::value(joinNumbers({m_result.residual[c], m_result.used[c]}));
    });
    add(QStringLiteral("roomcal new *"), [this, noCamera](const QStringList& a) {
        if (!m_result.available)
            return Reply::error(NotNow, QStringLiteral("No calibration result"));
        const int c = camera(a[0]);
        if (c < 0 || c >= m_result.rooms.size())
            return noCamera();
        return Reply::value(m_result.rooms[c]);
    });

    // Cameras.
    add(QStringLiteral("camera number_of_cameras"),
        [this](const QStringList&) { return Reply::value(QString::number(cameraCount())); });
    add(QStringLiteral("camera camera *"), [this, noCamera](const QStringList& a) {
        const int c = camera(a[0]);
        if (c < 0)
            return noCamera();
        return Reply::value(m_s.cameras[c].typeCode + QLatin1Char(' ') + m_s.cameras[c].rawSerial);
    });
    add(QStringLiteral("camera model_desc *"), [this, invalid](const QStringList& a) {
        const QString model = m_s.models.value(a[0].toLower());
        return model.isEmpty() ? invalid(QStringLiteral("Unknown camera type"))
                               : Reply::value(quoted(model));
    });
    add(
        QStringLiteral("camera serial_desc * *"),
        [this, invalid](const QStringList& a) {
            const QString code = a[0].toLower();
            if (!code.startsWith(QLatin1String("0x0b")) && !code.startsWith(QLatin1String("0x0d")))
                return invalid(QStringLiteral("No serial description for this camera type"));
            for (const SimCamera& cam : qAsConst(m_s.cameras)) {
                if (cam.typeCode.toLower() == code && cam.rawSerial == a[1])
                    return Reply::value(quoted(cam.serialText));
            }
            return invalid(QStringLiteral("Unknown camera"));
        },
        nullptr, 1, 23);

    // The calibration run.
    const auto roomOnly = [invalid](const QString& type) {
        return type == QLatin1String("room")
                   ? std::optional<Reply>()
                   : std::optional<Reply>(invalid(QStringLiteral("Unknown calibration type")));
    };
    add(QStringLiteral("cal type_desc *"), [roomOnly](const QStringList& a) {
        return roomOnly(a[0]).value_or(Reply::value(QStringLiteral("\"Room calibration\"")));
    });
    add(QStringLiteral("cal number_of_steps *"), [roomOnly](const QStringList& a) {
        return roomOnly(a[0]).value_or(Reply::value(QStringLiteral("1")));
    });
    add(QStringLiteral("cal step_pause * *"), [this, roomOnly, invalid](const QStringList& a) {
        if (auto bad = roomOnly(a[0]))
            return *bad;
        if (a[1] != QLatin1String("s01"))
            return invalid(QStringLiteral("No such step"));
        if (m_s.run.stepPause <= 0)
            return Reply::value(QStringLiteral("no"));
        return Reply::value(QStringLiteral("yes %1").arg(m_s.run.stepPause));
    });
    add(
        QStringLiteral("cal step_duration * *"),
        [this, roomOnly, invalid](const QStringList& a) {
            if (auto bad = roomOnly(a[0]))
                return *bad;
            if (a[1] != QLatin1String("s01"))
                return invalid(QStringLiteral("No such step"));
            return Reply::value(SimRoom::number(m_s.duration));
        },
        nullptr, 1, 4);
    add(QStringLiteral("status progress"),
        [this](const QStringList&) { return Reply::value(SimRoom::number(m_progress, 4)); });
    add(QStringLiteral("status step_progress"), [this](const QStringList&) {
        if (m_phase != Phase::Running)
            return Reply::value(QStringLiteral("0 0"));
        return Reply::value(QStringLiteral("1 ") + SimRoom::number(m_progress, 4));
    });
    add(
        QStringLiteral("status camera_progress *"),
        [this, noCamera](const QStringList& a) {
            const int c = camera(a[0]);
            if (c < 0)
                return noCamera();
            if (m_phase != Phase::Running)
                return Reply::value(QStringLiteral("none"));
            const double share = qMin(1.0, m_progress * m_s.cameras[c].coverage);
            return Reply::value(SimRoom::number(share, 4));
        },
        nullptr, 1, 11);

    // Room adjustment.
    const auto adjustment = [this, invalid](QVector<double>* target, int count) {
        return [this, invalid, target, count](const QStringList&, const QString& v) {
            if (auto refused = refuseChange())
                return *refused;
            const auto n = parseNumbers(v, count);
            if (!n || !std::all_of(n->begin(), n->end(), SimRange::coordinate))
                return invalid(QStringLiteral("Expected %1 numbers").arg(count));
            const SimScenario before = m_s;
            *target = *n;
            return persist(before);
        };
    };
    add(
        QStringLiteral("tracking extra_rotation"),
        [this](const QStringList&) { return Reply::value(joinNumbers(m_s.rotation)); },
        adjustment(&m_s.rotation, 9), 0, 16);
    add(
        QStringLiteral("tracking extra_translation"),
        [this](const QStringList&) { return Reply::value(joinNumbers(m_s.translation)); },
        adjustment(&m_s.translation, 3), 0, 16);
    add(
        QStringLiteral("tracking extra_scaling"),
        [this](const QStringList&) { return Reply::value(SimRoom::number(m_s.scaling)); },
        number(&m_s.scaling, SimRange::scaling,
               QStringLiteral("Expected a positive scaling factor"), true),
        0, 16);

    // Configurations.
    const auto config = [this](const QString& id) -> SimConfiguration* {
        const int i = m_s.configurationIndex(id);
        return i < 0 ? nullptr : &m_s.configurations[i];
    };
    const auto noConfig = [] {
        return Reply::error(InvalidValue, QStringLiteral("No such configuration"));
    };
    add(QStringLiteral("config number_of_configs"), [this](const QStringList&) {
        return Reply::value(QString::number(m_s.configurations.size()));
    });
    add(QStringLiteral("config config *"), [this, noConfig](const QStringList& a) {
        const int n = numberedIndex(a[0], QLatin1Char('t'));
        if (n < 1 || n > m_s.configurations.size())
            return noConfig();
        return Reply::value(m_s.configurations[n - 1].id);
    });
    add(
        QStringLiteral("config active_config"),
        [this](const QStringList&) { return Reply::value(m_s.activeConfiguration); },
        [this, config, noConfig](const QStringList&, const QString& id) {
            if (m_phase == Phase::Running)
                return Reply::error(NotNow, QStringLiteral("Calibration in progress"));
            if (!config(id))
                return noConfig();
            if (m_s.failSwitchTo.contains(id))
                return Reply::error(NotNow, QStringLiteral("Cannot activate configuration"));
            if (id == m_s.activeConfiguration)
                return Reply::ok();
            const SimScenario before = m_s;
            m_s.activeConfiguration = id;
            const Reply saved = persist(before);
            // A result measured with another camera setup must not be adopted here.
            if (saved.code == 0)
                m_result.pending = false;
            return saved;
        });
    add(QStringLiteral("config desc"),
        [this](const QStringList&) { return Reply::value(quoted(active().description)); });
    add(QStringLiteral("config desc_of_config *"), [config, noConfig](const QStringList& a) {
        const SimConfiguration* c = config(a[0]);
        return c ? Reply::value(quoted(c->description)) : noConfig();
    });
    add(QStringLiteral("config owner_of_config *"), [config, noConfig](const QStringList& a) {
        const SimConfiguration* c = config(a[0]);
        return c ? Reply::value(quoted(c->owner)) : noConfig();
    });
    add(QStringLiteral("config config_has_password *"), [config, noConfig](const QStringList& a) {
        const SimConfiguration* c = config(a[0]);
        return c ? Reply::value(yesNo(c->password)) : noConfig();
    });
    add(
        QStringLiteral("tracking room *"),
        [this, noCamera](const QStringList& a) {
            const int c = camera(a[0]);
            return c < 0 ? noCamera() : Reply::value(active().rooms[c]);
        },
        [this, noCamera, invalid](const QStringList& a, const QString& v) {
            if (auto refused = refuseChange())
                return *refused;
            const int c = camera(a[0]);
            if (c < 0)
                return noCamera();
            if (!SimRoom::isValid(v))
                return invalid(QStringLiteral("Invalid room calibration"));
            const SimScenario before = m_s;
            active().rooms[c] = v;
            return persist(before);
        });
}

// --- SimController ---------------------------------------------------------------------------

SimController::SimController() : m_state(std::make_unique<SimState>())
{
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    m_state->m_clock = [timer] { return timer->elapsed(); };
    SimScenario scenario;
    QString error;
    if (!SimScenarioIO::parse(SimScenarioIO::embeddedDefault(), QString(), &scenario, &error))
        qFatal("embedded default scenario is broken: %s", qPrintable(error));
    m_state->reset(scenario, QString());
}

SimController::~SimController() = default;

QString SimController::stateFilePath(const QString& scenarioPath)
{
    const QFileInfo info(scenarioPath);
    const QString name = info.completeBaseName() + QStringLiteral(".state.json");
    // Users cannot write to an installed scenario's folder, and root should not; each user keeps
    // the state of a bundled scenario in a folder of their own.
    return BundledScenarios::contains(scenarioPath)
               ? QDir(BundledScenarios::stateDirectory()).filePath(name)
               : info.dir().filePath(name);
}

bool SimController::loadScenario(const QString& path, QString* error)
{
    QString why;
    SimScenario scenario;
    if (!SimScenarioIO::parseFile(path, &scenario, &why)) {
        if (error)
            *error = why;
        return false;
    }
    const QString statePath = stateFilePath(path);
    // The user's state folder may not exist yet; where it cannot be made, no lock can be taken
    // either, and every change is refused naming the reason.
    QDir().mkpath(QFileInfo(statePath).absolutePath());
    auto lock = std::make_unique<QLockFile>(statePath + QStringLiteral(".lock"));
    // Kept without time limit: a server that is still running is never stale, a dead one is.
    lock->setStaleLockTime(0);
    if (m_state->m_statePath == statePath)
        m_state->m_lock.reset(); // reloading the same scenario is not a second user
    if (!lock->tryLock(0)) {
        qint64 pid = 0;
        QString host, program;
        if (lock->error() == QLockFile::LockFailedError) {
            lock->getLockInfo(&pid, &host, &program);
            if (error)
                *error = QStringLiteral("%1: in use by %2 (process %3 on %4); stop it or run a "
                                        "copy of the scenario")
                             .arg(statePath, program)
                             .arg(pid)
                             .arg(host);
            return false;
        }
        // A folder nobody may write to: nothing will be saved there, every change is refused.
        lock.reset();
    }
    const QFileInfo stateInfo(statePath);
    if (stateInfo.exists() && !stateInfo.isFile()) {
        why = stateInfo.isDir() ? QStringLiteral("is a folder, so no state can be kept there")
                                : QStringLiteral("not a regular file");
    } else if (stateInfo.exists()) {
        QJsonObject state;
        if (SimScenarioIO::readObjectFile(statePath, &state, &why))
            SimScenarioIO::applyState(state, &scenario, &why);
        else
            why = why.mid(statePath.size() + 2);
    }
    if (!why.isEmpty()) {
        if (error)
            *error =
                QStringLiteral("%1: %2 (remove it to start from the scenario)").arg(statePath, why);
        return false;
    }
    m_state->reset(scenario, statePath);
    m_state->m_lock = std::move(lock);
    return true;
}

bool SimController::loadScenarioJson(const QByteArray& json, QString* error)
{
    QString why;
    SimScenario scenario;
    QJsonObject object;
    if (SimScenarioIO::readObject(json, &object, &why))
        SimScenarioIO::parse(object, QDir::currentPath(), &scenario, &why);
    if (!why.isEmpty()) {
        if (error)
            *error = why;
        return false;
    }
    m_state->reset(scenario, QString());
    m_state->m_lock.reset();
    return true;
}

QString SimController::handle(const QString& request)
{
    return m_state->handle(request);
}

void SimController::setClock(std::function<qint64()> clock)
{
    m_state->m_clock = std::move(clock);
}

int SimController::versionMajor() const
{
    return m_state->m_s.major;
}
int SimController::versionMinor() const
{
    return m_state->m_s.minor;
}
int SimController::versionPatch() const
{
    return m_state->m_s.patch;
}
QString SimController::modelName() const
{
    return m_state->m_s.model;
}

void SimController::setVersion(int major, int minor, int patch)
{
    m_state->m_versionOverride = std::array<int, 3>{major, minor, patch};
    m_state->applyOverrides();
}

void SimController::setModelName(const QString& name)
{
    m_state->m_modelOverride = name;
    m_state->applyOverrides();
}
