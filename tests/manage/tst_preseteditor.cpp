#include "data/Chooser.h"
#include "data/Settings.h"
#include "manage/ManagementWindow.h"
#include "manage/PresetEditor.h"
#include "lists/RecordModel.h"
#include "lists/RecordView.h"
#include "screen/DrawScreen.h"
#include "support/DrawFixture.h"
#include "support/FakeMusic.h"
#include "support/RecordingProgress.h"
#include "support/TempSettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace quilla;

namespace {

// A draw of twelve participants (1001 人0 … 1012 人11) with two prizes.
struct Editor : DrawFixture
{
    Editor()
    {
        draw = addDraw();
        first = addPrize(draw, 1, QStringLiteral("一等奖"), 3, 1);
        second = addPrize(draw, 2, QStringLiteral("二等奖"), 3, 1);
        addParticipants(draw, 12);
    }

    void open()
    {
        owned = std::make_unique<PresetEditor>(db, progress);
        editor = owned.get();
        editor->show();
        QVERIFY(QTest::qWaitForWindowExposed(editor));
    }

    RecordView &list() { return *editor->findChild<RecordView *>(QStringLiteral("participants")); }
    QComboBox *chooser(int index)
    {
        return editor->findChild<QComboBox *>(index == 0 ? QStringLiteral("drawChooser") : QStringLiteral("prizeChooser"));
    }
    QPushButton *button(const char *name) { return editor->findChild<QPushButton *>(QString::fromLatin1(name)); }
    QCheckBox *clearAfterDraw() { return editor->findChild<QCheckBox *>(QStringLiteral("clearAfterDraw")); }
    // Picks the entry of key from a chooser's list, as the operator does.
    void choose(int index, qint64 key)
    {
        QComboBox *combo = chooser(index);
        for (int i = 0; i < combo->count(); ++i)
            if (chooserKey(combo->itemText(i)) == key) {
                combo->setCurrentIndex(i);
                Q_EMIT combo->activated(i);
                return;
            }
        QFAIL("no such entry in the chooser");
    }
    // Presses as a user's arrive: at the window, where the cell, title or button shows.
    void click(QWidget *control, QPoint at, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(editor->windowHandle(), Qt::LeftButton, modifiers, control->mapTo(editor, at));
    }
    // row: as the list numbers it, from 2 for the first (the title rows of the old grid kept out).
    void clickMark(int row, Qt::KeyboardModifiers modifiers = {})
    {
        click(list().viewport(), list().visualRect(list().model()->index(row - 2, 0)).center(), modifiers);
    }
    void press(QWidget *button) { click(button, button->rect().center()); }
    QStringList marked()
    {
        QStringList numbers;
        list().recordModel()->fetchAll();
        QAbstractItemModel *model = list().model();
        for (int r = 0; r < model->rowCount(); ++r)
            if (model->index(r, 0).data().toString() == QStringLiteral("√"))
                numbers.append(model->index(r, 1).data().toString());
        return numbers;
    }
    QStringList presets(qint64 prize)
    {
        QStringList codes;
        db.forEachRow(Sql("SELECT Code FROM 预设表 WHERE AID=") + Sql::number(prize) + Sql(" ORDER BY rowid"),
                      [&](const Row &row) { codes.append(row.text(0)); });
        return codes;
    }

    qint64 draw = 0, first = 0, second = 0;
    RecordingProgress progress;
    std::unique_ptr<PresetEditor> owned;
    PresetEditor *editor = nullptr;
};

QString storedChk()
{
    return readSetting(SettingsApplication, QStringLiteral("ReSet"), QStringLiteral("CHK"), QString());
}

} // namespace

class TestPresetEditor : public QObject
{
    Q_OBJECT

    TempSettings m_settings;

