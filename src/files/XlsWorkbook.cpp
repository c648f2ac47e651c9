#include "XlsWorkbook.h"

#include "CompoundFile.h"

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

class RecordReader
{
  public:
    RecordReader(const QByteArray &stream, qsizetype from) : m_stream(stream), m_pos(from) {}

    // false at the end of the stream or at a record that runs past it.
    bool next(Record &record)
    {
        qsizetype length;
        if (!header(record.id, length))
            return false;
        record.data = m_stream.constData() + m_pos + 4;
        record.size = length;
        record.pieces.clear();
        m_pos += 4 + length;
        quint16 id;
        if (header(id, length) && id == ContinueRecord) {
            record.joined = QByteArray(record.data, record.size);
            while (header(id, length) && id == ContinueRecord) {
                record.pieces.push_back(record.joined.size());
                record.joined.append(m_stream.constData() + m_pos + 4, length);
                m_pos += 4 + length;
            }
            record.data = record.joined.constData();
            record.size = record.joined.size();
        }
        return true;
    }

  private:
    bool header(quint16 &id, qsizetype &length) const
    {
        if (m_pos < 0 || m_pos + 4 > m_stream.size())
            return false;
        id = le16(m_stream.constData() + m_pos);
        length = le16(m_stream.constData() + m_pos + 2);
        return m_pos + 4 + length <= m_stream.size();
    }

    const QByteArray &m_stream;
    qsizetype m_pos;
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

quint32 cellKey(quint16 row, quint16 column)
{
    return quint32(row) << 8 | (column & 0xFF);
}

struct SheetEntry
{
    QString name;
    quint32 offset = 0;
};

// Everything the cell records of the sheets refer to.
struct XlsGlobals
{
    std::vector<SheetEntry> sheets;
    std::vector<QString> strings;
    std::vector<bool> dateXf;
    bool date1904 = false;

