#include "data/Chooser.h"
#include "manage/ManagementWindow.h"
#include "manage/ParticipantEntry.h"
#include "manage/PrizeEditor.h"
#include "platform/Grid.h"
#include "support/DrawFixture.h"
#include "support/FakeMusic.h"
#include "support/RecordingProgress.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QStringDecoder>
#include <QTabWidget>
#include <QTest>

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

    Grid &grid(int tab) { return *window->MSF[tab]; }
    void showTab(int tab) { window->SST->setCurrentIndex(tab); }
    // Chooses a draw in the chooser of a tab, as the operator does.
    void choose(int tab, qint64 draw)
    {
        QComboBox *combo = window->CMB[tab];
        for (int i = 0; i < combo->count(); ++i)
            if (combo->itemText(i).startsWith(QString::number(draw) + QChar(0x2016))) {
                combo->setCurrentIndex(i);
                Q_EMIT combo->activated(i);
                return;
            }
        QFAIL("no such draw in the chooser");
    }
    void select(int tab, int from, int to)
    {
        grid(tab).setRow(from);
        grid(tab).setCol(2);
        grid(tab).setRowSel(to);
    }
    QStringList column(int tab, int col)
    {
        QStringList texts;
        for (int r = grid(tab).FixedRows(); r < grid(tab).Rows(); ++r)
            texts.append(grid(tab).TextMatrix(r, col));
        return texts;
    }
    // A click in the middle of a cell, delivered through the window.
    void clickCell(int tab, int row, int col)
    {
        Grid &g = grid(tab);
        const QRect cell = g.visualRect(g.model()->index(row - g.FixedRows(), col));
        const QPoint at = g.viewport()->mapTo(window.get(), cell.center());
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, at);
    }
    QString stored(qint64 id, const char16_t *column)
    {
        return db.LookupValue(QStringLiteral("号码表"), id, QStringLiteral("ID"), QString::fromUtf16(column))
            .toString();
    }

    RecordingProgress progress;
    FakeMusic music;
    std::unique_ptr<ManagementWindow> window;
};

} // namespace