  private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
    }

    // Marks of one prize are stored without a question when another is chosen;
    // 确定 asks, and Yes stores them.
    void marksAreStoredWhenAnotherPrizeIsChosen()
    {
        Editor e;
        e.addResult(e.draw, e.first, QStringLiteral(" 1003 "), QStringLiteral("人2")); // won already
        e.open();
        QCOMPARE(e.editor->windowTitle(), QStringLiteral("添加抽奖结果"));
        QCOMPARE(e.button("ok")->text(), QStringLiteral("确     定"));
        for (QWidget *control : e.editor->findChildren<QWidget *>())
            if ((qobject_cast<QAbstractButton *>(control) || qobject_cast<QComboBox *>(control)) &&
                control->isVisibleTo(e.editor))
                QVERIFY2(!control->accessibleName().isEmpty(), control->metaObject()->className());
        QCOMPARE(e.list().model()->index(0, 1).data().toString(), QStringLiteral("1001"));
        QCOMPARE(e.editor->chosenPrizeId(), e.second); // the newest first

        // Keys and the wheel leave the choosers alone.
        e.chooser(1)->setFocus();
        QTest::keyClick(e.chooser(1), Qt::Key_Down);
        QTest::keyClicks(e.chooser(1), QStringLiteral("1"));
        QCOMPARE(chooserKey(e.chooser(1)->currentText()), e.second);

        // 1001, then 1003 and a Shift-press on 1005: 1003 to 1005.
        e.clickMark(2);
        e.clickMark(4);
        e.clickMark(6, Qt::ShiftModifier);
        QCOMPARE(e.marked(), (QStringList{"1001", "1003", "1004", "1005"}));
        QVERIFY(e.editor->marksModified());
        // Told once, on the press that marked 1003; stored all the same.
        QCOMPARE(e.prompt.messages, QStringList{QStringLiteral("以下预设中奖人已经中奖，抽奖时不会再预设：1003(人2)")});
        e.prompt.clear();
        e.choose(1, e.first);
        QVERIFY(e.prompt.questions.isEmpty());
        QCOMPARE(e.presets(e.second), (QStringList{"1001", "1003", "1004", "1005"}));
        QVERIFY(e.marked().isEmpty() && !e.editor->marksModified());
        e.choose(1, e.second);
        QCOMPARE(e.marked(), (QStringList{"1001", "1003", "1004", "1005"}));

        e.clickMark(2); // off again
        e.press(e.button("ok"));
        QVERIFY(e.prompt.questions.isEmpty()); // 确定 saves without asking again
        QCOMPARE(e.presets(e.second), (QStringList{"1003", "1004", "1005"}));
        QVERIFY(!e.editor->isVisible());
    }

    // Titles sort and change no marks; without a prize nothing can be marked; rows
    // without a number never; a person listed twice is one person, preset once.
    void whatAClickMarks()
    {
        Editor e;
        const qint64 noPrizes = e.addDraw(QStringLiteral("无奖项"));
        e.addParticipants(noPrizes, 3);
        e.addParticipant(e.draw, QStringLiteral("1002"), QStringLiteral("人1"));
        e.addParticipant(e.draw, QString(), QStringLiteral("无号"));
        e.open();
        QCOMPARE(e.editor->chosenDrawId(), noPrizes);
        QCOMPARE(e.editor->chosenPrizeId(), 0);
        e.clickMark(2);
        QVERIFY(e.marked().isEmpty() && !e.editor->marksModified());

        e.choose(0, e.draw);
        QHeaderView *titles = e.list().horizontalHeader();
        e.click(titles->viewport(), {titles->sectionViewportPosition(1) + 5, titles->height() / 2});
        QCOMPARE(titles->sortIndicatorSection(), 1);
        QCOMPARE(e.list().model()->index(0, 2).data().toString(), QStringLiteral("无号"));
        QVERIFY(!e.editor->marksModified());
        e.clickMark(2); // 无号: nothing to mark, nothing to ask about later
        QVERIFY(e.marked().isEmpty() && !e.editor->marksModified());
        e.clickMark(4); // the first 1002
        QCOMPARE(e.marked(), (QStringList{"1002", "1002"}));
        e.choose(1, e.first);
        QCOMPARE(e.presets(e.second), QStringList{"1002"});
        e.choose(1, e.second);
        QCOMPARE(e.marked(), (QStringList{"1002", "1002"}));
    }

    // A save the file refuses keeps the marks, the choice and the stored presets;
    // clearing empties the stored presets and the marks, or (refused) neither.
    void refusedSaveAndClearing()
    {
        Editor e;
        e.addPreset(e.draw, e.second, QStringLiteral("1006"), QStringLiteral("人5"));
        e.open();
        QCOMPARE(e.marked(), QStringList{"1006"});
        e.clickMark(2);
        QVERIFY(e.db.executeSql(
            Sql("CREATE TRIGGER refuse BEFORE INSERT ON 预设表 BEGIN SELECT RAISE(ABORT, 'disk'); END")));
        e.choose(1, e.first);
        QCOMPARE(e.prompt.messages, QStringList{QStringLiteral("预设项未能保存，数据库没有改变。")});
        QCOMPARE(e.editor->chosenPrizeId(), e.second);
        QCOMPARE(chooserKey(e.chooser(1)->currentText()), e.second);
        QVERIFY(e.editor->marksModified());
        QCOMPARE(e.marked(), (QStringList{"1001", "1006"}));
        QCOMPARE(e.presets(e.second), QStringList{"1006"});

        QVERIFY(e.db.executeSql(Sql("DROP TRIGGER refuse")));
        QVERIFY(e.db.executeSql(
            Sql("CREATE TRIGGER refuse BEFORE DELETE ON 预设表 BEGIN SELECT RAISE(ABORT, 'disk'); END")));
        e.press(e.button("clearPresets"));
        QCOMPARE(e.prompt.messages.last(), QStringLiteral("本奖次的预设项未能清除，数据库没有改变。"));
        QCOMPARE(e.marked(), (QStringList{"1001", "1006"}));
        QVERIFY(e.db.executeSql(Sql("DROP TRIGGER refuse")));
        e.press(e.button("clearPresets"));
        QVERIFY(e.presets(e.second).isEmpty() && e.marked().isEmpty() && !e.editor->marksModified());

        // The prize was deleted in the management window meanwhile: nothing is stored for it.
        e.clickMark(3);
        QVERIFY(e.db.executeSql(Sql("DELETE FROM 奖项表 WHERE ID=") + Sql::number(e.second)));
        e.prompt.answers = {true};
        e.press(e.button("ok"));
        QCOMPARE(e.prompt.messages.last(), QStringLiteral("这个奖项已被删除，它的预设项无法保存。"));
        QCOMPARE(e.count("预设表"), 0);
        QVERIFY(e.editor->isVisible());
        QCOMPARE(e.editor->chosenPrizeId(), e.first);
        QCOMPARE(e.chooser(1)->count(), 1);
    }

    // Showing a prize drops the presets of participants who left the draw; every other
    // participant is listed, however many, and keeps their mark through a save.
    void orphansGoAndEveryParticipantIsListed()
    {
        Editor e;
        const qint64 big = e.addDraw(QStringLiteral("大名单"));
        const qint64 prize = e.addPrize(big, 1, QStringLiteral("特等奖"), 5, 1);
        QVERIFY(e.db.executeSql(Sql("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i+1 FROM n "
                                    "WHERE i<58339) INSERT INTO 号码表 (CID,号码,姓名) SELECT ") +
                                Sql::number(big) + Sql(",100000+i,'人'||i FROM n")));
        QVERIFY(e.db.executeSql(Sql("DELETE FROM 号码表 WHERE 号码='100002'")));
        for (const int i : {58335, 1, 2})
            e.addPreset(big, prize, QString::number(100000 + i), QStringLiteral("人%1").arg(i));
        e.open();
        QVERIFY(e.prompt.messages.isEmpty());
        QCOMPARE(e.list().recordModel()->totalCount(), 58339);
        QCOMPARE(e.presets(prize), (QStringList{"158335", "100001"}));
        QCOMPARE(e.marked(), (QStringList{"100001", "158335"}));

        e.clickMark(2);
        e.prompt.answers = {true};
        e.press(e.button("ok"));
        QCOMPARE(e.presets(prize), (QStringList{"100000", "100001", "158335"}));
    }

    // Nothing stored reads as ticked; unticking stores "1" at once.
    void clearAfterDrawSetting()
    {
        QSettings(QSettings::defaultFormat(), QSettings::UserScope, SettingsApplication)
            .remove(QStringLiteral("ReSet/CHK"));
        Editor e;
        e.open();
        QVERIFY(e.clearAfterDraw()->isChecked());
        e.press(e.clearAfterDraw());
        QCOMPARE(storedChk(), QStringLiteral("1")); // a draw screen may close while the window stays
        e.editor->close();
        QCOMPARE(storedChk(), QStringLiteral("1"));
    }

    // Opened from the results tab's hidden corner, the editor stays open while a draw
    // runs, and choosing a draw in it leaves the draw being run alone. "5" stored
    // reads as unticked; ticking stores "0", and the closing screen clears the presets.
    void aRunningDrawKeepsItsDraw()
    {
        Editor e;
        e.addPreset(e.draw, e.second, QStringLiteral("1001"), QStringLiteral("人0"));
        const qint64 other = e.addDraw(QStringLiteral("另一场"));
        e.addParticipants(other, 3, 2001);
        QVERIFY(writeSetting(SettingsApplication, QStringLiteral("ReSet"), QStringLiteral("CHK"),
                             QStringLiteral("5")));
        FakeMusic music;
        ManagementWindow window(e.db, e.engine, e.progress, music);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabs"));
        tabs->setCurrentIndex(3);
        QWidget *results = tabs->widget(3);

        // The corner's pop-up 设置结果 offers 预设置结果 directly.
        QTimer::singleShot(0, [] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            QCOMPARE(menu->actions().size(), 1);
            QAction *entry = menu->actions().constFirst();
            QCOMPARE(entry->text(), QStringLiteral("预设置结果"));
            entry->trigger();
            menu->close();
        });
        const QPoint corner = results->mapTo(&window, QPoint(results->width() - 3, 2));
        QTest::mousePress(window.windowHandle(), Qt::RightButton, {}, corner);
        QTest::mouseRelease(window.windowHandle(), Qt::RightButton, {}, corner);
        QTRY_VERIFY(window.presetEditor());
        e.editor = window.presetEditor();
        QVERIFY(QTest::qWaitForWindowExposed(e.editor));
        QCOMPARE(e.editor->chosenDrawId(), other);
        QVERIFY(!e.clearAfterDraw()->isChecked());

        window.chooseDraw = [&](qint64) -> QString { return QString::number(e.draw) + QStringLiteral("‖年会"); };
        window.startDraw();
        QVERIFY(window.drawScreen());
        QCOMPARE(e.engine.CurrentDraw.Id, e.draw);
        QVERIFY(e.editor->isVisible());
        e.choose(0, e.draw);
        e.choose(0, other);
        QCOMPARE(e.engine.CurrentDraw.Id, e.draw);
        e.choose(0, e.draw);
        QCOMPARE(e.marked(), QStringList{"1001"});
        // A preset stored for the running draw counts from its next opening: the
        // operator is told once, and the closing screen leaves it.
        e.choose(1, e.first);
        e.clickMark(3);
        e.choose(1, e.second);
        const QString running = QStringLiteral("这个抽奖正在进行：预设项的修改要到下次打开抽奖屏幕时才生效。");
        QCOMPARE(e.prompt.messages.count(running), 1);

        e.press(e.clearAfterDraw());
        QCOMPARE(storedChk(), QStringLiteral("0"));
        window.drawScreen()->close();
        QVERIFY(e.presets(e.second).isEmpty() && e.marked().isEmpty());
        QCOMPARE(e.presets(e.first), QStringList{"1002"});
    }
};

QTEST_MAIN(TestPresetEditor)
#include "tst_preseteditor.moc"
