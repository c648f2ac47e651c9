#include "XlsxWorkbook.h"

#include "XlsxText.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QXmlStreamReader>

#include <quazip.h>
#include <quazipfile.h>

#include <algorithm>
#include <cmath>

namespace quilla {

namespace {

// The largest sheet a spreadsheet program makes; cells beyond it are damage, not data.
constexpr int MaxRows = 1048576;
constexpr int MaxColumns = 16384;
// A part larger than this is a zip bomb rather than a participant list.
constexpr qint64 MaxPartSize = qint64(512) << 20;
constexpr int MaxEntries = 100000;
// Serial of 9999-12-31: later "dates" are numbers that merely wear a date style.
constexpr double LastDateSerial = 2958465;

enum class Part
{
    Missing,
    Damaged,
    Read,
};

// The entries of the zip, found by name whatever their case or slashes.
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

    Part read(const QString &name, QByteArray &bytes)
    {
        bytes.clear();
        const auto entry = m_entries.constFind(normalized(name));
        if (entry == m_entries.constEnd())
            return Part::Missing;
        if (!m_zip.setCurrentFile(*entry))
            return Part::Damaged;
        QuaZipFile file(&m_zip);
        if (!file.open(QIODevice::ReadOnly))
            return Part::Damaged;
        char buffer[65536];
        for (;;) {
            const qint64 got = file.read(buffer, sizeof buffer);
            if (got < 0 || bytes.size() + got > MaxPartSize) {
                file.close();
                return Part::Damaged;
            }
            if (got == 0)
                break;
            bytes.append(buffer, got);
        }
        file.close();
        // close() is where a CRC mismatch shows.
        return file.getZipError() == UNZ_OK ? Part::Read : Part::Damaged;
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
};

// The text of a string item (<si>, <is>) the reader stands on: its plain <t>, or the <t>
// of each rich-text run; phonetic guides (<rPh>) are not part of the text.
QString readRichText(QXmlStreamReader &xml)
{
    QString text;
    int depth = 1;
    while (depth > 0 && !xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QStringView name = xml.name();
            if (name == u"t")
                text += xml.readElementText();
            else if (name == u"rPh" || name == u"rPr" || name == u"phoneticPr")
                xml.skipCurrentElement();
            else
                ++depth;
        } else if (xml.isEndElement()) {
            --depth;
        }
    }
    return XlsxUnescaped(text);
}

bool readSharedStrings(const QByteArray &bytes, QStringList &strings)
{
    QXmlStreamReader xml(bytes);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"si")
            strings.append(readRichText(xml));
    }
    return !xml.hasError();
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

// For each cell style (the s of a cell), whether it formats numbers as dates.
bool readDateStyles(const QByteArray &bytes, QList<bool> &dateStyles)
{
    QHash<int, bool> customIsDate;
    QList<int> styleFormats;
    bool inCellXfs = false;
    QXmlStreamReader xml(bytes);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QStringView name = xml.name();
            const QXmlStreamAttributes attributes = xml.attributes();
            if (name == u"numFmt")
                customIsDate.insert(attributes.value(QLatin1String("numFmtId")).toInt(),
                                    isDateCode(attributes.value(QLatin1String("formatCode"))));
            else if (name == u"cellXfs")
                inCellXfs = true;
            else if (name == u"xf" && inCellXfs)
                styleFormats.append(attributes.value(QLatin1String("numFmtId")).toInt());
        } else if (xml.isEndElement() && xml.name() == u"cellXfs") {
            inCellXfs = false;
        }
    }
    // A workbook may redefine a built-in id, so its own codes come first.
    for (const int id : std::as_const(styleFormats))
        dateStyles.append(customIsDate.value(id, isBuiltInDate(id)));
    return !xml.hasError();
}

