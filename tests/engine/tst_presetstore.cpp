#include "engine/PresetStore.h"
#include "support/DrawFixture.h"

#include <QTest>

using namespace quilla;

class TestPresetStore : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    // Only presets whose number and name no participant of the draw has go, checked
    // afresh where the snapshot of the draw lacks them; a failed read or a refused
    // delete removes none.
    void orphansAreThoseTheDrawLacks()
    {
        DrawFixture f;
        const qint64 draw = f.addDraw();
        const qint64 prize = f.addPrize(draw, 1, QStringLiteral("一等奖"), 5, 1);
        f.addParticipant(draw, QStringLiteral("1001"), QStringLiteral("张三"));
        f.addParticipant(f.addDraw(QStringLiteral("另一场")), QStringLiteral("1003"), QStringLiteral("王五"));
        f.addPreset(draw, prize, QStringLiteral("1001"), QStringLiteral("张三"));
        f.addPreset(draw, prize, QStringLiteral("1001"), QStringLiteral("李四")); // same number, other name
        f.addPreset(draw, prize, QStringLiteral("1003"), QStringLiteral("王五")); // of another draw
        f.addPreset(draw, prize, QStringLiteral("1004"),
                    QStringLiteral("赵六")); // arrives after the snapshot
        f.addPreset(draw, prize, QStringLiteral("1001 "), QStringLiteral("张三"));
        DrawParticipants known;
        QVERIFY(known.read(f.db, draw));
        f.addParticipant(draw, QStringLiteral(" 1004"), QStringLiteral("赵六")); // blanks or not
        QList<StoredPreset> stored;
        QVERIFY(loadPrizePresets(f.db, draw, prize, stored));
        const auto codes = [&] {
            QStringList texts;
            f.db.forEachRow(Sql("SELECT Code,Name FROM 预设表 ORDER BY rowid"),
                            [&](const Row &row) { texts.append(row.text(0) + row.text(1)); });
            return texts;
        };

        QVERIFY(f.db.executeSql(Sql("CREATE TRIGGER refuse BEFORE DELETE ON 预设表 WHEN OLD.Code='1003' "
                                    "BEGIN SELECT RAISE(ABORT, 'disk'); END")));
        QCOMPARE(removeOrphanPresets(f.db, draw, stored, known), -1);
        QCOMPARE(codes().size(), 5);
        QCOMPARE(f.prompt.messages.size(), 1);
        QVERIFY(f.db.executeSql(Sql("DROP TRIGGER refuse")));
        QCOMPARE(removeOrphanPresets(f.db, draw, stored, known), 2);
        QCOMPARE(codes(), (QStringList{"1001张三", "1004赵六", "1001 张三"}));

        // Participants that cannot be read are no reason to delete anything.
        f.addPreset(draw, prize, QStringLiteral("2002"), QString());
        QVERIFY(loadPrizePresets(f.db, draw, prize, stored));
        QVERIFY(f.db.executeSql(Sql("ALTER TABLE 号码表 RENAME TO 旧号码表")));
        QVERIFY(!known.read(f.db, draw));
        QCOMPARE(removeOrphanPresets(f.db, draw, stored, known), 0);
        QCOMPARE(codes().size(), 4);
    }

    // Winners of a prize nobody wins twice are out of play, blanks around their number or not.
    void winnersAreOutOfPlay()
    {
        DrawFixture f;
        const qint64 draw = f.addDraw(), once = f.addPrize(draw, 1, QStringLiteral("一等奖"), 5, 1);
        f.addParticipant(draw, QStringLiteral(" 1001 "), QStringLiteral("张三"));
        f.addResult(draw, once, QStringLiteral("1001"), QStringLiteral("张三"));
        f.addResult(draw, f.addPrize(draw, 2, QStringLiteral("纪念奖"), 5, 1, true), QStringLiteral("1002"));
        QList<PresetPerson> out;
        QVERIFY(peopleOutOfPlay(f.db, draw, {{" 1001", "张三"}, {"1002", ""}, {"1001", "王五"}}, out));
        QCOMPARE(out, (QList<PresetPerson>{{"1001", "张三"}}));
    }
};

QTEST_GUILESS_MAIN(TestPresetStore)
#include "tst_presetstore.moc"
