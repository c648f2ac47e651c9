#include "grids/GridPresenter.h"
#include "platform/Appearance.h"
#include "platform/Grid.h"
#include "platform/WindowHelpers.h"
#include "support/RecordingProgress.h"
#include "support/TempDatabase.h"

#include <QApplication>
#include <QDateTime>
#include <QHeaderView>
#include <QTabWidget>
#include <QTest>
#include <QVBoxLayout>

using namespace quilla;

namespace {

struct Fixture : TempDatabase
{
    Fixture() : presenter(db, progress, &window)
    {
        window.resize(1200, 700);
        grid = new Grid(&window);
        grid->setGeometry(0, 0, 1200, 700);
        window.show();
    }

    void addParticipants(int count, qint64 draw = 1)
    {
        QStringList names;
        for (int i = 0; i < count; ++i)
            names.append(QStringLiteral("人%1").arg(i));
        addParticipants(names, draw);
    }

    void addParticipants(const QStringList &names, qint64 draw = 1)
    {
        Database::Transaction transaction(db);
        Query rs = db.OpenQuery(Sql("SELECT * FROM 号码表 WHERE FALSE"));
        for (int i = 0; i < names.size(); ++i) {
            rs.addNew();
            rs.setValue(u"CID", draw);
            rs.setValue(u"号码", QString::number(1001 + i));
            rs.setValue(u"姓名", names.at(i));
            rs.save();
        }
        transaction.commit();
    }

    void participantsGrid()
    {
        GridPresenter::SetGridHeadings(*grid, {"ID", "", "号码", "姓名", "CID"},
                                       {"ID", "序号", "号码", "姓名", "抽奖"});
        grid->setTag(QStringLiteral("号码表"));
    }

    // The middle of a cell, in twips from the header's top-left corner.
    std::pair<double, double> at(int row, int col) const
    {
        const int x = grid->columnViewportPosition(col) + 2;
        const int y = row < grid->FixedRows() ? 3
                                              : grid->horizontalHeader()->height() +
                                                    grid->rowViewportPosition(row - grid->FixedRows()) + 3;
        return {ToTwips(x), ToTwips(y)};
    }

    // Where a user sees a title or a cell, in the window; the fixed columns don't scroll.
    QPoint point(int row, int col) const
    {
        const QHeaderView *titles = grid->horizontalHeader();
        const int x =
            titles->sectionSize(col) / 2 +
            (col < grid->FixedCols() ? titles->sectionPosition(col) : titles->sectionViewportPosition(col));
        if (row < grid->FixedRows())
            return titles->mapTo(&window, QPoint(x, titles->height() / 2));
        const int dataRow = row - grid->FixedRows();
        return grid->viewport()->mapTo(&window, QPoint(x, grid->rowViewportPosition(dataRow) + 3));
    }

    // Presses as a user's arrive: at the window, which hands them to the widget under the point.
    // Title presses go to GridHeaderClick, others to CheckColumnClick.
    void click(int row, int col, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, modifiers, point(row, col));
    }
    void connectPresses()
    {
        QObject::connect(grid, &Grid::mousePressed, &window,
                         [this](Qt::MouseButton, Qt::KeyboardModifiers modifiers, double x, double y) {
                             if (GridPresenter::HitTestCell(*grid, x, y).first < grid->FixedRows())
                                 presenter.GridHeaderClick(&window, *grid, x, y);
                             else
                                 GridPresenter::CheckColumnClick(*grid, modifiers == Qt::ShiftModifier, x, y,
                                                                 true);
                         });
    }

    QStringList column(int col) const
    {
        QStringList texts;
        for (int r = grid->FixedRows(); r < grid->Rows(); ++r)
            texts.append(grid->TextMatrix(r, col));
        return texts;
    }

    QWidget window;
    Grid *grid;
    RecordingProgress progress;
    GridPresenter presenter;
};

} // namespace

