#include "ExportTable.h"
#include "system/Gb18030.h"
#include "system/ReplacingFile.h"

#include "data/Progress.h"

namespace quilla {

namespace {

const QString CsvCaption = QStringLiteral("正在导出数据至CSV格式文件……");

// Whether a spreadsheet program opening the file would run the cell as a formula
// (=HYPERLINK(...) opens a link, =cmd|... starts a program): it starts with = + - @,
// or with a tab or CR before one, which some programs drop. A sign before nothing
// but digits, blanks and - ( ) . is a number (-5) or a phone number (+86 138 1234
// 5678): with no letter it can name no function, cell or program, so it stays as
// it is and reads as written.
bool runsAsFormula(const QString &cell)
{
    qsizetype start = 0;
    if (!cell.isEmpty() && (cell.front() == u'\t' || cell.front() == u'\r'))
        while (start < cell.size() && cell.at(start).isSpace())
            ++start;
    if (start == cell.size())
        return false;
    const char16_t first = cell.at(start).unicode();
    if (first == u'=' || first == u'@')
        return true;
    if (first != u'+' && first != u'-')
        return false;
    for (qsizetype i = start + 1; i < cell.size(); ++i) {
        const char16_t c = cell.at(i).unicode();
        if (!(c >= u'0' && c <= u'9') && c != u' ' && c != u'-' && c != u'(' && c != u')' && c != u'.')
            return true;
    }
    return false;
}

// Half a surrogate pair has no place in GB18030: it becomes U+FFFD, counted.
QString withoutLoneSurrogates(const QString &cell, ExportNotes &notes)
{
    QString clean;
    for (qsizetype i = 0; i < cell.size(); ++i) {
        const QChar c = cell.at(i);
        const bool paired = c.isHighSurrogate()  ? i + 1 < cell.size() && cell.at(i + 1).isLowSurrogate()
                            : c.isLowSurrogate() ? i > 0 && cell.at(i - 1).isHighSurrogate()
                                                 : true;
        if (paired && clean.isNull())
            continue;
        if (clean.isNull())
            clean = cell.left(i);
        clean += paired ? c : QChar(QChar::ReplacementCharacter);
        notes.replacedCharacters += paired ? 0 : 1;
    }
    return clean.isNull() ? cell : clean;
}

// A formula-like cell gets a leading apostrophe, which spreadsheet programs show
// as text. Quotes doubled; quoted when a separator, quote or line break is inside.
// A lone CR or LF is quoted as well: bare, it would split the row for every reader.
void appendField(QString &line, const QString &text, ExportNotes &notes)
{
    QString cell = withoutLoneSurrogates(text, notes);
    if (runsAsFormula(cell)) {
        cell.prepend(u'\'');
        ++notes.formulaCells;
    }
    const bool quoted =
        cell.contains(u',') || cell.contains(u'"') || cell.contains(u'\r') || cell.contains(u'\n');
    if (!quoted) {
        line += cell;
        return;
    }
    line += u'"';
    for (const QChar c : cell) {
        if (c == u'"')
            line += u'"';
        line += c;
    }
    line += u'"';
}

} // namespace

ExportFailure writeCsv(const ExportTable &table, const QString &path, Progress &progress, ExportNotes *notes)
{
    ExportNotes changed;
    progress.begin(CsvCaption, int(table.rows.size()));
    // The old file stays until the new one is complete.
    ReplacingFile out(path);
    if (!out.open()) {
        progress.end();
        return ExportFailure::CannotWrite;
    }
    QFile &file = out.device();
    // GB18030: the same bytes as GBK for every GBK character, and nothing lost beyond it.
    Gb18030Encoder encoder;
    QString block;
    bool written = true;
    for (const QStringList &row : table.rows) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (i > 0)
                block += u',';
            appendField(block, row.at(i), changed);
        }
        block += QStringLiteral("\r\n");
        // Encoding in blocks keeps a large table from being held twice.
        if (block.size() >= (1 << 18)) {
            const QByteArray bytes = encoder(block);
            written = written && file.write(bytes) == bytes.size();
            block.clear();
        }
        progress.step(1);
    }
    const QByteArray bytes = encoder(block);
    written = written && file.write(bytes) == bytes.size();
    written = written && out.commit();
    progress.end();
    if (notes)
        *notes = changed;
    return written ? ExportFailure::None : ExportFailure::CannotWrite;
}

} // namespace quilla
