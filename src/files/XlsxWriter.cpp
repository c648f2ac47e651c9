#include "ExportTable.h"

#include "data/Progress.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <xlsxwriter.h>

#include <cmath>
#include <cstdio>

#include <dlfcn.h>

namespace quilla {

namespace {

const QString XlsxCaption = QStringLiteral("正在将数据导出到EXCEL文件 …");
constexpr qsizetype MaxRows = 1'048'576;
constexpr qsizetype MaxColumns = 16'384;
constexpr qsizetype MaxCellText = 32'767; // longer texts are refused by the format

// libxlsxwriter zips through the system minizip, whose functions QuaZip (linked for
// reading .xlsx) exports again with other signatures: linked normally, minizip's own
// calls land in QuaZip's copies and crash. Loaded with RTLD_DEEPBIND, the library and
// its minizip bind to each other first.
struct XlsxWriterLibrary
{
    decltype(&workbook_new_opt) newWorkbook = nullptr;
    decltype(&workbook_add_worksheet) addWorksheet = nullptr;
    decltype(&workbook_add_format) addFormat = nullptr;
    decltype(&workbook_close) close = nullptr;
    decltype(&format_set_bold) setBold = nullptr;
    decltype(&format_set_pattern) setPattern = nullptr;
    decltype(&format_set_bg_color) setBackground = nullptr;
    decltype(&format_set_border) setBorder = nullptr;
    decltype(&worksheet_set_column) setColumn = nullptr;
    decltype(&worksheet_write_blank) writeBlank = nullptr;
    decltype(&worksheet_write_string) writeString = nullptr;
    bool loaded = false;

    XlsxWriterLibrary()
    {
        void *handle = dlopen("libxlsxwriter.so.4", RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND);
        if (!handle)
            handle = dlopen("libxlsxwriter.so", RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND);
        if (!handle)
            return;
        loaded = resolve(handle, newWorkbook, "workbook_new_opt") &&
                 resolve(handle, addWorksheet, "workbook_add_worksheet") &&
                 resolve(handle, addFormat, "workbook_add_format") &&
                 resolve(handle, close, "workbook_close") && resolve(handle, setBold, "format_set_bold") &&
                 resolve(handle, setPattern, "format_set_pattern") &&
                 resolve(handle, setBackground, "format_set_bg_color") &&
                 resolve(handle, setBorder, "format_set_border") &&
                 resolve(handle, setColumn, "worksheet_set_column") &&
                 resolve(handle, writeBlank, "worksheet_write_blank") &&
                 resolve(handle, writeString, "worksheet_write_string");
    }
    template <typename Function> static bool resolve(void *handle, Function &function, const char *name)
    {
        function = reinterpret_cast<Function>(dlsym(handle, name));
        return function != nullptr;
    }
    static const XlsxWriterLibrary &instance()
    {
        static const XlsxWriterLibrary library;
        return library;
    }
};

// A name beside the target that nothing uses, so the rename stays within one file system.
QString temporaryBeside(const QString &path)
{
    const QFileInfo target(path);
    for (;;) {
        const QString name = QStringLiteral(".~%1.%2.tmp")
                                 .arg(target.fileName())
                                 .arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0'));
        const QString candidate = target.dir().filePath(name);
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
}

QByteArray cellBytes(const QString &text)
{
    if (text.size() <= MaxCellText)
        return text.toUtf8();
    qsizetype length = MaxCellText;
    if (text.at(length - 1).isHighSurrogate())
        --length;
    return QStringView(text).left(length).toUtf8();
}

// Fills the sheet; false when the library refused something.
bool fillSheet(const XlsxWriterLibrary &lxw, lxw_workbook *book, lxw_worksheet *sheet,
               const ExportTable &table, int columns, Progress &progress)
{
    lxw_format *header = lxw.addFormat(book);
    lxw.setBold(header);
    lxw.setPattern(header, LXW_PATTERN_SOLID);
    lxw.setBackground(header, 0xFFC080); // the program's header colour 0x80C0FF, as RGB
    lxw.setBorder(header, LXW_BORDER_THIN);
    lxw_format *body = lxw.addFormat(book);
    lxw.setBorder(body, LXW_BORDER_THIN);

    for (qsizetype c = 0; c < table.widths.size() && c < columns; ++c) {
        const double characters = std::floor(table.widths.at(c) / 123);
        if (lxw.setColumn(sheet, lxw_col_t(c), lxw_col_t(c), characters, nullptr) != LXW_NO_ERROR)
            return false;
    }
    // Every cell of the used range is written, the empty ones blank, so that all carry borders.
    for (qsizetype r = 0; r < table.rows.size(); ++r) {
        const QStringList &row = table.rows.at(r);
        lxw_format *format = r < table.headerRows ? header : body;
        for (int c = 0; c < columns; ++c) {
            const QString text = c < row.size() ? row.at(c) : QString();
            const lxw_error error = text.isEmpty() ? lxw.writeBlank(sheet, lxw_row_t(r), lxw_col_t(c), format)
                                                   : lxw.writeString(sheet, lxw_row_t(r), lxw_col_t(c),
                                                                     cellBytes(text).constData(), format);
            if (error != LXW_NO_ERROR)
                return false;
        }
        progress.step(1);
    }
    return true;
}

} // namespace

ExportFailure WriteXlsx(const ExportTable &table, const QString &path, const QString &sheetName,
                        Progress &progress)
{
    int columns = int(qMin<qsizetype>(table.widths.size(), MaxColumns + 1));
    for (const QStringList &row : table.rows)
        columns = int(qMax<qsizetype>(columns, qMin<qsizetype>(row.size(), MaxColumns + 1)));
    if (table.rows.size() > MaxRows || columns > MaxColumns)
        return ExportFailure::TooLarge;

    const XlsxWriterLibrary &lxw = XlsxWriterLibrary::instance();
    if (!lxw.loaded)
        return ExportFailure::CannotWrite;
    progress.begin(XlsxCaption, int(table.rows.size()));
    // libxlsxwriter writes to a file name: build under a temporary one, then rename over
    // the target, which replaces it at once and leaves it as it was if anything failed.
    const QString temporary = temporaryBeside(path);
    const QByteArray temporaryName = QFile::encodeName(temporary);
    // Rows go out in order, so each can be flushed when done: a big table is never held whole.
    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    lxw_workbook *book = lxw.newWorkbook(temporaryName.constData(), &options);
    bool written = false;
    if (book) {
        lxw_worksheet *sheet = lxw.addWorksheet(book, sheetName.toUtf8().constData());
        written = sheet && fillSheet(lxw, book, sheet, table, columns, progress);
        // Closing frees the workbook whatever happened; only then is the file complete.
        written = lxw.close(book) == LXW_NO_ERROR && written;
    }
    if (written && QFileInfo::exists(path))
        QFile::setPermissions(temporary, QFile::permissions(path));
    if (written)
        written = std::rename(temporaryName.constData(), QFile::encodeName(path).constData()) == 0;
    if (!written)
        QFile::remove(temporary);
    progress.end();
    return written ? ExportFailure::None : ExportFailure::CannotWrite;
}

} // namespace quilla
