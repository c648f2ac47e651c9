#include "CompoundFile.h"
#include "ExportTable.h"
#include "system/ReplacingFile.h"
#include "data/Progress.h"

#include <QHash>

#include <algorithm>
#include <cmath>

namespace quilla {

namespace {

enum RecordId : quint16
{
    Bof = 0x0809,
    Eof = 0x000A,
    CodePage = 0x0042,
    Window1 = 0x003D,
    Font = 0x0031,
    Xf = 0x00E0,
    Style = 0x0293,
    Palette = 0x0092,
    BoundSheet = 0x0085,
    Sst = 0x00FC,
    Continue = 0x003C,
    ExtSst = 0x00FF,
    Dimensions = 0x0200,
    ColInfo = 0x007D,
    Window2 = 0x023E,
    LabelSst = 0x00FD,
    Blank = 0x0201,
};

constexpr int MaxRows = 65536;
constexpr int MaxColumns = 256;
constexpr int MaxRecordData = 8224;
constexpr int MaxCellText = 32767; // what a spreadsheet cell holds

// Fonts 0..3 are the regular font; number 4 does not exist in BIFF, so the bold
// font, the fifth record, is number 5.
constexpr quint16 BoldFont = 5;
// The header fill takes the place of palette entry 47 (0xFFCC99, the nearest default).
constexpr quint16 HeaderColour = 47;
constexpr quint8 HeaderRed = 255, HeaderGreen = 192, HeaderBlue = 128;
constexpr quint16 BlackColour = 8;
constexpr quint16 BodyXf = 16;
constexpr quint16 HeaderXf = 17;

// BIFF8's default palette, entries 8..63, as 0xRRGGBB.
constexpr quint32 DefaultPalette[56] = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0x800000, 0x008000,
    0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080, 0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF,
    0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF, 0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000,
    0x008080, 0x0000FF, 0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696, 0x003366, 0x339966,
    0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333,
};

// Record data built little-endian.
class Data
{
  public:
    Data &u8(quint8 v)
    {
        m_bytes.append(char(v));
        return *this;
    }
    Data &u16(quint16 v) { return u8(quint8(v)).u8(quint8(v >> 8)); }
    Data &u32(quint32 v) { return u16(quint16(v)).u16(quint16(v >> 16)); }
    Data &utf16(const QString &text)
    {
        for (QChar c : text)
            u16(c.unicode());
        return *this;
    }
    const QByteArray &bytes() const { return m_bytes; }

