#pragma once

#include <QDateTime>
#include <QString>

// The per-user record of accepted room calibrations. Each line is appended on its own, opening
// the file anew, so a block that is cut short by a crash still leaves every earlier line intact.
class CalibrationRecord
{
public:
    static QString filePath();
    // Appends the line and a newline; an unwritable file (missing folder, no rights) drops it.
    static void appendLine(const QString& line);

    static QString header(const QDateTime& created);
    static QString wandLine(double residual, double range);
    static QString cameraLine(int camera, const QString& cameraText, const QString& residual);
    // Ends in a newline of its own, so the block shows an empty line after it.
    static QString separator();
    static QString commandLine(int camera, const QString& calibration);
    // Follows a block whose calibration the controller refused to adopt.
    static QString notAdoptedLine(const QString& answer);
};
