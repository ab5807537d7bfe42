#pragma once

#include <QDateTime>
#include <QString>
#include <QVector>
#include <limits>

// What the record file holds, as plain values: one block per accepted calibration, in file order,
// and every line that fitted no block.

constexpr double NoValue = std::numeric_limits<double>::quiet_NaN();

struct CameraResult
{
    int slot = 0;     // c01 is 1
    QString typeCode; // first word of the camera's description
    // Second word of the description: the camera's identity across calibrations, whatever slot
    // it sits in.
    QString serial;
    double residual = NoValue;
    double used = NoValue;
    // The controller's text as written, kept when it is not "residual usedFraction".
    QString residualText;

    bool hasValues() const { return residual == residual; }
};

struct CalibrationBlock
{
    int number = 0;     // 1 for the first block of the file
    int line = 0;       // line number of its header
    qint64 offset = -1; // byte offset of its header
    QString dateText;
    QDateTime date; // invalid when the text did not parse; the file order stands in then
    double wandResidual = NoValue;
    double wandRange = NoValue;
    QVector<CameraResult> cameras;
    // The restore commands stay in the file: only where they start is kept, so that a long
    // history does not hold a million command texts in memory.
    int commandCount = 0;
    qint64 commandsOffset = -1;
    bool adopted = true;
    QString refusal; // the controller's answer when it did not adopt the block

    // A block cut short (no cameras, or fewer commands than cameras) cannot be restored.
    bool complete() const { return !cameras.isEmpty() && commandCount == cameras.size(); }
    QString displayDate() const
    {
        return date.isValid() ? date.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) : dateText;
    }
};

struct SkippedLine
{
    int line = 0;
    QString text;
    QString reason;
};

struct CalibrationHistory
{
    QString path;
    bool fileFound = false;
    QVector<CalibrationBlock> blocks;
    QVector<SkippedLine> skipped;

    // Index of the newest block the controller adopted, -1 when there is none.
    int newestAdopted() const
    {
        for (int i = blocks.size() - 1; i >= 0; --i)
            if (blocks.at(i).adopted && blocks.at(i).complete())
                return i;
        return -1;
    }
};
