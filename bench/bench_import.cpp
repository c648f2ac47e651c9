// Imports a 1 000 000-row GB18030 CSV file of participants, next to sqlite3's own
// CSV import of the same file into the same table.
#include "BenchPrompt.h"
#include "BenchRows.h"
#include "data/Database.h"
#include "data/Progress.h"
#include "files/Importer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <cstdio>

using namespace quilla;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 1'000'000;
    QTemporaryDir dir;
    BenchPrompt prompt;
    std::printf("rows: %d\n", rows);

    // ID, CID, number, name: the columns of 号码表, so sqlite3 can take the file as it is.
    const QString csvPath = dir.filePath(QStringLiteral("rows.csv"));
    {
        QFile csv(csvPath);
        if (!csv.open(QIODevice::WriteOnly))
            return 1;
        QStringEncoder gb18030("GB18030");
        QString block;
        for (int i = 0; i < rows; ++i) {
            block += QStringLiteral("%1,1,138%2,%3\r\n")
                         .arg(i + 1)
                         .arg(i, 8, 10, QChar(u'0'))
                         .arg(participantName(i));
            if (block.size() > (1 << 20) || i + 1 == rows) {
                csv.write(gb18030(block));
                block.clear();
            }
        }
    }

    qint64 importMs = 0;
    {
        Database db(prompt);
        if (!db.openDatabase(dir.filePath(QStringLiteral("Data.mdb"))))
            return 1;
        NoProgress progress;
        QElapsedTimer timer;
        timer.start();
        if (importCsvRows(db, progress, 1, csvPath, 1, rows, {QStringLiteral("C"), QStringLiteral("D")}) != 0)
            return 1;
        importMs = timer.elapsed();
        reportRows("ImportCsvRows (read, decode, map, store)", rows, importMs);
        if (db.countRows(QStringLiteral("号码表"), Sql()) != rows)
            return 1;
    }

    const QString sqlite3 = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (sqlite3.isEmpty()) {
        std::printf("sqlite3 tool not found: no baseline\n");
        return 0;
    }
    const QString basePath = dir.filePath(QStringLiteral("Base.mdb"));
    {
        Database db(prompt); // the same schema and settings
        if (!db.openDatabase(basePath))
            return 1;
    }
    QElapsedTimer timer;
    timer.start();
    QProcess process;
    process.start(sqlite3, {basePath, QStringLiteral("PRAGMA synchronous=FULL;"), QStringLiteral(".mode csv"),
                            QStringLiteral(".import ") + csvPath + QStringLiteral(" 号码表")});
    process.waitForFinished(-1);
    const qint64 baseMs = timer.elapsed();
    if (process.exitCode() != 0) {
        std::printf("sqlite3 failed: %s\n", process.readAllStandardError().constData());
        return 1;
    }
    reportRows("sqlite3 .import of the same file (baseline)", rows, baseMs);
    std::printf("import / baseline: %.2fx (goal <= 1.2x)\n", double(importMs) / qMax<qint64>(baseMs, 1));
    return 0;
}