  private:
    QByteArray m_bytes;
};

void appendRecord(QByteArray &stream, quint16 id, const QByteArray &data)
{
    Data head;
    head.u16(id).u16(quint16(data.size()));
    stream += head.bytes();
    stream += data;
}

void appendRecord(QByteArray &stream, quint16 id, const Data &data)
{
    appendRecord(stream, id, data.bytes());
}

// A cell record is 4 + 6 (+ 4) bytes; these are written by the hundred thousand,
// so they skip the Data builder.
void appendCell(QByteArray &stream, quint16 id, quint16 row, quint16 column, quint16 xf, const quint32 *sst)
{
    char bytes[14];
    const quint16 size = sst ? 10 : 6;
    const quint16 fields[5] = {id, size, row, column, xf};
    for (int i = 0; i < 5; ++i) {
        bytes[2 * i] = char(fields[i] & 0xFF);
        bytes[2 * i + 1] = char(fields[i] >> 8);
    }
    if (sst)
        for (int i = 0; i < 4; ++i)
            bytes[10 + i] = char((*sst >> (8 * i)) & 0xFF);
    stream.append(bytes, 4 + size);
}

Data font(quint16 weight)
{
    const QString name = QStringLiteral("宋体");
    Data d;
    d.u16(240)       // 12 pt, in twentieths of a point
        .u16(0)      // no italic or strike-through
        .u16(0x7FFF) // automatic colour
        .u16(weight) // 400 regular, 700 bold
        .u16(0)      // no super- or subscript
        .u8(0)       // no underline
        .u8(0)       // family
        .u8(0x86)    // GB2312 character set
        .u8(0)
        .u8(quint8(name.size()))
        .u8(1)
        .utf16(name);
    return d;
}

struct XfLook
{
    quint16 font = 0;
    bool style = false;
    bool borders = false;
    bool fill = false;
    bool outline = false; // a style XF other than "Normal": none of its attributes apply
};

Data xf(const XfLook &look)
{
    Data d;
    d.u16(look.font).u16(0);             // General number format
    d.u16(look.style ? 0xFFF5 : 0x0001); // locked; a style XF has no parent
    d.u8(0x20).u8(0).u8(0);              // bottom-aligned, no rotation or indent
    quint8 used = 0;                     // in a cell XF: what differs from its style
    if (!look.style) {
        used |= look.font ? 0x08 : 0;
        used |= look.borders ? 0x20 : 0;
        used |= look.fill ? 0x40 : 0;
    } else if (look.outline) {
        used = 0xF4;
    }
    d.u8(used);
    quint32 lines = 0;
    quint32 more = 0;
    if (look.borders) {
        lines = 0x1111 | quint32(BlackColour) << 16 | quint32(BlackColour) << 23; // thin on all four sides
        more = quint32(BlackColour) | quint32(BlackColour) << 7;
    }
    if (look.fill)
        more |= 1u << 26; // solid pattern
    d.u32(lines).u32(more);
    const quint16 fore = look.fill ? HeaderColour : 0x40;
    d.u16(quint16(fore | 0x41 << 7)); // background: the window colour
    return d;
}

// A string as BIFF8 stores it: one byte a character when all fit, else UTF-16.
struct SstString
{
    QString text;
    bool wide = false;
};

// The shared strings as an SST record and its CONTINUE records, with an EXTSST
// naming where every bucketSize-th string starts. A string's length and option
// byte are never split; characters cut by a record end go on after an option
// byte of their own.
class SstWriter
{
  public:
    SstWriter(quint32 total, const QList<SstString> &strings, qsizetype streamOffset)
    {
        const qsizetype count = strings.size();
        m_bucketSize = std::max<qsizetype>(8, count / 128 + 1);
        m_piece.u32(total).u32(quint32(count));
        for (qsizetype i = 0; i < count; ++i) {
            const SstString &s = strings[i];
            const int unit = s.wide ? 2 : 1;
            const int headerSize = s.text.isEmpty() ? 3 : 3 + unit;
            if (m_piece.bytes().size() + headerSize > MaxRecordData)
                flush();
            if (i % m_bucketSize == 0) {
                const qsizetype inRecord = 4 + m_piece.bytes().size();
                m_buckets.append({quint32(streamOffset + m_records.size() + inRecord), quint16(inRecord)});
            }
            m_piece.u16(quint16(s.text.size())).u8(s.wide ? 1 : 0);
            qsizetype done = 0;
            while (done < s.text.size()) {
                qsizetype take =
                    std::min((MaxRecordData - m_piece.bytes().size()) / unit, s.text.size() - done);
                // Readers that decode each piece on its own choke on half a surrogate pair.
                if (take > 0 && done + take < s.text.size() && s.text[done + take - 1].isHighSurrogate())
                    --take;
                if (take == 0) {
                    flush();
                    m_piece.u8(s.wide ? 1 : 0);
                    continue;
                }
                for (qsizetype c = done; c < done + take; ++c) {
                    if (s.wide)
                        m_piece.u16(s.text[c].unicode());
                    else
                        m_piece.u8(quint8(s.text[c].unicode()));
                }
                done += take;
            }
        }
        flush();
    }

    QByteArray records() const { return m_records; }

    QByteArray extSst() const
    {
        Data d;
        d.u16(quint16(m_bucketSize));
        for (const auto &[offset, inRecord] : m_buckets)
            d.u32(offset).u16(inRecord).u16(0);
        QByteArray out;
        appendRecord(out, ExtSst, d);
        return out;
    }