// Column and row of a reference such as "B3"; false when it is not one.
bool parseReference(QStringView reference, int &column, int &row)
{
    qsizetype i = 0;
    int c = 0;
    for (; i < reference.size() && i < 3; ++i) {
        const char16_t ch = reference.at(i).unicode();
        if (ch >= u'a' && ch <= u'z')
            c = c * 26 + (ch - u'a' + 1);
        else if (ch >= u'A' && ch <= u'Z')
            c = c * 26 + (ch - u'A' + 1);
        else
            break;
    }
    bool ok = false;
    const QStringView digits = reference.mid(i);
    const int r = digits.size() <= 8 ? digits.toInt(&ok) : 0;
    if (i == 0 || !ok || r < 1 || r > MaxRows || c > MaxColumns)
        return false;
    column = c;
    row = r;
    return true;
}

struct SheetContext
{
    const QStringList &strings;
    const QList<bool> &dateStyles;
    double dateOffset; // 1462 for workbooks counted from 1904
};

// Whether value is a whole number of up to 15 digits without leading zeros: then it
// already is its shortest text, and most <v> are such. Going through a double costs
// more than all the rest of the reading.
bool isPlainInteger(QStringView value)
{
    qsizetype i = value.startsWith(u'-') ? 1 : 0;
    const qsizetype digits = value.size() - i;
    if (digits < 1 || digits > 15 || value.at(i) == u'0')
        return false;
    for (; i < value.size(); ++i)
        if (value.at(i) < u'0' || value.at(i) > u'9')
            return false;
    return true;
}

QString numberText(const QString &value, bool dateStyle, double dateOffset)
{
    if (!dateStyle && isPlainInteger(value))
        return value;
    bool ok = false;
    const double number = QStringView(value).trimmed().toDouble(&ok);
    if (!ok)
        return value.trimmed();
    if (dateStyle && std::isfinite(number) && number + dateOffset >= 0 &&
        number + dateOffset <= LastDateSerial)
        return DateText(number + dateOffset);
    return NumberText(number);
}

// The text of a cell from its type (t), style (s) and stored value.
QString cellValueText(QStringView type, int style, const QString &value, const SheetContext &context)
{
    if (type == u"s") {
        bool ok = false;
        const int index = QStringView(value).trimmed().toInt(&ok);
        return ok && index >= 0 && index < context.strings.size() ? context.strings.at(index) : QString();
    }
    if (type == u"str" || type == u"inlineStr")
        return XlsxUnescaped(value);
    if (type == u"b") {
        const QStringView flag = QStringView(value).trimmed();
        return flag == u"1" || flag.compare(u"true", Qt::CaseInsensitive) == 0 ? QStringLiteral("TRUE")
                                                                               : QStringLiteral("FALSE");
    }
    if (type == u"e")
        return QString();
    if (type == u"d") {
        const QDateTime when = QDateTime::fromString(value.trimmed(), Qt::ISODateWithMs);
        return when.isValid() ? when.date().toString(QStringLiteral("yyyy-MM-dd")) : value.trimmed();
    }
    const bool dateStyle = style >= 0 && style < context.dateStyles.size() && context.dateStyles.at(style);
    return numberText(value, dateStyle, context.dateOffset);
}

// Reads the <c> the reader stands on; store gets its text when it holds a value.
template <typename Store>
void readCell(QXmlStreamReader &xml, const QXmlStreamAttributes &attributes, const SheetContext &context,
              Store &&store)
{
    const QString type = attributes.value(QLatin1String("t")).toString();
    const int style = attributes.value(QLatin1String("s")).toInt();
    QString value;
    bool hasValue = false;
    QString inlineText;
    bool hasInline = false;
    while (xml.readNextStartElement()) {
        const QStringView name = xml.name();
        if (name == u"v") {
            value = xml.readElementText();
            hasValue = true;
        } else if (name == u"is") {
            inlineText = readRichText(xml);
            hasInline = true;
        } else {
            xml.skipCurrentElement(); // the formula <f>: its cached <v> is what counts
        }
    }
    if (hasInline)
        store(inlineText);
    else if (hasValue)
        store(cellValueText(type, style, value, context));
}

