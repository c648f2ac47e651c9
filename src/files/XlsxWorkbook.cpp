#include "XlsxWorkbook.h"

#include "XlsxText.h"
#include "XmlScanner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QUrl>

#include <quazip.h>
#include <quazipfile.h>

#include <cmath>

namespace quilla {

namespace {

// The largest sheet a spreadsheet program makes; a row or column beyond it is damage.
constexpr int MaxRows = 1048576;
constexpr int MaxColumns = 16384;
constexpr int MaxEntries = 100000;
// Bytes one cell's text may take in the XML, escapes and character references included.
constexpr qsizetype MaxRawText = qsizetype(XlsxWorkbook::MaxCellText) * 12;
// Serial of 9999-12-31: later "dates" are numbers that merely wear a date style.
constexpr double LastDateSerial = 2958465;

enum class Read
{
    Done,
    Stopped, // by the visitor
    Missing, // no such part
    Damaged,
    TooLarge,
};

Read failure(const XmlScanner &xml)
{
    return xml.tooLarge() ? Read::TooLarge : Read::Damaged;
}

// A whole number of up to 15 digits without leading zeros already is its shortest
// text, and most number cells are such: going through a double costs more than all
// the rest of the reading.
bool isPlainInteger(QByteArrayView value)
{
    qsizetype i = value.startsWith('-') ? 1 : 0;
    const qsizetype digits = value.size() - i;
    if (digits < 1 || digits > 15 || value.at(i) == '0')
        return false;
    for (; i < value.size(); ++i)
        if (value.at(i) < '0' || value.at(i) > '9')
            return false;
    return true;
}

bool isBlankText(QByteArrayView value)
{
    for (const char c : value)
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            return false;
    return true;
}

// A number of 1 to 9 digits, nothing else.
int smallNumber(QByteArrayView digits, bool &ok)
{
    ok = !digits.isEmpty() && digits.size() <= 9;
    int n = 0;
    for (qsizetype i = 0; ok && i < digits.size(); ++i) {
        ok = digits.at(i) >= '0' && digits.at(i) <= '9';
        n = n * 10 + (digits.at(i) - '0');
    }
    return ok ? n : 0;
}

// Column and row of a reference such as "B3"; false when it is none, or outside the sheet.
bool parseReference(QByteArrayView reference, int &column, int &row)
{
    qsizetype i = 0;
    int c = 0;
    for (; i < reference.size() && i < 3; ++i) {
        const char ch = reference.at(i);
        if (ch >= 'a' && ch <= 'z')
            c = c * 26 + (ch - 'a' + 1);
        else if (ch >= 'A' && ch <= 'Z')
            c = c * 26 + (ch - 'A' + 1);
        else
            break;
    }
    bool ok = false;
    const int r = smallNumber(reference.sliced(i), ok);
    if (i == 0 || !ok || r < 1 || r > MaxRows || c > MaxColumns)
        return false;
    column = c;
    row = r;
    return true;
}

// Whether a number format code shows a date or time: a y, m, d, h or s that is not in
// quotes, in brackets ([Red], [$-804]), escaped by a backslash or a fill/pad character.
bool isDateCode(QStringView code)
{
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code.at(i).toLower();
        if (c == QLatin1Char('"')) {
            const qsizetype end = code.indexOf(QLatin1Char('"'), i + 1);
            if (end < 0)
                return false;
            i = end;
        } else if (c == QLatin1Char('[')) {
            const qsizetype end = code.indexOf(QLatin1Char(']'), i + 1);
            if (end < 0)
                return false;
            i = end;
        } else if (c == QLatin1Char('\\') || c == QLatin1Char('_') || c == QLatin1Char('*')) {
            ++i;
        } else if (c == QLatin1Char('y') || c == QLatin1Char('m') || c == QLatin1Char('d') ||
                   c == QLatin1Char('h') || c == QLatin1Char('s')) {
            return true;
        }
    }
    return false;
}

// Built-in formats that are dates. 27–36 and 50–58 are the East Asian date formats
// (yyyy年m月d日 and the like) that Chinese Excel refers to without spelling them out.
bool isBuiltInDate(int id)
{
    return (id >= 14 && id <= 22) || (id >= 45 && id <= 47) || (id >= 27 && id <= 36) ||
           (id >= 50 && id <= 58);
}

struct SheetContext
{
    const StringPool &strings;
    const QList<bool> &dateStyles;
    double dateOffset;
};

enum class CellType : quint8
{
    Number,
    Shared,
    Text, // a formula's text result
    Inline,
    Boolean,
    Error,
    Date,
};

CellType cellType(QByteArrayView t)
{
    if (t.isEmpty() || t == "n")
        return CellType::Number;
    if (t == "s")
        return CellType::Shared;
    if (t == "str")
        return CellType::Text;
    if (t == "inlineStr")
        return CellType::Inline;
    if (t == "b")
        return CellType::Boolean;
    if (t == "e")
        return CellType::Error;
    if (t == "d")
        return CellType::Date;
    return CellType::Number;
}

// A cell as read from the sheet: its text is made only when asked for.
class SheetCell : public StreamedWorkbook::Cell
{
  public:
    explicit SheetCell(const SheetContext &context) : m_context(context) {}

