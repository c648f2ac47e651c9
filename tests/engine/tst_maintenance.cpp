#include "engine/Maintenance.h"
#include "support/DrawFixture.h"
#include "support/RecordingProgress.h"

#include <QTest>

using namespace quilla;

namespace {

QStringList participants(DrawFixture &f, qint64 draw)
{
    QStringList rows;
    f.db.forEachRow(Sql("SELECT * FROM 号码表 WHERE CID=") + Sql::number(draw) + Sql(" ORDER BY ID"),
                    [&](const Row &row) { rows.append(row.text(u"号码") + u'/' + row.text(u"姓名")); });
    return rows;
}

} // namespace

class TestMaintenance : public QObject
{
    Q_OBJECT

    // Two draws with a prize, two participants, a result and a preset each.
    static std::pair<qint64, qint64> twoDraws(DrawFixture &f, qint64 prizes[2])
    {
        qint64 draws[2];
        for (int i = 0; i < 2; ++i) {
            draws[i] = f.addDraw(QStringLiteral("抽奖%1").arg(i));
            prizes[i] = f.addPrize(draws[i], 1, QStringLiteral("一等奖"), 2, 1);
            f.addParticipants(draws[i], 2);
            f.addResult(draws[i], prizes[i], QStringLiteral("1001"), QStringLiteral("人0"));
            f.addPreset(draws[i], prizes[i], QStringLiteral("1002"), QStringLiteral("人1"));
        }
        return {draws[0], draws[1]};
    }

  private Q_SLOTS:
    void deletingADrawTakesAllItsRowsAndNothingElse()
    {
        DrawFixture f;
        qint64 prizes[2];
        const auto [gone, kept] = twoDraws(f, prizes);
        QVERIFY(deleteDraws(f.db, {gone}));
        QCOMPARE(f.count("奖次表"), 1);
        QCOMPARE(f.count("奖次表", Sql("ID=") + Sql::number(kept)), 1);
        for (const char *table : {"奖项表", "号码表", "结果表"})
            QCOMPARE(f.count(table, Sql("CID=") + Sql::number(kept)), f.count(table));
        QCOMPARE(f.count("预设表"), 1);
        QCOMPARE(f.count("号码表"), 2);

        // All or nothing: one refused statement leaves every table as it was.
        QVERIFY(f.db.executeSql(
            Sql("CREATE TRIGGER refuse BEFORE DELETE ON 预设表 BEGIN SELECT RAISE(ABORT, 'disk'); END")));
        QVERIFY(!deleteDraws(f.db, {kept}));
        QCOMPARE(f.prompt.messages, QStringList{QStringLiteral("删除记录失败，数据库没有改变。")});
        QCOMPARE(f.count("奖次表") + f.count("奖项表") + f.count("号码表") + f.count("结果表"), 5);
    }

    void deletingPrizesTakesTheirResultsAndPresets()
    {
        DrawFixture f;
        qint64 prizes[2];
        const auto [first, second] = twoDraws(f, prizes);
        const qint64 other = f.addPrize(first, 2, QStringLiteral("二等奖"), 1, 1);
        f.addResult(first, other, QStringLiteral("1002"), QStringLiteral("人1"));
        QVERIFY(deletePrizes(f.db, {prizes[0], prizes[1]}));
        QCOMPARE(f.count("奖项表"), 1);
        QCOMPARE(f.count("结果表"), 1);
        QCOMPARE(f.count("结果表", Sql("WID=") + Sql::number(other)), 1);
        QCOMPARE(f.count("预设表"), 0);
        QCOMPARE(f.count("号码表"), 4);
        Q_UNUSED(second);
    }

    // A new prize goes after the highest order, also after deletions.
    void prizeOrders()
    {
        DrawFixture f;
        const qint64 draw = f.addDraw();
        QCOMPARE(nextPrizeOrder(f.db, draw), 1);
        const qint64 a = f.addPrize(draw, 1, QStringLiteral("甲"), 1, 1);
        const qint64 b = f.addPrize(draw, 2, QStringLiteral("乙"), 1, 1);
        const qint64 c = f.addPrize(draw, 3, QStringLiteral("丙"), 1, 1);
        f.addPrize(draw + 1, 9, QStringLiteral("别的"), 1, 1);
        QVERIFY(deletePrizes(f.db, {b}));
        QCOMPARE(nextPrizeOrder(f.db, draw), 4);

        QVERIFY(storePrizeOrder(f.db, {c, a}));
        f.engine.CurrentDraw.Id = draw;
        f.engine.loadPrizeTable();
        QCOMPARE(f.engine.prizes().at(1).PrizeId, c);
        QCOMPARE(f.engine.prizes().at(2).PrizeId, a);
        QCOMPARE(f.engine.prizes().at(2).Order, 2);
    }

