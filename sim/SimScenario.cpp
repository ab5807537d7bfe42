#include "sim/SimScenario.h"
#include "sim/VersionText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>
#include <cctype>
#include <cmath>

// A static library's resources are only linked in when something refers to them.
static void initSimResources()
{
    Q_INIT_RESOURCE(sim);
}

namespace {

const int MaxExtendsDepth = 8;
const qint64 MaxFileBytes = 32 * 1024 * 1024;

// Reads typed values out of a scenario object and remembers the first problem with its key path,
// so that an operator with a broken scenario file is told where to look.
class Reader
{
public:
    bool ok() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }

    void fail(const QString& where, const QString& what)
    {
        if (m_error.isEmpty())
            m_error = where.isEmpty() ? what : QStringLiteral("%1: %2").arg(where, what);
    }

    static QString path(const QString& where, const QString& key)
    {
        return where.isEmpty() ? key : where + QLatin1Char('.') + key;
    }

    // A misspelt key would otherwise be ignored silently and the scenario run with a default.
    bool onlyKeys(const QJsonObject& o, const QString& where,
                  std::initializer_list<const char*> keys)
    {
        for (auto it = o.begin(); it != o.end(); ++it) {
            bool known = false;
            for (const char* key : keys)
                known = known || it.key() == QLatin1String(key);
            if (!known) {
                fail(path(where, it.key()), QStringLiteral("unknown key"));
                return false;
            }
        }
        return true;
    }

    bool flag(const QJsonObject& o, const QString& where, const char* key, bool* out)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined())
            return true;
        if (!v.isBool()) {
            fail(path(where, QLatin1String(key)), QStringLiteral("expected true or false"));
            return false;
        }
        *out = v.toBool();
        return true;
    }

    // A number, within the range that `valid` accepts (described by `range`) when given.
    bool real(const QJsonObject& o, const QString& where, const char* key, double* out,
              bool (*valid)(double) = nullptr, const char* range = nullptr)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined())
            return true;
        if (!v.isDouble() || !std::isfinite(v.toDouble())) {
            fail(path(where, QLatin1String(key)), QStringLiteral("expected a number"));
            return false;
        }
        if (valid && !valid(v.toDouble())) {
            fail(path(where, QLatin1String(key)), QStringLiteral("expected %1").arg(range));
            return false;
        }
        *out = v.toDouble();
        return true;
    }

    // A nested object; absent is an empty one.
    QJsonObject object(const QJsonObject& o, const QString& where, const char* key)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (!v.isUndefined() && !v.isObject())
            fail(path(where, QLatin1String(key)), QStringLiteral("expected an object"));
        return v.toObject();
    }

    // A list of at most SimRange::MaxListEntries entries; absent is an empty one.
    QJsonArray list(const QJsonObject& o, const QString& where, const char* key)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined())
            return QJsonArray();
        if (!v.isArray())
            fail(path(where, QLatin1String(key)), QStringLiteral("expected a list"));
        else if (v.toArray().size() > SimRange::MaxListEntries)
            fail(path(where, QLatin1String(key)),
                 QStringLiteral("more than %1 entries").arg(SimRange::MaxListEntries));
        return ok() ? v.toArray() : QJsonArray();
    }

    QJsonObject entry(const QJsonValue& v, const QString& where)
    {
        if (!v.isObject())
            fail(where, QStringLiteral("expected an object"));
        return v.toObject();
    }

    bool integer(const QJsonObject& o, const QString& where, const char* key, int* out, int min,
                 int max)
    {
        double d = *out;
        if (!real(o, where, key, &d))
            return false;
        if (d != std::floor(d) || d < min || d > max) {
            fail(path(where, QLatin1String(key)),
                 QStringLiteral("expected a whole number from %1 to %2").arg(min).arg(max));
            return false;
        }
        *out = int(d);
        return true;
    }

    // Texts end up inside one protocol line, some of them between double quotes.
    bool text(const QJsonObject& o, const QString& where, const char* key, QString* out,
              bool singleWord)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined())
            return true;
        if (!v.isString()) {
            fail(path(where, QLatin1String(key)), QStringLiteral("expected a text"));
            return false;
        }
        return checkText(v.toString(), path(where, QLatin1String(key)), singleWord, out);
    }

    bool checkText(const QString& s, const QString& where, bool singleWord, QString* out)
    {
        for (const QChar c : s) {
            if (c.unicode() > 0xff || c.unicode() < 0x20 || c == QLatin1Char('"')) {
                fail(where, QStringLiteral("only Latin-1 text without quotes or control "
                                           "characters is allowed"));
                return false;
            }
        }
        if (singleWord && (s.isEmpty() || s.contains(QLatin1Char(' ')))) {
            fail(where, QStringLiteral("expected one word without blanks"));
            return false;
        }
        if (s.size() > 120) {
            fail(where, QStringLiteral("longer than 120 characters"));
            return false;
        }
        *out = s;
        return true;
    }

    bool numbers(const QJsonObject& o, const QString& where, const char* key, int count,
                 QVector<double>* out, bool (*valid)(double), const char* range)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined())
            return true;
        const QJsonArray a = v.toArray();
        QVector<double> values;
        for (const QJsonValue& e : a) {
            if (!e.isDouble() || !valid(e.toDouble()))
                break;
            values.append(e.toDouble());
        }
        if (!v.isArray() || values.size() != count || a.size() != count) {
            fail(path(where, QLatin1String(key)),
                 QStringLiteral("expected a list of %1 numbers %2").arg(count).arg(range));
            return false;
        }
        *out = values;
        return true;
    }