    CellType type = CellType::Number;
    int style = 0;
    QByteArray value; // the <v>, or the texts of the <is>, as UTF-8

    bool isEmpty() const override
    {
        switch (type) {
        case CellType::Shared: {
            const qsizetype index = sharedIndex();
            return index < 0 || m_context.strings.at(index).isEmpty();
        }
        case CellType::Text:
        case CellType::Inline:
            return value.isEmpty();
        case CellType::Boolean:
            return false;
        case CellType::Error:
            return true;
        case CellType::Number:
        case CellType::Date:
            break;
        }
        return isBlankText(value);
    }

    QString text() const override
    {
        switch (type) {
        case CellType::Shared: {
            const qsizetype index = sharedIndex();
            return index < 0 ? QString() : m_context.strings.at(index).toString();
        }
        case CellType::Text:
        case CellType::Inline:
            return xlsxUnescaped(QString::fromUtf8(value));
        case CellType::Boolean: {
            const QByteArrayView flag = QByteArrayView(value).trimmed();
            return flag == "1" || flag.compare("true", Qt::CaseInsensitive) == 0 ? QStringLiteral("TRUE")
                                                                                 : QStringLiteral("FALSE");
        }
        case CellType::Error:
            return QString();
        case CellType::Date: {
            const QString stamp = QString::fromUtf8(value).trimmed();
            const QDateTime when = QDateTime::fromString(stamp, Qt::ISODateWithMs);
            return when.isValid() ? when.date().toString(QStringLiteral("yyyy-MM-dd")) : stamp;
        }
        case CellType::Number:
            break;
        }
        return numberText();
    }

  private:
    qsizetype sharedIndex() const
    {
        bool ok = false;
        const int index = smallNumber(QByteArrayView(value).trimmed(), ok);
        return ok && index < m_context.strings.size() ? index : -1;
    }

    QString numberText() const
    {
        const bool dateStyle =
            style >= 0 && style < m_context.dateStyles.size() && m_context.dateStyles.at(style);
        if (!dateStyle && isPlainInteger(value))
            return QString::fromLatin1(value);
        const QString stored = QString::fromUtf8(value).trimmed();
        bool ok = false;
        const double number = stored.toDouble(&ok);
        if (!ok)
            return stored;
        const double serial = number + m_context.dateOffset;
        if (dateStyle && std::isfinite(number) && serial >= 0 && serial <= LastDateSerial)
            return dateText(serial);
        return numberToText(number);
    }

