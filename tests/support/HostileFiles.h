#pragma once

// Files made to hurt a reader, and reading them in a child process whose time and
// peak memory are measured: shared by the hostile-files test and its benchmark.
#include "support/BiffWriter.h"

#include "files/CompoundFile.h"
#include "files/CsvReader.h"
#include "files/TextDecoding.h"
#include "files/Workbook.h"

#include "system/ProcessUsage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <quazip.h>
#include <quazipfile.h>

#include <cstdio>
#include <functional>

namespace hostile {

struct ChildRun
{
    int code = -1; // -1: the child did not exit by itself
    double seconds = 0;
    double cpuSeconds = 0; // user and system time of the child
    long peakMiB = 0;
};

int readAsTheImportDoes(const QString &path);

// The program's main calls this first: as the child that readInChild starts, it reads
// the file, says what it used and returns the exit code; otherwise NotAChild.
constexpr int NotAChild = -1;
inline int childMain(int argc, char *argv[])
{
    if (argc != 3 || qstrcmp(argv[1], "--read-as-import") != 0)
        return NotAChild;
    QCoreApplication app(argc, argv);
    const int code = readAsTheImportDoes(QString::fromLocal8Bit(argv[2]));
    const quilla::ProcessUsage usage = quilla::ownUsage();
    std::printf("%lld %.3f\n", static_cast<long long>(usage.peakBytes), usage.cpuSeconds);
    std::fflush(stdout);
    return code;
}

// Reads path in a process of its own, started afresh (whatever this one holds is no part
// of its memory): its exit code, its time and its peak memory.
inline ChildRun readInChild(const QString &path)
{
    QElapsedTimer timer;
    timer.start();
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--read-as-import"), path});
    ChildRun run;
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit)
        return run;
    run.code = child.exitCode();
    run.seconds = double(timer.elapsed()) / 1000.0;
    const QList<QByteArray> used = child.readAllStandardOutput().trimmed().split(' ');
    run.peakMiB = long(used.value(0).toLongLong() / (1024 * 1024));
    run.cpuSeconds = used.value(1).toDouble();
    return run;
}

// Reads a file the ways the import does: the sheets, the last rows, the preview and
// two columns of every row; a CSV file counted and read record by record. The exit
// code is the workbook's error, or TooLargeToRead for a CSV record too long.
inline int readAsTheImportDoes(const QString &path)
{
    if (path.endsWith(u".csv")) {
        const int count = quilla::countCsvRecords(path);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return quilla::CannotOpenFile;
        quilla::TextFileReader text(file);
        quilla::CsvReader reader(text);
        int records = 0;
        while (reader.next())
            ++records;
        return reader.failed() ? int(quilla::TooLargeToRead) : records == count ? 0 : 100;
    }
    const quilla::OpenedWorkbook opened = quilla::openWorkbook(path);
    if (!opened.book)
        return opened.error;
    for (const QString &sheet : opened.book->sheetNames()) {
        for (int row = 1; row < 20; ++row)
            for (int column = 1; column < 60; ++column)
                opened.book->cellText(sheet, row, column);
        int rows = 0;
        if (!opened.book->readRows(sheet, 1, opened.book->lastRow(sheet), {1, 3},
                                   [&](int, const QStringList &) {
                                       ++rows;
                                       return true;
                                   }))
            return 101;
    }
    return 0;
}

// Writes a part of up to count pieces, each made by piece(i), through the compressor.
inline bool writePart(QuaZip &zip, const QString &name, qint64 count,
                      const std::function<QByteArray(qint64)> &piece)
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
inline bool writeXlsx(const QString &path, qint64 rows, const std::function<QByteArray(qint64)> &row,
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

// The largest sheet an .xls holds, 65 536 × 256 numbers, in a 100 MB file.
inline bool maximalXls(const QString &path)
{
    QList<quint32> rks(256);
    QByteArray cells;
    cells.reserve(65536 * 1550);
    for (int row = 0; row < 65536; ++row) {
        for (int column = 0; column < 256; ++column)
            rks[column] = quint32(row * 256 + column) << 2 | 0x02; // an integer RK
        cells += biff::mulRk(quint16(row), 0, rks);
    }
    const QByteArray stream = biff::workbook({{QStringLiteral("最大"), cells}});
    cells = QByteArray();
    const QByteArray file = quilla::buildCompoundFile({{QStringLiteral("Workbook"), stream}});
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(file) == file.size();
}

} // namespace hostile