// Calls store(row, column, text) for each cell of a worksheet that holds a value; a
// style alone is no value.
template <typename Store> bool readSheet(const QByteArray &bytes, const SheetContext &context, Store &&store)
{
    QXmlStreamReader xml(bytes);
    bool inSheetData = false;
    int row = 0;
    int column = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement()) {
            if (xml.name() == u"sheetData")
                inSheetData = false;
            continue;
        }
        if (!xml.isStartElement())
            continue;
        const QStringView name = xml.name();
        if (name == u"sheetData") {
            inSheetData = true;
        } else if (inSheetData && name == u"row") {
            // A row without a number follows the one before it. A number past the
            // format's last row is damage: the file is refused rather than cut.
            const QStringView number = xml.attributes().value(QLatin1String("r"));
            bool ok = true;
            row = number.isEmpty() ? row + 1 : (number.size() <= 8 ? number.toInt(&ok) : 0);
            if (!ok || row < 1 || row > MaxRows)
                return false;
            column = 0;
        } else if (inSheetData && name == u"c") {
            const QXmlStreamAttributes attributes = xml.attributes();
            const QStringView reference = attributes.value(QLatin1String("r"));
            if (reference.isEmpty()) {
                ++column; // likewise a cell without a reference follows its left neighbour
            } else if (!parseReference(reference, column, row)) {
                return false;
            }
            if (row < 1 || column > MaxColumns)
                return false;
            readCell(xml, attributes, context, [&](const QString &text) { store(row, column, text); });
        }
    }
    return !xml.hasError();
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

bool readRelationships(const QByteArray &bytes, QHash<QString, Relationship> &relationships)
{
    QXmlStreamReader xml(bytes);
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement() || xml.name() != u"Relationship")
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        if (attributes.value(QLatin1String("TargetMode")) == u"External")
            continue;
        relationships.insert(attributes.value(QLatin1String("Id")).toString(),
                             {attributes.value(QLatin1String("Type")).toString(),
                              partPath(attributes.value(QLatin1String("Target")).toString())});
    }
    return !xml.hasError();
}

struct SheetEntry
{
    QString name;
    QString relationshipId;
};

bool readWorkbook(const QByteArray &bytes, QList<SheetEntry> &sheets, bool &date1904)
{
    QXmlStreamReader xml(bytes);
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        if (xml.name() == u"workbookPr") {
            const QStringView value = attributes.value(QLatin1String("date1904"));
            date1904 = value == u"1" || value == u"true";
        } else if (xml.name() == u"sheet") {
            SheetEntry sheet;
            for (const QXmlStreamAttribute &attribute : attributes) {
                // r:id, whatever prefix the writer gave the relationships namespace
                if (attribute.name() == u"name")
                    sheet.name = attribute.value().toString();
                else if (attribute.name() == u"id" && !attribute.namespaceUri().isEmpty())
                    sheet.relationshipId = attribute.value().toString();
            }
            sheets.append(sheet);
        }
    }
    return !xml.hasError();
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

QString XlsxWorkbook::cellText(const QString &sheet, int row, int column) const
{
    const int index = m_indexOf.value(sheet, -1);
    if (index < 0 || row < 1 || column < 1 || row > MaxRows || column > MaxColumns)
        return QString();
    return m_sheets.at(index).text(row, column);
}

void XlsxWorkbook::Sheet::index()
{
    const auto byKey = [](const Cell &a, const Cell &b) { return a.key < b.key; };
    const auto notAfter = [](const Cell &a, const Cell &b) { return a.key >= b.key; };
    if (std::adjacent_find(cells.cbegin(), cells.cend(), notAfter) != cells.cend()) {
        // Out of order only in odd files; a cell given twice keeps its later text.
        std::stable_sort(cells.begin(), cells.end(), byKey);
        qsizetype kept = 0;
        for (qsizetype i = 0; i < cells.size(); ++i) {
            if (kept > 0 && cells.at(kept - 1).key == cells.at(i).key)
                --kept;
            if (kept != i)
                cells[kept] = std::move(cells[i]);
            ++kept;
        }
        cells.resize(kept);
    }
    for (qsizetype begin = 0; begin < cells.size();) {
        const int row = int(cells.at(begin).key >> 16);
        qsizetype end = begin + 1;
        while (end < cells.size() && int(cells.at(end).key >> 16) == row)
            ++end;
        rows.insert(row, {begin, end});
        begin = end;
    }
}

