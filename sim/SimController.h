#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

class SimState;

// An in-process stand-in for the tracking controller: it answers the controller's line protocol
// from a scenario so that the module can be exercised without hardware.
class SimController
{
public:
    SimController(); // starts from the embedded default scenario
    ~SimController();
    SimController(const SimController&) = delete;
    SimController& operator=(const SimController&) = delete;

    // JSON scenario file; a state file (stateFilePath) keeps configuration changes across restarts.
    bool loadScenario(const QString& path, QString* error);
    bool loadScenarioJson(const QByteArray& json, QString* error); // no state file
    // Where loadScenario keeps the state of a scenario file: "<dir>/<name>.state.json", or for a
    // bundled scenario "<BundledScenarios::stateDirectory()>/<name>.state.json".
    static QString stateFilePath(const QString& scenarioPath);

    // One request line in (no newline), one answer line out (no newline, at most 199 characters).
    QString handle(const QString& request);

    // Milliseconds of a monotonic clock; the calibration run advances with it.
    void setClock(std::function<qint64()> clock);

    int versionMajor() const;
    int versionMinor() const;
    int versionPatch() const;
    QString modelName() const;

    // Options the demo host exposes on its command line (override the scenario).
    void setVersion(int major, int minor, int patch);
    void setModelName(const QString& name);

private:
    std::unique_ptr<SimState> m_state;
};
