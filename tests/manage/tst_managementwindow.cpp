#include "data/ChineseOrder.h"
#include "data/Chooser.h"
#include "lists/RecordModel.h"
#include "lists/RecordView.h"
#include "manage/DrawSettingEditor.h"
#include "manage/ManagementWindow.h"
#include "manage/ParticipantEntry.h"
#include "manage/PrizeEditor.h"
#include "support/DrawFixture.h"
#include "support/Gb18030Bytes.h"
#include "support/FakeMusic.h"
#include "support/RecordingProgress.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

using namespace quilla;

namespace {

struct Window : DrawFixture
{
    Window() { open(); }

    void open()
    {
        window = std::make_unique<ManagementWindow>(db, engine, progress, music);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    QTabWidget *tabs() { return window->findChild<QTabWidget *>(QStringLiteral("tabs")); }
    QWidget *panel(int tab) { return tabs()->widget(tab); }
    RecordView *view(int tab) { return panel(tab)->findChild<RecordView *>(QStringLiteral("records")); }
    QComboBox *chooser(int tab) { return panel(tab)->findChild<QComboBox *>(QStringLiteral("drawChooser")); }
    void showTab(int tab) { tabs()->setCurrentIndex(tab); }
    void press(int tab, const char *button)
    {
        auto *push = panel(tab)->findChild<QPushButton *>(QString::fromLatin1(button));
        QVERIFY2(push, button);
        QTest::mouseClick(push, Qt::LeftButton);
    }
    // Chooses a draw in the chooser of a tab, as the operator does.
    void choose(int tab, qint64 draw)
    {
        QComboBox *combo = chooser(tab);
        for (int i = 0; i < combo->count(); ++i)
            if (chooserKey(combo->itemText(i)) == draw) {
                combo->setCurrentIndex(i);
                Q_EMIT combo->activated(i);
                return;
            }
        QFAIL("no such draw in the chooser");
    }
    QStringList column(int tab, int col)
    {
        QStringList texts;
        QAbstractItemModel *model = view(tab)->model();
        for (int r = 0; r < model->rowCount(); ++r)
            texts.append(model->index(r, col).data().toString());
        return texts;
    }
    // A click in the middle of a cell (row -1: on the title), delivered through the window.
    void clickCell(int tab, int row, int col, Qt::KeyboardModifiers modifiers = {}, bool twice = false)
    {
        RecordView *v = view(tab);
        QPoint at;
        if (row < 0) {
            const QHeaderView *header = v->horizontalHeader();
            at = header->viewport()->mapTo(
                window.get(), QPoint(header->sectionViewportPosition(col) + 5, header->height() / 2));
        } else {
            at = v->viewport()->mapTo(window.get(), v->visualRect(v->model()->index(row, col)).center());
        }
        if (twice)
            QTest::mouseDClick(window->windowHandle(), Qt::LeftButton, modifiers, at);
        else
            QTest::mouseClick(window->windowHandle(), Qt::LeftButton, modifiers, at);
    }
    void doubleClickNumber(int tab, int row)
    {
        QHeaderView *numbers = view(tab)->verticalHeader();
        const QPoint at(numbers->width() / 2, numbers->sectionViewportPosition(row) + 4);
        QTest::mouseDClick(numbers->viewport(), Qt::LeftButton, {}, at);
    }
    QString stored(qint64 id, const char16_t *column)
    {
        return db.lookupValue(QStringLiteral("号码表"), id, QStringLiteral("ID"), QString::fromUtf16(column))
            .toString();
    }
    // The editor the view opened over a cell.
    QLineEdit *cellEditor()
    {
        QLineEdit *editor = nullptr;
        QTest::qWaitFor([&] { return (editor = view(2)->viewport()->findChild<QLineEdit *>()); });
        return editor;
    }
    QString countText() { return panel(2)->findChild<QLabel *>(QStringLiteral("participantCount"))->text(); }

    RecordingProgress progress;
    FakeMusic music;
    std::unique_ptr<ManagementWindow> window;
};

// The entries of the next pop-up menu, which is closed again.
QStringList nextMenuEntries()
{
    auto entries = std::make_shared<QStringList>();
    QTimer::singleShot(50, [entries] {
        if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
            for (const QAction *action : menu->actions())
                entries->append(action->text());
            menu->close();
        }
    });
    QTest::qWait(120);
    return *entries;
}

} // namespace

