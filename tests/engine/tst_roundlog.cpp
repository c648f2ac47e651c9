#include "engine/Maintenance.h"
#include "engine/RoundLog.h"
#include "support/DrawFixture.h"

#include <QDateTime>
#include <QFile>
#include <QtEndian>
#include <QTest>

#include <sqlite3.h>

using namespace quilla;

namespace {

struct LogRow
{
    qint64 prize = 0;
    QString event;
    qint64 inPlay = 0, places = 0, presets = 0;
    QStringList ids;
    QStringList presetIds;
    QString detail;
    QString utc;
};

QList<LogRow> logOf(DrawFixture &f, qint64 draw)
{
    QList<LogRow> rows;
    f.db.forEachRow(Sql("SELECT * FROM 轮次表 WHERE CID=") + Sql::number(draw) + Sql(" ORDER BY ID"),
                    [&](const Row &row) {
                        rows.append({row.number(u"WID"), row.text(u"事件"), row.number(u"在场人数"),
                                     row.number(u"名额"), row.number(u"预设名额"),
                                     row.text(u"结果ID").split(u',', Qt::SkipEmptyParts),
                                     row.text(u"预设结果ID").split(u',', Qt::SkipEmptyParts), row.text(u"说明"),
                                     row.text(u"UTC时间")});
                    });
    return rows;
}

QStringList resultIds(DrawFixture &f, const Sql &condition)
{
    QStringList ids;
    f.db.forEachRow(Sql("SELECT ID FROM 结果表 WHERE ") + condition + Sql(" ORDER BY ID"),
                    [&](const Row &row) { ids.append(row.text(u"ID")); });
    return ids;
}

bool exec(const QString &path, const char *sql)
{
    sqlite3 *handle = nullptr;
    const bool done = sqlite3_open(QFile::encodeName(path).constData(), &handle) == SQLITE_OK &&
                      sqlite3_exec(handle, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(handle);
    return done;
}

} // namespace

class TestRoundLog : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    // A file of the first version opens with every row kept and gains the log.
    void anOldFileIsUpgradedWhole()
    {
        DrawFixture f;
        const qint64 draw = f.addDraw();
        const qint64 prize = f.addPrize(draw, 1, QStringLiteral("一等奖"), 1, 1);
        f.addParticipants(draw, 3);
        f.addResult(draw, prize, QStringLiteral("1001"), QStringLiteral("甲"));
        f.addPreset(draw, prize, QStringLiteral("1002"), QStringLiteral("乙"));
        QVERIFY(f.db.openDatabase(f.dir.filePath(QStringLiteral("other.mdb")))); // lets go of the file
        QVERIFY(exec(f.path, "DROP TABLE 轮次表; PRAGMA user_version=1;"));

        QVERIFY(f.db.openDatabase(f.path));
        QVERIFY(f.prompt.messages.isEmpty());
        QFile file(f.path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(int(qFromBigEndian<qint32>(file.read(100).constData() + 60)), Database::SchemaVersion);
        const std::pair<const char *, qint64> kept[] = {
            {"奖次表", 1}, {"奖项表", 1}, {"号码表", 3}, {"结果表", 1}, {"预设表", 1}, {"轮次表", 0}};
        for (const auto &[table, rows] : kept)
            QCOMPARE(f.count(table), rows);
        QVERIFY(logRound(f.db, {draw, prize, 3, 1, 0, {1}}));
        QCOMPARE(f.count("轮次表"), 1);

        // A file of the second version: the rounds logged so far learn which places presets filled.
        QVERIFY(f.db.openDatabase(f.dir.filePath(QStringLiteral("other.mdb"))));
        QVERIFY(exec(f.path, "ALTER TABLE 轮次表 DROP COLUMN 预设结果ID; UPDATE 轮次表 SET 预设名额=2, 结果ID='7,8,9';"
                             "PRAGMA user_version=2;"));
        QVERIFY(f.db.openDatabase(f.path));
        QCOMPARE(f.db.lookupValue(QStringLiteral("轮次表"), draw, QStringLiteral("CID"), QStringLiteral("预设结果ID")),
                 QVariant(QStringLiteral("7,8")));
    }

    // A whole draw, a prize deleted, results cancelled and a redraw: the log tells each, and agrees with the results.
    void aDrawIsLoggedRoundByRound()
    {
        DrawFixture f;
        const qint64 draw = f.addDraw();
        const qint64 first = f.addPrize(draw, 1, QStringLiteral("一等奖"), 2, 2);
        const qint64 second = f.addPrize(draw, 2, QStringLiteral("二等奖"), 3, 2);
        f.addParticipants(draw, 10);
        f.addPreset(draw, first, QStringLiteral("1004"), QStringLiteral("人3"));
        f.engine.CurrentDraw.Id = draw;
        QVERIFY(f.engine.loadDraw());
        const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
        QList<Candidate> picks;
        QList<qint64> prizes;
        while (const qsizetype current = f.engine.startRound(picks)) {
            prizes.append(f.engine.prizes().at(current).PrizeId);
            QVERIFY(f.engine.recordRound(draw, prizes.last(), picks));
        }
        QCOMPARE(prizes, (QList<qint64>{first, second, second}));

        QList<LogRow> log = logOf(f, draw);
        QCOMPARE(log.size(), 3);
        QStringList logged;
        for (qsizetype i = 0; i < log.size(); ++i) {
            QCOMPARE(log[i].event, QStringLiteral("抽奖"));
            QCOMPARE(log[i].prize, prizes[i]);
            QCOMPARE(log[i].places, log[i].ids.size());
            QVERIFY(QDateTime::fromString(log[i].utc, Qt::ISODateWithMs) >= before);
            logged += log[i].ids;
        }
        QCOMPARE(logged, resultIds(f, Sql("CID=") + Sql::number(draw)));
        // Ten people, the preset among them; non-repeatable winners leave play.
        QCOMPARE((QList<qint64>{log[0].inPlay, log[1].inPlay, log[2].inPlay}), (QList<qint64>{10, 8, 6}));
        QCOMPARE((QList<qint64>{log[0].presets, log[1].presets, log[2].presets}), (QList<qint64>{1, 0, 0}));
        // The preset's result is marked as such, and it is the one stored for 1004.
        QCOMPARE(log[0].presetIds.size(), 1);
        QCOMPARE(f.db.lookupValue(QStringLiteral("结果表"), log[0].presetIds.first().toLongLong(), QStringLiteral("ID"),
                                  QStringLiteral("号码")),
                 QVariant(QStringLiteral("1004")));
        QVERIFY(log[1].presetIds.isEmpty() && log[2].presetIds.isEmpty());
        QCOMPARE((QList<qint64>{log[1].places, log[2].places}), (QList<qint64>{2, 1}));

        // A prize deleted takes its results with it, and says so.
        const QStringList secondIds = resultIds(f, Sql("WID=") + Sql::number(second));
        QVERIFY(deletePrizes(f.db, {second}));
        log = logOf(f, draw);
        QCOMPARE(log.size(), 4);
        QCOMPARE(log[3].event, QStringLiteral("删除奖项"));
        QCOMPARE(log[3].ids, secondIds);
        QVERIFY(log[3].detail.startsWith(QStringLiteral("二等奖：")));

        // Cancelled results, as the results list deletes them.
        const QStringList firstIds = resultIds(f, Sql("WID=") + Sql::number(first));
        {
            Database::Transaction transaction(f.db);
            QVERIFY(logDeletion(f.db, keysIn({firstIds[0].toLongLong()}), CancelledResults));
            QVERIFY(transaction.commit());
        }
        // A redraw deletes what is left and logs it; nothing before it changes.
        f.prompt.answers = {true};
        QVERIFY(f.engine.confirmDrawStart(draw));
        log = logOf(f, draw);
        QCOMPARE(log.size(), 6);
        QCOMPARE(log[4].event, QStringLiteral("取消结果"));
        QCOMPARE(log[4].ids, firstIds.mid(0, 1));
        QVERIFY(log[4].detail.contains(QStringLiteral("人3")));
        QCOMPARE(log[5].event, QStringLiteral("重新抽奖"));
        QCOMPARE(log[5].ids, firstIds);
        QCOMPARE(f.count("结果表"), 0);

        // The log goes with its draw, and only then.
        QVERIFY(deleteDraws(f.db, {draw}));
        QCOMPARE(f.count("轮次表"), 0);
    }
};

QTEST_MAIN(TestRoundLog)
#include "tst_roundlog.moc"
