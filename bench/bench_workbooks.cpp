// Reads spreadsheet files the way the import does (the sheets, the last row, a
// preview of 19 × 59 cells, two columns of every row), each in a child process whose
// time and peak memory are printed beside the goals and, where LibreOffice is
// installed, beside LibreOffice converting the same file to CSV.
//   bench_workbooks [--no-libreoffice]
#include "data/Progress.h"
#include "files/CompoundFile.h"
#include "files/CsvReader.h"
#include "files/ExportTable.h"
#include "files/TextDecoding.h"
#include "files/Workbook.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <quazip.h>
#include <quazipfile.h>

#include <cstdio>
#include <functional>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quilla;

namespace {

struct Run
{
    int code = -1;
    double seconds = 0;
    long peakMiB = 0;
};

Run inChild(const std::function<int()> &what)
{
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = fork();
    if (pid == 0)
        _exit(what());
    int status = 0;
    rusage usage{};
    Run run;
    if (wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status))
        run.code = WEXITSTATUS(status);
    run.seconds = timer.elapsed() / 1000.0;
    run.peakMiB = usage.ru_maxrss / 1024;
    return run;
}

int readAsTheImportDoes(const QString &path)
{
    if (path.endsWith(u".csv")) {
        CountCsvRecords(path);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return CannotOpenFile;
        TextFileReader text(file);
        CsvReader reader(text);
        while (reader.next()) {
        }
        return reader.failed() ? int(TooLargeToRead) : 0;
    }
    const OpenedWorkbook opened = OpenWorkbook(path);
    if (!opened.book)
        return opened.error;
    const QString sheet = opened.book->sheetNames().value(0);
    for (int row = 1; row < 20; ++row)
        for (int column = 1; column < 60; ++column)
            opened.book->cellText(sheet, row, column);
    opened.book->readRows(sheet, 2, opened.book->lastRow(sheet), {1, 3},
                          [](int, const QStringList &) { return true; });
    return 0;
}

bool g_libreOffice = true;

// LibreOffice converting the file to CSV, in seconds; 0 when it is not there.
double libreOffice(const QString &path, const QString &folder)
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (!g_libreOffice || soffice.isEmpty())
        return 0;
    QElapsedTimer timer;
    timer.start();
    QProcess process;
    process.start(soffice, {QStringLiteral("--headless"),
                            QStringLiteral("-env:UserInstallation=file://") + folder + QStringLiteral("/lo"),
                            QStringLiteral("--convert-to"), QStringLiteral("csv"), QStringLiteral("--outdir"),
                            folder + QStringLiteral("/lo-out"), path});
    process.waitForFinished(-1);
    return timer.elapsed() / 1000.0;
}

void report(const char *what, const QString &path, const char *goal, const QString &folder,
            bool withLibreOffice)
{
    const Run run = inChild([&] { return readAsTheImportDoes(path); });
    const QString result =
        run.code == 0 ? QStringLiteral("read") : QStringLiteral("refused (%1)").arg(run.code);
    std::printf("%-40s %10lld B %7.2f s %6ld MiB  %-14s goal %s", what,
                static_cast<long long>(QFileInfo(path).size()), run.seconds, run.peakMiB, qPrintable(result),
                goal);
    const double lo = withLibreOffice ? libreOffice(path, folder) : 0;
    if (lo > 0)
        std::printf("; LibreOffice %.2f s", lo);
    std::printf("\n");
    std::fflush(stdout);
}

bool writePart(QuaZip &zip, const QString &name, qint64 count, const std::function<QByteArray(qint64)> &piece)
{
    QuaZipFile part(&zip);
    if (!part.open(QIODevice::WriteOnly, QuaZipNewInfo(name)))
        return false;
    QByteArray block;
    for (qint64 i = 0; i < count; ++i) {
        block += piece(i);
        if (block.size() >= (1 << 20) || i + 1 == count) {
            if (part.write(block) != block.size())
                return false;
            block.clear();
        }
    }
    part.close();
    return part.getZipError() == ZIP_OK;
}

