#include "XlsWorkbook.h"

#include "CompoundFile.h"

#include <QBuffer>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quilla {

namespace {

enum RecordId : quint16
{
    BofRecord = 0x0809,
    EofRecord = 0x000A,
    BoundSheetRecord = 0x0085,
    SstRecord = 0x00FC,
    ContinueRecord = 0x003C,
    FormatRecord = 0x041E,
    XfRecord = 0x00E0,
    DateModeRecord = 0x0022,
    FilePassRecord = 0x002F,
    LabelSstRecord = 0x00FD,
    LabelRecord = 0x0204,
    RStringRecord = 0x00D6,
    RkRecord = 0x027E,
    MulRkRecord = 0x00BD,
    NumberRecord = 0x0203,
    BoolErrRecord = 0x0205,
    FormulaRecord = 0x0006,
    StringRecord = 0x0207,
};

constexpr quint16 Biff8Version = 0x0600;
constexpr quint8 WorksheetType = 0;
constexpr double Days1904 = 1462; // 1904-01-01 counted from 1899-12-30

quint16 le16(const char *p)
{
    return quint16(quint8(p[0]) | quint8(p[1]) << 8);
}

quint32 le32(const char *p)
{
    return quint32(le16(p)) | quint32(le16(p + 2)) << 16;
}

double leDouble(const char *p)
{
    const quint64 bits = quint64(le32(p)) | quint64(le32(p + 4)) << 32;
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

double rkValue(quint32 rk)
{
    double value;
    if (rk & 0x02) {
        value = double(qint32(rk) >> 2);
    } else {
        const quint64 bits = quint64(rk & 0xFFFFFFFC) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return (rk & 0x01) ? value / 100 : value;
}

// A record with the CONTINUE records after it joined on. pieces holds where each
// continuation starts: a string's characters restart there with a new option byte.
struct Record
{
    quint16 id = 0;
    const char *data = nullptr;
    qsizetype size = 0;
    std::vector<qsizetype> pieces;
    QByteArray joined;
};

// The records of a stream read through a device, a piece at a time.
class RecordSource
{
  public:
    explicit RecordSource(QIODevice &device) : m_device(device) {}

    bool seek(qint64 offset)
    {
        m_at = m_end = 0;
        m_bufferStart = offset;
        m_eof = false;
        // A damaged offset past the end: refused here rather than warned about by the device.
        return offset <= m_device.size() && m_device.seek(offset);
    }
    // Where the record read last starts.
    qint64 offset() const { return m_offset; }
    bool failed() const { return m_failed; }

    // false at the end of the stream or at a record that runs past it.
    bool next(Record &record)
    {
        if (!ensure(4))
            return false;
        quint16 length = le16(m_buffer.constData() + m_at + 2);
        if (!ensure(4 + length))
            return false;
        m_offset = m_bufferStart + m_at;
        record.id = le16(m_buffer.constData() + m_at);
        record.pieces.clear();
        if (!ensure(4 + length + 4) || le16(m_buffer.constData() + m_at + 4 + length) != ContinueRecord) {
            record.data = m_buffer.constData() + m_at + 4;
            record.size = length;
            m_at += 4 + length;
            return true;
        }
        record.joined = QByteArray(m_buffer.constData() + m_at + 4, length);
        m_at += 4 + length;
        while (ensure(4) && le16(m_buffer.constData() + m_at) == ContinueRecord) {
            length = le16(m_buffer.constData() + m_at + 2);
            if (!ensure(4 + length))
                break;
            record.pieces.push_back(record.joined.size());
            record.joined.append(m_buffer.constData() + m_at + 4, length);
            m_at += 4 + length;
        }
        record.data = record.joined.constData();
        record.size = record.joined.size();
        return true;
    }

  private:
    // count bytes from m_at in the buffer, reading more when needed.
    bool ensure(qsizetype count)
    {
        if (m_end - m_at >= count)
            return true;
        if (m_eof)
            return false;
        if (m_at > 0) {
            std::memmove(m_buffer.data(), m_buffer.constData() + m_at, size_t(m_end - m_at));
            m_end -= m_at;
            m_bufferStart += m_at;
            m_at = 0;
        }
        const qsizetype wanted = std::max<qsizetype>(count, PieceSize);
        if (m_buffer.size() < wanted)
            m_buffer.resize(wanted);
        while (m_end < count) {
            const qint64 got = m_device.read(m_buffer.data() + m_end, m_buffer.size() - m_end);
            if (got <= 0) {
                m_eof = true;
                m_failed = got < 0;
                return false;
            }
            m_end += got;
        }
        return true;
    }

    static constexpr qsizetype PieceSize = 1 << 16;
    QIODevice &m_device;
    QByteArray m_buffer;
    qsizetype m_at = 0;
    qsizetype m_end = 0;
    qint64 m_bufferStart = 0; // stream offset of m_buffer[0]
    qint64 m_offset = 0;
    bool m_eof = false;
    bool m_failed = false;
};

// Reads the fields of one record; reading past its end clears ok() and yields zeros.
class Cursor
{
  public:
    explicit Cursor(const Record &record) : m_record(record) {}

    bool ok() const { return m_ok; }
    qsizetype remaining() const { return m_record.size - m_pos; }

    quint8 u8() { return has(1) ? quint8(m_record.data[m_pos++]) : 0; }
    quint16 u16() { return has(2) ? le16(take(2)) : 0; }
    quint32 u32() { return has(4) ? le32(take(4)) : 0; }
    double f64() { return has(8) ? leDouble(take(8)) : 0; }
    void skip(qint64 count)
    {
        if (count < 0 || count > remaining())
            m_ok = false;
        else
            m_pos += count;
    }

    // A BIFF8 string: length (one or two bytes), option byte, then the characters,
    // followed by formatting runs and phonetic data when the options say so.
    QString string(bool shortLength)
    {
        const int count = shortLength ? u8() : u16();
        const quint8 options = u8();
        const int runs = (options & 0x08) ? u16() : 0;
        const qint64 extra = (options & 0x04) ? qint32(u32()) : 0;
        QString text = characters(count, options & 0x01);
        skip(4 * qint64(runs));
        skip(extra);
        return m_ok ? text : QString();
    }

  private:
    bool has(qsizetype count)
    {
        if (count > remaining())
            m_ok = false;
        return m_ok;
    }
    const char *take(qsizetype count)
    {
        const char *at = m_record.data + m_pos;
        m_pos += count;
        return at;
    }
    bool atPieceStart() const
    {
        return std::binary_search(m_record.pieces.begin(), m_record.pieces.end(), m_pos);
    }
    qsizetype pieceEnd() const
    {
        const auto next = std::upper_bound(m_record.pieces.begin(), m_record.pieces.end(), m_pos);
        return next == m_record.pieces.end() ? m_record.size : *next;
    }

    QString characters(int count, bool wide)
    {
        QString text;
        text.reserve(int(std::min<qint64>(count, remaining())));
        while (count > 0 && m_ok) {
            // Characters cut by a CONTINUE go on with an option byte of their own, so a
            // string may switch between 8-bit and 16-bit characters halfway.
            if (atPieceStart()) {
                if (!has(1))
                    break;
                wide = quint8(m_record.data[m_pos++]) & 0x01;
            }
            const qsizetype available = (pieceEnd() - m_pos) / (wide ? 2 : 1);
            if (available <= 0) {
                m_ok = false;
                break;
            }
            const int n = int(std::min<qsizetype>(count, available));
            const char *at = take(wide ? 2 * n : n);
            if (wide) {
                for (int i = 0; i < n; ++i)
                    text.append(QChar(char16_t(le16(at + 2 * i))));
            } else {
                text.append(QString::fromLatin1(at, n));
            }
            count -= n;
        }
        return text;
    }

    const Record &m_record;
    qsizetype m_pos = 0;
    bool m_ok = true;
};

// Whether a number format string shows a date or time: any of y m d h s outside
// quoted text, [brackets] and escaped characters.
bool isDateFormat(const QString &format)
{
    bool quoted = false;
    bool bracketed = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const char16_t c = format.at(i).toLower().unicode();
        if (quoted) {
            quoted = c != u'"';
        } else if (bracketed) {
            bracketed = c != u']';
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u'[') {
            bracketed = true;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i;
        } else if (c == u'y' || c == u'm' || c == u'd' || c == u'h' || c == u's') {
            return true;
        }
    }
    return false;
}

bool isBuiltInDateFormat(int id)
{
    // 27-36 and 50-58 are the dates of Chinese, Japanese and Korean Excel.
    return (id >= 14 && id <= 22) || (id >= 45 && id <= 47) || (id >= 27 && id <= 36) ||
           (id >= 50 && id <= 58);
}

constexpr int BlockRows = 32;
constexpr int MaxColumns = 256;
constexpr qint64 NoOffset = -1;

struct SheetEntry
{
    QString name;
    quint32 offset = 0;
};

} // namespace

// Everything the cell records of the sheets refer to.
struct XlsWorkbook::Globals
{
    std::vector<SheetEntry> sheets;
    StringPool strings;
    std::vector<bool> dateXf; // per XF: whether it shows numbers as dates
    bool date1904 = false;

