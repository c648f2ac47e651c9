#include "ExportTable.h"
#include "system/ReplacingFile.h"
#include "XlsxText.h"

#include "data/Progress.h"

#include <QXmlStreamWriter>

#include <quazip.h>
#include <quazipfile.h>

#include <zlib.h>

#include <cmath>

namespace quilla {

namespace {

const QString XlsxCaption = QStringLiteral("正在将数据导出到EXCEL文件 …");
constexpr qsizetype MaxRows = 1'048'576;
constexpr qsizetype MaxColumns = 16'384;
constexpr qsizetype MaxCellText = 32'767; // longer texts are refused by the format

const QString MainNamespace = QStringLiteral("http://schemas.openxmlformats.org/spreadsheetml/2006/main");
const QString RelationshipsNamespace =
    QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships");
const QString PackageRelationships =
    QStringLiteral("http://schemas.openxmlformats.org/package/2006/relationships");

// Parts small enough to write as they are.
const char ContentTypes[] =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
    R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
    R"(<Default Extension="xml" ContentType="application/xml"/>)"
    R"(<Override PartName="/xl/workbook.xml" )"
    R"(ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>)"
    R"(<Override PartName="/xl/worksheets/sheet1.xml" )"
    R"(ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>)"
    R"(<Override PartName="/xl/styles.xml" )"
    R"(ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/>)"
    R"(</Types>)";

const char RootRelationships[] =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
    R"(<Relationship Id="rId1" )"
    R"(Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" )"
    R"(Target="xl/workbook.xml"/></Relationships>)";

const char WorkbookRelationships[] =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
    R"(<Relationship Id="rId1" )"
    R"(Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" )"
    R"(Target="worksheets/sheet1.xml"/>)"
    R"(<Relationship Id="rId2" )"
    R"(Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" )"
    R"(Target="styles.xml"/></Relationships>)";

// Style 0 the default, 1 a body cell (thin borders), 2 a header cell (bold, filled
// with the program's header colour 0x80C0FF as BGR, that is FFC080, and bordered).
const char Styles[] =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)"
    R"(<fonts count="2"><font><sz val="11"/><color theme="1"/><name val="Calibri"/><family val="2"/>)"
    R"(<scheme val="minor"/></font><font><b/><sz val="11"/><color theme="1"/><name val="Calibri"/>)"
    R"(<family val="2"/><scheme val="minor"/></font></fonts>)"
    R"(<fills count="3"><fill><patternFill patternType="none"/></fill>)"
    R"(<fill><patternFill patternType="gray125"/></fill>)"
    R"(<fill><patternFill patternType="solid"><fgColor rgb="FFFFC080"/><bgColor indexed="64"/>)"
    R"(</patternFill></fill></fills>)"
    R"(<borders count="2"><border><left/><right/><top/><bottom/><diagonal/></border>)"
    R"(<border><left style="thin"><color auto="1"/></left><right style="thin"><color auto="1"/></right>)"
    R"(<top style="thin"><color auto="1"/></top><bottom style="thin"><color auto="1"/></bottom>)"
    R"(<diagonal/></border></borders>)"
    R"(<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>)"
    R"(<cellXfs count="3"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/>)"
    R"(<xf numFmtId="0" fontId="0" fillId="0" borderId="1" xfId="0" applyBorder="1"/>)"
    R"(<xf numFmtId="0" fontId="1" fillId="2" borderId="1" xfId="0" applyFont="1" applyFill="1" )"
    R"(applyBorder="1"/></cellXfs>)"
    R"(<cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles>)"
    R"(</styleSheet>)";

// Names a spreadsheet program accepts for a sheet: 1 to 31 characters, none of
// : \ / ? * [ ], not starting or ending with an apostrophe.
bool isSheetName(const QString &name)
{
    if (name.isEmpty() || name.size() > 31 || name.startsWith(u'\'') || name.endsWith(u'\''))
        return false;
    for (const QChar c : name)
        if (QStringView(u":\\/?*[]").contains(c))
            return false;
    return xlsxEscaped(name) == name;
}

QString columnLetters(int column)
{
    QString letters;
    for (int n = column; n > 0; n = (n - 1) / 26)
        letters.prepend(QChar(u'A' + (n - 1) % 26));
    return letters;
}