private:
    QString m_error;
};

QJsonObject merged(QJsonObject base, const QJsonObject& over)
{
    for (auto it = over.begin(); it != over.end(); ++it) {
        const QJsonValue old = base.value(it.key());
        if (old.isObject() && it.value().isObject())
            base.insert(it.key(), merged(old.toObject(), it.value().toObject()));
        else
            base.insert(it.key(), it.value());
    }
    return base;
}

// Qt's parser keeps one of two equal keys without a word, so a scenario that sets a key twice
// would run with a value its author may not expect. `json` has parsed already, so it is valid.
QString firstDuplicateKey(const QByteArray& json)
{
    struct Level
    {
        bool isObject;
        QSet<QByteArray> keys;
        QByteArray key;
        int index;
    };
    QVector<Level> levels;
    const auto pathTo = [&levels](const QByteArray& key) {
        QString path;
        for (int i = 0; i + 1 < levels.size(); ++i)
            path += levels[i].isObject ? (path.isEmpty() ? QString() : QStringLiteral(".")) +
                                             QString::fromUtf8(levels[i].key)
                                       : QStringLiteral("[%1]").arg(levels[i].index);
        return path.isEmpty() ? QString::fromUtf8(key)
                              : path + QLatin1Char('.') + QString::fromUtf8(key);
    };
    for (int i = 0; i < json.size(); ++i) {
        const char c = json.at(i);
        if (c == '"') {
            const int start = i + 1;
            for (i = start; json.at(i) != '"'; ++i)
                i += json.at(i) == '\\' ? 1 : 0;
            int next = i + 1;
            while (next < json.size() && std::isspace(uchar(json.at(next))))
                ++next;
            if (next >= json.size() || json.at(next) != ':')
                continue;
            QByteArray key = json.mid(start, i - start);
            if (key.contains('\\'))
                key = QJsonDocument::fromJson('[' + json.mid(start - 1, i - start + 2) + ']')
                          .array()
                          .at(0)
                          .toString()
                          .toUtf8();
            Level& top = levels.last();
            if (top.keys.contains(key))
                return pathTo(key);
            top.keys.insert(key);
            top.key = key;
        } else if (c == '{' || c == '[') {
            levels.append(Level{c == '{', {}, {}, 0});
        } else if (c == '}' || c == ']') {
            levels.removeLast();
        } else if (c == ',' && !levels.last().isObject) {
            ++levels.last().index;
        }
    }
    return QString();
}

} // namespace

namespace SimScenarioIO {

bool readObject(const QByteArray& json, QJsonObject* out, QString* error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        *error = parseError.error != QJsonParseError::NoError
                     ? QStringLiteral("not a JSON object (%1 at offset %2)")
                           .arg(parseError.errorString())
                           .arg(parseError.offset)
                     : QStringLiteral("not a JSON object");
        return false;
    }
    const QString duplicate = firstDuplicateKey(json);
    if (!duplicate.isEmpty()) {
        *error = QStringLiteral("%1: key given twice").arg(duplicate);
        return false;
    }
    *out = doc.object();
    return true;
}