    QString numberText(double value, quint16 xf) const
    {
        // Past year 9999 a date cell shows its number, and DateText never sees a day
        // count too large for an integer.
        if (xf < dateXf.size() && dateXf[xf] && std::abs(value) < 3e6) {
            const QString date = DateText(date1904 ? value + Days1904 : value);
            if (!date.isEmpty())
                return date;
        }
        // Whole numbers (phone numbers, ids) are most cells: skip the general formatting.
        if (value == std::floor(value) && std::abs(value) < 1e15)
            return QString::number(qint64(value));
        return NumberText(value);
    }
};

bool readGlobals(const QByteArray &stream, XlsGlobals &globals)
{
    RecordReader reader(stream, 0);
    Record record;
    if (!reader.next(record) || record.id != BofRecord || record.size < 4 ||
        le16(record.data) != Biff8Version)
        return false;
    QHash<int, bool> customDate;
    std::vector<quint16> xfFormats;
    while (reader.next(record) && record.id != EofRecord) {
        Cursor cursor(record);
        switch (record.id) {
        case FilePassRecord:
            return false; // encrypted: the records hold nothing readable
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
            // The count comes from the file: reserve no more than the record can hold.
            globals.strings.reserve(std::min<qsizetype>(count, record.size / 3));
            for (quint32 i = 0; i < count; ++i) {
                QString text = cursor.string(false);
                if (!cursor.ok())
                    break;
                globals.strings.push_back(text);
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
    return true;
}

void readSheet(const QByteArray &stream, quint32 offset, const XlsGlobals &globals,
               QHash<quint32, QString> &cells)
{
    RecordReader reader(stream, offset);
    Record record;
    if (!reader.next(record) || record.id != BofRecord)
        return;
    auto put = [&cells](quint16 row, quint16 column, const QString &text) {
        if (text.isEmpty())
            cells.remove(cellKey(row, column));
        else
            cells.insert(cellKey(row, column), text);
    };
    // Embedded charts bring their own BOF ... EOF; their records are not cells.
    int depth = 1;
    bool stringPending = false;
    quint16 pendingRow = 0;
    quint16 pendingColumn = 0;
    while (depth > 0 && reader.next(record)) {
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
        Cursor cursor(record);
        switch (record.id) {
        case LabelSstRecord: {
            const quint16 row = cursor.u16(), column = cursor.u16();
            cursor.u16();
            const quint32 index = cursor.u32();
            if (cursor.ok())
                put(row, column, index < globals.strings.size() ? globals.strings[index] : QString());
            stringPending = false;
            break;
        }
        case LabelRecord:
        case RStringRecord: {
            const quint16 row = cursor.u16(), column = cursor.u16();
            cursor.u16();
            const QString text = cursor.string(false);
            if (cursor.ok())
                put(row, column, text);
            stringPending = false;
            break;
        }
        case NumberRecord: {
            const quint16 row = cursor.u16(), column = cursor.u16(), xf = cursor.u16();
            const double value = cursor.f64();
            if (cursor.ok())
                put(row, column, globals.numberText(value, xf));
            stringPending = false;
            break;
        }
        case RkRecord: {
            const quint16 row = cursor.u16(), column = cursor.u16(), xf = cursor.u16();
            const quint32 rk = cursor.u32();
            if (cursor.ok())
                put(row, column, globals.numberText(rkValue(rk), xf));
            stringPending = false;
            break;
        }
        case MulRkRecord: {
            const quint16 row = cursor.u16();
            quint16 column = cursor.u16();
            for (qsizetype n = (record.size - 6) / 6; n > 0 && cursor.ok(); --n, ++column) {
                const quint16 xf = cursor.u16();
                const quint32 rk = cursor.u32();
                if (cursor.ok())
                    put(row, column, globals.numberText(rkValue(rk), xf));
            }
            stringPending = false;
            break;
        }
        case BoolErrRecord: {
            const quint16 row = cursor.u16(), column = cursor.u16();
            cursor.u16();
            const quint8 value = cursor.u8();
            const bool error = cursor.u8();
            if (cursor.ok())
                put(row, column,
                    error   ? QString()
                    : value ? QStringLiteral("TRUE")
                            : QStringLiteral("FALSE"));
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
                put(row, column, globals.numberText(leDouble(value), xf));
            } else if (value[0] == 0) {
                // The text comes in the STRING record that follows (after a SHRFMLA,
                // ARRAY or TABLE when there is one).
                stringPending = true;
                pendingRow = row;
                pendingColumn = column;
            } else if (value[0] == 1) {
                put(row, column, value[2] ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
            } else {
                put(row, column, QString()); // error or empty text
            }
            break;
        }
        case StringRecord: {
            const QString text = cursor.string(false);
            if (stringPending && cursor.ok())
                put(pendingRow, pendingColumn, text);
            stringPending = false;
            break;
        }
        default:
            break;
        }
    }
}

} // namespace

bool XlsWorkbook::load(const QByteArray &workbookStream)
{
    XlsGlobals globals;
    m_names.clear();
    m_sheets.clear();
    if (!readGlobals(workbookStream, globals))
        return false;
    // Several sheets pointing at the same place (a damaged file) are read once.
    QHash<quint32, size_t> read;
    for (const SheetEntry &entry : globals.sheets) {
        if (m_names.contains(entry.name))
            continue;
        Sheet sheet;
        if (read.contains(entry.offset)) {
            sheet = m_sheets[read.value(entry.offset)];
        } else {
            readSheet(workbookStream, entry.offset, globals, sheet.cells);
            for (auto it = sheet.cells.cbegin(); it != sheet.cells.cend(); ++it)
                sheet.lastRow = std::max(sheet.lastRow, int(it.key() >> 8) + 1);
            read.insert(entry.offset, m_sheets.size());
        }
        m_names.append(entry.name);
        m_sheets.push_back(std::move(sheet));
    }
    return true;
}

const XlsWorkbook::Sheet *XlsWorkbook::findSheet(const QString &name) const
{
    const qsizetype index = m_names.indexOf(name);
    return index < 0 ? nullptr : &m_sheets[index];
}

QString XlsWorkbook::cellText(const QString &sheet, int row, int column) const
{
    const Sheet *found = findSheet(sheet);
    if (!found || row < 1 || row > 65536 || column < 1 || column > 256)
        return QString();
    return found->cells.value(cellKey(quint16(row - 1), quint16(column - 1)));
}

int XlsWorkbook::lastRow(const QString &sheet) const
{
    const Sheet *found = findSheet(sheet);
    return found ? found->lastRow : 0;
}

std::unique_ptr<Workbook> OpenXlsWorkbook(const QByteArray &bytes, int &error)
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
    if (!book->load(stream))
        return nullptr;
    error = WorkbookOpened;
    return book;
}

} // namespace quilla
