#pragma once

#include "plugin/IOManager.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <functional>
#include <random>

class MessageReceiver;

// An IOManager that answers every exchange at random, reproducibly from a seed.
//
// Most answers are plausible, as a healthy controller could give them, so that the workflows get
// deep; the rest are what a broken or confused controller might send: failures (with the buffer
// left alone or filled with garbage), empty and 199-character texts, extra and missing words,
// doubled blanks, non-numbers, NaN and infinities, quotes and printf directives, and random
// bytes. Counts ("number_of" in the name) also come negative, zero and in the hundreds.
//
// A calibration run is modelled just enough to end: once "morvek2 cal <type> start" was
// acknowledged, "status active" answers "cal" for a random number of polls and then "none" or
// "err"; the overall progress grows with stalls. The active configuration follows successful
// switches.
//
// Text answers never exceed IOManager::AnswerBufferSize, NUL included.
class ChaosIOManager : public IOManager
{
public:
    // Relative weights of the kinds of answer.
    struct Odds
    {
        int plausible = 62;
        int failure = 8;
        int empty = 3;
        int longText = 3;
        int extraWords = 4;
        int missingWords = 4;
        int doubledBlanks = 4;
        int notANumber = 3;
        int nonFinite = 3;
        int formatText = 3;
        int randomBytes = 3;
    };

    // Called after every exchange with the operation ("getString", "sendCommand", ...), the
    // formatted text, the result and, for text answers, what was written to the buffer.
    using Observer = std::function<void(const QString& op, const QString& text, int result,
                                        const QByteArray& answer)>;

    explicit ChaosIOManager(quint32 seed = 1);

    void reseed(quint32 seed);
    quint32 seed() const { return m_seed; }
    void setOdds(const Odds& odds) { m_odds = odds; }
    const Odds& odds() const { return m_odds; }
    // Upper bound of the "cal" polls of a modelled run.
    void setMaxRunPolls(int polls) { m_maxRunPolls = polls; }
    void setObserver(Observer observer) { m_observer = std::move(observer); }

    qint64 exchanges() const { return m_exchanges; }
    QHash<QString, qint64> exchangesByOperation() const { return m_byOperation; }
    // The last exchanges, oldest first, with non-printable bytes escaped; for failure reports.
    QStringList recent() const;

    // Sends a message to every registered receiver, as the host's bus would.
    void deliver(const char* message);
    // A random monitor message: either kind, wrong case or no prefix, plausible or random payload.
    QByteArray randomMessage();

    int uniform(int low, int high);
    bool chance(double probability);

    int setChannelOption(int option, int value, int flags) override;
    int sendCommand(char* answer, const char* format, ...) override;
    int getString(char* answer, const char* format, ...) override;
    int getInt(int* value, const char* format, ...) override;
    int getDouble(double* value, const char* format, ...) override;
    int getFlag(bool* value, const char* format, ...) override;
    int getDoubles(double* values, int count, const char* format, ...) override;
    int setParameter(const char* format, ...) override;
    int logMessage(const char* category, const char* source, int level, const char* text) override;
    int registerReceiver(const char* name, MessageReceiver* receiver) override;
    int unregisterReceiver(const char* name, MessageReceiver* receiver) override;

    QStringList logLines;
    // Event-log entries whose category, source or level were not the module's.
    int foreignLogEntries = 0;
    QList<QPair<QString, MessageReceiver*>> receivers;

private:
    enum class Kind {
        Plausible,
        Failure,
        Empty,
        LongText,
        ExtraWords,
        MissingWords,
        DoubledBlanks,
        NotANumber,
        NonFinite,
        FormatText,
        RandomBytes
    };

    Kind drawKind();
    int failureCode();
    QByteArray randomBytes(int minLength, int maxLength);
    QString pick(const QStringList& choices);
    QString plausible(const QString& op, const QString& name);
    QString runStatus(bool stepwise);
    QByteArray textAnswer(Kind kind, const QString& plausibleText);
    int textExchange(const QString& op, const QString& name, char* answer);
    int chaoticInt(const QString& name);
    double chaoticDouble();
    void record(const QString& op, const QString& text, int result, const QByteArray& answer);

    quint32 m_seed = 1;
    std::mt19937 m_random;
    Odds m_odds;
    Observer m_observer;
    qint64 m_exchanges = 0;
    QHash<QString, qint64> m_byOperation;
    QStringList m_recent;

    // The modelled controller.
    bool m_running = false;
    int m_runPolls = 0;
    int m_maxRunPolls = 25;
    double m_progress = 0.0;
    QString m_activeConfig = QStringLiteral("t02");
    int m_cameras = 3;
    int m_configs = 3;
};