// A one-sheet .xlsx whose sheet data and shared strings are made of pieces.
bool writeXlsx(const QString &path, qint64 rows, const std::function<QByteArray(qint64)> &row,
               qint64 strings = 0, const std::function<QByteArray(qint64)> &string = {})
{
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdCreate))
        return false;
    const QByteArray ns = " xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"";
    const QByteArray book =
        "<workbook" + ns +
        " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
        "<sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
    const QByteArray rels =
        "<Relationships><Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/"
        "officeDocument/2006/relationships/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
        "</Relationships>";
    bool ok =
        writePart(zip, QStringLiteral("xl/workbook.xml"), 1, [&](qint64) { return book; }) &&
        writePart(zip, QStringLiteral("xl/_rels/workbook.xml.rels"), 1, [&](qint64) { return rels; }) &&
        writePart(zip, QStringLiteral("xl/worksheets/sheet1.xml"), rows + 2, [&](qint64 i) -> QByteArray {
            return i == 0          ? "<worksheet" + ns + "><sheetData>"
                   : i == rows + 1 ? QByteArray("</sheetData></worksheet>")
                                   : row(i - 1);
        });
    if (ok && strings > 0)
        ok = writePart(zip, QStringLiteral("xl/sharedStrings.xml"), strings + 2, [&](qint64 i) -> QByteArray {
            return i == 0 ? "<sst" + ns + ">" : i == strings + 1 ? QByteArray("</sst>") : string(i - 1);
        });
    zip.close();
    return ok && zip.getZipError() == ZIP_OK;
}

// The same participants, 65 536 × 10, through our writers and (when present) LibreOffice.
ExportTable participants()
{
    static const QString names[] = {QStringLiteral("张伟"), QStringLiteral("王芳"), QStringLiteral("李娜"),
                                    QStringLiteral("刘洋"), QStringLiteral("陈静")};
    ExportTable table;
    for (int i = 0; i < 65536; ++i) {
        QStringList row{QStringLiteral("A%1").arg(i, 6, 10, QChar(u'0')),
                        names[i % 5] + QString::number(i % 1000), QString::number(13800000000LL + i)};
        for (int c = 0; c < 7; ++c)
            row.append(QString::number(i * 10 + c));
        table.rows.append(row);
    }
    return table;
}

bool maximalXls(const QString &path)
{
    QByteArray cells;
    cells.reserve(65536 * 1550);
    const auto u16 = [&](quint16 v) { cells.append(char(v & 0xFF)).append(char(v >> 8)); };
    for (int row = 0; row < 65536; ++row) {
        u16(0x00BD); // MULRK: a row of 256 integers
        u16(6 + 256 * 6);
        u16(quint16(row));
        u16(0);
        for (int column = 0; column < 256; ++column) {
            const quint32 rk = quint32(row * 256 + column) << 2 | 0x02;
            u16(15);
            u16(quint16(rk));
            u16(quint16(rk >> 16));
        }
        u16(255);
    }
    // Globals: BOF, 16 XFs, BOUNDSHEET, EOF; then the sheet: BOF, cells, EOF.
    QByteArray stream;
    const auto record = [&stream](quint16 id, const QByteArray &data) {
        stream.append(char(id & 0xFF))
            .append(char(id >> 8))
            .append(char(data.size() & 0xFF))
            .append(char(data.size() >> 8));
        stream.append(data);
    };
    const QByteArray bof("\x00\x06\x05\x00\xBB\x0D\xCC\x07\x00\x00\x00\x00\x06\x00\x00\x00", 16);
    QByteArray sheetBof = bof;
    sheetBof[2] = 0x10;
    record(0x0809, bof);
    for (int i = 0; i < 16; ++i)
        record(0x00E0, QByteArray(20, '\0'));
    const qsizetype offsetAt = stream.size() + 4;
    record(0x0085, QByteArray("\0\0\0\0\0\0\x01\0S", 9));
    record(0x000A, {});
    const quint32 offset = quint32(stream.size());
    for (int i = 0; i < 4; ++i)
        stream[offsetAt + i] = char(offset >> (8 * i));
    record(0x0809, sheetBof);
    stream += cells;
    cells = QByteArray();
    record(0x000A, {});
    const QByteArray file = BuildCompoundFile({{QStringLiteral("Workbook"), stream}});
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(file) == file.size();
}