// Only regular files: a FIFO would block the start for ever and a device could be endless.
bool readObjectFile(const QString& path, QJsonObject* out, QString* error)
{
    const QFileInfo info(path);
    QString why;
    QFile file(path);
    if (!info.exists())
        why = QStringLiteral("no such file");
    else if (!info.isFile())
        why = QStringLiteral("not a regular file");
    else if (info.size() > MaxFileBytes)
        why = QStringLiteral("larger than %1 MB").arg(MaxFileBytes >> 20);
    else if (!file.open(QIODevice::ReadOnly))
        why = file.errorString();
    else
        readObject(file.read(MaxFileBytes), out, &why);
    if (why.isEmpty())
        return true;
    *error = QStringLiteral("%1: %2").arg(path, why);
    return false;
}

} // namespace SimScenarioIO

namespace {

bool resolveExtends(QJsonObject object, const QString& baseDir, int depth, QJsonObject* out,
                    QString* error)
{
    const QJsonValue ext = object.take(QStringLiteral("extends"));
    if (ext.isUndefined()) {
        *out = object;
        return true;
    }
    if (depth >= MaxExtendsDepth) {
        *error = QStringLiteral("extends: chain deeper than %1 scenarios").arg(MaxExtendsDepth);
        return false;
    }
    const QString name = ext.toString();
    QJsonObject base;
    QString nextDir = baseDir;
    if (name == QLatin1String("default")) {
        base = SimScenarioIO::embeddedDefault();
    } else if (!ext.isString() || name.isEmpty()) {
        *error = QStringLiteral("extends: expected \"default\" or a scenario file name");
        return false;
    } else {
        const QString path = QDir(baseDir).absoluteFilePath(name);
        if (!SimScenarioIO::readObjectFile(path, &base, error)) {
            *error = QStringLiteral("extends: ") + *error;
            return false;
        }
        nextDir = QFileInfo(path).absolutePath();
    }
    QJsonObject resolvedBase;
    if (!resolveExtends(base, nextDir, depth + 1, &resolvedBase, error))
        return false;
    *out = merged(resolvedBase, object);
    return true;
}

bool parseCamera(Reader& r, const QJsonObject& o, const QString& where, SimCamera* c)
{
    r.onlyKeys(
        o, where,
        {"type", "serial", "serialText", "fixed", "reference", "coverage", "residual", "used"});
    r.text(o, where, "type", &c->typeCode, true);
    r.text(o, where, "serial", &c->rawSerial, true);
    r.text(o, where, "serialText", &c->serialText, false);
    r.flag(o, where, "fixed", &c->fixed);
    r.flag(o, where, "reference", &c->reference);
    r.real(
        o, where, "coverage", &c->coverage, [](double v) { return v > 0 && v <= 1000; },
        "above 0 and at most 1000");
    r.real(o, where, "residual", &c->residual, SimRange::distance, "from 0 to 1e6");
    r.real(
        o, where, "used", &c->used, [](double v) { return v >= 0 && v <= 1; }, "from 0 to 1");
    if (r.ok() && (c->typeCode.isEmpty() || c->rawSerial.isEmpty()))
        r.fail(where, QStringLiteral("a camera needs \"type\" and \"serial\""));
    return r.ok();
}

bool parseConfiguration(Reader& r, const QJsonObject& o, const QString& where, int variant,
                        int defaultCount, SimConfiguration* c)
{
    r.onlyKeys(o, where, {"id", "description", "owner", "password", "cameras", "rooms"});
    r.text(o, where, "id", &c->id, true);
    r.text(o, where, "description", &c->description, false);
    r.text(o, where, "owner", &c->owner, false);
    r.flag(o, where, "password", &c->password);
    if (!r.ok())
        return false;
    if (c->id.isEmpty()) {
        r.fail(where, QStringLiteral("a configuration needs an \"id\""));
        return false;
    }
    const QJsonArray rooms = r.list(o, where, "rooms");
    int count = o.contains(QLatin1String("rooms")) ? rooms.size() : defaultCount;
    if (!r.integer(o, where, "cameras", &count, 0, SimRange::MaxListEntries))
        return false;
    if (rooms.size() > count) {
        r.fail(Reader::path(where, QStringLiteral("rooms")),
               QStringLiteral("more entries than cameras"));
        return false;
    }
    c->rooms.clear();
    for (int i = 0; i < count; ++i) {
        if (i >= rooms.size()) {
            c->rooms.append(SimRoom::synthetic(i + 1, count, variant));
            continue;
        }
        const QString room = rooms.at(i).toString();
        if (room != QLatin1String("none") && !SimRoom::isValid(room)) {
            r.fail(Reader::path(where, QStringLiteral("rooms[%1]").arg(i)),
                   QStringLiteral("expected \"none\" or six numbers from -1e6 to 1e6 separated "
                                  "by single blanks"));
            return false;
        }
        c->rooms.append(room);
    }
    return true;
}

bool parseConfigurations(Reader& r, const QJsonObject& o, SimScenario* s)
{
    if (!o.contains(QLatin1String("configurations")))
        return true;
    const QJsonArray a = r.list(o, QString(), "configurations");
    if (r.ok() && a.isEmpty())
        r.fail(QStringLiteral("configurations"), QStringLiteral("expected a non-empty list"));
    QVector<SimConfiguration> configs;
    QSet<QString> ids;
    for (int i = 0; i < a.size() && r.ok(); ++i) {
        SimConfiguration c;
        const QString where = QStringLiteral("configurations[%1]").arg(i);
        if (!parseConfiguration(r, r.entry(a.at(i), where), where, i, s->cameras.size(), &c))
            return false;
        if (ids.contains(c.id)) {
            r.fail(where, QStringLiteral("the id %1 is used twice").arg(c.id));
            return false;
        }
        ids.insert(c.id);
        configs.append(c);
    }
    if (!r.ok())
        return false;
    s->configurations = configs;
    return true;
}

bool parseAdjustment(Reader& r, const QJsonObject& o, SimScenario* s)
{
    const QString where = QStringLiteral("roomAdjustment");
    r.onlyKeys(o, where, {"rotation", "translation", "scaling"});
    const char* range = "from -1e6 to 1e6";
    r.numbers(o, where, "rotation", 9, &s->rotation, SimRange::coordinate, range);
    r.numbers(o, where, "translation", 3, &s->translation, SimRange::coordinate, range);
    r.real(o, where, "scaling", &s->scaling, SimRange::scaling, "above 0 and at most 1000");
    return r.ok();
}

bool parseLastDate(Reader& r, const QJsonValue& v, const QString& where, QString* out)
{
    if (v.isUndefined())
        return true;
    if (v.isNull()) {
        out->clear();
        return true;
    }
    static const QRegularExpression pattern(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}$"));
    if (!v.isString() || !pattern.match(v.toString()).hasMatch()) {
        r.fail(where, QStringLiteral("expected null or \"yyyy-MM-dd hh:mm:ss\""));
        return false;
    }
    *out = v.toString();
    return true;
}

// Every camera that some configuration has must exist, and every type code needs a model.
void completeCameras(Reader& r, SimScenario* s)
{
    int needed = 0;
    for (const SimConfiguration& c : s->configurations)
        needed = qMax(needed, c.rooms.size());
    const QString code =
        s->cameras.isEmpty() ? QStringLiteral("0x0b01") : s->cameras.constLast().typeCode;
    if (needed > s->cameras.size() && !s->models.contains(code.toLower()))
        s->models.insert(code.toLower(), QStringLiteral("MV-Generic"));
    for (int i = s->cameras.size(); i < needed; ++i) {
        SimCamera cam;
        cam.typeCode = code;
        cam.rawSerial = QString::number(30000 + i + 1);
        cam.coverage = 1.0 + 0.05 * (i % 5);
        cam.residual = 0.06 + 0.01 * (i % 7);
        cam.used = 0.90 + 0.01 * (i % 9);
        s->cameras.append(cam);
    }
    for (int i = 0; i < s->cameras.size(); ++i) {
        SimCamera& cam = s->cameras[i];
        if (!s->models.contains(cam.typeCode.toLower()))
            r.fail(QStringLiteral("cameras[%1]").arg(i),
                   QStringLiteral("no model for type code %1 in \"models\"").arg(cam.typeCode));
        if (cam.serialText.isEmpty())
            cam.serialText =
                QStringLiteral("SN-%1-%2").arg(cam.typeCode.mid(2).toUpper(), cam.rawSerial);
    }
}

// The checks that a scenario and a state file share once their keys are read: the active
// configuration must exist, and every configuration gets its cameras.
bool finish(Reader& r, SimScenario* s, SimScenario* out, QString* error)
{
    if (r.ok() && s->configurationIndex(s->activeConfiguration) < 0)
        r.fail(QStringLiteral("activeConfiguration"),
               QStringLiteral("no configuration has the id %1").arg(s->activeConfiguration));
    if (r.ok())
        completeCameras(r, s);
    if (!r.ok()) {
        *error = r.error();
        return false;
    }
    *out = *s;
    return true;
}

} // namespace

