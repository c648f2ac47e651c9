#include "engine/PresetStore.h"
#include "support/DrawFixture.h"

#include <QTest>

using namespace quilla;

namespace {

struct Store : DrawFixture
{
    Store()
    {
        draw = addDraw();
        prize = addPrize(draw, 1, QStringLiteral("一等奖"), 5, 1);
        other = addPrize(draw, 2, QStringLiteral("二等奖"), 5, 1);
    }

    // The presets of a prize as "code/name" in 预设表 order.
    QStringList presets(qint64 ofPrize)
    {
        QList<StoredPreset> stored;
        if (!LoadPrizePresets(db, draw, ofPrize, stored))
            return {QStringLiteral("(unread)")};
        QStringList texts;
        for (const StoredPreset &preset : std::as_const(stored))
            texts.append(preset.Person.Code + u'/' + preset.Person.Name);
        return texts;
    }

    qint64 draw = 0, prize = 0, other = 0;
};

PresetPerson person(const char *code, const char *name)
{
    return {QString::fromUtf8(code), QString::fromUtf8(name)};
}

} // namespace

class TestPresetStore : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    // A save replaces the presets of shown participants only, each person once;
    // a refused write leaves every preset as it was.
    void savingReplacesTheShownOnes()
    {
        Store s;
        s.addPreset(s.draw, s.prize, QStringLiteral("1001"), QStringLiteral("张三"));
        s.addPreset(s.draw, s.prize, QStringLiteral("9001"), QStringLiteral("远方")); // not shown
        s.addPreset(s.draw, s.other, QStringLiteral("1001"), QStringLiteral("张三"));
        const QList<PresetPerson> shown{person("1001", "张三"), person("1002", "李四"), person("1003", "王五")};
        const auto isShown = [&](const PresetPerson &p) { return shown.contains(p); };

        QVERIFY(SavePrizePresets(s.db, s.draw, s.prize, isShown,
                                 {person("1002", "李四"), person("1003", "王五"), person("1002", "李四")}));
        QCOMPARE(s.presets(s.prize), (QStringList{"9001/远方", "1002/李四", "1003/王五"}));
        QCOMPARE(s.presets(s.other), QStringList{"1001/张三"});
        QVERIFY(s.prompt.messages.isEmpty());

        QVERIFY(s.db.ExecuteSql(Sql("CREATE TRIGGER refuse BEFORE INSERT ON 预设表 WHEN NEW.Code='1001' "
                                    "BEGIN SELECT RAISE(ABORT, 'disk'); END")));
        QVERIFY(!SavePrizePresets(s.db, s.draw, s.prize, isShown, {person("1003", "王五"), person("1001", "张三")}));
        QCOMPARE(s.prompt.messages, QStringList{QStringLiteral("预设项未能保存，数据库没有改变。")});
        QCOMPARE(s.presets(s.prize), (QStringList{"9001/远方", "1002/李四", "1003/王五"}));
    }

    // Only presets whose number and name no participant of the draw has go, checked
    // afresh where the snapshot of the draw lacks them; a failed read or a refused
    // delete removes none.
    void orphansAreThoseTheDrawLacks()
    {
        Store s;
        s.addParticipant(s.draw, QStringLiteral("1001"), QStringLiteral("张三"));
        const qint64 elsewhere = s.addDraw(QStringLiteral("另一场"));
        s.addParticipant(elsewhere, QStringLiteral("1003"), QStringLiteral("王五"));
        s.addPreset(s.draw, s.prize, QStringLiteral("1001"), QStringLiteral("张三"));
        s.addPreset(s.draw, s.prize, QStringLiteral("1001"), QStringLiteral("李四")); // same number, other name
        s.addPreset(s.draw, s.prize, QStringLiteral("1003"), QStringLiteral("王五")); // of another draw
        s.addPreset(s.draw, s.prize, QStringLiteral("1004"), QStringLiteral("赵六")); // arrives later
        DrawParticipants known;
        QVERIFY(known.read(s.db, s.draw));
        s.addParticipant(s.draw, QStringLiteral("1004"), QStringLiteral("赵六"));
        QList<StoredPreset> stored;
        QVERIFY(LoadPrizePresets(s.db, s.draw, s.prize, stored));

        QVERIFY(s.db.ExecuteSql(Sql("CREATE TRIGGER refuse BEFORE DELETE ON 预设表 WHEN OLD.Code='1003' "
                                    "BEGIN SELECT RAISE(ABORT, 'disk'); END")));
        QCOMPARE(RemoveOrphanPresets(s.db, s.draw, stored, known), -1);
        QCOMPARE(s.presets(s.prize).size(), 4);
        QCOMPARE(s.prompt.messages.size(), 1);
        QVERIFY(s.db.ExecuteSql(Sql("DROP TRIGGER refuse")));

        QCOMPARE(RemoveOrphanPresets(s.db, s.draw, stored, known), 2);
        QCOMPARE(s.presets(s.prize), (QStringList{"1001/张三", "1004/赵六"}));

        // Participants that cannot be read are no reason to delete anything.
        s.addPreset(s.draw, s.prize, QStringLiteral("2002"), QString());
        QVERIFY(LoadPrizePresets(s.db, s.draw, s.prize, stored));
        QVERIFY(s.db.ExecuteSql(Sql("ALTER TABLE 号码表 RENAME TO 旧号码表")));
        QVERIFY(!known.read(s.db, s.draw));
        QCOMPARE(RemoveOrphanPresets(s.db, s.draw, stored, known), 0);
        QCOMPARE(s.presets(s.prize).size(), 3);
    }

    void clearingTakesThePrizeOnly()
    {
        Store s;
        s.addPreset(s.draw, s.prize, QStringLiteral("1001"), QString());
        s.addPreset(s.draw, s.other, QStringLiteral("1002"), QString());
        QVERIFY(s.db.ExecuteSql(
            Sql("CREATE TRIGGER refuse BEFORE DELETE ON 预设表 BEGIN SELECT RAISE(ABORT, 'disk'); END")));
        QVERIFY(!ClearPrizePresets(s.db, s.draw, s.prize));
        QCOMPARE(s.prompt.messages, QStringList{QStringLiteral("本奖次的预设项未能清除，数据库没有改变。")});
        QVERIFY(s.db.ExecuteSql(Sql("DROP TRIGGER refuse")));
        QVERIFY(ClearPrizePresets(s.db, s.draw, s.prize));
        QVERIFY(s.presets(s.prize).isEmpty());
        QCOMPARE(s.presets(s.other), QStringList{"1002/"});
    }
};

QTEST_GUILESS_MAIN(TestPresetStore)
#include "tst_presetstore.moc"
