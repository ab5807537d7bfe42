#pragma once

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

// What the simulated controller knows at start: read from a scenario file, possibly overlaid by
// the state file that keeps configuration changes across restarts.

struct SimCamera
{
    QString typeCode;   // e.g. "0x0b01"; the model is looked up by it
    QString rawSerial;  // second word of "camera camera cNN"
    QString serialText; // answer of "camera serial_desc <code> <raw>"
    bool fixed = false;
    bool reference = true;
    double coverage = 1.0; // how fast this camera sees enough wand positions, relative to the run
    double residual = 0.1; // mm, reported after a completed run
    double used = 0.95;    // share of frames used, reported after a completed run
};

struct SimConfiguration
{
    QString id;
    QString description;
    QString owner;
    bool password = false;
    QStringList rooms; // one per camera: calibration fields, or "none"
};

struct SimCoordinateType
{
    QString name;
    QString description;
};

struct SimRunOptions
{
    int stepPause = 5;          // seconds; 0 answers "no"
    int calculationMs = 2000;   // "cal" after the measurement before the result is ready
    double stallAtPercent = -1; // progress stops here (negative: never)
    double failAtPercent = -1;  // the run fails here (negative: never)
    int failCode = 3;           // number reported by "status err"
    QString failMessage;        // text reported by "status err"
    QString refuseStart;        // non-empty: "cal room start" is refused with this text
    double wandResidual = 0.12; // mm
    double wandRange = 0.85;    // mm
};

struct SimScenario
{
    int major = 1;
    int minor = 23;
    int patch = 0;
    QString model = QStringLiteral("TESSERA2");

    bool trackingAvailable = true;
    bool trackingRunning = false;
    bool changeable = true;
    bool calibrationAvailable = true;

    double duration = 30.0;
    double wandLength = 410.0;
    QVector<double> angle{278.0, 163.0, 83.0}; // A, C, B
    double angleHeight = 55.0;
    QString calibrationType = QStringLiteral("wand");
    bool hasRecalibration = true;
    QString coordinateType = QStringLiteral("normal");
    int fixedCameraMinNumber = 2;
    QString lastDate; // "yyyy-MM-dd hh:mm:ss", empty for none

    QVector<SimCoordinateType> coordinateTypes;
    QMap<QString, QString> models; // lower-case type code -> model name
    QVector<SimCamera> cameras;    // at least as many as the largest configuration has

    QVector<double> rotation{1, 0, 0, 0, 1, 0, 0, 0, 1};
    QVector<double> translation{0, 0, 0};
    double scaling = 1.0;

    QVector<SimConfiguration> configurations;
    QString activeConfiguration;
    QStringList failSwitchTo; // IDs the controller refuses to activate

    SimRunOptions run;

    int configurationIndex(const QString& id) const;
};

namespace SimScenarioIO {

// Scenario objects may name a base with "extends": "default" (the embedded default) or a file
// name relative to baseDir; the object's keys override the base's, objects merging key by key.
bool parse(const QJsonObject& object, const QString& baseDir, SimScenario* out, QString* error);
bool parseFile(const QString& path, SimScenario* out, QString* error);
QJsonObject embeddedDefault();
// A JSON object from text or from a regular file of bounded size. Refuses duplicate keys, naming
// the first one's path; parse errors give their offset. A file's errors start with its path.
bool readObject(const QByteArray& json, QJsonObject* out, QString* error);
bool readObjectFile(const QString& path, QJsonObject* out, QString* error);

// The part of the state that changes at run time and must survive a restart.
QJsonObject stateToJson(const SimScenario& scenario);
bool applyState(const QJsonObject& state, SimScenario* scenario, QString* error);

} // namespace SimScenarioIO

// The ranges the controller accepts. The scenario loader and the setters apply the same ones, and
// any value inside them reads back within one answer line.
namespace SimRange {

const int MaxListEntries = 999; // cameras and configurations are addressed as c01..c999, t01..t999

inline bool duration(double seconds)
{
    return seconds >= 0 && seconds <= 300;
}
inline bool wandLength(double mm)
{
    return mm > 0 && mm < 10000;
}
// Positions, distances, heights and the room adjustment's numbers.
inline bool coordinate(double value)
{
    return value >= -1e6 && value <= 1e6;
}
inline bool distance(double mm)
{
    return mm >= 0 && mm <= 1e6;
}
inline bool scaling(double factor)
{
    return factor > 0 && factor <= 1000;
}

} // namespace SimRange

namespace SimRoom {

// A camera's room calibration travels as six numbers: position x y z in mm and three angles in
// degrees. "none" stands for a camera without one. Valid ones are short enough to read back.
bool isValid(const QString& fields);
QString synthetic(int camera, int cameraCount, int variant);
// A slightly different calibration, as a new measurement of the same camera would give.
QString remeasured(const QString& fields, int camera);
QString number(double value, int decimals = 6);

} // namespace SimRoom