int SimScenario::configurationIndex(const QString& id) const
{
    for (int i = 0; i < configurations.size(); ++i) {
        if (configurations[i].id == id)
            return i;
    }
    return -1;
}

namespace SimScenarioIO {

QJsonObject embeddedDefault()
{
    initSimResources();
    QJsonObject object;
    QString error;
    if (!readObjectFile(QStringLiteral(":/sim/scenarios/default.json"), &object, &error))
        qFatal("embedded default scenario is broken: %s", qPrintable(error));
    return object;
}

bool parse(const QJsonObject& object, const QString& baseDir, SimScenario* out, QString* error)
{
    QJsonObject o;
    if (!resolveExtends(object, baseDir, 0, &o, error))
        return false;

    SimScenario s;
    Reader r;
    r.onlyKeys(o, QString(),
               {"controller", "trackingAvailable", "trackingRunning", "configChangeable",
                "calibrationAvailable", "roomcal", "coordinateTypes", "models", "cameras",
                "roomAdjustment", "configurations", "activeConfiguration", "failSwitchTo", "run"});
    const QJsonObject controller = r.object(o, QString(), "controller");
    r.onlyKeys(controller, QStringLiteral("controller"), {"version", "model"});
    QString version;
    r.text(controller, QStringLiteral("controller"), "version", &version, true);
    if (r.ok() && !version.isEmpty() && !parseVersion(version, &s.major, &s.minor, &s.patch))
        r.fail(QStringLiteral("controller.version"),
               QStringLiteral("expected major.minor[.patch]"));
    r.text(controller, QStringLiteral("controller"), "model", &s.model, true);

    r.flag(o, QString(), "trackingAvailable", &s.trackingAvailable);
    r.flag(o, QString(), "trackingRunning", &s.trackingRunning);
    r.flag(o, QString(), "configChangeable", &s.changeable);
    r.flag(o, QString(), "calibrationAvailable", &s.calibrationAvailable);

    const QJsonObject rc = r.object(o, QString(), "roomcal");
    const QString rcw = QStringLiteral("roomcal");
    r.onlyKeys(rc, rcw,
               {"duration", "wandLength", "angle", "angleHeight", "type", "hasRecalibration",
                "coordinateType", "fixedCameraMinNumber", "lastDate"});
    r.real(rc, rcw, "duration", &s.duration, SimRange::duration, "from 0 to 300 seconds");
    r.real(rc, rcw, "wandLength", &s.wandLength, SimRange::wandLength,
           "above 0 and below 10000 mm");
    r.numbers(rc, rcw, "angle", 3, &s.angle, SimRange::distance, "from 0 to 1e6 mm");
    r.real(rc, rcw, "angleHeight", &s.angleHeight, SimRange::coordinate, "from -1e6 to 1e6 mm");
    r.text(rc, rcw, "type", &s.calibrationType, true);
    r.flag(rc, rcw, "hasRecalibration", &s.hasRecalibration);
    r.text(rc, rcw, "coordinateType", &s.coordinateType, true);
    r.integer(rc, rcw, "fixedCameraMinNumber", &s.fixedCameraMinNumber, 0, 999);
    parseLastDate(r, rc.value(QLatin1String("lastDate")), QStringLiteral("roomcal.lastDate"),
                  &s.lastDate);
    if (r.ok() && s.calibrationType != QLatin1String("wand") &&
        s.calibrationType != QLatin1String("wand_no_angle"))
        r.fail(QStringLiteral("roomcal.type"), QStringLiteral("expected wand or wand_no_angle"));

    const QJsonArray types = r.list(o, QString(), "coordinateTypes");
    for (int i = 0; i < types.size() && r.ok(); ++i) {
        SimCoordinateType t;
        const QString where = QStringLiteral("coordinateTypes[%1]").arg(i);
        const QJsonObject type = r.entry(types.at(i), where);
        r.onlyKeys(type, where, {"name", "description"});
        r.text(type, where, "name", &t.name, true);
        r.text(type, where, "description", &t.description, false);
        if (r.ok() && t.name.isEmpty())
            r.fail(where, QStringLiteral("a coordinate type needs a \"name\""));
        s.coordinateTypes.append(t);
    }

    const QJsonObject models = r.object(o, QString(), "models");
    if (models.size() > SimRange::MaxListEntries)
        r.fail(QStringLiteral("models"),
               QStringLiteral("more than %1 entries").arg(SimRange::MaxListEntries));
    for (auto it = models.begin(); it != models.end() && r.ok(); ++it) {
        QString model;
        const QString where = QStringLiteral("models.") + it.key();
        if (!it.value().isString())
            r.fail(where, QStringLiteral("expected a text"));
        else if (r.checkText(it.value().toString(), where, true, &model))
            s.models.insert(it.key().toLower(), model);
    }

    const QJsonArray cameras = r.list(o, QString(), "cameras");
    for (int i = 0; i < cameras.size() && r.ok(); ++i) {
        SimCamera c;
        const QString where = QStringLiteral("cameras[%1]").arg(i);
        if (parseCamera(r, r.entry(cameras.at(i), where), where, &c))
            s.cameras.append(c);
    }

    parseAdjustment(r, r.object(o, QString(), "roomAdjustment"), &s);
    parseConfigurations(r, o, &s);
    r.text(o, QString(), "activeConfiguration", &s.activeConfiguration, true);
    const QJsonArray failSwitch = r.list(o, QString(), "failSwitchTo");
    for (int i = 0; i < failSwitch.size() && r.ok(); ++i) {
        const QString where = QStringLiteral("failSwitchTo[%1]").arg(i);
        QString id;
        if (!failSwitch.at(i).isString())
            r.fail(where, QStringLiteral("expected a configuration id"));
        else if (r.checkText(failSwitch.at(i).toString(), where, true, &id))
            s.failSwitchTo.append(id);
    }

    const QJsonObject run = r.object(o, QString(), "run");
    const QString rw = QStringLiteral("run");
    r.onlyKeys(run, rw,
               {"stepPause", "calculationMs", "stallAtPercent", "failAtPercent", "failCode",
                "failMessage", "refuseStart", "wandResidual", "wandRange"});
    r.integer(run, rw, "stepPause", &s.run.stepPause, 0, 9);
    r.integer(run, rw, "calculationMs", &s.run.calculationMs, 0, 600000);
    const auto percent = [](double v) { return v >= -100 && v <= 100; };
    const char* percentRange = "from 0 to 100, or negative for never";
    r.real(run, rw, "stallAtPercent", &s.run.stallAtPercent, percent, percentRange);
    r.real(run, rw, "failAtPercent", &s.run.failAtPercent, percent, percentRange);
    r.integer(run, rw, "failCode", &s.run.failCode, 1, 999);
    r.text(run, rw, "failMessage", &s.run.failMessage, false);
    r.text(run, rw, "refuseStart", &s.run.refuseStart, false);
    r.real(run, rw, "wandResidual", &s.run.wandResidual, SimRange::distance, "from 0 to 1e6");
    r.real(run, rw, "wandRange", &s.run.wandRange, SimRange::distance, "from 0 to 1e6");

    if (r.ok() && s.configurations.isEmpty())
        r.fail(QStringLiteral("configurations"), QStringLiteral("at least one is needed"));
    if (r.ok() && s.activeConfiguration.isEmpty())
        s.activeConfiguration = s.configurations.first().id;
    return finish(r, &s, out, error);
}

bool parseFile(const QString& path, SimScenario* out, QString* error)
{
    QJsonObject object;
    if (!readObjectFile(path, &object, error))
        return false;
    QString why;
    if (!parse(object, QFileInfo(path).absolutePath(), out, &why)) {
        *error = QStringLiteral("%1: %2").arg(path, why);
        return false;
    }
    return true;
}

QJsonObject stateToJson(const SimScenario& scenario)
{
    const SimScenario& s = scenario;
    QJsonArray configs;
    for (const SimConfiguration& c : s.configurations) {
        QJsonObject o;
        o.insert(QStringLiteral("id"), c.id);
        o.insert(QStringLiteral("description"), c.description);
        o.insert(QStringLiteral("owner"), c.owner);
        o.insert(QStringLiteral("password"), c.password);
        o.insert(QStringLiteral("cameras"), c.rooms.size());
        o.insert(QStringLiteral("rooms"), QJsonArray::fromStringList(c.rooms));
        configs.append(o);
    }
    QJsonObject adjustment;
    QJsonArray rotation, translation;
    for (double v : s.rotation)
        rotation.append(v);
    for (double v : s.translation)
        translation.append(v);
    adjustment.insert(QStringLiteral("rotation"), rotation);
    adjustment.insert(QStringLiteral("translation"), translation);
    adjustment.insert(QStringLiteral("scaling"), s.scaling);

    QJsonObject state;
    state.insert(QStringLiteral("configurations"), configs);
    state.insert(QStringLiteral("activeConfiguration"), s.activeConfiguration);
    state.insert(QStringLiteral("lastDate"),
                 s.lastDate.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(s.lastDate));
    state.insert(QStringLiteral("roomAdjustment"), adjustment);
    return state;
}

bool applyState(const QJsonObject& state, SimScenario* scenario, QString* error)
{
    SimScenario s = *scenario;
    Reader r;
    r.onlyKeys(state, QString(),
               {"configurations", "activeConfiguration", "lastDate", "roomAdjustment"});
    parseConfigurations(r, state, &s);
    r.text(state, QString(), "activeConfiguration", &s.activeConfiguration, true);
    parseLastDate(r, state.value(QLatin1String("lastDate")), QStringLiteral("lastDate"),
                  &s.lastDate);
    parseAdjustment(r, r.object(state, QString(), "roomAdjustment"), &s);
    return finish(r, &s, scenario, error);
}

} // namespace SimScenarioIO

