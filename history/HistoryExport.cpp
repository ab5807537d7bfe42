#include "HistoryExport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
QByteArray csvField(const QString& text)
{
    QString field = text;
    if (field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"')) ||
        field.contains(QLatin1Char('\n')))
        field = QLatin1Char('"') + field.replace(QLatin1Char('"'), QLatin1String("\"\"")) +
                QLatin1Char('"');
    return field.toUtf8();
}

QJsonValue jsonNumber(double value)
{
    return value == value ? QJsonValue(value) : QJsonValue();
}
} // namespace

QString HistoryExport::number(double value)
{
    return value == value ? QString::number(value, 'f', 3) : QString();
}

QString HistoryExport::worstCamera(const CalibrationBlock& block)
{
    const CameraResult* worst = nullptr;
    for (const CameraResult& camera : block.cameras)
        if (camera.hasValues() && (!worst || camera.residual > worst->residual))
            worst = &camera;
    return worst ? QStringLiteral("c%1 %2 (%3)")
                       .arg(worst->slot, 2, 10, QLatin1Char('0'))
                       .arg(worst->serial, number(worst->residual))
                 : QString();
}

QString HistoryExport::flagWords(const CalibrationBlock& block, const QVector<HealthFlag>& flags,
                                 const QString& serial, Words language)
{
    const bool translated = language == Words::Translated;
    const auto text = [translated](const char* english) {
        return translated ? tr(english) : QString::fromLatin1(english);
    };
    QStringList words;
    if (serial.isNull()) {
        if (!block.adopted)
            words << text(QT_TR_NOOP("not adopted"));
        if (!block.complete())
            words << text(QT_TR_NOOP("incomplete"));
    }
    for (const HealthFlag& flag : flags) {
        if (!serial.isNull() && flag.serial != serial)
            continue;
        const QString word =
            translated ? HealthRules::kindLabel(flag.kind) : HealthRules::kindName(flag.kind);
        if (!words.contains(word))
            words << word;
    }
    return words.join(QStringLiteral(", "));
}

QString HistoryExport::summary(const CalibrationHistory& history, const Flags& flags)
{
    // The summary is console output, which stays English like every output for scripts.
    const QStringList headers = {QStringLiteral("#"),       QStringLiteral("Date"),
                                 QStringLiteral("Cameras"), QStringLiteral("Wand"),
                                 QStringLiteral("Range"),   QStringLiteral("Worst"),
                                 QStringLiteral("Flags")};
    QVector<QStringList> rows;
    for (int i = history.blocks.size() - 1; i >= 0; --i) {
        const CalibrationBlock& block = history.blocks.at(i);
        rows.append({QString::number(block.number), block.displayDate(),
                     QString::number(block.cameras.size()), number(block.wandResidual),
                     number(block.wandRange), worstCamera(block),
                     flagWords(block, flags.value(i))});
    }
    QVector<int> widths(headers.size());
    for (int c = 0; c < headers.size(); ++c) {
        widths[c] = headers.at(c).size();
        for (const QStringList& row : rows)
            widths[c] = qMax(widths.at(c), row.at(c).size());
    }
    QString text;
    const auto line = [&](const QStringList& cells) {
        QStringList padded;
        for (int c = 0; c < cells.size(); ++c)
            padded << (c == cells.size() - 1 ? cells.at(c) : cells.at(c).leftJustified(widths[c]));
        text += padded.join(QStringLiteral("  ")).trimmed() + QLatin1Char('\n');
    };
    line(headers);
    for (const QStringList& row : rows)
        line(row);
    return text;
}

QByteArray HistoryExport::csv(const CalibrationHistory& history, const Flags& flags)
{
    QByteArray out = "calibration,date,adopted,wand_residual,wand_range,slot,type,serial,"
                     "residual,used,residual_text,flags\n";
    for (int i = 0; i < history.blocks.size(); ++i) {
        const CalibrationBlock& block = history.blocks.at(i);
        const QByteArray head =
            QByteArray::number(block.number) + ',' + csvField(block.displayDate()) + ',' +
            (block.adopted ? "yes" : "no") + ',' + number(block.wandResidual).toUtf8() + ',' +
            number(block.wandRange).toUtf8() + ',';
        for (const CameraResult& camera : block.cameras)
            out += head + QByteArray::number(camera.slot) + ',' + csvField(camera.typeCode) + ',' +
                   csvField(camera.serial) + ',' + number(camera.residual).toUtf8() + ',' +
                   number(camera.used).toUtf8() + ',' + csvField(camera.residualText) + ',' +
                   csvField(flagWords(block, flags.value(i), camera.serial)) + '\n';
    }
    return out;
}

QByteArray HistoryExport::json(const CalibrationHistory& history, const Flags& flags)
{
    QJsonArray blocks;
    for (int i = 0; i < history.blocks.size(); ++i) {
        const CalibrationBlock& block = history.blocks.at(i);
        QJsonArray cameras;
        for (const CameraResult& camera : block.cameras)
            cameras.append(QJsonObject{{"slot", camera.slot},
                                       {"type", camera.typeCode},
                                       {"serial", camera.serial},
                                       {"residual", jsonNumber(camera.residual)},
                                       {"used", jsonNumber(camera.used)},
                                       {"residualText", camera.residualText}});
        QJsonArray blockFlags;
        for (const HealthFlag& flag : flags.value(i))
            blockFlags.append(QJsonObject{{"kind", HealthRules::kindName(flag.kind)},
                                          {"serial", flag.serial},
                                          {"slot", flag.slot},
                                          {"reason", flag.reason}});
        blocks.append(QJsonObject{
            {"number", block.number},
            {"line", block.line},
            {"date", block.date.isValid() ? block.date.toString(Qt::ISODate) : QString()},
            {"dateText", block.dateText},
            {"adopted", block.adopted},
            {"refusal", block.refusal},
            {"complete", block.complete()},
            {"wandResidual", jsonNumber(block.wandResidual)},
            {"wandRange", jsonNumber(block.wandRange)},
            {"cameras", cameras},
            {"flags", blockFlags}});
    }
    QJsonArray skipped;
    for (const SkippedLine& line : history.skipped)
        skipped.append(
            QJsonObject{{"line", line.line}, {"text", line.text}, {"reason", line.reason}});
    return QJsonDocument(QJsonObject{{"file", history.path},
                                     {"calibrations", blocks},
                                     {"skippedLines", skipped}})
        .toJson();
}
