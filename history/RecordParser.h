#pragma once

#include "CalibrationHistory.h"

#include <QHash>
#include <QStringList>

class QIODevice;

// Reads the record of accepted calibrations that the room calibration module appends to. The file
// is streamed in large chunks and never held whole; lines that belong to no block are reported
// with their number. Bytes that are not UTF-8 are taken as Latin-1.
class RecordParser
{
public:
    // The file the room calibration module appends to, below the user's home folder.
    static QString defaultPath();
    static CalibrationHistory parseFile(const QString& path);
    static CalibrationHistory parse(QIODevice* device);

    // The block's restore commands, read again from the file, one per camera in slot order.
    // False with a reason when the file no longer holds them where they were.
    static bool readCommands(const QString& path, const CalibrationBlock& block,
                             QStringList* commands, QString* error);

    // "residual usedFraction", both finite; false for any other shape.
    static bool parseResidualText(const QString& text, double* residual, double* used);
    static QDateTime parseDate(const QString& text);
    static QString decode(const char* data, int size);

private:
    RecordParser() = default;
    void feed(const char* data, int size, qint64 offset);
    void skip(const char* data, int size, const char* reason);
    CalibrationBlock* current(const char* data, int size);
    void addCamera(CalibrationBlock* block, const char* data, int size);
    QString shared(const char* data, int size);

    CalibrationHistory m_history;
    int m_line = 0;
    // Types and serials repeat in every block: one shared copy each keeps a long history small.
    QHash<QByteArray, QString> m_words;
};
