// Exports a 70 000 × 7 results table (Chinese names, numbers) to CSV and to XLSX.
// Goals: CSV within 0.5 s, XLSX within 1 s.
#include "data/Progress.h"
#include "files/ExportTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

using namespace quilla;

namespace {

ExportTable resultsTable(int rows)
{
    static const QString names[] = {QStringLiteral("张伟"), QStringLiteral("王芳"), QStringLiteral("李娜"),
                                    QStringLiteral("刘洋"), QStringLiteral("陈静")};
    static const QString prizes[] = {QStringLiteral("一等奖"), QStringLiteral("二等奖"),
                                     QStringLiteral("三等奖")};
    ExportTable table;
    table.headerRows = 1;
    table.rows.reserve(rows + 1);
    table.rows.append({QStringLiteral("序号"), QStringLiteral("号码"), QStringLiteral("姓名"),
                       QStringLiteral("奖项"), QStringLiteral("轮次"), QStringLiteral("时间"),
                       QStringLiteral("备注")});
    for (int i = 0; i < rows; ++i)
        table.rows.append({QString::number(i + 1), QStringLiteral("138%1").arg(i, 8, 10, QChar(u'0')),
                           names[i % 5] + QString::number(i % 1000), prizes[i % 3],
                           QString::number(i / 100 + 1),
                           QStringLiteral("2026-01-20 19:30:%1").arg(i % 60, 2, 10, QChar(u'0')),
                           i % 10 == 0 ? QStringLiteral("部门,\"销售\"") : QString()});
    table.widths = {600, 1800, 1500, 1200, 600, 2400, 1500};
    return table;
}

bool report(const char *what, ExportFailure failure, qint64 ms, const QString &path, qint64 goal)
{
    std::printf("%-6s %6lld ms (goal %lld ms) %10lld bytes%s\n", what, static_cast<long long>(ms),
                static_cast<long long>(goal), static_cast<long long>(QFileInfo(path).size()),
                failure == ExportFailure::None ? "" : "  FAILED");
    return failure == ExportFailure::None && ms <= goal;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 70'000;
    const ExportTable table = resultsTable(rows);
    QTemporaryDir dir;
    NoProgress progress;
    std::printf("rows: %d, columns: 7\n", rows);

    const QString csv = dir.filePath(QStringLiteral("结果.csv"));
    QElapsedTimer timer;
    timer.start();
    const ExportFailure csvResult = writeCsv(table, csv, progress);
    const bool csvMet = report("CSV", csvResult, timer.elapsed(), csv, 500);

    const QString xlsx = dir.filePath(QStringLiteral("结果.xlsx"));
    timer.start();
    const ExportFailure xlsxResult = writeXlsx(table, xlsx, QStringLiteral("Quilla抽奖"), progress);
    const bool xlsxMet = report("XLSX", xlsxResult, timer.elapsed(), xlsx, 1000);
    return csvMet && xlsxMet ? 0 : 1;
}