    const SheetContext &m_context;
};

// The texts of a string item (<si>, <is>) the scanner stands on, appended to out as
// UTF-8: its plain <t>, or the <t> of each rich-text run; phonetic guides are not text.
bool readRichText(XmlScanner &xml, QByteArray &out)
{
    int depth = 1;
    while (depth > 0) {
        switch (xml.next()) {
        case XmlScanner::StartElement: {
            if (xml.named("t")) {
                QByteArrayView text;
                if (!xml.readText(text, MaxRawText))
                    return false;
                out.append(text);
                if (out.size() > MaxRawText)
                    return false;
            } else if (xml.named("rPh") || xml.named("rPr") || xml.named("phoneticPr")) {
                if (!xml.skipElement())
                    return false;
            } else {
                ++depth;
            }
            break;
        }
        case XmlScanner::EndElement:
            --depth;
            break;
        default:
            return false;
        }
    }
    return true;
}

Read richTextFailure(const XmlScanner &xml, const QByteArray &text)
{
    return xml.tooLarge() || text.size() > MaxRawText ? Read::TooLarge : Read::Damaged;
}

// A text past a cell's limit, counted after its escapes are resolved.
bool tooLong(QByteArrayView utf8)
{
    return utf8.size() > XlsxWorkbook::MaxCellText &&
           xlsxUnescaped(QString::fromUtf8(utf8)).size() > XlsxWorkbook::MaxCellText;
}

// Calls visit(row, column, cell) for each cell of a worksheet that holds a value (a
// style alone is none), in file order, until visit returns false.
template <typename Visit> Read readSheet(XmlScanner &xml, const SheetContext &context, Visit &&visit)
{
    bool inSheetData = false;
    int row = 0;
    int column = 0;
    SheetCell cell(context);
    for (;;) {
        switch (xml.next()) {
        case XmlScanner::Done:
            return Read::Done;
        case XmlScanner::Failed:
            return failure(xml);
        case XmlScanner::EndElement:
            if (xml.named("sheetData"))
                inSheetData = false;
            continue;
        case XmlScanner::StartElement:
            break;
        }
        if (!inSheetData) {
            inSheetData = xml.named("sheetData");
            continue;
        }
        if (xml.named("row")) {
            // A row without a number follows the one before it.
            const QByteArrayView number = xml.attribute("r");
            bool ok = true;
            row = number.isEmpty() ? row + 1 : smallNumber(number, ok);
            if (!ok || row < 1 || row > MaxRows)
                return Read::Damaged;
            column = 0;
            continue;
        }
        if (!xml.named("c"))
            continue;
        const QByteArrayView reference = xml.attribute("r");
        if (reference.isEmpty())
            ++column; // likewise a cell without a reference follows its left neighbour
        else if (!parseReference(reference, column, row))
            return Read::Damaged;
        if (row < 1 || column > MaxColumns)
            return Read::Damaged;
        cell.type = cellType(xml.attribute("t"));
        bool ok = false;
        cell.style = smallNumber(xml.attribute("s"), ok);
        cell.value.resize(0);
        bool hasValue = false;
        bool hasInline = false;
        // The children, up to the cell's end: a <c/> has none.
        while (xml.next() != XmlScanner::EndElement) {
            if (xml.token() != XmlScanner::StartElement)
                return failure(xml);
            if (xml.named("v")) {
                QByteArrayView value;
                if (!xml.readText(value, MaxRawText))
                    return failure(xml);
                if (!hasInline) {
                    cell.value.resize(0);
                    cell.value.append(value);
                }
                hasValue = true;
            } else if (xml.named("is")) {
                cell.value.resize(0);
                if (!readRichText(xml, cell.value))
                    return richTextFailure(xml, cell.value);
                hasInline = true;
            } else if (!xml.skipElement()) { // the formula <f>: its cached <v> is what counts
                return failure(xml);
            }
        }
        if (hasInline)
            cell.type = CellType::Inline;
        else if (!hasValue)
            continue;
        if (cell.type != CellType::Shared && tooLong(cell.value))
            return Read::TooLarge;
        if (!visit(row, column, cell))
            return Read::Stopped;
    }
}

// The entries of the zip, found by name whatever their case or slashes; what they
// inflate to is counted against one limit.
class Package
{
  public:
    explicit Package(const QString &path) : m_zip(path) {}

    bool open()
    {
        if (!m_zip.open(QuaZip::mdUnzip))
            return false;
        int count = 0;
        for (bool more = m_zip.goToFirstFile(); more && count < MaxEntries; more = m_zip.goToNextFile()) {
            const QString name = m_zip.getCurrentFileName();
            m_entries.insert(normalized(name), name);
            ++count;
        }
        return m_zip.getZipError() == UNZ_OK || !m_entries.isEmpty();
    }

    QString entry(const QString &name) const { return m_entries.value(normalized(name)); }
    qint64 inflated() const { return m_inflated; }
    qint64 lastSize() const { return m_lastSize; }

    // Streams the part through parse(scanner), which reads it to its end.
    template <typename Parse> Read read(const QString &name, Parse &&parse)
    {
        const QString found = entry(name);
        if (found.isEmpty())
            return Read::Missing;
        if (!m_zip.setCurrentFile(found))
            return Read::Damaged;
        QuaZipFile file(&m_zip);
        if (!file.open(QIODevice::ReadOnly))
            return Read::Damaged;
        XmlScanner xml(file, XlsxWorkbook::MaxInflated - m_inflated);
        Read result = parse(xml);
        m_lastSize = xml.bytesRead();
        m_inflated += m_lastSize;
        file.close();
        // close() is where a CRC mismatch shows.
        if (result == Read::Done && file.getZipError() != UNZ_OK)
            result = Read::Damaged;
        return result;
    }