QString XlsxWorkbook::Sheet::text(int row, int column) const
{
    const auto found = rows.constFind(row);
    if (found == rows.constEnd())
        return QString();
    const auto [begin, end] = *found;
    const quint64 key = cellKey(row, column);
    // Rows are mostly without gaps, so the cell usually sits at its column's offset.
    const qsizetype guess = begin + column - qsizetype(cells.at(begin).key & 0xffff);
    if (guess >= begin && guess < end && cells.at(guess).key == key)
        return cells.at(guess).text;
    const auto at = std::lower_bound(cells.cbegin() + begin, cells.cbegin() + end, key,
                                     [](const Cell &cell, quint64 k) { return cell.key < k; });
    return at != cells.cbegin() + end && at->key == key ? at->text : QString();
}

int XlsxWorkbook::lastRow(const QString &sheet) const
{
    const int index = m_indexOf.value(sheet, -1);
    return index < 0 ? 0 : m_sheets.at(index).lastRow;
}

std::unique_ptr<Workbook> OpenXlsxWorkbook(const QString &path, int &error)
{
    error = CannotOpenFile;
    {
        QFile file(path);
        if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
            return nullptr;
    }
    error = NotAWorkbook;
    Package package(path);
    if (!package.open())
        return nullptr;

    QByteArray bytes;
    QList<SheetEntry> entries;
    bool date1904 = false;
    if (package.read(QStringLiteral("xl/workbook.xml"), bytes) != Part::Read ||
        !readWorkbook(bytes, entries, date1904))
        return nullptr;

    QHash<QString, Relationship> relationships;
    const Part rels = package.read(QStringLiteral("xl/_rels/workbook.xml.rels"), bytes);
    if (rels == Part::Damaged || (rels == Part::Read && !readRelationships(bytes, relationships)))
        return nullptr;

    QStringList strings;
    const Part stringsPart = package.read(
        relatedPart(relationships, u"/sharedStrings", QStringLiteral("xl/sharedStrings.xml")), bytes);
    if (stringsPart == Part::Damaged || (stringsPart == Part::Read && !readSharedStrings(bytes, strings)))
        return nullptr;

    QList<bool> dateStyles;
    const Part stylesPart =
        package.read(relatedPart(relationships, u"/styles", QStringLiteral("xl/styles.xml")), bytes);
    if (stylesPart == Part::Damaged || (stylesPart == Part::Read && !readDateStyles(bytes, dateStyles)))
        return nullptr;

    const SheetContext context{strings, dateStyles, date1904 ? 1462.0 : 0.0};
    auto book = std::unique_ptr<XlsxWorkbook>(new XlsxWorkbook);
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const SheetEntry &entry = entries.at(i);
        if (entry.name.isEmpty() || book->m_indexOf.contains(entry.name))
            continue;
        XlsxWorkbook::Sheet sheet;
        // Without relationships, sheets are where every writer puts them.
        const auto relationship = relationships.constFind(entry.relationshipId);
        const bool related = relationship != relationships.constEnd();
        const QString target =
            related ? relationship->target : QStringLiteral("xl/worksheets/sheet%1.xml").arg(i + 1);
        // A chart sheet holds no cells.
        if (!related || relationship->type.endsWith(u"/worksheet")) {
            const Part part = package.read(target, bytes);
            // A cell whose text is empty is no data, whatever stored it (a formula
            // giving "" dragged down a column).
            const auto store = [&sheet](int row, int column, const QString &text) {
                if (text.isEmpty())
                    return;
                sheet.lastRow = qMax(sheet.lastRow, row);
                sheet.cells.append({XlsxWorkbook::cellKey(row, column), text});
            };
            if (part == Part::Damaged || (part == Part::Read && !readSheet(bytes, context, store)))
                return nullptr;
        }
        sheet.index();
        book->m_indexOf.insert(entry.name, int(book->m_sheets.size()));
        book->m_names.append(entry.name);
        book->m_sheets.append(std::move(sheet));
    }
    error = WorkbookOpened;
    return book;
}

} // namespace quilla
