#include "RecordParser.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTextCodec>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {
constexpr qint64 ChunkSize = 1 << 20;
const char Header[] = "# Roomcalibration  created ";
const char Wand[] = "# Wand residual: ";
const char WandRange[] = "   wand range ";
const char Camera[] = "# Cam residual C";
const char Command[] = "morvek2 set tracking room c";
const char NotAdopted[] = "# not adopted by the controller: ";

template <int N> bool startsWith(const char* data, int size, const char (&prefix)[N])
{
    return size >= N - 1 && std::memcmp(data, prefix, N - 1) == 0;
}

bool isSeparator(const char* data, int size)
{
    if (size != 70 || data[0] != '#')
        return false;
    for (int i = 1; i < size; ++i)
        if (data[i] != '-')
            return false;
    return true;
}

bool toDouble(const char* begin, const char* end, double* value)
{
    const auto result = std::from_chars(begin, end, *value);
    return result.ec == std::errc() && result.ptr == end && std::isfinite(*value);
}

// Two or more decimal digits, the camera's number in the record.
bool toSlot(const char* begin, const char* end, int* slot)
{
    if (end - begin < 2)
        return false;
    const auto result = std::from_chars(begin, end, *slot);
    return result.ec == std::errc() && result.ptr == end && *slot > 0;
}

QString tr(const char* text)
{
    return QCoreApplication::translate("RecordParser", text);
}
} // namespace

QString RecordParser::defaultPath()
{
    return QDir::homePath() + QStringLiteral("/.OLV/MORVEK3/roomcal_out.txt");
}

QString RecordParser::decode(const char* data, int size)
{
    bool ascii = true;
    for (int i = 0; i < size && ascii; ++i)
        ascii = static_cast<unsigned char>(data[i]) < 0x80;
    if (ascii)
        return QString::fromLatin1(data, size);
    QTextCodec::ConverterState state(QTextCodec::ConvertInvalidToNull);
    const QString utf8 = QTextCodec::codecForMib(106)->toUnicode(data, size, &state);
    return state.invalidChars == 0 ? utf8 : QString::fromLatin1(data, size);
}

QDateTime RecordParser::parseDate(const QString& text)
{
    QDateTime date = QDateTime::fromString(text, Qt::TextDate);
    if (!date.isValid())
        date =
            QLocale::c().toDateTime(text.simplified(), QStringLiteral("ddd MMM d hh:mm:ss yyyy"));
    return date;
}

bool RecordParser::parseResidualText(const QString& text, double* residual, double* used)
{
    const QByteArray bytes = text.toLatin1();
    const int blank = bytes.indexOf(' ');
    const char* data = bytes.constData();
    return blank > 0 && toDouble(data, data + blank, residual) &&
           toDouble(data + blank + 1, data + bytes.size(), used);
}

CalibrationHistory RecordParser::parseFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        CalibrationHistory history;
        history.path = path;
        return history;
    }
    CalibrationHistory history = parse(&file);
    history.path = path;
    return history;
}

CalibrationHistory RecordParser::parse(QIODevice* device)
{
    RecordParser parser;
    parser.m_history.fileFound = true;
    QByteArray pending;       // a line that runs over the end of a chunk
    qint64 pendingOffset = 0; // where that line starts in the file
    qint64 chunkOffset = 0;
    for (;;) {
        const QByteArray chunk = device->read(ChunkSize);
        if (chunk.isEmpty())
            break;
        const char* data = chunk.constData();
        const int size = chunk.size();
        int start = 0;
        while (start < size) {
            const void* found = std::memchr(data + start, '\n', size_t(size - start));
            if (!found) {
                if (pending.isEmpty())
                    pendingOffset = chunkOffset + start;
                pending.append(data + start, size - start);
                break;
            }
            const int end = int(static_cast<const char*>(found) - data);
            if (pending.isEmpty()) {
                parser.feed(data + start, end - start, chunkOffset + start);
            } else {
                pending.append(data + start, end - start);
                parser.feed(pending.constData(), pending.size(), pendingOffset);
                pending.clear();
            }
            start = end + 1;
        }
        chunkOffset += size;
    }
    if (!pending.isEmpty())
        parser.feed(pending.constData(), pending.size(), pendingOffset);
    return std::move(parser.m_history);
}

void RecordParser::skip(const char* data, int size, const char* reason)
{
    // English, as exports carry it; the window translates it when it shows it.
    m_history.skipped.append({m_line, decode(data, size), QString::fromLatin1(reason)});
}

CalibrationBlock* RecordParser::current(const char* data, int size)
{
    if (m_history.blocks.isEmpty()) {
        skip(data, size, QT_TRANSLATE_NOOP("RecordParser", "before the first calibration"));
        return nullptr;
    }
    return &m_history.blocks.last();
}