// What XML text cannot hold as it is.
void appendXmlText(QString &out, QStringView text)
{
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&':
            out += QLatin1String("&amp;");
            break;
        case u'<':
            out += QLatin1String("&lt;");
            break;
        case u'>':
            out += QLatin1String("&gt;");
            break;
        case u'"':
            out += QLatin1String("&quot;");
            break;
        default:
            out += c;
        }
    }
}

// A text cut at what a cell holds; cutCells counts the cells cut.
QString cellText(const QString &text, int &cutCells)
{
    if (text.size() <= MaxCellText)
        return text;
    ++cutCells;
    qsizetype length = MaxCellText;
    if (text.at(length - 1).isHighSurrogate())
        --length;
    return text.left(length);
}

// Column width in characters as the format stores it: whole characters of the
// default font plus the cell padding, as spreadsheet programs write it.
QString columnWidth(double twips)
{
    const double characters = std::min(std::floor(twips / 123), 255.0);
    return QString::number(characters + 182.0 / 256, 'f', 7);
}

// The sheet is written as text rather than through QXmlStreamWriter, which took
// longer than all the rest of the export; the texts are escaped here either way.
class SheetWriter
{
  public:
    explicit SheetWriter(QuaZipFile &part) : m_part(part) {}

    bool write(const ExportTable &table, int columns, Progress &progress)
    {
        const int rows = int(table.rows.size());
        QStringList letters;
        for (int c = 1; c <= columns; ++c)
            letters.append(columnLetters(c));
        m_text +=
            QLatin1String(R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
                          "\n"
                          R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
                          R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)"
                          R"(<dimension ref="A1)");
        if (rows > 0 && columns > 0)
            m_text += u':' + letters.last() + QString::number(rows);
        m_text += QLatin1String(R"("/>)");
        const int widths = int(std::min<qsizetype>(table.widths.size(), columns));
        if (widths > 0) {
            m_text += QLatin1String("<cols>");
            for (int c = 0; c < widths; ++c) {
                const QString number = QString::number(c + 1);
                // Narrower than a character: hidden, as the .xls export has it.
                const bool hidden = table.widths.at(c) < 123;
                m_text += QLatin1String(R"(<col min=")") + number + QLatin1String(R"(" max=")") + number +
                          QLatin1String(R"(" width=")") +
                          (hidden ? QStringLiteral("0\" hidden=\"1") : columnWidth(table.widths.at(c))) +
                          QLatin1String(R"(" customWidth="1"/>)");
            }
            m_text += QLatin1String("</cols>");
        }
        m_text += QLatin1String("<sheetData>");
        // Every cell of the used range is written, the empty ones with their style
        // alone, so that all carry borders.
        for (int r = 0; r < rows && m_ok; ++r) {
            const QStringList &row = table.rows.at(r);
            const QString number = QString::number(r + 1);
            const QLatin1String style(r < table.headerRows ? R"(" s="2")" : R"(" s="1")");
            m_text += QLatin1String(R"(<row r=")") + number + QLatin1String(R"(">)");
            for (int c = 0; c < columns; ++c) {
                const QString text = c < row.size() ? cellText(row.at(c), m_cut) : QString();
                m_text += QLatin1String(R"(<c r=")") + letters.at(c) + number + style;
                if (text.isEmpty()) {
                    m_text += QLatin1String("/>");
                    continue;
                }
                const bool blanksAround = text.front().isSpace() || text.back().isSpace();
                m_text += blanksAround ? QLatin1String(R"( t="inlineStr"><is><t xml:space="preserve">)")
                                       : QLatin1String(R"( t="inlineStr"><is><t>)");
                appendXmlText(m_text, xlsxEscaped(text));
                m_text += QLatin1String("</t></is></c>");
            }
            m_text += QLatin1String("</row>");
            if (m_text.size() >= (1 << 17))
                flush();
            progress.step(1);
        }
        m_text += QLatin1String("</sheetData></worksheet>");
        flush();
        return m_ok;
    }
    int cutCells() const { return m_cut; }

  private:
    void flush()
    {
        const QByteArray bytes = m_text.toUtf8();
        m_ok = m_ok && m_part.write(bytes) == bytes.size();
        m_text.clear();
    }

    QuaZipFile &m_part;
    QString m_text;
    bool m_ok = true;
    int m_cut = 0;
};

