#include "data/Progress.h"
#include "platform/Grid.h"
#include "screen/ResultDeletion.h"
#include "support/DrawFixture.h"

#include <QHeaderView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

using namespace quilla;

namespace {

const QString Refused = QStringLiteral("删除记录失败，数据库没有改变。");

// A draw whose first prize (3 places) is drawn out, a second prize with one winner,
// and a result of another draw that the window must not list.
struct Fixture : DrawFixture
{
    Fixture()
    {
        draw = addDraw();
        first = addPrize(draw, 1, QStringLiteral("一等奖"), 3, 1, false, QStringLiteral("电视"));
        second = addPrize(draw, 2, QStringLiteral("二等奖"), 2, 1);
        for (const char *number : {"1001", "1002", "1003"})
            addResult(draw, first, QString::fromLatin1(number), QStringLiteral("人") + QLatin1String(number));
        addResult(draw, second, QStringLiteral("1004"));
        const qint64 other = addDraw(QStringLiteral("另一场"));
        addResult(other, addPrize(other, 1, QStringLiteral("特等奖"), 1, 1), QStringLiteral("2001"));
        engine.CurrentDraw.Id = draw;

        window = new DelAward(db, progress, draw);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }
    ~Fixture() { delete window; }

    // Presses as a user's arrive: at the window, at the place of a cell or a title.
    void click(QWidget *control, QPoint at, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, modifiers, control->mapTo(window, at));
    }
    void tick(int row)
    {
        Grid *grid = window->MSF;
        click(grid->viewport(), grid->visualRect(grid->model()->index(row - grid->FixedRows(), 3)).center());
    }
    void tickTitle()
    {
        QHeaderView *titles = window->MSF->horizontalHeader();
        click(titles->viewport(),
              QPoint(titles->sectionViewportPosition(3) + titles->sectionSize(3) / 2, titles->height() / 2));
    }
    void press(int button) { click(window->Com[button], window->Com[button]->rect().center()); }

    QStringList marks() const
    {
        QStringList texts;
        for (int r = window->MSF->FixedRows(); r < window->MSF->Rows(); ++r)
            texts.append(window->MSF->TextMatrix(r, 3));
        return texts;
    }
    // The numbers in 结果表, in the order they were drawn.
    QString numbers()
    {
        QStringList found;
        for (Query rs = db.OpenQuery(Sql("SELECT * FROM 结果表 ORDER BY ID")); !rs.atEnd(); rs.next())
            found.append(rs.text(u"号码"));
        return found.join(u' ');
    }

    qint64 draw = 0, first = 0, second = 0;
    NoProgress progress;
    DelAward *window = nullptr;
};

} // namespace

class TestResultDeletion : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    // Ticking two of a drawn-out prize's winners frees two places and takes them off the board.
    void deletesTicked()
    {
        Fixture f;
        Grid &grid = *f.window->MSF;
        QCOMPARE(f.window->windowTitle(), QStringLiteral("删除无效获奖"));
        QCOMPARE(grid.Rows(), 6);
        QCOMPARE(grid.TextMatrix(2, 4), QStringLiteral("一等奖"));
        QCOMPARE(grid.TextMatrix(2, 5), QStringLiteral("电视"));
        QCOMPARE(grid.TextMatrix(4, 6), QStringLiteral("1003"));
        QCOMPARE(grid.ColAlignment(3), 4);
        QCOMPARE(f.engine.LoadPrizeTable(), 2);

        QSignalSpy deleted(f.window, &DelAward::deleted);
        QSignalSpy closed(f.window, &DelAward::closed);
        f.tick(2);
        f.tick(4);
        QCOMPARE(f.marks(), (QStringList{"√", "", "√", ""}));
        f.prompt.answers = {true};
        f.press(0);
        QCOMPARE(f.prompt.questions,
                 QStringList{QStringLiteral("您确定要删除选中的2条获奖记录，让这些奖项重新抽奖吗？")});
        QCOMPARE(f.numbers(), QStringLiteral("1002 1004 2001"));
        QCOMPARE(deleted.count(), 1);
        QCOMPARE(closed.count(), 1);
        QVERIFY(!f.window->isVisible());

        QCOMPARE(f.engine.LoadPrizeTable(), 1);
        QCOMPARE(f.engine.Prizes().at(1).Remaining, 2);
        const QString board = f.engine.BuildAnnouncement(f.draw, f.first, false, false);
        QVERIFY(board.contains(QStringLiteral("1002")));
        QVERIFY(!board.contains(QStringLiteral("1001")));
        QVERIFY(!board.contains(QStringLiteral("1003")));
    }

    // One press on the title ticks every row, and the question says how many go; No keeps them all.
    void titleTicksAllAndNoKeeps()
    {
        Fixture f;
        QSignalSpy deleted(f.window, &DelAward::deleted);
        f.tickTitle();
        QCOMPARE(f.marks(), (QStringList{"√", "√", "√", "√"}));
        QCOMPARE(f.window->MSF->TextMatrix(1, 3), QStringLiteral("选择")); // not sorted
        f.prompt.answers = {false};
        f.press(0);
        QCOMPARE(f.prompt.questions,
                 QStringList{QStringLiteral("您确定要删除选中的4条获奖记录，让这些奖项重新抽奖吗？")});
        QCOMPARE(f.numbers(), QStringLiteral("1001 1002 1003 1004 2001"));
        QCOMPARE(deleted.count(), 0);
        QVERIFY(f.window->isVisible());
    }

    // Cancelling after ticking, or confirming with nothing ticked, closes without asking or deleting.
    void closesWithoutDeleting()
    {
        for (const bool ticked : {true, false}) {
            Fixture f;
            QSignalSpy deleted(f.window, &DelAward::deleted);
            QSignalSpy closed(f.window, &DelAward::closed);
            if (ticked)
                f.tick(3);
            f.press(ticked ? 1 : 0);
            QVERIFY(f.prompt.questions.isEmpty());
            QCOMPARE(f.numbers(), QStringLiteral("1001 1002 1003 1004 2001"));
            QCOMPARE(deleted.count(), 0);
            QCOMPARE(closed.count(), 1);
            QVERIFY(!f.window->isVisible());
        }
    }

    // A result the file refuses to give up keeps the others too, and the operator is told.
    void refusedDeleteChangesNothing()
    {
        Fixture f;
        QVERIFY(f.db.ExecuteSql(Sql("CREATE TRIGGER refuse BEFORE DELETE ON 结果表 WHEN OLD.号码='1003' "
                                    "BEGIN SELECT RAISE(ABORT,'x'); END")));
        QSignalSpy deleted(f.window, &DelAward::deleted);
        f.tick(2);
        f.tick(4);
        f.prompt.answers = {true};
        f.press(0);
        QCOMPARE(f.numbers(), QStringLiteral("1001 1002 1003 1004 2001"));
        QCOMPARE(f.prompt.messages, QStringList{Refused});
        QCOMPARE(deleted.count(), 0);
        QVERIFY(f.window->isVisible());
    }
};

QTEST_MAIN(TestResultDeletion)
#include "tst_resultdeletion.moc"