void RecordParser::feed(const char* data, int size, qint64 offset)
{
    ++m_line;
    if (size > 0 && data[size - 1] == '\r')
        --size;
    if (size == 0 || isSeparator(data, size))
        return;

    if (startsWith(data, size, Command)) {
        CalibrationBlock* block = current(data, size);
        if (!block)
            return;
        const char* number = data + sizeof(Command) - 1;
        const char* end =
            static_cast<const char*>(std::memchr(number, ' ', size_t(data + size - number)));
        int slot = 0;
        if (!end || !toSlot(number, end, &slot) || slot != block->commandCount + 1) {
            skip(data, size, QT_TRANSLATE_NOOP("RecordParser", "command out of camera order"));
            return;
        }
        if (block->commandCount == 0)
            block->commandsOffset = offset;
        ++block->commandCount;
    } else if (startsWith(data, size, Camera)) {
        CalibrationBlock* block = current(data, size);
        if (block)
            addCamera(block, data, size);
    } else if (startsWith(data, size, Header)) {
        CalibrationBlock block;
        block.number = m_history.blocks.size() + 1;
        block.line = m_line;
        block.offset = offset;
        block.dateText = decode(data + sizeof(Header) - 1, size - int(sizeof(Header)) + 1);
        block.date = parseDate(block.dateText);
        m_history.blocks.append(block);
    } else if (startsWith(data, size, Wand)) {
        CalibrationBlock* block = current(data, size);
        if (!block)
            return;
        if (!block->cameras.isEmpty() || block->wandResidual == block->wandResidual) {
            skip(data, size, QT_TRANSLATE_NOOP("RecordParser", "wand line out of order"));
            return;
        }
        const char* value = data + sizeof(Wand) - 1;
        const char* range =
            std::search(value, data + size, WandRange, WandRange + sizeof(WandRange) - 1);
        if (range == data + size || !toDouble(value, range, &block->wandResidual) ||
            !toDouble(range + sizeof(WandRange) - 1, data + size, &block->wandRange)) {
            block->wandResidual = block->wandRange = NoValue;
            skip(data, size, QT_TRANSLATE_NOOP("RecordParser", "wand values not readable"));
        }
    } else if (startsWith(data, size, NotAdopted)) {
        CalibrationBlock* block = current(data, size);
        if (!block)
            return;
        block->adopted = false;
        block->refusal = decode(data + sizeof(NotAdopted) - 1, size - int(sizeof(NotAdopted)) + 1);
    } else {
        skip(data, size, QT_TRANSLATE_NOOP("RecordParser", "not part of a calibration record"));
    }
}

QString RecordParser::shared(const char* data, int size)
{
    // The lookup key borrows the bytes; only a new word is copied.
    const QByteArray key = QByteArray::fromRawData(data, size);
    const auto found = m_words.constFind(key);
    if (found != m_words.constEnd())
        return found.value();
    const QString word = decode(data, size).remove(QLatin1Char('"'));
    m_words.insert(QByteArray(data, size), word);
    return word;
}

// "# Cam residual C01 (type serial): residual text", taken apart on the bytes: this is most of
// a record's lines.
void RecordParser::addCamera(CalibrationBlock* block, const char* data, int size)
{
    const char* end = data + size;
    const char* number = data + sizeof(Camera) - 1;
    const char* open = static_cast<const char*>(std::memchr(number, ' ', size_t(end - number)));
    const char closing[] = "): ";
    const char* close = open ? std::find_end(open, end, closing, closing + 3) : end;
    CameraResult camera;
    if (!open || open + 1 >= end || open[1] != '(' || close == end ||
        !toSlot(number, open, &camera.slot) || camera.slot != block->cameras.size() + 1 ||
        block->commandCount > 0) {
        skip(data, size, QT_TRANSLATE_NOOP("RecordParser", "camera line out of order"));
        return;
    }
    // The serial is the description's second word; a description of one word is its own key.
    const char* words = open + 2;
    while (words < close && *words == ' ')
        ++words;
    const char* blank = std::find(words, close, ' ');
    const char* serial = blank;
    while (serial < close && *serial == ' ')
        ++serial;
    const char* serialEnd = std::find(serial, close, ' ');
    camera.typeCode = shared(words, int(blank - words));
    camera.serial = serial < close ? shared(serial, int(serialEnd - serial)) : camera.typeCode;
    const char* residual = close + 3;
    const char* gap = std::find(residual, end, ' ');
    if (gap == end || !toDouble(residual, gap, &camera.residual) ||
        !toDouble(gap + 1, end, &camera.used)) {
        camera.residual = camera.used = NoValue;
        camera.residualText = decode(residual, int(end - residual));
    }
    block->cameras.append(camera);
}

bool RecordParser::readCommands(const QString& path, const CalibrationBlock& block,
                                QStringList* commands, QString* error)
{
    commands->clear();
    QFile file(path);
    if (!block.complete()) {
        *error = tr("calibration %1 is incomplete in the record").arg(block.number);
        return false;
    }
    if (!file.open(QIODevice::ReadOnly) || !file.seek(block.offset)) {
        *error = tr("cannot read %1").arg(path);
        return false;
    }
    QByteArray header = file.readLine();
    while (header.endsWith('\n') || header.endsWith('\r'))
        header.chop(1);
    const bool same =
        decode(header.constData(), header.size()) == QLatin1String(Header) + block.dateText;
    if (!same || !file.seek(block.commandsOffset)) {
        *error = tr("the record file changed since it was read; reload it");
        return false;
    }
    // Foreign lines between the commands were skipped when parsing; they are skipped here too.
    while (commands->size() < block.commandCount && !file.atEnd()) {
        QByteArray line = file.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        if (line.startsWith(Header))
            break;
        const QByteArray expected =
            Command + QByteArray::number(commands->size() + 1).rightJustified(2, '0') + ' ';
        if (line.startsWith(expected))
            *commands << QString::fromLatin1(line);
    }
    if (commands->size() != block.commandCount) {
        *error = tr("the record file changed since it was read; reload it");
        commands->clear();
        return false;
    }
    return true;
}