    QString numberText(double value, quint16 xf) const
    {
        // Past year 9999 a date cell shows its number, and dateText never sees a day
        // count too large for an integer.
        if (xf < dateXf.size() && dateXf[xf] && std::abs(value) < 3e6) {
            const QString date = dateText(date1904 ? value + Days1904 : value);
            if (!date.isEmpty())
                return date;
        }
        // Whole numbers (phone numbers, ids) are most cells: skip the general formatting.
        if (value == std::floor(value) && std::abs(value) < 1e15)
            return QString::number(qint64(value));
        return numberToText(value);
    }
};

namespace {

using XlsGlobals = XlsWorkbook::Globals;

enum class GlobalsRead
{
    Read,
    NotBiff8,
    TooLarge,
};

GlobalsRead readGlobals(RecordSource &source, XlsGlobals &globals)
{
    Record record;
    if (!source.seek(0) || !source.next(record) || record.id != BofRecord || record.size < 4 ||
        le16(record.data) != Biff8Version)
        return GlobalsRead::NotBiff8;
    QHash<int, bool> customDate;
    std::vector<quint16> xfFormats;
    while (source.next(record) && record.id != EofRecord) {
        Cursor cursor(record);
        switch (record.id) {
        case FilePassRecord:
            return GlobalsRead::NotBiff8; // encrypted: the records hold nothing readable
        case BoundSheetRecord: {
            SheetEntry sheet;
            sheet.offset = cursor.u32();
            cursor.u8(); // hidden or not: a hidden sheet is still read
            const quint8 type = cursor.u8();
            sheet.name = cursor.string(true);
            if (cursor.ok() && type == WorksheetType)
                globals.sheets.push_back(sheet);
            break;
        }
        case SstRecord: {
            cursor.u32();
            const quint32 count = cursor.u32();
            for (quint32 i = 0; i < count; ++i) {
                const QString text = cursor.string(false);
                if (!cursor.ok())
                    break;
                if (globals.strings.characters() + text.size() > XlsWorkbook::MaxSharedCharacters)
                    return GlobalsRead::TooLarge;
                globals.strings.append(text);
            }
            break;
        }
        case FormatRecord: {
            const quint16 id = cursor.u16();
            const QString format = cursor.string(false);
            if (cursor.ok())
                customDate.insert(id, isDateFormat(format));
            break;
        }
        case XfRecord:
            cursor.u16();
            xfFormats.push_back(cursor.u16());
            break;
        case DateModeRecord:
            globals.date1904 = cursor.u16() == 1;
            break;
        default:
            break;
        }
    }
    globals.dateXf.reserve(xfFormats.size());
    for (quint16 format : xfFormats)
        globals.dateXf.push_back(customDate.value(format, isBuiltInDateFormat(format)));
    return GlobalsRead::Read;
}

// A cell record as read; its text is made when asked for.
class XlsCell : public StreamedWorkbook::Cell
{
  public:
    enum Kind
    {
        Number,
        Shared,
        Text,
        Empty, // an error, or a formula giving no text
    };

