#pragma once

// The controller can apply an extra rotation, translation and scaling on top of the room
// calibration. Accepting a fresh calibration makes that adjustment meaningless, so the result
// review checks for it and puts it back to the identity.

#include <QString>
#include <QVector>

class IOManager;
class QWidget;
struct BackendVersions;

namespace RoomAdjustment {

struct Angles
{
    double alpha = 0.0;
    double beta = 0.0;
    double gamma = 0.0;
};

// The first `count` numbers of a blank-separated answer. Fields are cut at every single blank,
// so doubled blanks give empty fields; empty, missing or unparsable fields count as 0.
QVector<double> fields(const QString& answer, int count);

// Euler angles in degrees of a row-ordered 3 x 3 rotation matrix (nine values).
Angles anglesOf(const QVector<double>& matrix);

// Older controllers know no room adjustment; below this version nothing is read or written.
bool applies(const BackendVersions* versions);

// False only when the controller reports an adjustment that is not the identity. A parameter
// that cannot be read is left out of the judgement.
bool isFree(IOManager* io, const BackendVersions* versions);

// Writes the identity, stopping at the first failed write with a warning box over `parent`.
void reset(IOManager* io, const BackendVersions* versions, QWidget* parent);

} // namespace RoomAdjustment