  private:
    static QString normalized(QString name)
    {
        name.replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (name.startsWith(QLatin1Char('/')))
            name.remove(0, 1);
        return name.toLower();
    }

    QuaZip m_zip;
    QHash<QString, QString> m_entries;
    qint64 m_inflated = 0;
    qint64 m_lastSize = 0;
};

// Runs through a whole part, calling start(xml) at each start tag; false from start
// means the part is damaged.
template <typename Start> Read readElements(XmlScanner &xml, Start &&start)
{
    for (;;) {
        switch (xml.next()) {
        case XmlScanner::Done:
            return Read::Done;
        case XmlScanner::Failed:
            return failure(xml);
        case XmlScanner::StartElement: {
            const Read read = start(xml);
            if (read != Read::Done)
                return read;
            break;
        }
        case XmlScanner::EndElement:
            break;
        }
    }
}

Read readSharedStrings(XmlScanner &xml, StringPool &strings)
{
    QByteArray bytes;
    return readElements(xml, [&](XmlScanner &x) {
        if (x.name() != "si")
            return Read::Done;
        bytes.resize(0);
        if (!readRichText(x, bytes))
            return richTextFailure(x, bytes);
        const QString text = xlsxUnescaped(QString::fromUtf8(bytes));
        if (text.size() > XlsxWorkbook::MaxCellText || strings.size() >= XlsxWorkbook::MaxSharedStrings ||
            strings.characters() + text.size() > XlsxWorkbook::MaxSharedCharacters)
            return Read::TooLarge;
        strings.append(text);
        return Read::Done;
    });
}

// For each cell style (the s of a cell), whether it formats numbers as dates.
Read readDateStyles(XmlScanner &xml, QList<bool> &dateStyles)
{
    QHash<int, bool> customIsDate;
    QList<int> styleFormats;
    int cellXfsDepth = 0; // inside <cellXfs>: xf are cell styles, not cell style formats
    for (;;) {
        switch (xml.next()) {
        case XmlScanner::Done: {
            // A workbook may redefine a built-in id, so its own codes come first.
            for (const int id : std::as_const(styleFormats))
                dateStyles.append(customIsDate.value(id, isBuiltInDate(id)));
            return Read::Done;
        }
        case XmlScanner::Failed:
            return failure(xml);
        case XmlScanner::EndElement:
            if (xml.named("cellXfs"))
                cellXfsDepth = 0;
            break;
        case XmlScanner::StartElement: {
            bool ok = false;
            if (xml.named("numFmt"))
                customIsDate.insert(smallNumber(xml.attribute("numFmtId"), ok),
                                    isDateCode(xml.attributeText("formatCode")));
            else if (xml.named("cellXfs"))
                cellXfsDepth = 1;
            else if (xml.named("xf") && cellXfsDepth > 0)
                styleFormats.append(smallNumber(xml.attribute("numFmtId"), ok));
            break;
        }
        }
    }
}

struct Relationship
{
    QString type;
    QString target; // path inside the zip
};

// A relationship target is relative to xl/, or absolute from the package root.
QString partPath(QString target)
{
    if (target.contains(QLatin1Char('%')))
        target = QUrl::fromPercentEncoding(target.toUtf8());
    if (target.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(target.mid(1));
    return QDir::cleanPath(QStringLiteral("xl/") + target);
}

Read readRelationships(XmlScanner &xml, QHash<QString, Relationship> &relationships)
{
    return readElements(xml, [&](XmlScanner &x) {
        if (x.named("Relationship") && x.attribute("TargetMode") != "External")
            relationships.insert(x.attributeText("Id"),
                                 {x.attributeText("Type"), partPath(x.attributeText("Target"))});
        return Read::Done;
    });
}

struct SheetEntry
{
    QString name;
    QString relationshipId;
};

Read readWorkbook(XmlScanner &xml, QList<SheetEntry> &sheets, bool &date1904)
{
    return readElements(xml, [&](XmlScanner &x) {
        if (x.named("workbookPr")) {
            const QByteArrayView value = x.attribute("date1904");
            date1904 = value == "1" || value == "true";
        } else if (x.named("sheet")) {
            // r:id, whatever prefix the writer gave the relationships namespace
            sheets.append({x.attributeText("name"), x.attributeText("id", true)});
        }
        return Read::Done;
    });
}

QString relatedPart(const QHash<QString, Relationship> &relationships, QStringView typeSuffix,
                    const QString &fallback)
{
    for (const Relationship &relationship : relationships)
        if (relationship.type.endsWith(typeSuffix))
            return relationship.target;
    return fallback;
}

} // namespace

XlsxWorkbook::XlsxWorkbook() : StreamedWorkbook(MaxColumns) {}

bool XlsxWorkbook::unchanged() const
{
    const QFileInfo info(m_path);
    return info.size() == m_fileSize && info.lastModified() == m_modified;
}

bool XlsxWorkbook::scan(int sheet, int, const CellVisitor &visit) const
{
    const SheetPart &part = m_parts.at(sheet);
    if (part.entry.isEmpty())
        return true;
    if (!unchanged())
        return false;
    QuaZip zip(m_path);
    if (!zip.open(QuaZip::mdUnzip) || !zip.setCurrentFile(part.entry))
        return false;
    QuaZipFile file(&zip);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    XmlScanner xml(file, part.inflated);
    const SheetContext context{m_strings, m_dateStyles, m_dateOffset};
    const Read read = readSheet(
        xml, context, [&](int row, int column, const SheetCell &cell) { return visit(row, column, cell); });
    return read == Read::Done || read == Read::Stopped;
}

std::unique_ptr<Workbook> openXlsxWorkbook(const QString &path, int &error)
{
    error = CannotOpenFile;
    const QFileInfo info(path);
    {
        QFile file(path);
        if (info.isDir() || !file.open(QIODevice::ReadOnly))
            return nullptr;
    }
    error = NotAWorkbook;
    Package package(path);
    if (!package.open())
        return nullptr;
    // Damage makes the file no workbook; a limit passed makes it too large.
    const auto refuse = [&error](Read read) {
        error = read == Read::TooLarge ? int(TooLargeToRead) : int(NotAWorkbook);
        return nullptr;
    };

    auto book = std::unique_ptr<XlsxWorkbook>(new XlsxWorkbook);
    book->m_path = path;
    book->m_fileSize = info.size();
    book->m_modified = info.lastModified();

    QList<SheetEntry> entries;
    bool date1904 = false;
    Read read = package.read(QStringLiteral("xl/workbook.xml"),
                             [&](XmlScanner &xml) { return readWorkbook(xml, entries, date1904); });
    if (read != Read::Done)
        return refuse(read == Read::Missing ? Read::Damaged : read);
    book->m_dateOffset = date1904 ? 1462.0 : 0.0;

    QHash<QString, Relationship> relationships;
    read = package.read(QStringLiteral("xl/_rels/workbook.xml.rels"),
                        [&](XmlScanner &xml) { return readRelationships(xml, relationships); });
    if (read != Read::Done && read != Read::Missing)
        return refuse(read);

    read = package.read(relatedPart(relationships, u"/sharedStrings", QStringLiteral("xl/sharedStrings.xml")),
                        [&](XmlScanner &xml) { return readSharedStrings(xml, book->m_strings); });
    if (read != Read::Done && read != Read::Missing)
        return refuse(read);

    read = package.read(relatedPart(relationships, u"/styles", QStringLiteral("xl/styles.xml")),
                        [&](XmlScanner &xml) { return readDateStyles(xml, book->m_dateStyles); });
    if (read != Read::Done && read != Read::Missing)
        return refuse(read);

    const SheetContext context{book->m_strings, book->m_dateStyles, book->m_dateOffset};
    QStringList names;
    qsizetype firstCellsLeft = StreamedWorkbook::FirstCellsBudget;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const SheetEntry &entry = entries.at(i);
        if (entry.name.isEmpty() || names.contains(entry.name))
            continue;
        // Without relationships, sheets are where every writer puts them.
        const auto relationship = relationships.constFind(entry.relationshipId);
        const bool related = relationship != relationships.constEnd();
        const QString target =
            related ? relationship->target : QStringLiteral("xl/worksheets/sheet%1.xml").arg(i + 1);
        StreamedWorkbook::SheetShape shape;
        XlsxWorkbook::SheetPart part;
        // A chart sheet holds no cells.
        if (!related || relationship->type.endsWith(u"/worksheet")) {
            read = package.read(target, [&](XmlScanner &xml) {
                return readSheet(xml, context, [&](int row, int column, const SheetCell &cell) {
                    shape.note(row, column, cell, firstCellsLeft);
                    return true;
                });
            });
            if (read != Read::Done && read != Read::Missing)
                return refuse(read);
            if (read == Read::Done)
                part = {package.entry(target), package.lastSize()};
        }
        names.append(entry.name);
        book->m_parts.append(part);
        book->addSheet(entry.name, shape);
    }
    error = WorkbookOpened;
    return book;
}

} // namespace quilla
