#include "data/Settings.h"
#include "engine/Presence.h"
#include "support/DamagedFile.h"
#include "support/DrawFixture.h"
#include "support/TempSettings.h"

#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace quilla;

namespace {

QSet<QString> numbersOf(const QList<Candidate> &candidates)
{
    QSet<QString> numbers;
    for (const Candidate &c : candidates)
        numbers.insert(c.Number);
    return numbers;
}

QStringList storedNumbers(Database &db, qint64 draw)
{
    QStringList numbers;
    db.forEachRow(Sql("SELECT * FROM 结果表 WHERE CID=") + Sql::number(draw) + Sql(" ORDER BY ID"),
                  [&](const Row &row) { numbers.append(row.text(u"号码")); });
    return numbers;
}

// Draws for the rule: people (number|name, |1 checked in, |2 absent), prizes (name|数量|同时,
// |r: 重复), presets and earlier results (prize from 1|number|name), steps, the text told (none
// when empty), 定长, 只抽签到. Steps: R a round, O a reopening, X the last winner cancelled as
// absent, C cancelled by mistake, I everyone not absent checked in.
const char *const P4 = "1|甲,2|乙,3|丙,4|丁", *const P3 = "1|甲,2|乙,3|丙", *const AB = "A|1|1,B|1|1",
                  *const Won = "以下预设中奖人已经中奖，本次不再预设：1(甲)";
const char *const RuleRows[][9] = {
    {"preset again on reopening", P4, "A|2|1", "1|1|甲", "", "ROR", Won},
    {"preset after an earlier win", P4, AB, "2|1|甲", "1|1|甲", "R", Won},
    {"one person preset twice", P4, AB, "2|1|甲,1|1|甲", "", "RR", "前面的奖项中已有预设"},
    {"blanks around a number", " 1 |甲,2|乙,3|丙", "A|2|2,B|1|1", "1| 1 |甲", "", "ROR", ""},
    {"preset for a stranger", P4, "A|1|1", "1|9|外人", "", "R",
     "以下预设中奖人不是本次抽奖的参与人员，本次不再预设：9(外人)"},
    {"duplicate rows", "1|甲,1|甲,2|乙", AB, "", "", "RR", ""},
    {"preset for a complete prize", P3, "A|1|1,B|2|2", "1|1|甲", "1|3|丙", "R", ""},
    {"presets leave room", P3, "A|3|3", "1|3|丙", "", "R", ""},
    {"huge counts", P3, "A|4294967296|4294967296", "", "", "R", "每轮最多抽出1000人"},
    {"same number, other names", "1|甲,1|乙,2|丙", "A|2|2", "1|1|甲,1|1|乙", "", "R", ""},
    {"repeatable preset plays on", "1|甲,2|乙", "A|1|1|r,B|2|2", "1|1|甲", "", "RR", ""},
    {"mixed", "1|甲,2|乙,3|丙,4|丁,5|戊,6|己", "A|1|1,B|3|2|r,C|3|3", "3|2|乙,2|2|乙", "", "RRORR",
     "以下预设中奖人已经中奖，本次不再预设：2(乙)"},
    {"preset for later, repeatable first", "1|甲,2|乙", "A|2|2|r,B|1|1", "2|1|甲", "", "RR", ""},
    {"repeatable preset once a draw", P3, "A|3|1|r", "1|1|甲", "", "ROROR", Won},
    {"spaces of every kind", "1001|甲,1001\u3000|甲, 1001\u00a0|甲\u3000,2|乙", "A|2|2,B|1|1",
     "2|2\u2003|乙\u00a0", "", "RR", ""},
    {"look-alikes", "7|甲,007|乙,0007|丙,8|丁", "A|1|1", "", "", "R",
     "定长为 4 时以下号码显示相同：7、007、0007", "4"},
    {"many look-alikes", "10|a,11|b,20|c,21|d,30|e,31|f,40|g,41|h,50|i,51|j,60|k,61|l", "A|1|1", "", "", "R",
     "10、11；20、21；30、31；40、41；50、51 等 6 组", "1"},
    {"absent winner out for good", P4, "A|2|1|r,B|2|1", "", "", "RXRORRR", ""},
    {"cancelled by mistake plays again", "1|甲,2|乙", "A|2|1", "", "", "RCROR", ""},
    {"checked-in only", "1|甲|1,2|乙,3|丙|1,4|丁|2", "A|2|2", "", "", "R", "", "", "1"},
    {"check-in between rounds", "1|甲|1,2|乙,3|丙", "A|1|1,B|2|2", "", "", "RIR", "", "", "1"},
    {"preset of an absent person", "1|甲|2,2|乙,3|丙", "A|1|1", "1|1|甲", "", "R",
     "以下预设中奖人不在场，本次不再预设：1(甲)"},
    {"preset waits for check-in", "1|甲,2|乙|1,3|丙|1", "A|1|1,B|1|1", "2|1|甲", "", "RIR",
     "以下预设中奖人还没有签到，本次不再预设：1(甲)", "", "1"}};

} // namespace

class TestDrawEngine : public QObject
{
    Q_OBJECT

    TempSettings m_settings;