class TestManagementWindow : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void startsOnTheDrawsWithEveryTab()
    {
        Window w;
        const qint64 draw = w.addDraw(QStringLiteral("年会"));
        w.window->SST_Click(0);
        QCOMPARE(w.window->windowTitle(), QStringLiteral("Quilla抽奖"));
        QCOMPARE(w.window->SST->count(), 5);
        QCOMPARE(w.window->SST->tabText(2), QStringLiteral("抽奖号码"));
        QCOMPARE(w.window->Entr->text(), QStringLiteral("开  始\n\n抽  奖"));
        QCOMPARE(w.column(0, 2), QStringList{QStringLiteral("年会")});
        QCOMPARE(w.grid(0).TextMatrix(1, 3), QStringLiteral("滚动速度"));
        QCOMPARE(w.grid(0).ColAlignment(3), 8);
        QCOMPARE(w.grid(0).TextMatrix(2, 0), QString::number(draw));
        QVERIFY(w.window->THelp->toPlainText().contains(QDir::toNativeSeparators(w.path)));

        w.showTab(3);
        QCOMPARE(w.grid(3).FixedCols(), 3);
        QCOMPARE(w.window->CMB[3]->currentText(), QString::number(draw) + QStringLiteral("‖年会"));
        w.showTab(1);
        QCOMPARE(w.grid(1).ColAlignment(4), 4);
        // Every control the operator uses has a name a screen reader can say.
        for (QWidget *control : w.window->findChildren<QWidget *>())
            if ((qobject_cast<QAbstractButton *>(control) || qobject_cast<QComboBox *>(control)) &&
                control->isVisibleTo(w.window.get()))
                QVERIFY2(!control->accessibleName().isEmpty(), qPrintable(control->objectName()));
    }

    void deletingADrawAsksOnceAndTakesItsRows()
    {
        Window w;
        const qint64 gone = w.addDraw(QStringLiteral("甲"));
        const qint64 kept = w.addDraw(QStringLiteral("乙"));
        for (const qint64 draw : {gone, kept}) {
            const qint64 prize = w.addPrize(draw, 1, QStringLiteral("一等奖"), 1, 1);
            w.addParticipants(draw, 3);
            w.addResult(draw, prize, QStringLiteral("1001"));
            w.addPreset(draw, prize, QStringLiteral("1002"), QStringLiteral("人1"));
        }
        w.window->SST_Click(0);
        w.select(0, 2, 2);
        w.window->Com_Click(2); // No
        QCOMPARE(w.prompt.questions, QStringList{QStringLiteral("您确认要删除抽奖内容：第1行至第1行？")});
        QCOMPARE(w.count("奖次表"), 2);
        w.prompt.clear();
        w.prompt.answers = {true};
        w.window->Com_Click(2);
        QCOMPARE(w.prompt.questions.size(), 1);
        QCOMPARE(w.column(0, 2), QStringList{QStringLiteral("乙")});
        for (const char *table : {"奖项表", "号码表", "结果表"})
            QCOMPARE(w.count(table), w.count(table, Sql("CID=") + Sql::number(kept)));
        QCOMPARE(w.count("预设表"), 1);
        QCOMPARE(w.count("号码表"), 3);
    }

    void prizesMoveAndGoTogetherWithTheirResults()
    {
        Window w;
        const qint64 draw = w.addDraw();
        const qint64 a = w.addPrize(draw, 1, QStringLiteral("甲"), 1, 1);
        const qint64 b = w.addPrize(draw, 2, QStringLiteral("乙"), 1, 1);
        const qint64 c = w.addPrize(draw, 3, QStringLiteral("丙"), 1, 1);
        w.addResult(draw, b, QStringLiteral("1001"));
        w.addPreset(draw, b, QStringLiteral("1001"), QString());
        w.showTab(1);
        QCOMPARE(w.column(1, 2), (QStringList{"甲", "乙", "丙"}));

        // The ends do not move; the middle one goes up and the orders are stored.
        w.select(1, 2, 2);
        w.window->Com_Click(13);
        w.select(1, 4, 4);
        w.window->Com_Click(14);
        QCOMPARE(w.column(1, 2), (QStringList{"甲", "乙", "丙"}));
        w.select(1, 3, 3);
        w.window->Com_Click(13);
        QCOMPARE(w.column(1, 2), (QStringList{"乙", "甲", "丙"}));
        QCOMPARE(w.column(1, 1), (QStringList{"1", "2", "3"}));
        QCOMPARE(w.grid(1).Row(), 2);
        w.engine.CurrentDraw.Id = draw;
        w.engine.LoadPrizeTable();
        QCOMPARE(w.engine.Prizes().at(1).PrizeId, b);
        QCOMPARE(w.engine.Prizes().at(2).PrizeId, a);

        // Deleting asks once; No changes nothing, Yes takes results and presets too.
        w.select(1, 2, 2);
        w.window->Com_Click(12);
        QCOMPARE(w.prompt.questions, QStringList{QStringLiteral("您确认要删除奖项内容：第1行至第1行？")});
        QCOMPARE(w.count("结果表") + w.count("预设表") + w.count("奖项表"), 5);
        w.prompt.answers = {true};
        w.window->Com_Click(12);
        QCOMPARE(w.count("结果表") + w.count("预设表"), 0);
        QCOMPARE(w.column(1, 2), (QStringList{"甲", "丙"}));

        // A new prize goes after the highest order, not after the row count.
        w.window->Com_Click(10);
        QVERIFY(w.window->prizeEditor());
        QCOMPARE(w.window->prizeEditor()->Ord(), QStringLiteral("4"));
        QCOMPARE(w.window->prizeEditor()->CID(), draw);
        QVERIFY(!w.window->SST->isEnabled());
        QVERIFY(!w.window->Entr->isEnabled());
        w.window->prizeEditor()->close();
        QTRY_VERIFY(w.window->SST->isEnabled());
        QVERIFY(w.window->Entr->isEnabled());
        Q_UNUSED(c);
    }

    void addingAPrizeNeedsADraw()
    {
        Window w;
        w.showTab(1);
        w.window->Com_Click(10);
        QCOMPARE(w.prompt.messages, QStringList{QStringLiteral("请选择抽奖名称后再添加奖项！")});
        QVERIFY(!w.window->prizeEditor());
    }

    // Bottom-up and top-down selections delete the same rows.
    void selectionsEitherWay()
    {
        Window w;
        const qint64 draw = w.addDraw();
        w.addParticipants(draw, 6);
        w.showTab(2);
        QCOMPARE(w.window->LBL->text(), QStringLiteral("共有记录：6条"));
        const QStringList before = w.column(2, 2); // newest first
        w.prompt.answers = {true};
        w.select(2, 5, 3);
        w.window->Com_Click(23);
        QCOMPARE(w.prompt.questions, QStringList{QStringLiteral("您确定要删除第2至第4行？")});
        QCOMPARE(w.column(2, 2), (QStringList{before.at(0), before.at(4), before.at(5)}));
        QCOMPARE(w.window->LBL->text(), QStringLiteral("共有记录：3条"));
        QCOMPARE(w.count("号码表"), 3);
    }

    void namesAreEditedInTheGrid()
    {
        Window w;
        const qint64 draw = w.addDraw();
        w.addParticipants(draw, 3);
        w.showTab(2);
        const qint64 id = w.grid(2).TextMatrix(3, 0).toLongLong();
        // The number column opens no editor; the name column does.
        w.clickCell(2, 3, 2);
        QVERIFY(!w.window->TT->isVisible());
        w.clickCell(2, 3, 3);
        QVERIFY(w.window->TT->isVisible());
        w.window->TT->selectAll();
        QTest::keyClicks(w.window->TT, QStringLiteral("O'Brien"));
        QCOMPARE(w.stored(id, u"姓名"), QStringLiteral("O'Brien"));
        QCOMPARE(w.grid(2).TextMatrix(3, 0), QString::number(id));
        QCOMPARE(w.grid(2).TextMatrix(3, 3), QStringLiteral("O'Brien"));

        // A sort moves the rows: the editor goes, and typing reaches no other participant.
        const auto before = w.column(2, 3);
        const QHeaderView *header = w.grid(2).horizontalHeader();
        const QPoint title = header->viewport()->mapTo(
            w.window.get(), QPoint(header->sectionViewportPosition(3) + 5, header->height() / 2));
        QTest::mouseClick(w.window->windowHandle(), Qt::LeftButton, {}, title);
        QVERIFY(!w.window->TT->isVisible());
        QTest::keyClicks(w.window->TT, QStringLiteral("x"));
        QCOMPARE(w.count("号码表", Sql("姓名 LIKE '%x%'")), 0);
        const QStringList after = w.column(2, 3);
        QCOMPARE(QSet<QString>(before.cbegin(), before.cend()), QSet<QString>(after.cbegin(), after.cend()));

        // A refused save keeps the row marked and says so once for the edit.
        QVERIFY(w.db.ExecuteSql(
            Sql("CREATE TRIGGER refuse BEFORE UPDATE ON 号码表 BEGIN SELECT RAISE(ABORT, 'disk'); END")));
        w.clickCell(2, 2, 3);
        const qint64 other = ChooserKey(w.grid(2).TextMatrix(2, 0));
        QTest::keyClicks(w.window->TT, QStringLiteral("ab"));
        QCOMPARE(w.prompt.messages.size(), 1);
        QCOMPARE(w.grid(2).TextMatrix(2, 0), QString::number(-other));
        QVERIFY(!w.stored(other, u"姓名").endsWith(QStringLiteral("ab")));
    }

    void participantsAddedAndDuplicatesRemoved()
    {
        Window w;
        w.showTab(2);
        w.window->Com_Click(24);
        QVERIFY(w.window->participantEntry());
        // No draw to add to: refused, nothing listed.
        w.window->participantEntry()->TT[0]->setText(QStringLiteral("1"));
        w.window->participantEntry()->Com[0]->click();
        QCOMPARE(w.prompt.messages.size(), 1);
        QCOMPARE(w.grid(2).Rows(), 2);
        w.window->participantEntry()->close();

        const qint64 draw = w.addDraw();
        w.addParticipants(draw, 10);
        w.addParticipant(draw, QStringLiteral("1001"), QStringLiteral("人0"));
        w.window->SST_Click(2);
        QCOMPARE(w.window->LBL->text(), QStringLiteral("共有记录：11条"));
        w.window->Com_Click(21);
        QCOMPARE(w.window->LBL->text(), QStringLiteral("共有记录：10条"));
        QCOMPARE(w.count("号码表"), 10);

        w.window->Com_Click(24);
        QTRY_VERIFY(w.window->participantEntry());
        w.window->participantEntry()->TT[0]->setText(QStringLiteral("2001"));
        w.window->participantEntry()->TT[1]->setText(QStringLiteral("新人"));
        w.window->participantEntry()->Com[0]->click();
        const int last = w.grid(2).Rows() - 1;
        QCOMPARE(w.grid(2).TextMatrix(last, 1), QStringLiteral("11"));
        QCOMPARE(w.stored(w.grid(2).TextMatrix(last, 0).toLongLong(), u"号码"), QStringLiteral("2001"));
        QCOMPARE(w.window->LBL->text(), QStringLiteral("共有记录：11条"));
    }

    void startAsksTheQuestionsInTurn()
    {
        Window w;
        const qint64 draw = w.addDraw();
        const qint64 prize = w.addPrize(draw, 1, QStringLiteral("一等奖"), 10, 1);
        w.addParticipants(draw, 5);
        QString chosen;
        w.window->chooseDraw = [&] { return chosen; };
        w.window->Entr_Click(); // cancelled at the chooser
        QVERIFY(w.prompt.questions.isEmpty() && w.prompt.messages.isEmpty());

        chosen = QString::number(draw) + QStringLiteral("‖年会");
        w.window->Entr_Click(); // No to "more winners than participants"
        QCOMPARE(w.prompt.questions.size(), 1);
        QVERIFY(w.prompt.messages.isEmpty());
        QCOMPARE(w.engine.CurrentDraw.Id, draw);

        w.addParticipants(draw, 10, 2001);
        for (int i = 0; i < 10; ++i)
            w.addResult(draw, prize, QString::number(1001 + i));
        w.prompt.clear();
        w.window->Entr_Click(); // No to drawing everything again
        QCOMPARE(w.prompt.questions.size(), 1);
        QVERIFY(w.prompt.messages.isEmpty());
        QCOMPARE(w.count("结果表"), 10);
    }

    void resultsAreExported()
    {
        Window w;
        const qint64 draw = w.addDraw();
        const qint64 prize = w.addPrize(draw, 1, QStringLiteral("一等奖"), 1, 1);
        w.addResult(draw, prize, QStringLiteral("1001"), QStringLiteral("张三"));
        w.showTab(3);
        const QString path = w.dir.filePath(QStringLiteral("结果.csv"));
        w.window->chooseExportFile = [&](const QString &, QString *) { return path; };
        w.window->Com_Click(31);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QStringDecoder("GB18030").decode(file.readAll()).operator QString(),
                 QStringLiteral("序号,获得奖项,奖品,抽奖号码,姓名\r\n1,一等奖,,1001,张三\r\n"));
    }

    void theChosenDrawStaysChosen()
    {
        Window w;
        const qint64 older = w.addDraw(QStringLiteral("旧"));
        w.addDraw(QStringLiteral("新"));
        w.addParticipants(older, 2);
        w.showTab(2);
        w.choose(2, older);
        QCOMPARE(w.column(2, 2).size(), 2);
        w.window->SST_Click(2);
        QCOMPARE(ChooserKey(w.window->CMB[2]->currentText()), older);
        QCOMPARE(w.column(2, 2).size(), 2);
    }
};

QTEST_MAIN(TestManagementWindow)
#include "tst_managementwindow.moc"
