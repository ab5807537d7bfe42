#pragma once

#include <QString>

// Parsing of the controller's per-camera answers for the static cameras table.
class CameraText
{
public:
    // Type code and raw serial: the words at positions 5 and 6 of "morvek2 get camera camera"
    // (only those present, joined by their blank).
    static QString cameraValue(const QString& answer);
    // The first word of the camera value, used to ask for the model description.
    static QString typeWord(const QString& cameraValue);
    // Type code and serial; both empty unless the value has at least two words.
    static void split(const QString& cameraValue, QString* typeCode, QString* serial);
    // Cameras whose serial text must be looked up rather than shown raw.
    static bool hasSerialDescription(const QString& typeCode);
    // A first camera of this family is always calibrated with cameras 1 and 2 fixed.
    static bool isPairedFirstCamera(const QString& typeCode);
    // The camera number behind a table name such as "c07"; 0 when there is none.
    static int numberFromName(QString name);
};