    void participantsAreStoredAsTyped()
    {
        DrawFixture f;
        const qint64 id = appendParticipant(f.db, 3, QStringLiteral(" 1001 "), QStringLiteral("O'Brien"));
        QVERIFY(id > 0);
        QVERIFY(updateParticipant(f.db, 4, id, QStringLiteral("10'02"), QStringLiteral("O'Neil")));
        QCOMPARE(participants(f, 4), QStringList{QStringLiteral("10'02/O'Neil")});
        QVERIFY(f.db.executeSql(
            Sql("CREATE TRIGGER refuse BEFORE INSERT ON 号码表 BEGIN SELECT RAISE(ABORT, 'disk'); END")));
        QCOMPARE(appendParticipant(f.db, 4, QStringLiteral("1"), QString()), 0);
    }

    void duplicatesAreRemovedInOneGo()
    {
        DrawFixture f;
        for (const auto &[number, name] : QList<std::pair<const char *, const char *>>{{"1001", "甲"},
                                                                                       {"1001", "甲"},
                                                                                       {"1001", "乙"},
                                                                                       {"1002", "甲"},
                                                                                       {"", ""},
                                                                                       {"", ""},
                                                                                       {"1001", "甲"}})
            f.addParticipant(7, QString::fromUtf8(number), QString::fromUtf8(name));
        f.addParticipant(8, QStringLiteral("1001"), QStringLiteral("甲"));
        RecordingProgress progress;
        QCOMPARE(removeDuplicateParticipants(f.db, progress, 7), 4);
        // Of each group the first stays; rows with neither number nor name all go.
        QCOMPARE(participants(f, 7), (QStringList{"1001/甲", "1001/乙", "1002/甲"}));
        QCOMPARE(participants(f, 8), QStringList{"1001/甲"});
        QCOMPARE(progress.captions, QStringList{QStringLiteral("正在去除重复项（号码及姓名相同的项）！")});
        QVERIFY(!progress.open);

        f.addParticipant(7, QStringLiteral("1001"), QStringLiteral("甲"));
        QVERIFY(f.db.executeSql(
            Sql("CREATE TRIGGER refuse BEFORE DELETE ON 号码表 BEGIN SELECT RAISE(ABORT, 'disk'); END")));
        QCOMPARE(removeDuplicateParticipants(f.db, progress, 7), -1);
        QCOMPARE(participants(f, 7).size(), 4);
        QCOMPARE(f.prompt.messages.size(), 1);
    }

    // Rows of draw 7 (A) and 8 (B), "A1" being number 1 and name 人1, the layout repeated.
    // Duplicates go by runs of IDs: the rows of another draw between them stay.
    void duplicatesGoWhateverLiesBetween_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<int>("repeats");
        QTest::addColumn<QStringList>("kept");
        QTest::newRow("a run across another draw's row") << "A1 A1 B1 A1 A2" << 1 << QStringList{"1", "2"};
        QTest::newRow("kept rows split the runs") << "A1 A2 A1 A3 A2 A2" << 1 << QStringList{"1", "2", "3"};
        QTest::newRow("a draw read from its first ID to its last")
            << "A1 A2 B1 A1 A2 A3" << 700 << QStringList{"1", "2", "3"};
        QTest::newRow("a draw spread thin among another") << "A1 B1 B1 B1 B1 B1" << 500 << QStringList{"1"};
    }
    void duplicatesGoWhateverLiesBetween()
    {
        QFETCH(QString, layout);
        QFETCH(int, repeats);
        QFETCH(QStringList, kept);
        DrawFixture f;
        const QStringList rows = layout.split(u' ');
        {
            Database::Transaction transaction(f.db);
            for (int i = 0; i < repeats; ++i)
                for (const QString &row : rows)
                    f.addParticipant(row.at(0) == u'A' ? 7 : 8, row.mid(1), u'人' + row.mid(1));
            QVERIFY(transaction.commit());
        }
        const qint64 others = f.count("号码表", Sql("CID=8"));
        const qint64 doomed = f.count("号码表", Sql("CID=7")) - kept.size();
        RecordingProgress progress;
        QCOMPARE(removeDuplicateParticipants(f.db, progress, 7), doomed);
        QStringList expected;
        for (const QString &number : kept)
            expected.append(number + QStringLiteral("/人") + number);
        QCOMPARE(participants(f, 7), expected);
        QCOMPARE(f.count("号码表", Sql("CID=8")), others);
        QCOMPARE(progress.steps, progress.totals.value(0));
    }
};

QTEST_GUILESS_MAIN(TestMaintenance)
#include "tst_maintenance.moc"