namespace SimRoom {

QString number(double value, int decimals)
{
    QString s = QString::number(value, 'f', decimals);
    if (s.contains(QLatin1Char('.'))) {
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.')))
            s.chop(1);
    }
    if (s == QLatin1String("-0"))
        s = QStringLiteral("0");
    return s;
}

bool isValid(const QString& fields)
{
    if (fields.size() > 120)
        return false;
    const QStringList parts = fields.split(QLatin1Char(' '));
    if (parts.size() != 6)
        return false;
    for (const QString& p : parts) {
        bool ok = false;
        const double v = p.toDouble(&ok);
        if (!ok || !SimRange::coordinate(v))
            return false;
    }
    return true;
}

static QString format(const double v[6])
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6")
        .arg(v[0], 0, 'f', 3)
        .arg(v[1], 0, 'f', 3)
        .arg(v[2], 0, 'f', 3)
        .arg(v[3], 0, 'f', 4)
        .arg(v[4], 0, 'f', 4)
        .arg(v[5], 0, 'f', 4);
}

// Cameras on a ring below the ceiling, looking inwards and down; each configuration's variant is
// a few millimetres off so that a transfer visibly changes something.
QString synthetic(int camera, int cameraCount, int variant)
{
    const double pi = 3.14159265358979323846;
    const double heading = 360.0 * (camera - 1) / qMax(1, cameraCount);
    const double rad = heading * pi / 180.0;
    const double v[6] = {3000.0 * std::cos(rad) + 1.5 * variant,
                         3000.0 * std::sin(rad) - 0.5 * variant,
                         2500.0 + 0.25 * camera,
                         std::fmod(heading + 180.0, 360.0) - 180.0,
                         -30.0 + 0.1 * variant,
                         0.5 * (camera % 3)};
    return format(v);
}

QString remeasured(const QString& fields, int camera)
{
    const QStringList parts = fields.split(QLatin1Char(' '));
    double v[6];
    for (int i = 0; i < 6; ++i)
        v[i] = parts.value(i).toDouble();
    v[0] += 0.8 + 0.1 * camera;
    v[1] -= 0.4;
    v[2] += 0.2;
    v[3] += 0.0125;
    v[4] -= 0.0075;
    v[5] += 0.005;
    return format(v);
}

} // namespace SimRoom