  private:
    void flush()
    {
        appendRecord(m_records, m_records.isEmpty() ? Sst : Continue, m_piece);
        m_piece = Data();
    }

    QByteArray m_records;
    Data m_piece;
    qsizetype m_bucketSize = 8;
    QList<std::pair<quint32, quint16>> m_buckets;
};

// A text cut at what a cell holds; cutCells counts the cells cut.
QString cellText(const QString &text, int &cutCells)
{
    if (text.size() <= MaxCellText)
        return text;
    ++cutCells;
    QString cut = text.left(MaxCellText);
    if (cut.back().isHighSurrogate())
        cut.chop(1);
    return cut;
}

// The column width in 1/256 of a character: whole characters, as many as
// 123-twip steps fit, at most 255 characters.
quint16 columnWidth(double twips)
{
    const double characters = std::floor(twips / 123);
    if (!(characters > 0))
        return 0;
    return quint16(std::min(characters, 255.0) * 256);
}

QByteArray globals(const QString &sheetName, const SstWriter *sst, qsizetype &sheetOffsetAt,
                   qsizetype &sstOffsetAt)
{
    QByteArray out;
    appendRecord(out, Bof, Data().u16(0x0600).u16(0x0005).u16(0x0DBB).u16(0x07CC).u32(0).u32(0x0006));
    appendRecord(out, CodePage, Data().u16(1200));
    appendRecord(out, Window1,
                 Data().u16(0).u16(0).u16(0x3000).u16(0x2000).u16(0x0038).u16(0).u16(0).u16(1).u16(0x0258));
    for (int i = 0; i < 4; ++i)
        appendRecord(out, Font, font(400));
    appendRecord(out, Font, font(700));
    appendRecord(out, Xf, xf({.style = true}));
    for (int i = 1; i < 15; ++i)
        appendRecord(out, Xf, xf({.style = true, .outline = true}));
    appendRecord(out, Xf, xf({}));                                                // 15: default cell
    appendRecord(out, Xf, xf({.borders = true}));                                 // 16: body
    appendRecord(out, Xf, xf({.font = BoldFont, .borders = true, .fill = true})); // 17: header
    appendRecord(out, Style, Data().u16(0x8000).u8(0).u8(0xFF));                  // "Normal" on XF 0
    Data palette;
    palette.u16(56);
    for (int i = 0; i < 56; ++i) {
        const quint32 rgb = DefaultPalette[i];
        if (i + 8 == HeaderColour)
            palette.u8(HeaderRed).u8(HeaderGreen).u8(HeaderBlue).u8(0);
        else
            palette.u8(quint8(rgb >> 16)).u8(quint8(rgb >> 8)).u8(quint8(rgb)).u8(0);
    }
    appendRecord(out, Palette, palette);
    sheetOffsetAt = out.size() + 4;
    appendRecord(out, BoundSheet,
                 Data().u32(0).u8(0).u8(0).u8(quint8(sheetName.size())).u8(1).utf16(sheetName));
    sstOffsetAt = out.size();
    if (sst) {
        out += sst->records();
        out += sst->extSst();
    }
    appendRecord(out, Eof, QByteArray());
    return out;
}

// A sheet name holds at most 31 characters and none of : \ / ? * [ ].
QString usableSheetName(const QString &name)
{
    QString clean;
    for (QChar c : name)
        clean += QStringLiteral(":\\/?*[]").contains(c) ? QChar(u'_') : c;
    if (clean.size() > 31) {
        clean.truncate(31);
        if (clean.back().isHighSurrogate())
            clean.chop(1);
    }
    return clean.isEmpty() ? QStringLiteral("Sheet1") : clean;
}

} // namespace

