// Appends 1 000 000 participant rows through the data layer and reads them
// back, next to sqlite3's own CSV import of the same rows into the same table.
#include "BenchPrompt.h"
#include "BenchRows.h"
#include "data/Database.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>

#include <sqlite3.h>

using namespace quilla;

namespace {

QString numberOf(int i)
{
    return QStringLiteral("138%1").arg(i, 8, 10, QLatin1Char('0'));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 1'000'000;
    QTemporaryDir dir;
    BenchPrompt prompt;

    std::printf("rows: %d\n", rows);
    qint64 appendMs = 0;
    {
        Database db(prompt);
        if (!db.openDatabase(dir.filePath(QStringLiteral("Data.mdb"))))
            return 1;
        QElapsedTimer timer;
        timer.start();
        Database::Transaction transaction(db);
        Query rs = db.openQuery(Sql("SELECT * FROM 号码表 WHERE FALSE"));
        for (int i = 0; i < rows; ++i) {
            rs.addNew();
            rs.setValue(u"CID", 1);
            rs.setValue(u"号码", numberOf(i));
            rs.setValue(u"姓名", participantName(i));
            if (!rs.save())
                return 1;
        }
        if (!transaction.commit())
            return 1;
        appendMs = timer.elapsed();
        reportRows("append through the data layer", rows, appendMs);

        timer.restart();
        qint64 seen = 0;
        db.forEachRow(Sql("SELECT * FROM 号码表 WHERE CID=") + Sql::number(1),
                      [&](const Row &row) { seen += row.text(2).size() + row.text(3).size(); });
        reportRows("read back (streamed)", rows, timer.elapsed());
        timer.restart();
        const Query all = db.openQuery(Sql("SELECT * FROM 号码表 WHERE CID=") + Sql::number(1));
        reportRows("read back (whole result)", int(all.rowCount()), timer.elapsed());
    }
    {
        // Opening checks the whole file before anything is written to it.
        const QString path = dir.filePath(QStringLiteral("Data.mdb"));
        QElapsedTimer timer;
        timer.start();
        sqlite3 *raw = nullptr;
        sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_exec(raw, "SELECT COUNT(*) FROM sqlite_master", nullptr, nullptr, nullptr);
        sqlite3_close(raw);
        const qint64 plainMs = timer.elapsed();
        timer.restart();
        Database db(prompt);
        if (!db.openDatabase(path))
            return 1;
        const qint64 openMs = timer.elapsed();
        std::printf("%-44s %8lld ms\n", "open without a check (baseline)", static_cast<long long>(plainMs));
        std::printf("%-44s %8lld ms (goal <= 500 ms)\n", "OpenDatabase with its integrity check",
                    static_cast<long long>(openMs));
    }

    const QString sqlite3 = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (sqlite3.isEmpty()) {
        std::printf("sqlite3 tool not found: no baseline\n");
        return 0;
    }
    const QString csvPath = dir.filePath(QStringLiteral("rows.csv"));
    {
        QFile csv(csvPath);
        if (!csv.open(QIODevice::WriteOnly))
            return 1;
        QTextStream out(&csv);
        for (int i = 0; i < rows; ++i)
            out << (i + 1) << ",1," << numberOf(i) << ',' << participantName(i) << '\n';
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
    const qint64 importMs = timer.elapsed();
    if (process.exitCode() != 0) {
        std::printf("sqlite3 failed: %s\n", process.readAllStandardError().constData());
        return 1;
    }
    reportRows("sqlite3 .import of the same rows (baseline)", rows, importMs);
    std::printf("append / baseline: %.2fx (goal <= 2x)\n", double(appendMs) / qMax<qint64>(importMs, 1));
    return 0;
}
