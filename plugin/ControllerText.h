#pragma once

// Small helpers shared by every dialog: the controller speaks 8-bit text lines whose words are
// separated by single blanks, and every read can fail. Names that reach IOManager are always
// passed as "%s" values, so text that came from the controller is never used as a format.

#include <QByteArray>
#include <QString>
#include <QStringList>

class IOManager;

namespace ControllerText {

// Words split at single blanks; two blanks in a row make an empty word.
QStringList words(const QString& answer);
// The word at a 0-based position, or an empty text when the answer is shorter.
QString word(const QString& answer, int index);
QString withoutQuotes(QString text);
// Counts the controller reports (cameras, configurations, coordinate types) are bounded before
// anything loops over them: far beyond any real installation, a garbled answer would otherwise
// stall the GUI in millions of exchanges or rows.
constexpr int MaxCount = 999;
inline int boundedCount(int count)
{
    return count < 0 ? 0 : count > MaxCount ? MaxCount : count;
}

// Camera, slot and step names: c01 ... c99, c100.
QString numbered(char prefix, int number);
inline QString cameraName(int number)
{
    return numbered('c', number);
}
// A NUL-terminated answer buffer as text; never reads past the buffer even when unterminated.
QString fromBuffer(const char* buffer);

// Parameter and command exchanges with the answer as text. A failed exchange leaves the text
// empty, because the host does not define the buffer after a failure.
bool getString(IOManager* io, const QString& name, QString* value);
QString getStringOr(IOManager* io, const QString& name, const QString& fallback);
bool sendCommand(IOManager* io, const QString& command, QString* answer);
// The answer to a command whatever the outcome: a host may leave the controller's refusal in the
// buffer, which is the only place its reason can come from. Empty when the host wrote nothing.
QString commandAnswer(IOManager* io, const QString& command);
bool setParameter(IOManager* io, const QString& text);
bool getInt(IOManager* io, const QString& name, int* value);
bool getDouble(IOManager* io, const QString& name, double* value);
bool getFlag(IOManager* io, const QString& name, bool* value);
// count values, count > 0.
bool getDoubles(IOManager* io, const QString& name, double* values, int count);
// An event-log entry in the module's category and source.
void log(IOManager* io, const QString& text);

} // namespace ControllerText