  private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
    }

    void loadsSettings()
    {
        DrawFixture f;
        const qint64 draw = f.append("奖次表", {{u"抽奖内容", QStringLiteral("年会")},
                                                {u"速度", 450.6},
                                                {u"屏蔽", QStringLiteral("000****0000")},
                                                {u"定时", 12},
                                                {u"定长", 11},
                                                {u"底图", QStringLiteral("bg.jpg")},
                                                {u"音乐3", QStringLiteral(".\\win.mp3")}});
        DrawSetting setting;
        setting.Mask = QStringLiteral("old");
        f.engine.loadDrawSetting(draw, setting);
        QCOMPARE(setting.Id, draw);
        QCOMPARE(setting.Speed, 451);
        QCOMPARE(setting.Mask, QStringLiteral("000****0000"));
        QCOMPARE(setting.AutoStop, 12);
        QCOMPARE(setting.FixedLength, 11);
        QCOMPARE(setting.Background, QStringLiteral("bg.jpg"));
        QCOMPARE(setting.Music1, QString());
        QCOMPARE(setting.Music3, QStringLiteral(".\\win.mp3"));

        // A missing draw changes only the id.
        f.engine.loadDrawSetting(draw + 1, setting);
        QCOMPARE(setting.Id, draw + 1);
        QCOMPARE(setting.Mask, QStringLiteral("000****0000"));
    }

    void loadsPrizesInOrderWithRemainingCounts()
    {
        DrawFixture f;
        const qint64 draw = f.addDraw();
        const qint64 third = f.addPrize(draw, 3, QStringLiteral("三等奖"), 5, 1);
        const qint64 first =
            f.addPrize(draw, 1, QStringLiteral("一等奖"), 5, 2, false, QStringLiteral("电视机"));
        const qint64 second = f.addPrize(draw, 2, QStringLiteral("二等奖"), 5, 3);
        f.engine.CurrentDraw.Id = draw;

        QCOMPARE(f.engine.loadPrizeTable(), 1);
        const QList<PrizeEntry> &prizes = f.engine.prizes();
        QCOMPARE(prizes.size(), 4);
        QCOMPARE(prizes.at(1).PrizeId, first);
        QCOMPARE(prizes.at(2).PrizeId, second);
        QCOMPARE(prizes.at(3).PrizeId, third);
        QCOMPARE(prizes.at(1).Title, QStringLiteral("一等奖(电视机)"));
        QCOMPARE(prizes.at(2).Title, QStringLiteral("二等奖"));
        QCOMPARE(prizes.at(1).PerRound, 2);
        QVERIFY(prizes.at(1).Show);
        QCOMPARE(f.engine.roundCount(), 2);

        // Five results, a shortage mark among them, finish 一等奖; six put 二等奖 below zero.
        for (int i = 0; i < 4; ++i)
            f.addResult(draw, first, QString::number(2000 + i));
        f.addResult(draw, first, ShortageMark);
        for (int i = 0; i < 6; ++i)
            f.addResult(draw, second, QString::number(3000 + i));
        f.addResult(draw + 1, third, QStringLiteral("other draw"));
        QCOMPARE(f.engine.loadPrizeTable(), 3);
        QCOMPARE(f.engine.prizes().at(1).Remaining, 0);
        QCOMPARE(f.engine.prizes().at(2).Remaining, -1);
        QCOMPARE(f.engine.prizes().at(3).Remaining, 5);

        for (int i = 0; i < 5; ++i)
            f.addResult(draw, third, QString::number(4000 + i));
        QCOMPARE(f.engine.loadPrizeTable(), 0);
        QCOMPARE(f.engine.prizes().size(), 4);
        QCOMPARE(f.engine.roundCount(), 0);

        f.engine.CurrentDraw.Id = draw + 7; // no prizes: the single empty entry
        QCOMPARE(f.engine.loadPrizeTable(), 0);
        QCOMPARE(f.engine.prizes().size(), 1);
        QCOMPARE(f.engine.prizes().at(0).PrizeId, 0);
    }

    void poolLeavesOutEarlierWinnersOfNonRepeatablePrizes()
    {
        DrawFixture f;
        const qint64 draw = f.addDraw();
        const qint64 once = f.addPrize(draw, 1, QStringLiteral("一等奖"), 1, 1, false);
        const qint64 again = f.addPrize(draw, 2, QStringLiteral("纪念奖"), 1, 1, true);
        f.addParticipant(draw, QStringLiteral("1001"), QStringLiteral("甲"));
        f.addParticipant(draw, QStringLiteral("1001"), QStringLiteral("甲")); // duplicate row: goes too
        f.addParticipant(draw, QStringLiteral("1001"),
                         QStringLiteral("乙")); // same number, other name: stays
        f.addParticipant(draw, QStringLiteral(" 1002  "), QStringLiteral("丙"));
        f.addParticipant(draw, QStringLiteral("1003"), QStringLiteral("丁"));
        f.addParticipant(draw, QStringLiteral("   "), QStringLiteral("空"));
        f.addParticipant(draw + 1, QStringLiteral("9999"), QStringLiteral("别的抽奖"));
        f.addResult(draw, once, QStringLiteral("1001"), QStringLiteral("甲"));
        f.addResult(draw, again, QStringLiteral("1003"), QStringLiteral("丁"));
        f.addResult(draw + 1, once, QStringLiteral("1002"), QStringLiteral("丙"));

        f.engine.CurrentDraw.Id = draw;
        f.engine.buildCandidatePool();
        const CandidatePool &pool = f.engine.pool();
        QCOMPARE(pool.upperBound(), 4);
        QStringList names;
        for (qsizetype i = 1; i <= pool.upperBound(); ++i) {
            QCOMPARE(pool.candidate(i).PoolIndex, i);
            names.append(pool.candidate(i).Name);
        }
        QCOMPARE(names, (QStringList{"乙", "丙", "丁", "空"}));
        QCOMPARE(pool.candidate(2).Number, QStringLiteral("1002"));
        QCOMPARE(pool.candidate(4).Number, QString());
        QCOMPARE(f.engine.pool().inPlayCount(), 3);

        QList<Candidate> picks;
        f.engine.pickRound(picks, 4);
        QCOMPARE(numbersOf(picks), (QSet<QString>{"1001", "1002", "1003", ShortageMark}));
    }

    void presetsTakeTheFirstPlacesAndNeverScroll()
    {
        DrawFixture f;
        RecordingDisplay display;
        f.engine.setDisplay(&display);
        const qint64 draw = f.addDraw();
        const qint64 first = f.addPrize(draw, 1, QStringLiteral("一等奖"), 3, 3);
        const qint64 second = f.addPrize(draw, 2, QStringLiteral("二等奖"), 2, 1);
        f.addParticipants(draw, 20);
        f.addPreset(draw, second, QStringLiteral("1005"), QStringLiteral("人4"));
        f.addPreset(draw, first, QStringLiteral("1001"), QStringLiteral("人0"));
        f.addPreset(draw, second, QStringLiteral("1006"), QStringLiteral("人5"));
        f.addPreset(draw, first, QStringLiteral("1002"), QStringLiteral("人1"));
        f.addPreset(draw, first, QStringLiteral(" 1003"), QStringLiteral("人2")); // blanks do not count
        f.engine.CurrentDraw.Id = draw;
        f.engine.loadDraw();
        QCOMPARE(f.engine.presets().size(), 5);
        QCOMPARE(f.engine.pool().heldCount(), 5);

        const QSet<QString> withheld{"1001", "1002", "1003", "1005", "1006"};
        QList<Candidate> picks;
        for (int tick = 0; tick < 300; ++tick) {
            f.engine.pickRound(picks, 3);
            QVERIFY(!numbersOf(picks).intersects(withheld));
        }

        // 一等奖, three places, three presets for it: all three fit, stored as shown.
        QCOMPARE(f.engine.startRound(picks), 1);
        QVERIFY(f.engine.recordRound(draw, first, picks));
        QCOMPARE(storedNumbers(f.db, draw), (QStringList{"1001", "1002", "1003"}));
        QCOMPARE(display.picks, QStringLiteral("1001\r\n1002\r\n1003"));
        for (const Candidate &pick : std::as_const(picks))
            QCOMPARE(pick.PoolIndex, 0);

        // 二等奖 draws one a round: its presets come in 预设表 order.
        QCOMPARE(f.engine.startRound(picks), 2);
        QCOMPARE(picks.size(), 1);
        const Candidate random = picks.at(0);
        QVERIFY(f.engine.recordRound(draw, second, picks));
        QCOMPARE(picks.at(0).Number, QStringLiteral("1005"));
        // The random pick it replaced stays in play.
        QVERIFY(f.engine.pool().isInPlay(random.PoolIndex));
        QCOMPARE(f.engine.startRound(picks), 2);
        QVERIFY(f.engine.recordRound(draw, second, picks));
        QCOMPARE(picks.at(0).Number, QStringLiteral("1006"));
        QCOMPARE(f.engine.loadPrizeTable(), 0);
    }

    void presetsFillSomePlacesAndRandomTheRest()
    {
        DrawFixture f;
        const qint64 draw = f.addDraw();
        const qint64 prize = f.addPrize(draw, 1, QStringLiteral("一等奖"), 3, 3);
        f.addParticipants(draw, 10);
        f.addPreset(draw, prize, QStringLiteral("1009"), QStringLiteral("人8"));
        f.addPreset(draw, prize, QStringLiteral("1010"), QStringLiteral("人9"));
        f.engine.CurrentDraw.Id = draw;
        f.engine.loadDraw();
        QList<Candidate> picks;
        QCOMPARE(f.engine.startRound(picks), 1);
        const QList<Candidate> shown = picks; // what the audience saw at the stop
        QVERIFY(f.engine.recordRound(draw, prize, picks));
        // The presets take the first two places; the third keeps the number shown there.
        QCOMPARE(storedNumbers(f.db, draw), (QStringList{"1009", "1010", shown.at(2).Number}));
        const CandidatePool &pool = f.engine.pool();
        QVERIFY(!pool.isInPlay(shown.at(2).PoolIndex));
        // The random picks the presets replaced did not win and stay in play.
        QVERIFY(pool.isInPlay(shown.at(0).PoolIndex));
        QVERIFY(pool.isInPlay(shown.at(1).PoolIndex));
    }

    void recordingTakesWinnersOutOfPlay()
    {
        DrawFixture f;
        const qint64 draw = f.addDraw();
        const qint64 once = f.addPrize(draw, 1, QStringLiteral("一等奖"), 3, 3, false);
        const qint64 again = f.addPrize(draw, 2, QStringLiteral("纪念奖"), 3, 3, true);
        f.addParticipants(draw, 5);
        f.engine.CurrentDraw.Id = draw;
        f.engine.loadDraw();

        QList<Candidate> picks;
        QCOMPARE(f.engine.startRound(picks), 1);
        QVERIFY(f.engine.recordRound(draw, once, picks));
        QStringList picked;
        for (const Candidate &pick : std::as_const(picks)) {
            picked.append(pick.Number);
            QVERIFY(!f.engine.pool().isInPlay(pick.PoolIndex));
        }
        QCOMPARE(storedNumbers(f.db, draw), picked);
        QCOMPARE(f.engine.pool().inPlayCount(), 2);

        // Repeatable: the two left stay in play, the third place is a shortage mark.
        QCOMPARE(f.engine.startRound(picks), 2);
        QCOMPARE(picks.at(2).Number, ShortageMark);
        QVERIFY(f.engine.recordRound(draw, again, picks));
        QCOMPARE(f.engine.pool().inPlayCount(), 2);
        Query marks = f.db.openQuery(Sql("SELECT * FROM 结果表 WHERE 号码=") + Sql::text(ShortageMark));
        QCOMPARE(marks.rowCount(), 1);
        QCOMPARE(marks.text(u"姓名"), QString());
        QCOMPARE(marks.number(u"WID"), again);

        // The next opening leaves out the non-repeatable winners, keeps the repeatable ones.
        DrawEngine reopened(f.db);
        reopened.CurrentDraw.Id = draw;
        reopened.buildCandidatePool();
        QCOMPARE(reopened.pool().inPlayCount(), 2);
    }

    void failedRecordingLosesNothing()
    {
        DrawFixture f;
        RecordingDisplay display;
        f.engine.setDisplay(&display);
        const qint64 draw = f.addDraw();
        const qint64 prize = f.addPrize(draw, 1, QStringLiteral("一等奖"), 3, 3, false);
        f.addParticipants(draw, 5);
        f.addPreset(draw, prize, QStringLiteral("1005"), QStringLiteral("人4"));
        f.engine.CurrentDraw.Id = draw;
        f.engine.loadDraw();
        // The disk refuses the third row of the round.
        QVERIFY(f.db.executeSql(
            Sql("CREATE TRIGGER refuse BEFORE INSERT ON 结果表 "
                "WHEN (SELECT COUNT(*) FROM 结果表) >= 2 BEGIN SELECT RAISE(ABORT, 'disk'); END")));
        QList<Candidate> picks;
        QCOMPARE(f.engine.startRound(picks), 1);
        const QList<Candidate> shown = picks;
        display.shown.clear();
        QVERIFY(!f.engine.recordRound(draw, prize, picks));
        QCOMPARE(f.prompt.messages.size(), 1);
        // The preset winner never appeared: the screen still shows the round as it was.
        QVERIFY(display.shown.isEmpty());
        QCOMPARE(picks, shown);
        QCOMPARE(f.count("结果表"), 0);
        QCOMPARE(f.engine.pool().inPlayCount(), 5);
        QCOMPARE(f.engine.presets().at(0).Number, QStringLiteral("1005")); // given back

        QVERIFY(f.db.executeSql(Sql("DROP TRIGGER refuse")));
        QCOMPARE(f.engine.startRound(picks), 1);
        QVERIFY(f.engine.recordRound(draw, prize, picks));
        QCOMPARE(storedNumbers(f.db, draw).at(0), QStringLiteral("1005"));
        QVERIFY(display.picks.startsWith(QStringLiteral("1005\r\n")));
        QCOMPARE(f.engine.pool().inPlayCount(), 2);
    }

    void startShowsTheRoundsFirstPicksAtOnce()
    {
        DrawFixture f;
        RecordingDisplay display;
        f.engine.setDisplay(&display);
        const qint64 draw = f.addDraw();
        const qint64 first = f.addPrize(draw, 1, QStringLiteral("一等奖"), 1, 1);
        const qint64 second = f.addPrize(draw, 2, QStringLiteral("二等奖"), 1, 1);
        f.addParticipants(draw, 50);
        f.engine.CurrentDraw.Id = draw;
        f.engine.loadDraw();

        QList<Candidate> picks;
        QCOMPARE(f.engine.startRound(picks), 1);
        QVERIFY(f.engine.recordRound(draw, first, picks));
        const QString firstWinner = picks.at(0).Number;
        // A stop straight after the next start, before any tick: the round's own picks are recorded.
        QCOMPARE(f.engine.startRound(picks), 2);
        QCOMPARE(display.picks, picks.at(0).Number);
        QVERIFY(picks.at(0).Number != firstWinner);
        QVERIFY(f.engine.recordRound(draw, second, picks));
        QCOMPARE(storedNumbers(f.db, draw), (QStringList{firstWinner, picks.at(0).Number}));
        QCOMPARE(f.engine.startRound(picks), 0);
        QVERIFY(picks.isEmpty());
        QCOMPARE(f.prompt.messages, QStringList{QStringLiteral("所有奖项都已抽完！")});
        // Unreadable is not finished.
        QVERIFY(f.db.executeSql(Sql("ALTER TABLE 结果表 RENAME TO 旧结果表")));
        QCOMPARE(f.engine.startRound(picks), 0);
        QVERIFY(f.prompt.messages.last().contains(QStringLiteral("没有能够完整读出")));
    }

    // A bad sector met while the draw screen loads: never a draw on part of the
    // participants, never a board with part of the winners.
    void damagedPageLeavesNoPartialDraw()
    {
        DrawFixture f;
        RecordingDisplay display;
        f.engine.setDisplay(&display);
        const qint64 draw = f.addDraw();
        const qint64 prize = f.addPrize(draw, 1, QStringLiteral("一等奖"), 5000, 1);
        f.addParticipants(draw, 3000);
        f.addPreset(draw, prize, QStringLiteral("1001"), QStringLiteral("人0"));
        {
            Database::Transaction transaction(f.db);
            for (int i = 0; i < 2000; ++i)
                f.addResult(draw, prize, QString::number(9000 + i), QStringLiteral("得奖%1").arg(i));
            QVERIFY(transaction.commit());
        }
        f.engine.CurrentDraw.Id = draw;
        QVERIFY(f.engine.loadDraw());
        QCOMPARE(f.engine.pool().inPlayCount(), 3000);

        QVERIFY(damagePageHolding(f.path, QStringLiteral("人1500").toUtf8()));
        QVERIFY(!f.engine.loadDraw());
        QCOMPARE(f.engine.pool().upperBound(), 0);
        QVERIFY(f.engine.presets().isEmpty());
        QCOMPARE(f.prompt.messages.size(), 2);
        QVERIFY(f.prompt.messages.at(0).startsWith(
            QStringLiteral("数据库打开错误(SELECT ID,号码,姓名,签到 FROM 号码表")));
        QVERIFY(f.prompt.messages.at(1).contains(QStringLiteral("不能开始抽奖")));
        QList<Candidate> picks;
        f.engine.pickRound(picks, 2);
        QCOMPARE(picks.at(0).Number, ShortageMark);

        f.prompt.clear();
        display.title = QStringLiteral("旧标题");
        QVERIFY(damagePageHolding(f.path, QStringLiteral("得奖1000").toUtf8()));
        QCOMPARE(f.engine.buildAnnouncement(draw, prize, false, false), QString());
        QCOMPARE(display.title, QStringLiteral("旧标题"));
    }

    void failedDeleteDoesNotStartTheDraw()
    {
        DrawFixture f;
        const qint64 draw = f.addDraw();
        const qint64 prize = f.addPrize(draw, 1, QStringLiteral("一等奖"), 10, 1);
        f.addParticipants(draw, 20);
        QVERIFY(f.db.executeSql(
            Sql("CREATE TRIGGER refuse BEFORE DELETE ON 结果表 BEGIN SELECT RAISE(ABORT, 'disk'); END")));
        // Some results, then all of them: "是" must not go on with the old results.
        for (int stored : {4, 10}) {
            while (f.count("结果表") < stored)
                f.addResult(draw, prize, QString::number(1001 + f.count("结果表")));
            f.prompt.clear();
            f.prompt.answers = {true};
            QVERIFY(!f.engine.confirmDrawStart(draw));
            QCOMPARE(f.prompt.questions.size(), 1);
            QCOMPARE(f.prompt.messages.size(), 1);
            QVERIFY(f.prompt.messages.first().contains(QStringLiteral("未能删除")));
            QCOMPARE(f.count("结果表"), stored);
        }
    }

    void presetsAreClearedAfterTheDrawUnlessKept()
    {
        DrawFixture f;
        const qint64 draw = f.addDraw();
        const qint64 other = f.addDraw(QStringLiteral("别的"));
        f.addPreset(other, 3, QStringLiteral("1003"), QStringLiteral("丙"));
        f.addPreset(draw, 1, QStringLiteral("1001"), QStringLiteral("甲"));
        f.addPreset(draw, 2, QStringLiteral("1002"), QStringLiteral("乙"));
        const Sql ofDraw = Sql("PID=") + Sql::number(draw);
        const Sql ofOther = Sql("PID=") + Sql::number(other);

        // Never set: the editor's box starts checked, so the presets the draw read go;
        // one stored while it ran waits for its next opening.
        // The one stored takes the row id of one deleted meanwhile.
        QVERIFY(f.engine.loadPresets(draw));
        QVERIFY(f.db.executeSql(Sql("DELETE FROM 预设表 WHERE Code='1002'")));
        f.addPreset(draw, 1, QStringLiteral("1004"), QStringLiteral("丁"));
        QVERIFY(f.engine.clearPresetsAfterDraw(draw));
        QCOMPARE(f.count("预设表", ofDraw), 1);
        QCOMPARE(f.count("预设表", ofDraw + Sql(" AND Code='1004'")), 1);
        QCOMPARE(f.count("预设表", ofOther), 1);

        QVERIFY(writeSetting(SettingsApplication, QStringLiteral("ReSet"), QStringLiteral("CHK"),
                             QStringLiteral("1")));
        QVERIFY(f.engine.clearPresetsAfterDraw(other));
        QCOMPARE(f.count("预设表", ofOther), 1);

        QVERIFY(writeSetting(SettingsApplication, QStringLiteral("ReSet"), QStringLiteral("CHK"),
                             QStringLiteral("0")));
        QVERIFY(f.db.executeSql(
            Sql("CREATE TRIGGER refuse BEFORE DELETE ON 预设表 BEGIN SELECT RAISE(ABORT, 'disk'); END")));
        QVERIFY(!f.engine.clearPresetsAfterDraw(other));
        QCOMPARE(f.prompt.messages.size(), 1);
        QCOMPARE(f.count("预设表", ofOther), 1);
    }

    void showPicksJoinsDisplayNumbers()
    {
        DrawFixture f;
        RecordingDisplay display;
        f.engine.setDisplay(&display);
        f.engine.CurrentDraw.FixedLength = 6;
        f.engine.CurrentDraw.Mask = QStringLiteral("0**");
        Candidate one;
        one.Number = QStringLiteral("123");
        f.engine.showPicks({one});
        QCOMPARE(display.picks, QStringLiteral("0**123"));
        Candidate mark;
        mark.Number = ShortageMark;
        f.engine.showPicks({one, mark});
        QCOMPARE(display.picks, QStringLiteral("0**123\r\n(**不足！"));
    }

    void boardText()
    {
        DrawFixture f;
        RecordingDisplay display;
        f.engine.setDisplay(&display);
        const qint64 draw = f.addDraw();
        const qint64 first =
            f.addPrize(draw, 1, QStringLiteral("一等奖"), 2, 2, false, QStringLiteral("电视机"));
        const qint64 second = f.addPrize(draw, 2, QStringLiteral("二等奖"), 1, 1);
        const qint64 hidden = f.addPrize(draw, 3, QStringLiteral("三等奖"), 1, 1, false, QString(), false);
        f.addResult(draw, first, QStringLiteral("1001"), QStringLiteral("甲"));
        f.addResult(draw, first, QStringLiteral("1002"));
        f.addResult(draw, second, QStringLiteral("1003"), QStringLiteral("乙"));
        f.addResult(draw + 1, second, QStringLiteral("9999"), QStringLiteral("别的抽奖"));

        QCOMPARE(f.engine.buildAnnouncement(draw, first, false, false),
                 QStringLiteral("一等奖电视机\r\n     1001(甲)\r\n     1002\r\n二等奖\r\n     1003(乙)\r\n"));
        QCOMPARE(display.title, QStringLiteral("获奖名单"));
        QCOMPARE(f.engine.buildAnnouncement(draw, first, true, false),
                 QStringLiteral("二等奖\r\n     1003(乙)\r\n一等奖电视机\r\n     1002\r\n     1001(甲)\r\n"));

        QCOMPARE(f.engine.buildAnnouncement(draw, first, false, true),
                 QStringLiteral("一等奖(奖品：电视机)\r\n     1001(甲)\r\n     1002\r\n"));
        QCOMPARE(display.title, QStringLiteral("一等奖获奖名单"));
        QCOMPARE(f.engine.buildAnnouncement(draw, second, false, true),
                 QStringLiteral("二等奖(奖品：)\r\n     1003(乙)\r\n"));

        // Numbers go through the display rules; a hidden prize keeps only its heading.
        f.engine.CurrentDraw.Mask = QStringLiteral("0*");
        f.addResult(draw, hidden, QStringLiteral("1004"), QStringLiteral("丙"));
        QCOMPARE(f.engine.buildAnnouncement(draw, first, false, false),
                 QStringLiteral(
                     "一等奖电视机\r\n     1*01(甲)\r\n     1*02\r\n二等奖\r\n     1*03(乙)\r\n三等奖\r\n"));

        // Prizes sharing a 顺序 keep their own headings.
        f.addResult(draw, f.addPrize(draw, 2, QStringLiteral("特别奖"), 1, 1), QStringLiteral("1005"));
        QVERIFY(
            f.engine.buildAnnouncement(draw, first, false, false)
                .endsWith(QStringLiteral("二等奖\r\n     1*03(乙)\r\n特别奖\r\n     1*05\r\n三等奖\r\n")));

        // No results: empty text, title left alone.
        display.title = QStringLiteral("旧标题");
        QCOMPARE(f.engine.buildAnnouncement(draw + 5, first, false, false), QString());
        QCOMPARE(display.title, QStringLiteral("旧标题"));
        QVERIFY(f.prompt.messages.isEmpty());
    }

    void questionsBeforeTheDraw()
    {
        DrawFixture f;
        const qint64 draw = f.addDraw();
        const qint64 prize = f.addPrize(draw, 1, QStringLiteral("一等奖"), 10, 1);
        f.addParticipants(draw, 5);
        const QString tooFew = QStringLiteral("获奖人数多于参与抽奖人数，是否继续抽奖？");

        QVERIFY(!f.engine.confirmDrawStart(draw));
        QCOMPARE(f.prompt.questions, QStringList{tooFew});
        f.prompt.clear();
        f.prompt.answers = {true};
        QVERIFY(f.engine.confirmDrawStart(draw));
        QCOMPARE(f.prompt.questions.size(), 1);

        // Participants of other draws do not count for this one.
        const qint64 other = f.addDraw(QStringLiteral("别的"));
        f.addParticipants(other, 20, 5001);
        f.prompt.clear();
        QVERIFY(!f.engine.confirmDrawStart(draw));
        QCOMPARE(f.prompt.questions, QStringList{tooFew});

        f.addParticipants(draw, 5, 2001);
        for (int i = 0; i < 4; ++i)
            f.addResult(draw, prize, QString::number(1001 + i));
        const QString partly =
            QStringLiteral("部分奖项已经有抽奖结果，您是否要重新抽奖？\r\n\r\n"
                           "（点“是”把原抽奖结果全部删除重新抽，点“否”保留原抽奖结果，继续抽未抽完奖项！）");
        f.prompt.clear();
        QVERIFY(f.engine.confirmDrawStart(draw)); // No keeps the four
        QCOMPARE(f.prompt.questions, QStringList{partly});
        QCOMPARE(f.count("结果表"), 4);
        QCOMPARE(f.prompt.icons, QList<Prompt::Icon>{Prompt::Icon::None});
        f.prompt.clear();
        f.prompt.answers = {true};
        QVERIFY(f.engine.confirmDrawStart(draw));
        QCOMPARE(f.count("结果表"), 0);

        for (int i = 0; i < 10; ++i)
            f.addResult(draw, prize, QString::number(1001 + i));
        f.addResult(other, prize, QStringLiteral("5001"));
        const QString all = QStringLiteral(
            "所有奖项都已经有抽奖结果，您是否要重新抽奖？（重新抽奖将把原抽奖结果全部删除！）");
        f.prompt.clear();
        QVERIFY(!f.engine.confirmDrawStart(draw));
        QCOMPARE(f.prompt.questions, QStringList{all});
        QCOMPARE(f.count("结果表"), 11);
        f.prompt.clear();
        f.prompt.answers = {true};
        QVERIFY(f.engine.confirmDrawStart(draw));
        QCOMPARE(f.count("结果表"), 1); // only this draw's results go

        f.prompt.clear();
        QVERIFY(f.engine.confirmDrawStart(draw)); // nothing stored: no question
        QVERIFY(f.prompt.questions.isEmpty());

        QVERIFY(!f.engine.confirmDrawStart(f.addDraw(QStringLiteral("无奖项"))));
        QVERIFY(f.prompt.messages.last().contains(QStringLiteral("还没有设置奖项")));
    }

    // The rule every path keeps: a person (trimmed number, name) who won a non-repeatable
    // prize wins nothing more in the draw; a round shows no number twice and leaves out
    // nobody eligible while it has places; presets obey the same rule. Over many seeds.
    void everyWinnerIsRightful_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(std::size(RuleRows)); ++i)
            QTest::newRow(RuleRows[i][0]) << i;
    }

    void everyWinnerIsRightful()
    {
        QFETCH(int, row);
        using Person = std::pair<QString, QString>;
        const auto fields = [&](int column) {
            QList<QStringList> rows;
            for (const QString &text :
                 QString::fromUtf8(RuleRows[row][column]).split(u',', Qt::SkipEmptyParts))
                rows.append(text.split(u'|'));
            return rows;
        };
        DrawFixture f;
        QVERIFY(f.db.executeSql(Sql("PRAGMA synchronous=OFF"))); // hundreds of rounds, none about the disk
        const qint64 draw = f.addDraw();
        QVERIFY(f.db.executeSql(Sql("UPDATE 奖次表 SET 定长=") +
                                Sql::number(QByteArray(RuleRows[row][7]).toLongLong()) + Sql(",只抽签到=") +
                                Sql::number(QByteArray(RuleRows[row][8]).toLongLong())));
        const bool checkedInOnly = QByteArray(RuleRows[row][8]) == "1";
        QList<qint64> prizeIds;
        for (const QStringList &p : fields(2))
            prizeIds.append(f.addPrize(draw, 1, p[0], p[1].toLongLong(), p[2].toLongLong(), p.size() > 3));
        QSet<Person> persons;
        QHash<Person, int> presence;
        for (const QStringList &p : fields(1)) {
            f.addParticipant(draw, p[0], p[1]);
            persons.insert({trimmedNumber(p[0]), trimmedNumber(p[1])});
            presence[{trimmedNumber(p[0]), trimmedNumber(p[1])}] = p.value(2).toInt();
        }
        // Who may not win for being away: absent, or not checked in when only the checked-in are drawn.
        const auto away = [&](QSet<Person> &out) {
            for (auto it = presence.cbegin(); it != presence.cend(); ++it)
                if (it.value() == 2 || (checkedInOnly && it.value() != 1))
                    out.insert(it.key());
        };
        for (int seed = 1; seed <= 25; ++seed) {
            Database::Transaction transaction(f.db);
            QVERIFY(f.db.executeSql(Sql("DELETE FROM 结果表")) && f.db.executeSql(Sql("DELETE FROM 预设表")));
            for (const QStringList &p : fields(1))
                QVERIFY(f.db.executeSql(Sql("UPDATE 号码表 SET 签到=") + Sql::number(p.value(2).toInt()) +
                                        Sql(" WHERE 号码=") + Sql::text(p[0])));
            QSet<Person> out;                         // earlier results are of non-repeatable prizes
            QSet<Person> absent;
            away(absent);
            out += absent;
            QHash<qint64, qint64> stored, quantity;   // by prize
            QList<std::pair<qint64, Person>> waiting; // presets, as prize and person
            for (const QStringList &p : fields(4)) {
                f.addResult(draw, prizeIds.at(p[0].toInt() - 1), p[1], p[2]);
                ++stored[prizeIds.at(p[0].toInt() - 1)];
                out.insert({p[1], p[2]});
            }
            for (const QStringList &p : fields(3)) {
                waiting.append(
                    {prizeIds.at(p[0].toInt() - 1), {trimmedNumber(p[1]), trimmedNumber(p[2])}});
                f.addPreset(draw, waiting.last().first, p[1], p[2]);
            }
            QVERIFY(transaction.commit());
            qint64 lastId = f.db.openQuery(Sql("SELECT MAX(ID) AS ID FROM 结果表")).number(u"ID");
            f.prompt.clear();
            std::unique_ptr<DrawEngine> engine;
            QStringList faults;
            for (const QChar step : QString(u'O' + QString::fromUtf8(RuleRows[row][5]))) {
                if (step == u'O') {
                    engine = std::make_unique<DrawEngine>(f.db);
                    engine->CurrentDraw.Id = draw;
                    QVERIFY(engine->loadDraw());
                    for (const PrizeEntry &prize : engine->prizes())
                        quantity[prize.PrizeId] = prize.Quantity;
                    continue;
                }
                if (step != u'R') {
                    const Query last =
                        f.db.openQuery(Sql("SELECT ID,WID,号码,姓名 FROM 结果表 ORDER BY ID DESC LIMIT 1"));
                    const Person person{last.text(u"号码"), last.text(u"姓名")};
                    if (step == u'I') {
                        QVERIFY(f.db.executeSql(Sql("UPDATE 号码表 SET 签到=1 WHERE 签到=0")));
                        for (auto it = presence.begin(); it != presence.end(); ++it)
                            if (it.value() == 0)
                                out.remove(it.key());
                        continue;
                    }
                    QVERIFY(cancelResults(f.db, {last.number(u"ID")}, step == u'X'));
                    --stored[last.number(u"WID")];
                    if (step == u'X')
                        out.insert(person);
                    else if (!absent.contains(person))
                        out.remove(person);
                    continue;
                }
                QList<Candidate> picks;
                QVERIFY(engine->startRound(picks) > 0);
                // The log's count of people in play is what the stored data gives.
                qint64 inPlay = 0;
                for (const Person &person : std::as_const(persons))
                    inPlay += !out.contains(person);
                const PrizeEntry prize = engine->prizes().at(engine->currentPrize());
                // Eligible: in play, and for a prize nobody wins twice, not waiting for a
                // preset of a prize with places left.
                QSet<Person> reserved;
                for (const auto &[prize, person] : std::as_const(waiting))
                    if (stored.value(prize) < quantity.value(prize))
                        reserved.insert(person);
                QSet<QString> eligible, shown;
                for (const Person &person : std::as_const(persons))
                    if (!out.contains(person) && (prize.Repeatable || !reserved.contains(person)))
                        eligible.insert(person.first);
                engine->seedRandom(seed * 100 + stored.value(prize.PrizeId));
                for (int tick = 0; tick < 3; ++tick)
                    engine->pickRound(picks, engine->roundCount());
                QVERIFY(engine->recordRound(draw, prize.PrizeId, picks));

                // The round as stored, its presets first: each fires once a draw.
                qint64 presets =
                    f.db.openQuery(Sql("SELECT 预设名额 FROM 轮次表 ORDER BY ID DESC")).number(u"预设名额");
                qint64 places = 0;
                bool marks = false;
                f.db.forEachRow(Sql("SELECT * FROM 结果表 WHERE ID>") + Sql::number(lastId),
                                [&](const Row &r) {
                                    const Person person{trimmedNumber(r.text(u"号码")),
                                                        trimmedNumber(r.text(u"姓名"))};
                                    if (presets-- > 0 && !waiting.contains({prize.PrizeId, person}))
                                        faults.append(person.first + u" preset again"_qs);
                                    lastId = std::max(lastId, r.number(u"ID"));
                                    ++places;
                                    ++stored[prize.PrizeId];
                                    marks = marks || person.first == ShortageMark;
                                    if (person.first != ShortageMark &&
                                        (!persons.contains(person) || out.contains(person) ||
                                         shown.contains(person.first)))
                                        faults.append(person.first + u" may not win"_qs);
                                    shown.insert(person.first);
                                    waiting.removeOne({prize.PrizeId, person});
                                    if (!prize.Repeatable)
                                        out.insert(person);
                                });
                if (places < 1 || places > MaxRoundPlaces || (marks && !(eligible - shown).isEmpty()))
                    faults.append(QString::number(places) + u" places, some left out"_qs);
                const qint64 logged =
                    f.db.openQuery(Sql("SELECT 在场人数 FROM 轮次表 ORDER BY ID DESC")).number(u"在场人数");
                if (logged != inPlay)
                    faults.append(u"in play %1, logged %2"_qs.arg(inPlay).arg(logged));
            }
            const QString told = QString::fromUtf8(RuleRows[row][6]);
            if (told.isEmpty() ? !f.prompt.messages.isEmpty() : !f.prompt.messages.join(u'\n').contains(told))
                faults.append(u"told: "_qs + f.prompt.messages.join(u" / "));
            QVERIFY2(faults.isEmpty(), qPrintable(QString::number(seed) + u": "_qs + faults.join(u", ")));
        }
    }

    // Drawing among the checked-in with nobody checked in starts no round and says why;
    // a check-in while the screen is open counts at the next start.
    void checkedInOnlyNeedsSomeoneIn()
    {
        DrawFixture f;
        const qint64 draw = f.addDraw();
        f.addPrize(draw, 1, QStringLiteral("一等奖"), 1, 1);
        f.addParticipant(draw, QStringLiteral("1001"), QStringLiteral("张三"));
        QVERIFY(f.db.executeSql(Sql("UPDATE 奖次表 SET 只抽签到=1")));
        f.engine.CurrentDraw.Id = draw;
        QVERIFY(f.engine.loadDraw());
        QList<Candidate> picks;
        QCOMPARE(f.engine.startRound(picks), 0);
        QVERIFY(f.prompt.messages.value(0).contains(QStringLiteral("还没有人签到")));
        QCOMPARE(checkInAtDoor(f.db, draw, QStringLiteral("1001")).outcome, DoorCheckIn::Outcome::CheckedIn);
        QCOMPARE(f.engine.startRound(picks), 1);
        QCOMPARE(picks.value(0).Number, QStringLiteral("1001"));
    }

    // A whole draw on disk: prize after prize until every prize has its winners.
    void wholeDraw()
    {
        DrawFixture f;
        RecordingDisplay display;
        f.engine.setDisplay(&display);
        const qint64 draw = f.addDraw();
        const qint64 grand =
            f.addPrize(draw, 1, QStringLiteral("特等奖"), 2, 1, false, QStringLiteral("汽车"));
        const qint64 lucky = f.addPrize(draw, 2, QStringLiteral("幸运奖"), 5, 2, true);
        const qint64 first = f.addPrize(draw, 3, QStringLiteral("一等奖"), 10, 3);
        f.addParticipants(draw, 30);
        f.addPreset(draw, first, QStringLiteral("1030"), QStringLiteral("人29"));
        f.engine.CurrentDraw.Id = draw;
        QVERIFY(f.engine.confirmDrawStart(draw));
        f.engine.loadDraw();
        f.engine.seedRandom(99);

        QHash<qint64, QStringList> picked;
        QList<qint64> prizeOrder;
        QList<Candidate> picks;
        int rounds = 0;
        while (f.engine.startRound(picks) != 0) {
            const PrizeEntry prize = f.engine.prizes().at(f.engine.currentPrize());
            for (int tick = 0; tick < 5; ++tick) {
                f.engine.pickRound(picks, f.engine.roundCount());
                f.engine.showPicks(picks);
            }
            // What the last tick showed is what is stored, but for the preset's place.
            QStringList lastTick;
            for (const Candidate &pick : std::as_const(picks))
                lastTick.append(pick.Number);
            if (prize.PrizeId == first && !picked.contains(first))
                lastTick[0] = QStringLiteral("1030");
            QVERIFY(f.engine.recordRound(draw, prize.PrizeId, picks));
            if (!prizeOrder.contains(prize.PrizeId))
                prizeOrder.append(prize.PrizeId);
            picked[prize.PrizeId] += lastTick;
            ++rounds;
            QVERIFY(rounds < 50);
        }
        QCOMPARE(rounds, 2 + 3 + 4);
        QCOMPARE(prizeOrder, (QList<qint64>{grand, lucky, first}));
        QCOMPARE(picked.value(first).first(), QStringLiteral("1030"));
        QCOMPARE(picked.value(first).size(), 10);

        // Non-repeatable winners are all different.
        const QStringList once = picked.value(grand) + picked.value(first);
        QCOMPARE(QSet<QString>(once.cbegin(), once.cend()).size(), once.size());

        QString expected = QStringLiteral("特等奖汽车\r\n");
        for (const QString &n : picked.value(grand))
            expected +=
                QStringLiteral("     ") + n + u'(' + QStringLiteral("人%1").arg(n.toInt() - 1001) + u")\r\n";
        expected += QStringLiteral("幸运奖\r\n");
        for (const QString &n : picked.value(lucky))
            expected +=
                QStringLiteral("     ") + n + u'(' + QStringLiteral("人%1").arg(n.toInt() - 1001) + u")\r\n";
        expected += QStringLiteral("一等奖\r\n");
        for (const QString &n : picked.value(first))
            expected +=
                QStringLiteral("     ") + n + u'(' + QStringLiteral("人%1").arg(n.toInt() - 1001) + u")\r\n";
        QCOMPARE(f.engine.buildAnnouncement(draw, first, false, false), expected);
        QCOMPARE(storedNumbers(f.db, draw), picked.value(grand) + picked.value(lucky) + picked.value(first));
        QCOMPARE(f.prompt.messages, QStringList{QStringLiteral("所有奖项都已抽完！")});
    }
};

QTEST_GUILESS_MAIN(TestDrawEngine)
#include "tst_drawengine.moc"
