#include "data/Progress.h"
#include "lists/RecordModel.h"
#include "lists/RecordView.h"
#include "screen/ResultDeletion.h"
#include "support/DrawFixture.h"

#include <QHeaderView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <memory>

using namespace quilla;

namespace {

// A prize of 3 places, drawn out, and a result of another draw that must not be listed.
struct Fixture : DrawFixture
{
    Fixture()
    {
        draw = engine.CurrentDraw.Id = addDraw();
        prize = addPrize(draw, 1, QStringLiteral("一等奖"), 3, 1, false, QStringLiteral("电视"));
        for (const QString &number : QStringList{"1001", "1002", "1003"}) {
            addResult(draw, prize, number, QStringLiteral("人") + number);
            addParticipant(draw, number, QStringLiteral("人") + number);
        }
        const qint64 other = addDraw();
        addResult(other, addPrize(other, 1, QStringLiteral("特等奖"), 1, 1), QStringLiteral("2001"));
        window = std::make_unique<ResultDeletion>(db, progress, draw);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    // Presses as a user's arrive: at the window, where the cell, title or button shows.
    void click(QWidget *control, QPoint at)
    {
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, control->mapTo(window.get(), at));
    }
    RecordView *list() { return window->findChild<RecordView *>(QStringLiteral("results")); }
    // row: from 2 for the first result.
    void tick(int row) { click(list()->viewport(), list()->visualRect(list()->model()->index(row - 2, 0)).center()); }
    void tickTitle()
    {
        QHeaderView *titles = list()->horizontalHeader();
        click(titles->viewport(), {titles->sectionViewportPosition(0) + 5, titles->height() / 2});
    }
    // 0 确定, 1 取消
    void press(int button)
    {
        QWidget *push = window->findChild<QPushButton *>(button == 0 ? QStringLiteral("ok") : QStringLiteral("cancel"));
        click(push, push->rect().center());
    }

    QString numbers()
    {
        QStringList found;
        for (Query rs = db.openQuery(Sql("SELECT * FROM 结果表 ORDER BY ID")); !rs.atEnd(); rs.next())
            found.append(rs.text(u"号码"));
        return found.join(u' ');
    }

    qint64 draw = 0, prize = 0;
    NoProgress progress;
    std::unique_ptr<ResultDeletion> window;
};

const QString All = QStringLiteral("1001 1002 1003 2001");

} // namespace

class TestResultDeletion : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void deletesTicked_data()
    {
        QTest::addColumn<bool>("absent");
        QTest::newRow("winners absent, the default") << true;
        QTest::newRow("entered by mistake") << false;
    }

    // Two winners of a drawn-out prize go: two places are free again and the board drops them.
    // Absent winners are out of play from now on; winners entered by mistake are back in it.
    void deletesTicked()
    {
        QFETCH(bool, absent);
        Fixture f;
        QCOMPARE(f.list()->model()->rowCount(), 3);
        QCOMPARE(f.list()->model()->index(0, 2).data().toString(), QStringLiteral("电视"));
        QCOMPARE(f.list()->model()->index(0, 3).data().toString(), QStringLiteral("1003")); // the last first
        QSignalSpy deleted(f.window.get(), &ResultDeletion::deleted);
        f.tick(2);
        f.tick(4);
        if (!absent) {
            auto *mistake = f.window->findChild<QWidget *>(QStringLiteral("mistake"));
            f.click(mistake, {8, mistake->height() / 2});
        }
        f.prompt.answers = {true};
        QTest::keyClick(f.window->windowHandle(), Qt::Key_Return);
        QCOMPARE(f.prompt.questions,
                 QStringList{QStringLiteral("您确定要删除选中的2条获奖记录，让这些奖项重新抽奖吗？")});
        QCOMPARE(f.numbers(), QStringLiteral("1002 2001"));
        QCOMPARE(deleted.count(), 1);
        // A row per prize the ticks took from.
        QCOMPARE(f.count("轮次表", Sql("事件=") + Sql::text(absent ? QStringLiteral("不在场") : QStringLiteral("取消结果"))), 1);
        QCOMPARE(f.count("号码表", Sql("签到=2 AND 号码 IN ('1001','1003')")), absent ? 2 : 0);
        QVERIFY(!f.window->isVisible());
        QCOMPARE(f.engine.loadPrizeTable(), 1);
        QCOMPARE(f.engine.prizes().at(1).Remaining, 2);
        const QString board = f.engine.buildAnnouncement(f.draw, f.prize, false, false);
        QVERIFY(board.contains(QStringLiteral("1002")));
        QVERIFY(!board.contains(QStringLiteral("1001")) && !board.contains(QStringLiteral("1003")));
    }

    // Confirming with nothing ticked, answering No, and cancelling all leave 结果表 alone.
    void keepsResults()
    {
        Fixture f;
        QSignalSpy deleted(f.window.get(), &ResultDeletion::deleted);
        QSignalSpy closed(f.window.get(), &ResultDeletion::closed);
        f.press(0);
        QVERIFY(f.prompt.questions.isEmpty());
        QCOMPARE(closed.count(), 1);

        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        f.tickTitle(); // ticks every row; titles don't sort this list
        QCOMPARE(f.list()->model()->index(2, 0).data().toString(), QStringLiteral("√"));
        f.prompt.answers = {false};
        f.press(0);
        QCOMPARE(f.prompt.questions,
                 QStringList{QStringLiteral("您确定要删除选中的3条获奖记录，让这些奖项重新抽奖吗？")});
        QVERIFY(f.window->isVisible());
        f.press(1);
        QCOMPARE(f.numbers(), All);
        QCOMPARE(deleted.count(), 0);
        QCOMPARE(closed.count(), 2);
    }

    // One result the file refuses to give up keeps the others too, and the operator is told.
    void refusedDeleteChangesNothing()
    {
        Fixture f;
        QVERIFY(f.db.executeSql(Sql("CREATE TRIGGER refuse BEFORE DELETE ON 结果表 WHEN OLD.号码='1003' "
                                    "BEGIN SELECT RAISE(ABORT,'x'); END")));
        QSignalSpy deleted(f.window.get(), &ResultDeletion::deleted);
        f.tick(2);
        f.tick(4);
        f.prompt.answers = {true};
        f.press(0);
        QCOMPARE(f.numbers(), All);
        QCOMPARE(f.prompt.messages, QStringList{QStringLiteral("删除记录失败，数据库没有改变。")});
        QCOMPARE(deleted.count(), 0);
        QVERIFY(f.window->isVisible());
    }
};

QTEST_MAIN(TestResultDeletion)
#include "tst_resultdeletion.moc"
