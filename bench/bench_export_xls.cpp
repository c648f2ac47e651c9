// Exports a results-like table to an .xls workbook. A sheet holds at most 65 536
// rows, so the table is a title row and 65 535 results, 7 columns wide.
#include "data/Progress.h"
#include "files/ExportTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

using namespace quilla;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 65'536;
    static const QString names[] = {QStringLiteral("张伟"), QStringLiteral("王芳"), QStringLiteral("李娜"),
                                    QStringLiteral("刘洋"), QStringLiteral("陈静")};
    ExportTable table;
    table.headerRows = 1;
    table.rows.append({QStringLiteral("序号"), QStringLiteral("奖项"), QStringLiteral("奖品"),
                       QStringLiteral("编号"), QStringLiteral("姓名"), QStringLiteral("部门"),
                       QStringLiteral("时间")});
    for (int i = 1; i < rows; ++i)
        table.rows.append({QString::number(i), QStringLiteral("%1等奖").arg(i % 5 + 1),
                           QStringLiteral("奖品%1").arg(i % 20), QString::number(13800000000LL + i),
                           names[i % 5] + QString::number(i % 1000), QStringLiteral("部门%1").arg(i % 37),
                           i % 3 ? QStringLiteral("2024-01-01 10:00:%1").arg(i % 60) : QString()});
    table.widths = QList<double>(7, 1500);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("export.xls"));
    NoProgress progress;
    QElapsedTimer timer;
    timer.start();
    const ExportFailure failure = writeXls(table, path, QStringLiteral("Quilla抽奖"), progress);
    const qint64 ms = timer.elapsed();
    std::printf("%-44s %8lld ms %12lld bytes%s\n", qPrintable(QStringLiteral("xls export %1 x 7").arg(rows)),
                static_cast<long long>(ms), static_cast<long long>(QFileInfo(path).size()),
                failure == ExportFailure::None ? "" : "  (refused)");
    return failure == ExportFailure::None ? 0 : 1;
}
