#pragma once

#include "FakeIOManager.h"

#include <QByteArray>
#include <climits>
#include <functional>
#include <random>
#include <vector>

// An IOManager that answers at random, reproducibly from a seed; event log, receivers and
// deliver() are FakeIOManager's. Most answers are plausible, so that the workflows get deep; the
// rest are what a broken controller might send: failures (the buffer left alone or filled with
// rubbish), empty and 199-character texts, extra and missing words, doubled blanks, non-numbers,
// NaN and infinities, quotes and printf directives, random bytes; counts ("number_of") also
// negative and in the hundreds. A calibration run ends after a few "cal" polls with "none" or
// "err"; the active configuration follows acknowledged switches. Answers fit the buffer.
class ChaosIOManager : public FakeIOManager
{
public:
    // Sees every exchange: operation, formatted text, result, what went to the buffer or values.
    using Observer = std::function<void(const QString& op, const QString& text, int result,
                                        const QByteArray& answer)>;

    explicit ChaosIOManager(quint32 seed = 1) { reseed(seed); }
    void reseed(quint32 seed);
    // Weight of plausible answers against 44 for all kinds of nonsense together.
    void setPlausibleWeight(int weight) { m_plausibleWeight = weight; }
    void setObserver(Observer observer) { m_observer = std::move(observer); }
    qint64 exchanges() const { return m_exchanges; }
    // The last exchanges, oldest first; for failure reports.
    QStringList recent() const { return m_recent; }
    // A monitor message of either kind, in wrong case or of another kind, with any payload.
    QByteArray randomMessage();

    int uniform(int low, int high) { return std::uniform_int_distribution<>(low, high)(m_random); }
    bool chance(double p) { return std::uniform_real_distribution<>(0, 1)(m_random) < p; }

    int setChannelOption(int option, int value, int flags) override;
    int sendCommand(char* answer, const char* format, ...) override;
    int getString(char* answer, const char* format, ...) override;
    int getInt(int* value, const char* format, ...) override;
    int getDouble(double* value, const char* format, ...) override;
    int getFlag(bool* value, const char* format, ...) override;
    int getDoubles(double* values, int count, const char* format, ...) override;
    int setParameter(const char* format, ...) override;

private:
    // clang-format off
    enum Kind { Plausible, Failure, Empty, LongText, ExtraWords, MissingWords, DoubledBlanks,
                NotANumber, NonFinite, FormatText, RandomBytes };
    // clang-format on

    Kind drawKind();
    int failureCode() { return std::vector<int>{-1, 1, 2, -42, INT_MIN, INT_MAX}[uniform(0, 5)]; }
    QByteArray randomBytes(int minLength, int maxLength);
    QString pick(const QStringList& choices) { return choices.at(uniform(0, choices.size() - 1)); }
    QString plausible(const QString& op, const QString& name);
    QByteArray distorted(Kind kind, QByteArray text);
    double chaoticValue(const QString& op, const QString& name);
    int textExchange(const QString& op, const QString& name, char* answer);
    template <typename T> int valueRead(const QString& op, const QString& text, T* out, int count);
    int record(const QString& op, const QString& text, int result, const QByteArray& answer);

    std::mt19937 m_random;
    int m_plausibleWeight = 62;
    Observer m_observer;
    qint64 m_exchanges = 0;
    QStringList m_recent;
    // The modelled controller.
    bool m_running = false;
    int m_runPolls = 0;
    double m_progress = 0.0;
    QString m_activeConfig = QStringLiteral("t02");
    int m_cameras = 3, m_configs = 3;
};