bool made(const std::function<bool()> &make)
{
    return inChild([&] { return make() ? 0 : 1; }).code == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    g_libreOffice = !app.arguments().contains(QStringLiteral("--no-libreoffice"));
    QTemporaryDir dir;
    const QString folder = dir.path();
    const auto at = [&](const char *name) { return dir.filePath(QString::fromLatin1(name)); };
    std::printf("%-40s %12s %9s %10s  %-14s\n", "file", "size", "time", "peak", "result");

    // .xlsx against .xls on the same 65 536 × 10 participants.
    made([&] {
        const ExportTable table = participants();
        NoProgress progress;
        QFile csv(at("participants.csv"));
        if (!csv.open(QIODevice::WriteOnly))
            return false;
        for (const QStringList &row : table.rows)
            csv.write(row.join(u',').toUtf8() + "\r\n");
        csv.close();
        return WriteXlsx(table, at("participants.xlsx"), QStringLiteral("S"), progress) ==
                   ExportFailure::None &&
               WriteXls(table, at("participants.xls"), QStringLiteral("S"), progress) == ExportFailure::None;
    });
    report("65536 x 10, .xlsx (our export)", at("participants.xlsx"), "<= 1 s", folder, true);
    report("65536 x 10, .xls (our export)", at("participants.xls"), "-", folder, true);
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (g_libreOffice && !soffice.isEmpty()) {
        for (const char *format : {"xlsx", "xls"}) {
            QProcess process;
            process.start(soffice,
                          {QStringLiteral("--headless"),
                           QStringLiteral("-env:UserInstallation=file://") + folder + QStringLiteral("/lo"),
                           QStringLiteral("--infilter=CSV:44,34,76,1"), QStringLiteral("--convert-to"),
                           QString::fromLatin1(format), QStringLiteral("--outdir"),
                           folder + QStringLiteral("/lo-made"), at("participants.csv")});
            process.waitForFinished(-1);
        }
        report("65536 x 10, .xlsx (LibreOffice)", folder + QStringLiteral("/lo-made/participants.xlsx"),
               "<= 1 s", folder, false);
        report("65536 x 10, .xls (LibreOffice)", folder + QStringLiteral("/lo-made/participants.xls"), "-",
               folder, false);
    }
    report("65536 x 10, .csv", at("participants.csv"), "-", folder, false);

    // The largest .xls: 65 536 × 256 numbers.
    made([&] { return maximalXls(at("maximal.xls")); });
    report("65536 x 256 .xls", at("maximal.xls"), "<= 3 s, <= 200 MiB", folder, true);
    QFile::remove(at("maximal.xls"));

    // Small files that inflate to a lot.
    const QByteArray mib(1 << 20, 'x');
    made([&] {
        return writeXlsx(at("cell.xlsx"), 202, [&](qint64 i) -> QByteArray {
            return i == 0     ? QByteArray("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>")
                   : i == 201 ? QByteArray("</t></is></c></row>")
                              : mib;
        });
    });
    report("one 200 MiB cell (.xlsx)", at("cell.xlsx"), "refused, bounded memory", folder, false);
    made([&] {
        return writeXlsx(at("rows.xlsx"), 1048576, [](qint64 i) -> QByteArray {
            return "<row r=\"" + QByteArray::number(i + 1) + "\"/>";
        });
    });
    report("a million empty rows (.xlsx)", at("rows.xlsx"), "bounded memory", folder, false);
    made([&] {
        return writeXlsx(
            at("strings.xlsx"), 1,
            [](qint64) { return QByteArray("<row r=\"1\"><c t=\"s\"><v>0</v></c></row>"); }, 20'000'000,
            [](qint64) { return QByteArray("<si><t>x</t></si>"); });
    });
    report("shared-string bomb, 20 M strings (.xlsx)", at("strings.xlsx"), "refused, bounded memory", folder,
           false);
    made([&] {
        QFile file(at("commas.csv"));
        if (!file.open(QIODevice::WriteOnly))
            return false;
        for (int i = 0; i < 22; ++i)
            file.write(QByteArray(1 << 20, ','));
        return true;
    });
    report("CSV line of 22 MiB of commas", at("commas.csv"), "bounded memory", folder, false);
    made([&] {
        QFile file(at("line.csv"));
        if (!file.open(QIODevice::WriteOnly))
            return false;
        for (int i = 0; i < 200; ++i)
            file.write(mib);
        return true;
    });
    report("CSV line of 200 MiB", at("line.csv"), "refused, bounded memory", folder, false);
    return 0;
}