ExportFailure writeXls(const ExportTable &table, const QString &path, const QString &sheetName,
                       Progress &progress, ExportNotes *notes)
{
    const int rows = int(std::min<qsizetype>(table.rows.size(), MaxRows + 1));
    int columns = 0;
    for (const QStringList &row : table.rows)
        columns = std::max(columns, int(std::min<qsizetype>(row.size(), MaxColumns + 1)));
    if (table.rows.size() > MaxRows || columns > MaxColumns)
        return ExportFailure::TooLarge;

    // One step per row while the cells are laid out, one for building and saving the file.
    progress.begin(QStringLiteral("正在将数据导出到EXCEL文件 …"), rows + 1);
    struct EndProgress
    {
        Progress &progress;
        ~EndProgress() { progress.end(); }
    } endProgress{progress};

    QHash<QString, quint32> sstIndex;
    QList<SstString> strings;
    quint32 sstTotal = 0;
    int cut = 0;

    QByteArray sheet;
    appendRecord(sheet, Bof, Data().u16(0x0600).u16(0x0010).u16(0x0DBB).u16(0x07CC).u32(0).u32(0x0006));
    appendRecord(sheet, Dimensions, Data().u32(0).u32(quint32(rows)).u16(0).u16(quint16(columns)).u16(0));
    for (int c = 0; c < columns && c < table.widths.size(); ++c) {
        const quint16 width = columnWidth(table.widths[c]);
        appendRecord(sheet, ColInfo,
                     Data().u16(quint16(c)).u16(quint16(c)).u16(width).u16(15).u16(width ? 0 : 1).u16(0));
    }
    appendRecord(sheet, Window2, Data().u16(0x06B6).u16(0).u16(0).u16(0x40).u16(0).u16(0).u16(0).u32(0));
    sheet.reserve(sheet.size() + qsizetype(rows) * columns * 14 + 4);

    // Every cell of the used range carries the border, empty ones as BLANK records.
    for (int r = 0; r < rows; ++r) {
        const QStringList &row = table.rows[r];
        const quint16 xfIndex = r < table.headerRows ? HeaderXf : BodyXf;
        for (int c = 0; c < columns; ++c) {
            const QString text = c < row.size() ? cellText(row[c], cut) : QString();
            if (text.isEmpty()) {
                appendCell(sheet, Blank, quint16(r), quint16(c), xfIndex, nullptr);
                continue;
            }
            auto found = sstIndex.constFind(text);
            if (found == sstIndex.constEnd()) {
                bool wide = false;
                for (QChar ch : text)
                    wide = wide || ch.unicode() > 0xFF;
                found = sstIndex.insert(text, quint32(strings.size()));
                strings.append({text, wide});
            }
            const quint32 index = *found;
            appendCell(sheet, LabelSst, quint16(r), quint16(c), xfIndex, &index);
            ++sstTotal;
        }
        progress.step(1);
    }
    appendRecord(sheet, Eof, QByteArray());

    // The SST's place in the stream decides the offsets in EXTSST: lay out the
    // globals once without it to learn where it goes.
    const QString name = usableSheetName(sheetName);
    qsizetype sheetOffsetAt = 0;
    qsizetype sstAt = 0;
    globals(name, nullptr, sheetOffsetAt, sstAt);
    const SstWriter sst(sstTotal, strings, sstAt);
    QByteArray workbook = globals(name, &sst, sheetOffsetAt, sstAt);
    const quint32 sheetOffset = quint32(workbook.size());
    for (int i = 0; i < 4; ++i)
        workbook[sheetOffsetAt + i] = char((sheetOffset >> (8 * i)) & 0xFF);
    workbook += sheet;
    sheet.clear();

    const QByteArray file = buildCompoundFile({{QStringLiteral("Workbook"), workbook}});
    ReplacingFile out(path);
    if (!out.open() || out.device().write(file) != file.size() || !out.commit())
        return ExportFailure::CannotWrite;
    progress.step(1);
    if (notes)
        *notes = {.cutCells = cut};
    return ExportFailure::None;
}

} // namespace quilla