QByteArray workbookPart(const QString &sheetName)
{
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.writeStartDocument(QStringLiteral("1.0"), true);
    xml.writeDefaultNamespace(MainNamespace);
    xml.writeNamespace(RelationshipsNamespace, QStringLiteral("r"));
    xml.writeStartElement(MainNamespace, QStringLiteral("workbook"));
    xml.writeStartElement(MainNamespace, QStringLiteral("bookViews"));
    xml.writeEmptyElement(MainNamespace, QStringLiteral("workbookView"));
    xml.writeEndElement();
    xml.writeStartElement(MainNamespace, QStringLiteral("sheets"));
    xml.writeEmptyElement(MainNamespace, QStringLiteral("sheet"));
    xml.writeAttribute(QStringLiteral("name"), sheetName);
    xml.writeAttribute(QStringLiteral("sheetId"), QStringLiteral("1"));
    xml.writeAttribute(RelationshipsNamespace, QStringLiteral("id"), QStringLiteral("rId1"));
    xml.writeEndDocument();
    return bytes;
}

// The fastest compression: the sheet is most of the file and most of the time.
bool openPart(QuaZipFile &part, const QString &name)
{
    QuaZipNewInfo info(name);
    info.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                        QFileDevice::ReadOther);
    return part.open(QIODevice::WriteOnly, info, nullptr, 0, Z_DEFLATED, Z_BEST_SPEED);
}

bool writePart(QuaZip &zip, const QString &name, const QByteArray &bytes)
{
    QuaZipFile part(&zip);
    if (!openPart(part, name) || part.write(bytes) != bytes.size())
        return false;
    part.close();
    return part.getZipError() == ZIP_OK;
}

} // namespace

ExportFailure writeXlsx(const ExportTable &table, const QString &path, const QString &sheetName,
                        Progress &progress, ExportNotes *notes)
{
    int columns = int(qMin<qsizetype>(table.widths.size(), MaxColumns + 1));
    for (const QStringList &row : table.rows)
        columns = int(qMax<qsizetype>(columns, qMin<qsizetype>(row.size(), MaxColumns + 1)));
    if (table.rows.size() > MaxRows || columns > MaxColumns)
        return ExportFailure::TooLarge;
    if (!isSheetName(sheetName))
        return ExportFailure::CannotWrite;

    progress.begin(XlsxCaption, int(table.rows.size()));
    struct EndProgress
    {
        Progress &progress;
        ~EndProgress() { progress.end(); }
    } endProgress{progress};

    ReplacingFile file(path);
    if (!file.open())
        return ExportFailure::CannotWrite;
    bool written = false;
    int cut = 0;
    {
        QuaZip zip(&file.device());
        zip.setAutoClose(false);
        zip.setUtf8Enabled(true);
        if (!zip.open(QuaZip::mdCreate))
            return ExportFailure::CannotWrite;
        written = writePart(zip, QStringLiteral("[Content_Types].xml"), ContentTypes) &&
                  writePart(zip, QStringLiteral("_rels/.rels"), RootRelationships) &&
                  writePart(zip, QStringLiteral("xl/workbook.xml"), workbookPart(sheetName)) &&
                  writePart(zip, QStringLiteral("xl/_rels/workbook.xml.rels"), WorkbookRelationships) &&
                  writePart(zip, QStringLiteral("xl/styles.xml"), Styles);
        if (written) {
            QuaZipFile sheet(&zip);
            written = openPart(sheet, QStringLiteral("xl/worksheets/sheet1.xml"));
            if (written) {
                SheetWriter writer(sheet);
                written = writer.write(table, columns, progress);
                cut = writer.cutCells();
                sheet.close();
                written = written && sheet.getZipError() == ZIP_OK;
            }
        }
        zip.close();
        written = written && zip.getZipError() == ZIP_OK;
    }
    if (!written || !file.commit())
        return ExportFailure::CannotWrite;
    if (notes)
        *notes = {.cutCells = cut};
    return ExportFailure::None;
}

} // namespace quilla