class TestManagementWindow : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void startsOnTheDrawsWithEveryTab()
    {
        Window w;
        const qint64 party = w.addDraw(QStringLiteral("年会"));
        const qint64 prize = w.addPrize(party, 1, QStringLiteral("一等奖"), 1, 1);
        w.addResult(party, prize, QStringLiteral("1001"));
        w.addDraw(QStringLiteral("明年")); // newer, and empty
        w.window.reset();
        w.open();
        QCOMPARE(w.window->windowTitle(), QStringLiteral("Quilla抽奖"));
        QCOMPARE(w.tabs()->count(), 5);
        QCOMPARE(w.tabs()->tabText(2), QStringLiteral("抽奖号码"));
        QCOMPARE(w.column(0, 0), (QStringList{QStringLiteral("年会"), QStringLiteral("明年")}));
        QCOMPARE(w.view(0)->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("滚动速度"));
        QCOMPARE(w.view(0)->model()->headerData(0, Qt::Vertical).toString(), QStringLiteral("1"));
        auto *help = w.window->findChild<QPlainTextEdit *>(QStringLiteral("help"));
        QVERIFY(help->toPlainText().contains(QDir::toNativeSeparators(w.path)));

        // After the party the results show the party's draw, not the newest one.
        w.showTab(3);
        QCOMPARE(chooserKey(w.chooser(3)->currentText()), party);
        QCOMPARE(w.column(3, 0), QStringList{QStringLiteral("一等奖")});
        // Every control the operator uses has a name a screen reader can say, without padding.
        for (QWidget *control : w.window->findChildren<QWidget *>())
            if ((qobject_cast<QAbstractButton *>(control) || qobject_cast<QComboBox *>(control) ||
                 qobject_cast<QAbstractItemView *>(control)) &&
                control->isVisibleTo(w.window.get()))
                QVERIFY2(!control->accessibleName().isEmpty() && !control->accessibleName().contains(u' '),
                         control->metaObject()->className());
    }

    // A delete acts on the rows highlighted now, names what goes, and offers 否 to Enter.
    void draws()
    {
        Window w;
        QList<qint64> draws;
        for (const QString &name : {QStringLiteral("甲"), QStringLiteral("乙"), QStringLiteral("丙"),
                                    QStringLiteral("丁")}) {
            const qint64 draw = w.addDraw(name);
            const qint64 prize = w.addPrize(draw, 1, QStringLiteral("一等奖"), 1, 1);
            w.addParticipants(draw, 3);
            w.addResult(draw, prize, QStringLiteral("1001"));
            w.addPreset(draw, prize, QStringLiteral("1002"), QStringLiteral("人1"));
            draws.append(draw);
        }
        w.window.reset();
        w.open();
        w.clickCell(0, 0, 0);
        w.clickCell(0, 2, 0, Qt::ShiftModifier);
        w.press(0, "deleteDraws"); // No
        QCOMPARE(w.prompt.questions,
                 QStringList{QStringLiteral("删除选中的 3 个抽奖及其全部奖项、号码和结果？")});
        QCOMPARE(w.prompt.defaults, QList<Prompt::Default>{Prompt::Default::No});
        QCOMPARE(w.count("奖次表"), 4);
        w.prompt.clear();
        w.prompt.answers = {true};
        w.press(0, "deleteDraws");
        QCOMPARE(w.column(0, 0), QStringList{QStringLiteral("丁")});
        for (const char *table : {"奖项表", "号码表", "结果表"})
            QCOMPARE(w.count(table), w.count(table, Sql("CID=") + Sql::number(draws.last())));
        QCOMPARE(w.count("预设表"), 1);
        // Nothing is highlighted now, so a second press deletes nothing.
        w.prompt.clear();
        w.press(0, "deleteDraws");
        QVERIFY(w.prompt.questions.isEmpty());
        QCOMPARE(w.count("奖次表"), 1);
        w.clickCell(0, 0, 0);
        w.press(0, "deleteDraws");
        QCOMPARE(w.prompt.questions, QStringList{QStringLiteral("删除抽奖“丁”及其全部奖项、号码和结果？")});

        // A double-click on the row's number opens the editor, as one on its cells does.
        w.doubleClickNumber(0, 0);
        QVERIFY(w.window->drawSettingEditor());
        QVERIFY(!w.tabs()->isEnabled());
        w.window->drawSettingEditor()->close();
        QTRY_VERIFY(w.tabs()->isEnabled());
    }

    void prizes()
    {
        Window w;
        w.showTab(1);
        w.press(1, "addPrize");
        QCOMPARE(w.prompt.messages, QStringList{QStringLiteral("请选择抽奖名称后再添加奖项！")});
        QVERIFY(!w.window->prizeEditor());

        const qint64 draw = w.addDraw();
        const qint64 a = w.addPrize(draw, 1, QStringLiteral("甲"), 1, 1);
        const qint64 b = w.addPrize(draw, 2, QStringLiteral("乙"), 1, 1);
        w.addPrize(draw, 3, QStringLiteral("丙"), 1, 1);
        w.addResult(draw, b, QStringLiteral("1001"));
        w.addPreset(draw, b, QStringLiteral("1001"), QString());
        w.showTab(0);
        w.showTab(1);
        QCOMPARE(w.column(1, 1), (QStringList{"甲", "乙", "丙"}));

        // The ends do not move; the middle one goes up and the orders are stored.
        w.clickCell(1, 0, 1);
        w.press(1, "moveUp");
        w.clickCell(1, 2, 1);
        w.press(1, "moveDown");
        QCOMPARE(w.column(1, 1), (QStringList{"甲", "乙", "丙"}));
        w.clickCell(1, 1, 1);
        w.press(1, "moveUp");
        QCOMPARE(w.column(1, 1), (QStringList{"乙", "甲", "丙"}));
        QCOMPARE(w.column(1, 0), (QStringList{"1", "2", "3"}));
        QCOMPARE(w.view(1)->selectedKeys(), QList<qint64>{b});
        w.engine.CurrentDraw.Id = draw;
        w.engine.loadPrizeTable();
        QCOMPARE(w.engine.prizes().at(1).PrizeId, b);
        QCOMPARE(w.engine.prizes().at(2).PrizeId, a);

        // Deleting asks once; No changes nothing, Yes takes results and presets too.
        w.press(1, "deletePrizes");
        QCOMPARE(w.prompt.questions, QStringList{QStringLiteral("删除奖项“乙”及其抽奖结果和预设？")});
        QCOMPARE(w.count("结果表") + w.count("预设表") + w.count("奖项表"), 5);
        w.prompt.answers = {true};
        w.press(1, "deletePrizes");
        QCOMPARE(w.count("结果表") + w.count("预设表"), 0);
        QCOMPARE(w.column(1, 1), (QStringList{"甲", "丙"}));

        // A new prize goes after the highest order, not after the row count.
        w.press(1, "addPrize");
        QVERIFY(w.window->prizeEditor());
        QCOMPARE(w.window->prizeEditor()->ord(), QStringLiteral("4"));
        QCOMPARE(w.window->prizeEditor()->CID(), draw);
        QVERIFY(!w.tabs()->isEnabled());
        // 确定 stores the prize and closes the editor.
        const QPointer<PrizeEditor> editor = w.window->prizeEditor();
        editor->findChild<QLineEdit *>(QStringLiteral("name"))->setText(QStringLiteral("丁"));
        QTest::mouseClick(editor->findChild<QPushButton *>(QStringLiteral("ok")), Qt::LeftButton);
        QTRY_VERIFY(!editor);
        QCOMPARE(w.column(1, 1), (QStringList{"甲", "丙", "丁"}));
        QTRY_VERIFY(w.tabs()->isEnabled());
    }

    void participants()
    {
        Window w;
        const qint64 draw = w.addDraw();
        w.addParticipants(draw, 6); // 1001 人0 … 1006 人5, listed newest first
        w.addParticipant(draw, QStringLiteral("1001"), QStringLiteral("人0"));
        w.showTab(2);
        QCOMPARE(w.countText(), QStringLiteral("共有记录：7条"));
        QCOMPARE(w.panel(2)->findChild<QLabel *>(QStringLiteral("participantCount"))->accessibleName(),
                 w.countText());
        w.press(2, "removeDuplicates");
        QCOMPARE(w.prompt.messages, QStringList{QStringLiteral("已删除 1 条重复项")});
        QCOMPARE(w.countText(), QStringLiteral("共有记录：6条"));

        // Select, sort by the name, delete: what goes is what is highlighted.
        w.clickCell(2, 0, 0); // 1006
        w.clickCell(2, 1, 0, Qt::ControlModifier); // 1005
        w.clickCell(2, -1, 1);
        w.clickCell(2, -1, 1); // descending: 人5 … 人0
        QCOMPARE(w.column(2, 1).constFirst(), QStringLiteral("人5"));
        QCOMPARE(w.view(2)->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
        w.prompt.clear();
        w.prompt.answers = {true};
        w.press(2, "deleteParticipants");
        QCOMPARE(w.prompt.questions, QStringList{QStringLiteral("删除选中的 2 条号码？")});
        QCOMPARE(w.column(2, 0), (QStringList{"1004", "1003", "1002", "1001"}));
        QCOMPARE(w.count("号码表", Sql("号码 IN ('1005','1006')")), 0);
        QCOMPARE(w.countText(), QStringLiteral("共有记录：4条"));

        // A name is edited in place and stored when the edit is committed.
        const qint64 first = w.view(2)->recordModel()->keyAt(0);
        w.clickCell(2, 0, 1);
        QTest::keyClick(w.view(2), Qt::Key_F2);
        QLineEdit *editor = w.cellEditor();
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("O'Brien"));
        QTest::keyClick(editor, Qt::Key_Return); // the commit is queued
        QTRY_COMPARE(w.stored(first, u"姓名"), QStringLiteral("O'Brien"));
        w.clickCell(2, -1, 1); // ascending: the edited name sorts by what it says now
        QCOMPARE(w.column(2, 1).constFirst(), QStringLiteral("O'Brien"));

        // A refused save keeps what was typed, says so once, and the row can still be deleted.
        QVERIFY(w.db.executeSql(
            Sql("CREATE TRIGGER refuse BEFORE UPDATE ON 号码表 BEGIN SELECT RAISE(ABORT, 'disk'); END")));
        w.prompt.clear();
        w.doubleClickNumber(2, 1); // the number's double-click edits the name too
        editor = w.cellEditor();
        QVERIFY(editor);
        QTest::keyClicks(editor, QStringLiteral("ab"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(w.prompt.messages, QStringList{QStringLiteral("修改未能保存到数据库，请检查数据库文件！")});
        QVERIFY(w.column(2, 1).at(1).endsWith(QStringLiteral("ab")));
        const qint64 failed = w.view(2)->recordModel()->keyAt(1);
        QVERIFY(!w.stored(failed, u"姓名").endsWith(QStringLiteral("ab")));
        w.clickCell(2, 1, 0);
        w.prompt.answers = {true};
        w.press(2, "deleteParticipants");
        QCOMPARE(w.count("号码表", Sql("ID=") + Sql::number(failed)), 0);
        QCOMPARE(w.countText(), QStringLiteral("共有记录：3条"));

        // The list's menu opens from the keyboard too.
        RecordView *list = w.view(2);
        QTimer::singleShot(0, list, [list] { QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier); });
        QCOMPARE(nextMenuEntries(), QStringList{QStringLiteral("导出表格")});
    }

    // The door: each answer distinct, the count moves once per person, and the list
    // filters, restores and marks by the selection.
    void checksInAtTheDoor()
    {
        Window w;
        const qint64 draw = w.addDraw();
        for (const auto &[number, name] : QList<std::pair<QString, QString>>{
                 {"1001", "张三"}, {"1003", "王五"}, {"1004", "赵六"}, {"1004", "钱七"}, {"1005", "孙八"}, {"1005", "孙八"}})
            w.addParticipant(draw, number, name);
        QVERIFY(w.db.executeSql(Sql("UPDATE 号码表 SET 签到=2 WHERE 号码='1003'")));
        w.showTab(2);
        w.choose(2, draw);
        auto *box = w.panel(2)->findChild<QLineEdit *>(QStringLiteral("checkInBox"));
        auto *answer = w.panel(2)->findChild<QLabel *>(QStringLiteral("checkInAnswer"));
        const QList<std::pair<QString, QString>> door{
            {"1001", "张三 签到成功 · 第 1 人"},
            {" 1001 ", "张三 已经签到过了（"},
            {"9999", "号码 9999 不在本次抽奖的名单中"},
            {"1004", "号码 1004 有 2 人：赵六、钱七"},
            {"1003", "王五 中奖时不在场"},
            {"1005", "孙八 签到成功 · 第 2 人"}};
        for (const auto &[typed, said] : door) {
            box->setFocus();
            QTest::keyClicks(box, typed);
            QTest::keyClick(box, Qt::Key_Return);
            QVERIFY2(answer->text().startsWith(said), qPrintable(answer->text()));
            QVERIFY(box->text().isEmpty());
        }
        QCOMPARE(w.count("号码表", Sql("签到=1")), 3);
        QCOMPARE(w.panel(2)->findChild<QLabel *>(QStringLiteral("checkedInCount"))->text(), QStringLiteral("已签到：2"));
        QCOMPARE(w.column(2, 2).count(QStringLiteral("已签到")), 3);

        auto *filter = w.panel(2)->findChild<QComboBox *>(QStringLiteral("presenceFilter"));
        filter->setCurrentIndex(3);
        Q_EMIT filter->activated(3);
        QCOMPARE(w.column(2, 1), QStringList{QStringLiteral("王五")});
        w.clickCell(2, 0, 0);
        w.press(2, "restorePresence");
        QCOMPARE(answer->text(), QStringLiteral("已恢复在场 1 人"));
        QCOMPARE(w.view(2)->model()->rowCount(), 0);
        filter->setCurrentIndex(1);
        Q_EMIT filter->activated(1);
        QCOMPARE(w.column(2, 1), (QStringList{"钱七", "赵六", "王五"}));
        w.clickCell(2, 1, 0);
        w.press(2, "markCheckedIn");
        QCOMPARE(answer->text(), QStringLiteral("已标记签到 1 人"));
        QCOMPARE(w.count("号码表", Sql("签到=1 AND 姓名='赵六' AND 签到方式='名单标记'")), 1);
    }

    void participantsAddedOnlyToADrawThatExists()
    {
        Window w;
        const qint64 draw = w.addDraw();
        w.addParticipants(draw, 2);
        w.showTab(2);
        w.press(2, "addParticipant");
        ParticipantEntry *entry = w.window->participantEntry();
        QVERIFY(entry);
        auto fields = entry->findChildren<QLineEdit *>();
        QCOMPARE(fields.size(), 2);
        fields[0]->setText(QStringLiteral("2001"));
        fields[1]->setText(QStringLiteral("新人"));
        QTest::mouseClick(entry->findChild<QPushButton *>(QStringLiteral("add")), Qt::LeftButton);
        QCOMPARE(w.column(2, 0).constFirst(), QStringLiteral("2001"));
        QCOMPARE(w.countText(), QStringLiteral("共有记录：3条"));
        QCOMPARE(w.view(2)->selectedKeys().size(), 1);

        // The draw goes while the entry is open: the entry closes, and nothing is stored for it.
        const QPointer<ParticipantEntry> add = w.window->participantEntry();
        w.prompt.answers = {true};
        w.showTab(0);
        w.clickCell(0, 0, 0);
        w.press(0, "deleteDraws");
        QTRY_VERIFY(!add);
        QCOMPARE(w.count("号码表"), 0);
    }

    void startAsksTheQuestionsInTurn()
    {
        Window w;
        const qint64 draw = w.addDraw();
        const qint64 prize = w.addPrize(draw, 1, QStringLiteral("一等奖"), 10, 1);
        w.addParticipants(draw, 5);
        QString chosen;
        w.window->chooseDraw = [&](qint64) { return chosen; };
        QTest::mouseClick(w.window->findChild<QPushButton *>(QStringLiteral("startDraw")), Qt::LeftButton);
        QVERIFY(w.prompt.questions.isEmpty() && w.prompt.messages.isEmpty()); // cancelled at the chooser

        chosen = QString::number(draw) + QStringLiteral("‖年会");
        w.window->startDraw(); // No to "more winners than participants"
        QCOMPARE(w.prompt.questions.size(), 1);
        QCOMPARE(w.engine.CurrentDraw.Id, draw);

        w.addParticipants(draw, 10, 2001);
        for (int i = 0; i < 10; ++i)
            w.addResult(draw, prize, QString::number(1001 + i));
        w.prompt.clear();
        w.window->startDraw(); // No (Enter's answer) to drawing everything again
        QCOMPARE(w.prompt.questions.size(), 1);
        QCOMPARE(w.prompt.defaults, QList<Prompt::Default>{Prompt::Default::No});
        QCOMPARE(w.count("结果表"), 10);
    }

    void resultsAreDeletedAndExported()
    {
        Window w;
        const qint64 draw = w.addDraw();
        const qint64 prize = w.addPrize(draw, 1, QStringLiteral("一等奖"), 2, 1);
        w.addResult(draw, prize, QStringLiteral("1001"), QStringLiteral("张三"));
        w.addResult(draw, prize, QStringLiteral("1002"), QStringLiteral("李四"));
        w.showTab(3);
        w.clickCell(3, 1, 0);
        w.prompt.choices = {1}; // 仅取消结果
        w.press(3, "deleteResults");
        QCOMPARE(w.prompt.questions, QStringList{QStringLiteral("删除抽奖结果“一等奖 1002 李四”？")});
        QCOMPARE(w.count("结果表"), 1);
        QCOMPARE(w.count("轮次表", Sql("事件='取消结果' AND 说明='一等奖：1002(李四)'")), 1);

        const QString path = w.dir.filePath(QStringLiteral("结果.csv"));
        w.window->chooseExportFile = [&](const QString &, QString *) { return path; };
        w.prompt.clear();
        w.press(3, "exportResults");
        QCOMPARE(w.prompt.messages, QStringList{QStringLiteral("已导出 1 条")});
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), gb18030Bytes(u"序号,获得奖项,奖品,抽奖号码,姓名\r\n1,一等奖,,1001,张三\r\n"));
        // Over an existing file only after a Yes, which Enter does not give.
        w.prompt.clear();
        w.press(3, "exportResults");
        QCOMPARE(w.prompt.questions, QStringList{QStringLiteral("该文件已存在，是否覆盖？")});
        QCOMPARE(w.prompt.defaults, QList<Prompt::Default>{Prompt::Default::No});
        // The type chosen in the dialog decides the format and the name's extension.
        w.window->chooseExportFile = [&](const QString &, QString *type) {
            *type = QStringLiteral("Excel 工作簿 (*.xlsx)");
            return w.dir.filePath(QStringLiteral("结果2.csv"));
        };
        w.press(3, "exportResults");
        QFile book(w.dir.filePath(QStringLiteral("结果2.xlsx")));
        QVERIFY(book.open(QIODevice::ReadOnly) && book.read(2) == "PK");
        QVERIFY(!QFile::exists(w.dir.filePath(QStringLiteral("结果2.csv"))));
    }

    // Every list: Delete asks about the highlighted rows, with 否 for Enter.
    void deleteKeyAsksAboutTheSelection_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("question");
        QTest::newRow("抽奖设置") << 0 << QStringLiteral("删除抽奖“年会”及其全部奖项、号码和结果？");
        QTest::newRow("奖项设置") << 1 << QStringLiteral("删除奖项“一等奖”及其抽奖结果和预设？");
        QTest::newRow("抽奖号码") << 2 << QStringLiteral("删除号码“1001 人0”？");
        QTest::newRow("抽奖结果") << 3 << QStringLiteral("删除抽奖结果“一等奖 1001 张三”？");
    }
    void deleteKeyAsksAboutTheSelection()
    {
        QFETCH(int, tab);
        QFETCH(QString, question);
        Window w;
        const qint64 draw = w.addDraw();
        w.addResult(draw, w.addPrize(draw, 1, QStringLiteral("一等奖"), 1, 1), QStringLiteral("1001"),
                    QStringLiteral("张三"));
        w.addParticipants(draw, 1);
        w.window.reset();
        w.open();
        w.showTab(tab);
        w.clickCell(tab, 0, 0);
        QTest::keyClick(w.view(tab), Qt::Key_Delete);
        QCOMPARE(w.prompt.questions, QStringList{question});
        QCOMPARE(w.prompt.defaults, QList<Prompt::Default>{Prompt::Default::No});
        QCOMPARE(w.count("奖次表") + w.count("奖项表") + w.count("号码表") + w.count("结果表"), 4);
    }

    // A list of many pages: what is selected is records, read or not, whatever the sort.
    void aLongListIsSelectedAndDeletedWhole()
    {
        Window w;
        const qint64 draw = w.addDraw();
        w.addParticipants(draw, 1000); // 1001 人0 … 2000 人999
        w.showTab(2);
        RecordView *list = w.view(2);
        w.clickCell(2, 0, 0);
        w.clickCell(2, 1, 0, Qt::ControlModifier);
        w.clickCell(2, 2, 0, Qt::ControlModifier);
        w.clickCell(2, -1, 1);
        w.clickCell(2, -1, 1);
        QTest::keyClick(list, Qt::Key_Delete); // No
        QCOMPARE(w.prompt.questions, QStringList{QStringLiteral("删除选中的 3 条号码？")});
        QTest::keyClick(list, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(list->currentIndex().row(), 999);
        QCOMPARE(list->currentIndex().siblingAtColumn(0).data().toString(), QStringLiteral("1001")); // 人0
        QTest::keyClick(list, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(list->currentIndex().row(), 0);
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
        w.prompt.clear();
        w.prompt.answers = {true};
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(w.prompt.questions, QStringList{QStringLiteral("删除选中的 1000 条号码？")});
        QCOMPARE(w.count("号码表"), 0);
        QCOMPARE(w.countText(), QStringLiteral("共有记录：0条"));
    }

    // A title click sorts the list in Chinese order (digits by value), equal texts in the
    // list's own order, newest first: short and long lists, alone in the table or among
    // another draw's rows.
    void aSortedListIsInChineseOrder_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("amongAnother");
        QTest::addColumn<int>("col");
        QTest::addColumn<bool>("descending");
        QTest::newRow("short, by name") << 40 << false << 1 << false;
        QTest::newRow("short, by number, descending") << 40 << false << 0 << true;
        QTest::newRow("long, by name") << 3000 << false << 1 << false;
        QTest::newRow("long, by name, descending") << 3000 << false << 1 << true;
        QTest::newRow("long among another, by number") << 3000 << true << 0 << false;
        QTest::newRow("long among another, by name, descending") << 3000 << true << 1 << true;
    }
    void aSortedListIsInChineseOrder()
    {
        QFETCH(int, rows);
        QFETCH(bool, amongAnother);
        QFETCH(int, col);
        QFETCH(bool, descending);
        Window w;
        const qint64 other = w.addDraw(QStringLiteral("别的"));
        const qint64 draw = w.addDraw();
        const QStringList names{"张三", "李四", "王五", "Zoe", "alice", "Bob", "阿毛", "7", "10", "007", "", "张三丰"};
        QList<std::pair<qint64, QString>> listed; // newest first, as the list shows them
        {
            Database::Transaction transaction(w.db);
            for (int i = 0; i < rows; ++i) {
                const QString number = QString::number(i * 7919 % 1000) + (i % 3 ? QString() : QStringLiteral("号"));
                const QString &name = names.at(i % names.size());
                listed.prepend({w.addParticipant(draw, number, name), col == 0 ? number : name});
                if (amongAnother)
                    w.addParticipant(other, number, name);
            }
            QVERIFY(transaction.commit());
        }
        std::stable_sort(listed.begin(), listed.end(), [descending](const auto &a, const auto &b) {
            const int c = compareChinese(a.second.toUtf8(), b.second.toUtf8());
            return descending ? c > 0 : c < 0;
        });
        w.showTab(2);
        w.choose(2, draw);
        w.clickCell(2, -1, col);
        if (descending)
            w.clickCell(2, -1, col);
        QAbstractItemModel *model = w.view(2)->model();
        QCOMPARE(model->rowCount(), rows);
        for (int r = 0; r < rows; ++r)
            QCOMPARE(model->index(r, 0).data(RecordModel::KeyRole).toLongLong(), listed.at(r).first);
    }

    // Esc closes an editor as 取消 does: nothing is stored.
    void escapeClosesAnEditor_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("button");
        QTest::newRow("添加/修改抽奖设置") << 0 << QStringLiteral("newDraw");
        QTest::newRow("添加/修改奖项设置") << 1 << QStringLiteral("addPrize");
        QTest::newRow("添加名单") << 2 << QStringLiteral("addParticipant");
    }
    void escapeClosesAnEditor()
    {
        QFETCH(int, tab);
        QFETCH(QString, button);
        Window w;
        w.addDraw();
        w.window.reset();
        w.open();
        w.showTab(tab);
        w.press(tab, button.toLatin1().constData());
        QPointer<QWidget> editor;
        for (QWidget *top : QApplication::topLevelWidgets())
            if (top->isVisible() && top != w.window.get())
                editor = top;
        QVERIFY(editor);
        auto *field = editor->findChild<QLineEdit *>();
        QTest::keyClicks(field, QStringLiteral("new"));
        QTest::keyClick(field, Qt::Key_Escape);
        QTRY_VERIFY(!editor || !editor->isVisible());
        QCOMPARE(w.count("奖次表") + w.count("奖项表") + w.count("号码表"), 1);
    }

    // Each list says what to do while it is empty, and the status line what the draw
    // lacks; 帮助 → 示例抽奖 makes a draw that can start at once.
    void emptyListsSayWhatToDo_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("says");
        QTest::addColumn<bool>("emptyWithSample");
        QTest::newRow("抽奖设置") << 0 << QStringLiteral("还没有抽奖。点“新建抽奖”开始，或试一试示例抽奖。") << false;
        QTest::newRow("奖项设置") << 1 << QStringLiteral("这个抽奖还没有奖项。点“添加奖项”，填写奖项名称、名额和每次抽出的人数。")
                              << false;
        QTest::newRow("抽奖号码") << 2
                              << QStringLiteral("还没有名单：导入 Excel 或 CSV 文件，或把文件拖到这里。没有现成的名单？"
                                                "导出模板，填好后导入。")
                              << false;
        QTest::newRow("抽奖结果") << 3 << QStringLiteral("还没有抽奖结果。") << true;
    }

    void emptyListsSayWhatToDo()
    {
        QFETCH(int, tab);
        QFETCH(QString, says);
        QFETCH(bool, emptyWithSample);
        Window w;
        const auto nextStep = [&] { return w.window->findChild<QLabel *>(QStringLiteral("nextStep"))->text(); };
        const auto emptyShown = [&] {
            return w.view(tab)->findChild<QLabel *>(QStringLiteral("emptyText"))->isVisible();
        };
        if (tab > 0) {
            const qint64 draw = w.addDraw(QStringLiteral("年会"));
            w.window.reset();
            w.open();
            w.showTab(tab);
            w.choose(tab, draw);
            QCOMPARE(nextStep(), QStringLiteral("抽奖“年会”还缺：奖项、名单"));
            // 开始抽奖 gives the same reason.
            w.window->chooseDraw = [draw](qint64) -> QString { return QString::number(draw) + QStringLiteral("‖年会"); };
            QTest::mouseClick(w.window->findChild<QPushButton *>(QStringLiteral("startDraw")), Qt::LeftButton);
            QCOMPARE(w.prompt.messages,
                     QStringList{QStringLiteral("这个抽奖还没有设置奖项，不能开始抽奖。请先在“奖项设置”中添加奖项！")});
        }
        w.showTab(tab);
        QVERIFY(emptyShown());
        QCOMPARE(w.view(tab)->accessibleDescription(), says);

        QAction *sample = nullptr;
        for (QAction *action : w.window->findChildren<QAction *>())
            if (action->text() == QStringLiteral("示例抽奖"))
                sample = action;
        QVERIFY(sample);
        sample->trigger();
        QList<qint64> draws;
        QSet<QString> numbers, names;
        w.db.forEachRow(Sql("SELECT ID FROM 奖次表 WHERE 抽奖内容='示例抽奖'"),
                        [&](const Row &row) { draws.append(row.number(u"ID")); });
        QCOMPARE(draws.size(), 1);
        const qint64 draw = draws.first();
        const Sql ofSample = Sql("CID=") + Sql::number(draw);
        QCOMPARE(w.count("奖项表", ofSample), 3);
        w.db.forEachRow(Sql("SELECT 号码,姓名 FROM 号码表 WHERE ") + ofSample, [&](const Row &row) {
            numbers.insert(row.text(u"号码"));
            names.insert(row.text(u"姓名"));
        });
        QCOMPARE(w.count("号码表", ofSample), 200);
        QCOMPARE(numbers.size(), 200);
        QCOMPARE(names.size(), 200);
        QCOMPARE(nextStep(), QStringLiteral("抽奖“示例抽奖”可以开始抽奖"));
        w.showTab(tab);
        if (tab > 0)
            w.choose(tab, draw);
        QCOMPARE(emptyShown(), emptyWithSample);

        // F1 opens the help at the tab's part.
        w.showTab(tab);
        w.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        QTest::keyClick(w.window.get(), Qt::Key_F1);
        QCOMPARE(w.tabs()->currentIndex(), 4);
        auto *help = w.window->findChild<QPlainTextEdit *>(QStringLiteral("help"));
        const QString heading = help->textCursor().selectedText();
        QVERIFY2(!heading.isEmpty(), qPrintable(heading));
    }

    void theChosenDrawStaysChosen()
    {
        Window w;
        const qint64 older = w.addDraw(QStringLiteral("旧"));
        const qint64 newer = w.addDraw(QStringLiteral("新"));
        w.addParticipants(older, 2);
        w.showTab(2);
        w.choose(2, older);
        QCOMPARE(w.column(2, 0).size(), 2);
        // A name still being typed when another draw is chosen is stored for its own participant.
        const qint64 edited = w.view(2)->recordModel()->keyAt(0);
        w.clickCell(2, 0, 1);
        QTest::keyClick(w.view(2), Qt::Key_F2);
        QLineEdit *editor = w.cellEditor();
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("Li"));
        w.choose(2, newer);
        QCOMPARE(w.stored(edited, u"姓名"), QStringLiteral("Li"));
        w.choose(2, older);
        w.showTab(3);
        QCOMPARE(chooserKey(w.chooser(3)->currentText()), older);
        w.showTab(2);
        QCOMPARE(chooserKey(w.chooser(2)->currentText()), older);
        QCOMPARE(w.column(2, 0).size(), 2);
    }
};

QTEST_MAIN(TestManagementWindow)
#include "tst_managementwindow.moc"
