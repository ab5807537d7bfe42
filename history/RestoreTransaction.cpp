#include "RestoreTransaction.h"

#include "plugin/IOManager.h"

#include <QDeadlineTimer>
#include <QThread>
#include <QVector>
#include <cmath>

namespace {
constexpr int RollBackPatienceMs = 4000;
constexpr int RollBackPauseMs = 250;

QString slotName(int slot)
{
    return QStringLiteral("c%1").arg(slot, 2, 10, QLatin1Char('0'));
}

// "morvek2 set tracking room c01 1 2 3" and "morvek2 get tracking room c01": the camera's
// room words after the name, whichever of the two it is.
QStringList roomWords(const QString& text)
{
    QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return words.size() >= 4 ? words.mid(4) : QStringList();
}
} // namespace

RestoreTransaction::RestoreTransaction(IOManager* io, Logger log) : m_io(io), m_log(std::move(log))
{
}

void RestoreTransaction::log(const QString& text)
{
    if (m_log)
        m_log(text);
}

bool RestoreTransaction::sameRoom(const QString& answer, const QString& command)
{
    const QStringList got = roomWords(answer);
    const QStringList wanted = roomWords(command);
    if (got.isEmpty() || got.size() != wanted.size())
        return false;
    for (int i = 0; i < got.size(); ++i) {
        bool numbers[2] = {false, false};
        const double a = got.at(i).toDouble(&numbers[0]);
        const double b = wanted.at(i).toDouble(&numbers[1]);
        if (numbers[0] && numbers[1] ? std::abs(a - b) > 1e-9 * qMax(1.0, std::abs(b))
                                     : got.at(i) != wanted.at(i))
            return false;
    }
    return true;
}

bool RestoreTransaction::readRoom(int slot, QString* answer)
{
    char text[IOManager::AnswerBufferSize] = {};
    if (m_io->sendCommand(text, "morvek2 get tracking room %s", qPrintable(slotName(slot))) != 0)
        return false;
    *answer = QString::fromLatin1(text);
    return true;
}

bool RestoreTransaction::send(const QString& command, QString* problem)
{
    char answer[IOManager::AnswerBufferSize] = {};
    // The command is data from the record: it goes through "%s", never as the format.
    if (m_io->sendCommand(answer, "%s", command.toLatin1().constData()) != 0) {
        *problem = QStringLiteral("refused or no answer");
        return false;
    }
    if (qstrcmp(answer, "morvek2 ok") != 0) {
        *problem = QStringLiteral("answered \"%1\"").arg(QString::fromLatin1(answer));
        return false;
    }
    return true;
}

bool RestoreTransaction::checkCameras(const CalibrationBlock& block, QString* difference,
                                      Report* report)
{
    int count = 0;
    if (m_io->getInt(&count, "%s", "camera number_of_cameras") != 0) {
        report->reached = false;
        *difference = QStringLiteral(
            "the controller does not tell its number of cameras; nothing was changed");
        return false;
    }
    if (count != block.cameras.size()) {
        *difference = QStringLiteral("the controller has %1 cameras, the calibration %2")
                          .arg(count)
                          .arg(block.cameras.size());
        return false;
    }
    QStringList differences;
    for (const CameraResult& camera : block.cameras) {
        char text[IOManager::AnswerBufferSize] = {};
        if (m_io->getString(text, "camera camera %s", qPrintable(slotName(camera.slot))) != 0) {
            differences << QStringLiteral("%1: no answer").arg(slotName(camera.slot));
            continue;
        }
        const QStringList words = QString::fromLatin1(text)
                                      .remove(QLatin1Char('"'))
                                      .split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const QString serial = words.size() > 1 ? words.at(1) : words.join(QLatin1Char(' '));
        if (serial != camera.serial)
            differences << QStringLiteral("%1: recorded %2, now %3")
                               .arg(slotName(camera.slot), camera.serial, serial);
    }
    *difference = differences.join(QStringLiteral("; "));
    return differences.isEmpty();
}

RestoreTransaction::Report RestoreTransaction::fail(Report report, const QString& summary)
{
    report.summary = summary;
    log(QStringLiteral("Error: ") + summary);
    return report;
}

RestoreTransaction::Report RestoreTransaction::verify(const CalibrationBlock& block,
                                                      const QStringList& commands)
{
    Report report;
    QString difference;
    if (commands.size() != block.cameras.size())
        return fail(
            report,
            QStringLiteral("calibration %1 has no complete list of commands").arg(block.number));
    if (!checkCameras(block, &difference, &report))
        return fail(report, report.reached
                                ? QStringLiteral("the cameras differ from calibration %1: %2")
                                      .arg(block.number)
                                      .arg(difference)
                                : difference);
    report.success = true;
    for (int i = 0; i < commands.size(); ++i) {
        QString answer;
        const bool read = readRoom(i + 1, &answer);
        const bool same = read && sameRoom(answer, commands.at(i));
        report.success = report.success && same;
        report.cameras << (!read  ? QStringLiteral("%1: no answer").arg(slotName(i + 1))
                           : same ? QStringLiteral("%1: equal").arg(slotName(i + 1))
                                  : QStringLiteral("%1: differs, controller has \"%2\"")
                                        .arg(slotName(i + 1), answer));
    }
    report.summary = report.success
                         ? QStringLiteral("the controller holds calibration %1 of %2")
                               .arg(block.number)
                               .arg(block.displayDate())
                         : QStringLiteral("the controller does not hold calibration %1 of %2")
                               .arg(block.number)
                               .arg(block.displayDate());
    log(report.summary);
    return report;
}

