// Reads spreadsheet files the way the import does (the sheets, the last row, a
// preview of 19 × 59 cells, two columns of every row), each in a child process whose
// time and peak memory are printed beside the goals and, where LibreOffice is
// installed, beside LibreOffice converting the same file to CSV.
//   bench_workbooks [--no-libreoffice] [--budget]   (--budget: only the files past a budget)
#include "data/Progress.h"
#include "files/ExportTable.h"
#include "support/HostileFiles.h"

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

using namespace quilla;
using namespace hostile;

namespace {

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
    const ChildRun run = readInChild(path);
    const QString result =
        run.code == 0 ? QStringLiteral("read") : QStringLiteral("refused (%1)").arg(run.code);
    std::printf("%-40s %10lld B %7.2f s %7.2f s CPU %6ld MiB  %-14s goal %s", what,
                static_cast<long long>(QFileInfo(path).size()), run.seconds, run.cpuSeconds, run.peakMiB,
                qPrintable(result), goal);
    const double lo = withLibreOffice ? libreOffice(path, folder) : 0;
    if (lo > 0)
        std::printf("; LibreOffice %.2f s", lo);
    std::printf("\n");
    std::fflush(stdout);
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

bool made(const std::function<bool()> &make)
{
    return make();
}

// A sheet whose one cell follows markup of mib MiB: a comment, CDATA or a processing
// instruction, opened by open and closed by close.
bool xlsxAfterMarkup(const QString &path, const QByteArray &open, const QByteArray &close, qint64 mib)
{
    const QByteArray filler(1 << 20, 'x');
    return writeXlsx(path, mib + 2, [&](qint64 i) -> QByteArray {
        return i == 0 ? open : i == mib + 1 ? close + "<row r=\"1\"><c r=\"A1\"><v>7</v></c></row>" : filler;
    });
}

// A sheet of about mib MiB of cells that all name A1.
bool xlsxOneCellOverAndOver(const QString &path, qint64 mib)
{
    QByteArray block;
    while (block.size() < (1 << 20))
        block += "<c r=\"A1\"><v>1</v></c>";
    return writeXlsx(path, mib + 2, [&](qint64 i) -> QByteArray {
        return i == 0 ? QByteArray("<row r=\"1\">") : i == mib + 1 ? QByteArray("</row>") : block;
    });
}

// A small .xls whose one cell names column 301, past the 256 a sheet has.
QByteArray xlsPastColumn256()
{
    using namespace biff;
    const QByteArray strings = record(0x00FC, u32(1) + u32(1) + string(QStringLiteral("名"), true));
    const QByteArray cells = labelSst(0, 0, 0) + labelSst(0, 300, 0);
    return compoundFile({{QStringLiteral("Workbook"), workbook({{QStringLiteral("S"), cells}}, strings)}});
}

} // namespace

int main(int argc, char *argv[])
{
    if (const int code = childMain(argc, argv); code != NotAChild)
        return code;
    QCoreApplication app(argc, argv);
    g_libreOffice = !app.arguments().contains(QStringLiteral("--no-libreoffice"));
    QTemporaryDir dir;
    const QString folder = dir.path();
    const auto at = [&](const char *name) { return dir.filePath(QString::fromLatin1(name)); };
    std::printf("%-40s %12s %9s %13s %10s  %-14s\n", "file", "size", "time", "CPU", "peak", "result");

    // Markup and cells that once cost far more than the file's size suggests.
    made([&] { return xlsxAfterMarkup(at("comment.xlsx"), "<!--", "-->", 900); });
    report("900 MiB comment (.xlsx)", at("comment.xlsx"), "read, bounded memory", folder, false);
    QFile::remove(at("comment.xlsx"));
    made([&] { return xlsxAfterMarkup(at("cdata.xlsx"), "<![CDATA[", "]]>", 900); });
    report("900 MiB CDATA (.xlsx)", at("cdata.xlsx"), "read, bounded memory", folder, false);
    QFile::remove(at("cdata.xlsx"));
    made([&] { return xlsxOneCellOverAndOver(at("a1.xlsx"), 500); });
    report("500 MiB of cells naming A1 (.xlsx)", at("a1.xlsx"), "inflated once", folder, false);
    QFile::remove(at("a1.xlsx"));
    made([&] {
        QFile file(at("damaged.xls"));
        const QByteArray bytes = xlsPastColumn256();
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    });
    report(".xls cell past column 256", at("damaged.xls"), "read", folder, false);
    if (app.arguments().contains(QStringLiteral("--budget")))
        return 0;

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
        return writeXlsx(table, at("participants.xlsx"), QStringLiteral("S"), progress) ==
                   ExportFailure::None &&
               writeXls(table, at("participants.xls"), QStringLiteral("S"), progress) == ExportFailure::None;
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