class TestGridPresenter : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void headings()
    {
        Fixture f;
        f.participantsGrid();
        QCOMPARE(f.grid->Cols(), 5);
        QCOMPARE(f.grid->Rows(), 2);
        QCOMPARE(f.grid->FixedRows(), 2);
        QCOMPARE(f.grid->FixedCols(), 2);
        QCOMPARE(f.grid->RowHeight(0), 0.0);
        QCOMPARE(f.grid->TextMatrix(1, 1), QStringLiteral("序号"));
        QCOMPARE(f.grid->ColAlignment(1), 2);
        QCOMPARE(f.grid->ColAlignment(3), 0);
        GridPresenter::SetGridHeadings(*f.grid, {"ID"}, {"ID", "x"}); // unequal: nothing happens
        QCOMPARE(f.grid->Cols(), 5);
        QCOMPARE(GridPresenter::RowCap(5), 69998);
        QCOMPARE(GridPresenter::RowCap(7), 49998);
        QCOMPARE(GridPresenter::RowCap(4), 87498);
    }

    void rowCap_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<QString>("message");
        QTest::newRow("over the cap")
            << 80000
            << "数据库里共有80000条记录，表格只能显示69998条记录，因此无法全部显示，请修改筛选条件。";
        QTest::newRow("exactly the cap") << 69998 << "";
    }

    void rowCap()
    {
        QFETCH(int, records);
        QFETCH(QString, message);
        Fixture f;
        f.addParticipants(records);
        f.participantsGrid();
        QCOMPARE(f.presenter.FillGrid(*f.grid, Sql("CID=") + Sql::number(1), Sql("ID"), false), records);
        QCOMPARE(f.prompt.messages, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(f.grid->Rows(), 2 + 69998);
        QCOMPARE(f.grid->TextMatrix(2 + 69997, 1), QStringLiteral("69998"));
        QCOMPARE(f.grid->TextMatrix(2 + 69997, 2), QString::number(1001 + 69997));
        QCOMPARE(f.progress.captions.first(), QStringLiteral("正在读取记录..."));
        QCOMPARE(f.progress.totals.first(), 7000);
        QVERIFY(!f.progress.open);
    }

    void fieldsAndLookups()
    {
        Fixture f;
        Query prizes = f.db.OpenQuery(Sql("SELECT * FROM 奖项表 WHERE FALSE"));
        prizes.addNew();
        prizes.setValue(u"CID", 1);
        prizes.setValue(u"名称", QStringLiteral("一等奖"));
        prizes.setValue(u"显示", true);
        QVERIFY(prizes.save());
        const qint64 prize = prizes.number(u"ID");
        Query results = f.db.OpenQuery(Sql("SELECT * FROM 结果表 WHERE FALSE"));
        for (qint64 wid : {prize, prize + 40, prize}) {
            results.addNew();
            results.setValue(u"CID", 1);
            results.setValue(u"WID", wid);
            results.setValue(u"号码", QStringLiteral("100%1").arg(wid));
            QVERIFY(results.save());
        }
        GridPresenter::SetGridHeadings(*f.grid, {"ID", "CID", "", "WID:奖项表:ID:名称", "WID:奖项表", "号码"},
                                       {"ID", "CID", "序号", "奖项", "坏", "号码"});
        f.grid->setTag(QStringLiteral("结果表"));
        QCOMPARE(f.presenter.FillGrid(*f.grid, Sql(), Sql(), false), 3);
        QCOMPARE(f.column(3), (QStringList{"一等奖", "", "一等奖"}));
        QCOMPARE(f.column(4), (QStringList{"", "", ""}));
        QCOMPARE(f.column(2), (QStringList{"1", "2", "3"}));
        QVERIFY(f.progress.captions.isEmpty()); // few rows: no progress window

        // Yes/no columns show "√" or nothing.
        GridPresenter::SetGridHeadings(*f.grid, {"ID", "", "名称", "显示", "重复"},
                                       {"ID", "序号", "名称", "显示", "重复"});
        f.grid->setTag(QStringLiteral("奖项表"));
        QCOMPARE(f.presenter.FillGrid(*f.grid, Sql(), Sql(), false), 1);
        QCOMPARE(f.grid->TextMatrix(2, 3), QStringLiteral("√"));
        QCOMPARE(f.grid->TextMatrix(2, 4), QString());

        f.grid->setTag(QStringLiteral("无此表"));
        QCOMPARE(f.presenter.FillGrid(*f.grid, Sql(), Sql(), false), 0);
        QCOMPARE(f.grid->Rows(), 2);
        QVERIFY(f.prompt.messages.isEmpty());
    }

    void cellFormats()
    {
        QCOMPARE(GridPresenter::FormatCellValue(QDateTime(QDate(1900, 1, 1), QTime(0, 0)), false),
                 QVariant(QString()));
        QCOMPARE(GridPresenter::FormatCellValue(QDateTime(QDate(2009, 1, 23), QTime(14, 5)), false),
                 QVariant(QStringLiteral("2009.01.23 14:05")));
        QCOMPARE(GridPresenter::FormatCellValue(QDateTime(QDate(2009, 1, 23), QTime(14, 5)), true),
                 QVariant(QStringLiteral("2009.01.23")));
        QCOMPARE(GridPresenter::FormatCellValue(12.345, false),
                 QVariant(12.34)); // ties to even… of the hundredths
        QCOMPARE(GridPresenter::FormatCellValue(true, false), QVariant(QStringLiteral("√")));
        QCOMPARE(GridPresenter::BoolMark(QVariant()), QString());
        QCOMPARE(GridPresenter::BoolMark(0), QString());
        QCOMPARE(GridPresenter::BoolMark(-1), QStringLiteral("√"));
        QCOMPARE(GridPresenter::ToggleMark(QString()), QStringLiteral("√"));
        QCOMPARE(GridPresenter::ToggleMark(QStringLiteral("√")), QString());
        QString a = QStringLiteral("3"), b = QStringLiteral("12x");
        GridPresenter::OrderPair(a, b);
        QCOMPARE(a, QStringLiteral("12x"));
        QCOMPARE(b, QStringLiteral("3"));
    }

    void deleteReversedRange()
    {
        Fixture f;
        f.addParticipants(5);
        f.participantsGrid();
        f.presenter.FillGrid(*f.grid, Sql(), Sql("ID"), false);
        int from = 4, to = 2;
        f.prompt.answers = {false};
        QVERIFY(!f.presenter.DeleteGridRows(*f.grid, from, to, true, true));
        QCOMPARE(f.prompt.questions, QStringList{QStringLiteral("您确定要删除第1至第3行？")});
        QCOMPARE(f.db.CountRows(QStringLiteral("号码表"), Sql()), 5);

        from = 4;
        to = 2;
        f.prompt.answers = {true};
        QVERIFY(f.presenter.DeleteGridRows(*f.grid, from, to, true, true));
        QCOMPARE(from, 2);
        QCOMPARE(to, 4);
        QCOMPARE(f.db.CountRows(QStringLiteral("号码表"), Sql()), 2);
        QCOMPARE(f.db.CountRows(QStringLiteral("号码表"), Sql("号码 IN ('1004','1005')")), 2);
        QCOMPARE(f.column(2), (QStringList{"1004", "1005"}));
        QCOMPARE(f.column(1), (QStringList{"1", "2"}));

        // Only from the grid: the records stay.
        from = to = 2;
        QVERIFY(f.presenter.DeleteGridRows(*f.grid, from, to, false, false));
        QCOMPARE(f.column(2), QStringList{"1005"});
        QCOMPARE(f.db.CountRows(QStringLiteral("号码表"), Sql()), 2);
    }

    void failedDeleteChangesNothing()
    {
        Fixture f;
        f.addParticipants(3);
        f.participantsGrid();
        f.presenter.FillGrid(*f.grid, Sql(), Sql("ID"), false);
        QVERIFY(f.db.ExecuteSql(Sql("CREATE TRIGGER refuse BEFORE DELETE ON 号码表 WHEN OLD.号码='1002' "
                                    "BEGIN SELECT RAISE(ABORT, 'no'); END")));
        int from = 2, to = 4;
        QVERIFY(!f.presenter.DeleteGridRows(*f.grid, from, to, false, true));
        QCOMPARE(f.prompt.messages.size(), 1);
        QCOMPARE(f.db.CountRows(QStringLiteral("号码表"), Sql()), 3);
        QCOMPARE(f.grid->Rows(), 5);
    }

    void sortMarkers()
    {
        Fixture f;
        f.addParticipants(3);
        f.participantsGrid();
        f.presenter.FillGrid(*f.grid, Sql(), Sql("ID"), false);
        // A text column: descending first with "△", then ascending with "▽".
        auto [x, y] = f.at(1, 3);
        f.presenter.GridHeaderClick(&f.window, *f.grid, x, y);
        QCOMPARE(f.grid->TextMatrix(1, 3), QStringLiteral("姓名△"));
        QCOMPARE(f.column(3), (QStringList{"人2", "人1", "人0"}));
        QCOMPARE(f.column(1), (QStringList{"1", "2", "3"}));
        f.presenter.GridHeaderClick(&f.window, *f.grid, x, y);
        QCOMPARE(f.grid->TextMatrix(1, 3), QStringLiteral("姓名▽"));
        QCOMPARE(f.column(3), (QStringList{"人0", "人1", "人2"}));

        // A centred column sorts as numbers, ascending first; the other marker goes.
        f.grid->setColAlignment(2, 4);
        std::tie(x, y) = f.at(1, 2);
        f.presenter.GridHeaderClick(&f.window, *f.grid, x, y);
        QCOMPARE(f.grid->TextMatrix(1, 3), QStringLiteral("姓名"));
        QCOMPARE(f.grid->TextMatrix(1, 2), QStringLiteral("号码△"));
        QCOMPARE(f.column(2), (QStringList{"1001", "1002", "1003"}));
        f.presenter.GridHeaderClick(&f.window, *f.grid, x, y);
        QCOMPARE(f.grid->TextMatrix(1, 2), QStringLiteral("号码▽"));
        QCOMPARE(f.column(2), (QStringList{"1003", "1002", "1001"}));
    }

    // Through the window, a title press sorts by its column; text goes in pinyin order.
    void titleClicks()
    {
        Fixture f;
        f.addParticipants(QStringList{"张", "李", "王", "赵", "陈"});
        f.participantsGrid();
        f.presenter.FillGrid(*f.grid, Sql(), Sql("ID"), false);
        f.connectPresses();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));

        f.click(1, 3);
        QCOMPARE(f.grid->TextMatrix(1, 3), QStringLiteral("姓名△"));
        QCOMPARE(f.column(3), (QStringList{"赵", "张", "王", "李", "陈"}));
        f.click(1, 3);
        QCOMPARE(f.grid->TextMatrix(1, 3), QStringLiteral("姓名▽"));
        QCOMPARE(f.column(3), (QStringList{"陈", "李", "王", "张", "赵"}));
    }

    // Scrolled right and down, a list with a mark column still shows its row numbers at the
    // left: a press on one marks that row, a press on the "序号" title fits the widths again.
    void scrolledList()
    {
        Fixture f;
        f.addParticipants(40);
        GridPresenter::SetGridHeadings(*f.grid, {"ID", "CID", "", "", "号码", "姓名"},
                                       {"ID", "CID", "序号", "选择", "号码", "姓名"});
        f.grid->setFixedCols(3);
        f.grid->setTag(QStringLiteral("号码表"));
        f.grid->setGeometry(0, 0, 300, 240);
        f.presenter.FillGrid(*f.grid, Sql(), Sql("ID"), false);
        const double fitted = f.grid->ColWidth(5);
        f.grid->setColWidth(4, 3000);
        f.grid->setColWidth(5, 3000);
        f.connectPresses();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));

        f.grid->setLeftCol(4); // the mark column is out of sight
        f.grid->setTopRow(20);
        QCOMPARE(f.grid->LeftCol(), 4);
        f.click(22, 2);
        QStringList marks(40);
        marks[20] = QStringLiteral("√");
        QCOMPARE(f.column(3), marks);
        f.click(1, 2);
        QCOMPARE(f.grid->ColWidth(5), fitted);
    }

    void widths()
    {
        Fixture f;
        f.addParticipants(3);
        GridPresenter::SetGridHeadings(*f.grid, {"ID", "", "号码", "空", "姓名"},
                                       {"ID", "序号", "号码", "", "姓名"});
        f.grid->setTag(QStringLiteral("号码表"));
        f.presenter.FillGrid(*f.grid, Sql(), Sql(), false);
        f.grid->setTextMatrix(3, 4, QString(300, QChar(u'长')));
        f.grid->setColWidth(2, 9999);
        // A press on the "序号" title fits every width again.
        const auto [x, y] = f.at(1, 1);
        f.presenter.GridHeaderClick(&f.window, *f.grid, x, y);
        QCOMPARE(f.grid->ColWidth(0), 0.0);
        QCOMPARE(f.grid->ColWidth(3), 50.0);
        QCOMPARE(f.grid->ColWidth(4), f.grid->Width() / 2);
        const QFontMetrics metrics(f.window.font());
        const double numbers = std::max(metrics.horizontalAdvance(QStringLiteral("1001")),
                                        metrics.horizontalAdvance(QStringLiteral("号码"))) *
                                   TwipsPerPixel() +
                               100;
        QVERIFY(std::abs(f.grid->ColWidth(2) - numbers) < 30);
        QVERIFY(!f.grid->isColumnHidden(2));
        QVERIFY(f.grid->isColumnHidden(0));
    }

    // A list filled on a tab page not shown yet gets its widths from its real width once the
    // page shows: before, it has none, and half of the default one cuts long texts short.
    void fitOnHiddenPage()
    {
        Fixture f;
        const QString longName(40, QChar(u'长'));
        f.addParticipants(QStringList{longName});
        QTabWidget tabs;
        tabs.resize(1200, 700);
        tabs.addTab(new QWidget, QStringLiteral("奖项"));
        auto *grid = new Grid;
        (new QVBoxLayout(tabs.widget(tabs.addTab(new QWidget, QStringLiteral("参加者")))))->addWidget(grid);
        tabs.show();
        GridPresenter presenter(f.db, f.progress, &tabs);
        GridPresenter::SetGridHeadings(*grid, {"ID", "", "号码", "姓名"}, {"ID", "序号", "号码", "姓名"});
        grid->setTag(QStringLiteral("号码表"));
        presenter.FillGrid(*grid, Sql(), Sql("ID"), false);

        tabs.setCurrentIndex(1);
        const double name = QFontMetrics(tabs.font()).horizontalAdvance(longName) * TwipsPerPixel() + 100;
        QVERIFY(name < grid->Width() / 2);
        QVERIFY(std::abs(grid->ColWidth(3) - name) < 30);
        // The fit is made again once, not at every show.
        grid->setColWidth(3, 2000);
        tabs.setCurrentIndex(0);
        tabs.setCurrentIndex(1);
        QCOMPARE(grid->ColWidth(3), 2000.0);
    }

    // The grid drawn offscreen, Chinese titles and cells included; kept as grid.png for a look.
    void rendersChinese()
    {
        Fixture f;
        SetUpFonts(*qApp);
        f.window.setFont(QApplication::font());
        f.grid->setFont(QApplication::font());
        f.addParticipants(12);
        f.participantsGrid();
        f.presenter.FillGrid(*f.grid, Sql(), Sql("ID"), false);
        auto [x, y] = f.at(1, 3);
        f.presenter.GridHeaderClick(&f.window, *f.grid, x, y);
        f.grid->resize(520, 320);
        const QImage image = f.grid->grab().toImage();
        QVERIFY(image.save(QStringLiteral("grid.png")));
        // Dark text pixels in the title row and in the first name cell.
        auto inked = [&](const QRect &area) {
            int dark = 0;
            for (int py = area.top(); py <= area.bottom(); ++py)
                for (int px = area.left(); px <= area.right(); ++px)
                    dark += qGray(image.pixel(px, py)) < 100;
            return dark;
        };
        const int nameX = f.grid->columnViewportPosition(3);
        const int headerHeight = f.grid->horizontalHeader()->height();
        QVERIFY(inked(QRect(nameX, 1, 60, headerHeight - 2)) > 20);
        QVERIFY(inked(QRect(nameX, headerHeight + 1, 40, f.grid->rowHeight(0) - 2)) > 20);
    }

    void marks()
    {
        Fixture f;
        f.addParticipants(4);
        GridPresenter::SetGridHeadings(*f.grid, {"ID", "CID", "", "", "号码"},
                                       {"ID", "CID", "序号", "选择", "号码"});
        f.grid->setFixedCols(3);
        f.grid->setTag(QStringLiteral("号码表"));
        f.presenter.FillGrid(*f.grid, Sql(), Sql("ID"), false);

        auto click = [&](int row, int col, int shift, bool multi) {
            const auto [x, y] = f.at(row, col);
            return GridPresenter::CheckColumnClick(*f.grid, shift, x, y, multi);
        };
        // One mark only.
        QVERIFY(click(2, 3, 0, false));
        QVERIFY(click(4, 3, 0, false));
        QCOMPARE(f.column(3), (QStringList{"", "", "√", ""}));
        QVERIFY(!click(4, 4, 0, false)); // not the mark column
        QVERIFY(click(4, 2, 0, false));  // a fixed column counts as handled...
        QCOMPARE(f.column(3), (QStringList{"", "", "√", ""}));

        // Header clicks mark all, then clear all.
        QVERIFY(click(1, 3, 0, true));
        QCOMPARE(f.column(3), (QStringList{"√", "√", "√", "√"}));
        QVERIFY(click(1, 3, 0, true));
        QCOMPARE(f.column(3), (QStringList{"", "", "", ""}));

        // A press toggles its own row only, on and off.
        QVERIFY(click(3, 3, 0, true));
        QVERIFY(click(5, 3, 0, true));
        QVERIFY(click(2, 3, 0, true));
        QCOMPARE(f.column(3), (QStringList{"√", "√", "", "√"}));
        QVERIFY(click(3, 3, 0, true));
        QCOMPARE(f.column(3), (QStringList{"√", "", "", "√"}));

        // With Shift, the rows from the current row to the pressed one get the current row's
        // mark, whatever they held: ticked after a tick, cleared after an untick.
        f.grid->setRow(5);
        f.grid->setCol(4);
        QVERIFY(click(3, 3, 1, true));
        QCOMPARE(f.column(3), (QStringList{"√", "√", "√", "√"}));
        QVERIFY(click(3, 3, 0, true));
        f.grid->setRow(3);
        f.grid->setCol(3);
        QVERIFY(click(5, 3, 1, true));
        QCOMPARE(f.column(3), (QStringList{"√", "", "", ""}));

        // As the operator does it: a press ticks a row, a Shift-press further down ticks the
        // rows between; another Shift-press extends from the same first row.
        QVERIFY(click(1, 3, 0, true)); // clears all
        f.connectPresses();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        f.click(3, 3);
        QCOMPARE(f.column(3), (QStringList{"", "√", "", ""}));
        f.click(5, 3, Qt::ShiftModifier);
        QCOMPARE(f.column(3), (QStringList{"", "√", "√", "√"}));
        f.click(2, 3, Qt::ShiftModifier);
        QCOMPARE(f.column(3), (QStringList{"√", "√", "√", "√"}));
    }
};

QTEST_MAIN(TestGridPresenter)
#include "tst_gridpresenter.moc"