    explicit XlsCell(const XlsGlobals &globals) : m_globals(globals) {}

    Kind kind = Empty;
    double number = 0;
    quint16 xf = 0;
    quint32 index = 0; // in the shared strings
    QString stored;    // the text of Text cells

    bool isEmpty() const override
    {
        switch (kind) {
        case Number:
            return false;
        case Shared:
            return index >= m_globals.strings.size() || m_globals.strings.at(index).isEmpty();
        case Text:
            return stored.isEmpty();
        case Empty:
            break;
        }
        return true;
    }

    QString text() const override
    {
        switch (kind) {
        case Number:
            return m_globals.numberText(number, xf);
        case Shared:
            return index < m_globals.strings.size() ? m_globals.strings.at(index).toString() : QString();
        case Text:
            return stored;
        case Empty:
            break;
        }
        return QString();
    }

  private:
    const XlsGlobals &m_globals;
};

// Calls visit(row, column, cell, offset) for each cell record of the sheet, rows and
// columns from 1, with the offset its record starts at, until visit returns false.
// from: where to start, the sheet's BOF or a cell record inside the sheet.
template <typename Visit>
void readSheet(RecordSource &source, qint64 from, bool atBof, const XlsGlobals &globals, Visit &&visit)
{
    Record record;
    if (!source.seek(from) || !source.next(record))
        return;
    if (atBof && record.id != BofRecord)
        return;
    XlsCell cell(globals);
    // Embedded charts bring their own BOF ... EOF; their records are not cells.
    int depth = 1;
    bool stringPending = false;
    quint16 pendingRow = 0;
    quint16 pendingColumn = 0;
    qint64 pendingOffset = 0;
    // A BIFF8 sheet has 256 columns; a cell beyond them is damage and is dropped
    // (rows cannot pass 65 536 in a 16-bit field).
    const auto put = [&](quint16 row, quint16 column, qint64 offset) {
        return column >= MaxColumns || visit(int(row) + 1, int(column) + 1, cell, offset);
    };
    bool reuse = !atBof; // the record read first is a cell
    while (depth > 0 && (reuse || source.next(record))) {
        reuse = false;
        if (record.id == BofRecord) {
            ++depth;
            continue;
        }
        if (record.id == EofRecord) {
            --depth;
            continue;
        }
        if (depth != 1)
            continue;
        const qint64 offset = source.offset();
        Cursor cursor(record);
        bool go = true;
        switch (record.id) {
        case LabelSstRecord: {
            const quint16 row = cursor.u16(), column = cursor.u16();
            cursor.u16();
            cell.kind = XlsCell::Shared;
            cell.index = cursor.u32();
            if (cursor.ok())
                go = put(row, column, offset);
            stringPending = false;
            break;
        }
        case LabelRecord:
        case RStringRecord: {
            const quint16 row = cursor.u16(), column = cursor.u16();
            cursor.u16();
            cell.kind = XlsCell::Text;
            cell.stored = cursor.string(false);
            if (cursor.ok())
                go = put(row, column, offset);
            stringPending = false;
            break;
        }
        case NumberRecord: {
            const quint16 row = cursor.u16(), column = cursor.u16();
            cell.kind = XlsCell::Number;
            cell.xf = cursor.u16();
            cell.number = cursor.f64();
            if (cursor.ok())
                go = put(row, column, offset);
            stringPending = false;
            break;
        }
        case RkRecord: {
            const quint16 row = cursor.u16(), column = cursor.u16();
            cell.kind = XlsCell::Number;
            cell.xf = cursor.u16();
            cell.number = rkValue(cursor.u32());
            if (cursor.ok())
                go = put(row, column, offset);
            stringPending = false;
            break;
        }
        case MulRkRecord: {
            const quint16 row = cursor.u16();
            quint16 column = cursor.u16();
            cell.kind = XlsCell::Number;
            for (qsizetype n = (record.size - 6) / 6; n > 0 && cursor.ok() && go; --n, ++column) {
                cell.xf = cursor.u16();
                cell.number = rkValue(cursor.u32());
                if (cursor.ok())
                    go = put(row, column, offset);
            }
            stringPending = false;
            break;
        }
        case BoolErrRecord: {
            const quint16 row = cursor.u16(), column = cursor.u16();
            cursor.u16();
            const quint8 value = cursor.u8();
            const bool error = cursor.u8();
            cell.kind = error ? XlsCell::Empty : XlsCell::Text;
            cell.stored = error ? QString() : value ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
            if (cursor.ok())
                go = put(row, column, offset);
            stringPending = false;
            break;
        }
        case FormulaRecord: {
            const quint16 row = cursor.u16(), column = cursor.u16(), xf = cursor.u16();
            if (!cursor.ok() || cursor.remaining() < 8)
                break;
            const char *value = record.data + 6;
            stringPending = false;
            if (le16(value + 6) != 0xFFFF) {
                cell.kind = XlsCell::Number;
                cell.xf = xf;
                cell.number = leDouble(value);
                go = put(row, column, offset);
            } else if (value[0] == 0) {
                // The text comes in the STRING record that follows (after a SHRFMLA,
                // ARRAY or TABLE when there is one).
                stringPending = true;
                pendingRow = row;
                pendingColumn = column;
                pendingOffset = offset;
            } else {
                cell.kind = value[0] == 1 ? XlsCell::Text : XlsCell::Empty; // error or empty text
                cell.stored = value[0] != 1 ? QString()
                              : value[2]    ? QStringLiteral("TRUE")
                                            : QStringLiteral("FALSE");
                go = put(row, column, offset);
            }
            break;
        }
        case StringRecord: {
            cell.kind = XlsCell::Text;
            cell.stored = cursor.string(false);
            if (stringPending && cursor.ok())
                go = put(pendingRow, pendingColumn, pendingOffset);
            stringPending = false;
            break;
        }
        default:
            break;
        }
        if (!go)
            return;
    }
}

} // namespace

XlsWorkbook::XlsWorkbook() : StreamedWorkbook(MaxColumns), m_globals(std::make_unique<Globals>()) {}

XlsWorkbook::~XlsWorkbook() = default;

bool XlsWorkbook::load(const QByteArray &workbookStream)
{
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(workbookStream);
    buffer->open(QIODevice::ReadOnly);
    int error = 0;
    return load(std::move(buffer), error);
}

bool XlsWorkbook::load(std::unique_ptr<QIODevice> stream, int &error)
{
    error = NotAWorkbook;
    m_stream = std::move(stream);
    RecordSource source(*m_stream);
    XlsGlobals &globals = *m_globals;
    switch (readGlobals(source, globals)) {
    case GlobalsRead::Read:
        break;
    case GlobalsRead::NotBiff8:
        return false;
    case GlobalsRead::TooLarge:
        error = TooLargeToRead;
        return false;
    }
    QStringList names;
    qsizetype firstCellsLeft = FirstCellsBudget;
    for (const SheetEntry &entry : globals.sheets) {
        if (names.contains(entry.name))
            continue;
        // The shape: the last row with a text, whether rows come in order, and
        // where each block of rows starts for reading from it later.
        SheetShape shape;
        Sheet sheet;
        sheet.offset = entry.offset;
        sheet.blocks.assign(65536 / BlockRows, NoOffset);
        size_t nextBlock = 0;
        readSheet(source, entry.offset, true, globals,
                  [&](int row, int column, const XlsCell &cell, qint64 offset) {
                      shape.note(row, column, cell, firstCellsLeft);
                      for (const size_t block = size_t(row - 1) / BlockRows; nextBlock <= block; ++nextBlock)
                          sheet.blocks[nextBlock] = offset;
                      return true;
                  });
        if (!shape.ordered)
            sheet.blocks.clear();
        names.append(entry.name);
        addSheet(entry.name, shape);
        m_sheets.push_back(std::move(sheet));
    }
    if (source.failed())
        return false;
    error = WorkbookOpened;
    return true;
}

bool XlsWorkbook::unchanged() const
{
    if (m_path.isEmpty())
        return true; // read from memory
    const QFileInfo info(m_path);
    return info.size() == m_fileSize && info.lastModified() == m_modified;
}

bool XlsWorkbook::scan(int index, int from, const CellVisitor &visit) const
{
    if (!unchanged())
        return false;
    const Sheet &sheet = m_sheets.at(index);
    qint64 start = sheet.offset;
    bool atBof = true;
    const size_t block = size_t(std::max(from, 1) - 1) / BlockRows;
    if (block < sheet.blocks.size()) {
        if (sheet.blocks[block] == NoOffset)
            return true; // no cells from there on
        start = sheet.blocks[block];
        atBof = false;
    }
    RecordSource source(*m_stream);
    readSheet(source, start, atBof, *m_globals,
              [&](int row, int column, const XlsCell &cell, qint64) { return visit(row, column, cell); });
    return !source.failed();
}

std::unique_ptr<Workbook> openXlsWorkbook(const QByteArray &bytes, int &error)
{
    error = NotAWorkbook;
    CompoundFile file;
    if (!file.open(bytes))
        return nullptr;
    bool ok = false;
    QByteArray stream = file.stream(QStringLiteral("Workbook"), &ok);
    if (!ok)
        stream = file.stream(QStringLiteral("Book"), &ok); // older files, rejected below unless BIFF8
    if (!ok)
        return nullptr;
    auto book = std::make_unique<XlsWorkbook>();
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(stream);
    buffer->open(QIODevice::ReadOnly);
    if (!book->load(std::move(buffer), error))
        return nullptr;
    return book;
}

std::unique_ptr<Workbook> openXlsWorkbook(const QString &path, int &error)
{
    error = CannotOpenFile;
    const QFileInfo info(path);
    auto file = std::make_shared<CompoundFile>();
    if (!file->openFile(path)) {
        if (!file->fileError())
            error = NotAWorkbook;
        return nullptr;
    }
    error = NotAWorkbook;
    std::unique_ptr<QIODevice> stream = file->openStream(QStringLiteral("Workbook"));
    if (!stream)
        stream = file->openStream(QStringLiteral("Book")); // older files, rejected below unless BIFF8
    if (!stream)
        return nullptr;
    auto book = std::make_unique<XlsWorkbook>();
    book->m_file = file;
    book->m_path = path;
    book->m_fileSize = info.size();
    book->m_modified = info.lastModified();
    if (!book->load(std::move(stream), error))
        return nullptr;
    return book;
}

} // namespace quilla