RestoreTransaction::Report RestoreTransaction::restore(const CalibrationBlock& block,
                                                       const QStringList& commands,
                                                       const Confirm& confirm)
{
    Report report;
    const int count = block.cameras.size();
    log(QStringLiteral("restore of calibration %1 of %2: checking the cameras")
            .arg(block.number)
            .arg(block.displayDate()));
    if (!block.complete() || commands.size() != count)
        return fail(report, QStringLiteral("calibration %1 is incomplete and cannot be restored")
                                .arg(block.number));
    QString difference;
    if (!checkCameras(block, &difference, &report))
        return fail(report, report.reached
                                ? QStringLiteral("refused: the cameras differ from calibration "
                                                 "%1: %2")
                                      .arg(block.number)
                                      .arg(difference)
                                : difference);

    // 1. Keep what the controller holds now, completely, before anything is written.
    log(QStringLiteral("keeping the current calibration of %1 cameras").arg(count));
    QStringList snapshot;
    for (int slot = 1; slot <= count; ++slot) {
        QString answer;
        if (!readRoom(slot, &answer) || roomWords(answer).size() < 2 ||
            roomWords(answer).at(1) == QLatin1String("none"))
            return fail(report,
                        QStringLiteral("refused: the current calibration of %1 cannot be kept")
                            .arg(slotName(slot)));
        snapshot << answer;
    }

    Plan plan{block.number, block.displayDate(), QString(), QStringList(), commands};
    char text[IOManager::AnswerBufferSize] = {};
    QString id, description;
    if (m_io->getString(text, "%s", "config active_config") == 0)
        id = QString::fromLatin1(text);
    if (m_io->getString(text, "%s", "config desc") == 0)
        description = QString::fromLatin1(text).remove(QLatin1Char('"'));
    plan.configuration =
        description.isEmpty() ? id : QStringLiteral("%1 (%2)").arg(description, id);
    for (const CameraResult& camera : block.cameras)
        plan.cameras << slotName(camera.slot) + QLatin1Char(' ') + camera.serial;
    if (confirm && !confirm(plan)) {
        report.summary = QStringLiteral("restore cancelled; nothing was changed");
        log(report.summary);
        return report;
    }

    // 2. Write, each acknowledged, then read everything back.
    QVector<QString> state(count, QStringLiteral("not written"));
    QString failure;
    int written = 0;
    for (; written < count && failure.isEmpty(); ++written) {
        log(QStringLiteral("sending %1").arg(commands.at(written)));
        QString problem;
        report.changed = true;
        if (!send(commands.at(written), &problem))
            failure = QStringLiteral("%1: %2").arg(slotName(written + 1), problem);
        state[written] = failure.isEmpty() ? QStringLiteral("written")
                                           : QStringLiteral("write failed (%1)").arg(problem);
    }
    for (int slot = 1; slot <= count && failure.isEmpty(); ++slot) {
        QString answer;
        if (!readRoom(slot, &answer) || !sameRoom(answer, commands.at(slot - 1))) {
            failure = QStringLiteral("%1 reads back \"%2\"").arg(slotName(slot), answer);
            state[slot - 1] = QStringLiteral("read back differs");
        } else {
            state[slot - 1] = QStringLiteral("restored and read back");
        }
    }
    if (failure.isEmpty()) {
        report.success = true;
        for (int i = 0; i < count; ++i)
            report.cameras << QStringLiteral("%1: %2").arg(slotName(i + 1), state.at(i));
        report.summary =
            QStringLiteral("calibration %1 of %2 restored").arg(block.number).arg(plan.date);
        log(report.summary);
        return report;
    }

    // 3. Put the kept calibration back on every camera that may have been touched.
    log(QStringLiteral("Error: ") +
        QStringLiteral("restore failed at %1; putting the kept calibration back").arg(failure));
    bool rolledBack = true;
    // The failure that led here is often a connection going down; the channel then refuses
    // for a moment before it tries the controller again. Putting the kept calibration back is
    // the one step that must not give up at the first refusal, so each camera gets a few
    // seconds of retries.
    QDeadlineTimer patience(RollBackPatienceMs);
    for (int i = 0; i < written; ++i) {
        QString problem, answer;
        bool ok = false;
        while (true) {
            problem.clear();
            ok = send(snapshot.at(i), &problem) && readRoom(i + 1, &answer) &&
                 sameRoom(answer, snapshot.at(i));
            if (ok || patience.hasExpired())
                break;
            QThread::msleep(RollBackPauseMs);
        }
        rolledBack = rolledBack && ok;
        state[i] = ok ? QStringLiteral("%1, previous calibration back").arg(state.at(i))
                      : QStringLiteral("%1, previous calibration NOT back (%2)")
                            .arg(state.at(i),
                                 problem.isEmpty() ? QStringLiteral("read back differs") : problem);
        log(QStringLiteral("%1: %2").arg(slotName(i + 1), state.at(i)));
    }
    for (int i = 0; i < count; ++i)
        report.cameras << QStringLiteral("%1: %2").arg(slotName(i + 1), state.at(i));
    return fail(
        report,
        rolledBack
            ? QStringLiteral("restore failed (%1); the previous calibration is back").arg(failure)
            : QStringLiteral("restore failed (%1) and the previous calibration could "
                             "not be put back everywhere; check the controller")
                  .arg(failure));
}
