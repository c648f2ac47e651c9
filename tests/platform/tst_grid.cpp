#include "platform/Grid.h"
#include "platform/WindowHelpers.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QTest>

using namespace quilla;

class TestGrid : public QObject
{
    Q_OBJECT

  private:
    // 2 fixed rows (specs, titles), 2 fixed columns, rows of "r,c" texts.
    static void layOut(Grid &grid, int rows, int cols)
    {
        Grid::Batch batch(grid);
        grid.setCols(cols);
        grid.setRows(rows);
        grid.setFixedRows(2);
        grid.setFixedCols(2);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c)
                grid.setTextMatrix(r, c, QStringLiteral("%1,%2").arg(r).arg(c));
    }

  private Q_SLOTS:
    void modelFollowsTheGrid()
    {
        Grid grid;
        QAbstractItemModelTester tester(grid.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        layOut(grid, 6, 4);
        QCOMPARE(grid.model()->rowCount(), 4);
        QCOMPARE(grid.model()->columnCount(), 4);
        // Titles come from the last fixed row; data from row 2.
        QCOMPARE(grid.model()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("1,3"));
        QCOMPARE(grid.model()->index(0, 1).data().toString(), QStringLiteral("2,1"));
        QVERIFY(!(grid.model()->flags(grid.model()->index(0, 1)) & Qt::ItemIsSelectable));
        QVERIFY(grid.model()->flags(grid.model()->index(0, 2)) & Qt::ItemIsSelectable);

        grid.setTextMatrix(3, 2, QStringLiteral("改"));
        QCOMPARE(grid.model()->index(1, 2).data().toString(), QStringLiteral("改"));
        grid.setRows(8);
        QCOMPARE(grid.model()->rowCount(), 6);
        QCOMPARE(grid.TextMatrix(7, 0), QString());
        QCOMPARE(grid.TextMatrix(5, 3), QStringLiteral("5,3"));
        grid.setCols(3);
        QCOMPARE(grid.TextMatrix(5, 2), QStringLiteral("5,2"));
        QCOMPARE(grid.TextMatrix(5, 3), QString());
        grid.setRows(2);
        QCOMPARE(grid.model()->rowCount(), 0);
    }

    void sizesAlignmentAndColours()
    {
        Grid grid;
        layOut(grid, 4, 3);
        grid.setColWidth(0, 0);
        QVERIFY(grid.isColumnHidden(0));
        grid.setColWidth(2, 1500);
        const int margin = grid.horizontalHeader()->sectionSize(2) - 100; // what the style adds
        QVERIFY(margin >= 0 && margin < 20);
        QCOMPARE(grid.ColWidth(2), 1500.0);
        grid.horizontalHeader()->resizeSection(2, 50 + margin); // the operator drags the edge
        QCOMPARE(grid.ColWidth(2), 750.0);

        grid.setColAlignment(2, 4);
        QCOMPARE(grid.model()->index(0, 2).data(Qt::TextAlignmentRole).value<Qt::Alignment>(),
                 Qt::AlignCenter);
        grid.setRow(3);
        grid.setCol(2);
        QCOMPARE(grid.CellBackColor(), 0);
        grid.setCellBackColor(255);
        QCOMPARE(grid.CellBackColor(), 255);
        QCOMPARE(grid.model()->index(1, 2).data(Qt::BackgroundRole).value<QColor>(), QColor(Qt::red));
    }

    void sortMovesWholeRows_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QStringList>("expected");
        const QStringList mixed{"10", "b", "2", "B", "10x"};
        QTest::newRow("numeric ascending") << 3 << mixed << QStringList{"b", "B", "2", "10", "10x"};
        QTest::newRow("numeric descending") << 4 << mixed << QStringList{"10", "10x", "2", "b", "B"};
        QTest::newRow("text ascending") << 7 << mixed << QStringList{"10", "10x", "2", "b", "B"};
        QTest::newRow("text descending") << 8 << mixed << QStringList{"B", "b", "2", "10x", "10"};
        // Chinese text in pinyin order, not by code: 张 5F20, 李 674E, 王 738B, 赵 8D75, 陈 9648.
        const QStringList names{"张", "李", "王", "赵", "陈", "张三", "李四"};
        QTest::newRow("pinyin") << 7 << names << QStringList{"陈", "李", "李四", "王", "张", "张三", "赵"};
    }

    void sortMovesWholeRows()
    {
        QFETCH(int, mode);
        QFETCH(QStringList, values);
        QFETCH(QStringList, expected);
        Grid grid;
        layOut(grid, 2 + int(values.size()), 3);
        for (int i = 0; i < values.size(); ++i) {
            grid.setTextMatrix(2 + i, 2, values.at(i));
            grid.setTextMatrix(2 + i, 0, values.at(i) + QStringLiteral("-key"));
        }
        grid.setRow(2);
        grid.setCol(2);
        grid.setSort(mode);
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(grid.TextMatrix(2 + i, 2), expected.at(i));
            QCOMPARE(grid.TextMatrix(2 + i, 0), expected.at(i) + QStringLiteral("-key"));
        }
        QCOMPARE(grid.TextMatrix(1, 2), QStringLiteral("1,2")); // headers stay
    }

    void currentCellAndRange()
    {
        Grid grid;
        grid.resize(400, 300);
        layOut(grid, 12, 4);
        grid.setRow(3);
        grid.setCol(2);
        grid.setRowSel(6);
        QCOMPARE(grid.Row(), 3);
        QCOMPARE(grid.RowSel(), 6);
        QCOMPARE(grid.selectionModel()->selectedIndexes().size(), 4);

        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        // A click in the cells or on a title reports its place in twips; hit-testing maps it back.
        QList<std::pair<int, int>> hits;
        connect(&grid, &Grid::mousePressed, this,
                [&](Qt::MouseButton, Qt::KeyboardModifiers, double x, double y) {
                    hits.append(grid.HitTest(x, y));
                });
        const QRect cell = grid.visualRect(grid.model()->index(2, 3));
        QTest::mouseClick(grid.windowHandle(), Qt::LeftButton, {},
                          grid.viewport()->mapTo(&grid, cell.center()));
        QHeaderView *header = grid.horizontalHeader();
        const int title = header->sectionViewportPosition(2) + 5;
        QTest::mouseClick(grid.windowHandle(), Qt::LeftButton, {}, header->mapTo(&grid, QPoint(title, 5)));
        QCOMPARE(hits, (QList<std::pair<int, int>>{{4, 3}, {1, 2}}));
        QCOMPARE(grid.Row(), 4);
        QCOMPARE(grid.Col(), 3);
        QCOMPARE(grid.HitTest(1e6, 1e6), (std::pair<int, int>{12, 4}));
        QCOMPARE(grid.TopRow(), 2);

        // A press on the edge between two titles drags the width; it is no click on a title.
        const double width = grid.ColWidth(2);
        const QPoint edge =
            header->mapTo(&grid, QPoint(header->sectionViewportPosition(2) + header->sectionSize(2) - 1, 5));
        QTest::mousePress(grid.windowHandle(), Qt::LeftButton, {}, edge);
        QTest::mouseMove(grid.windowHandle(), edge + QPoint(30, 0));
        QTest::mouseRelease(grid.windowHandle(), Qt::LeftButton, {}, edge + QPoint(30, 0));
        QCOMPARE(hits.size(), 2);
        QCOMPARE(grid.ColWidth(2), width + ToTwips(30));
    }

    // Scrolled sideways, the fixed columns stay at the left, over the others: they show there
    // and hit-testing finds them there. A current fixed cell scrolls no column away.
    void fixedColumnsStayInView()
    {
        QWidget window;
        auto *grid = new Grid(&window);
        grid->setGeometry(0, 0, 320, 240);
        layOut(*grid, 40, 12);
        for (int c = 1; c < grid->Cols(); ++c)
            grid->setColWidth(c, 900);
        grid->setColWidth(0, 0); // a hidden key column, as the lists have
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        const int edge = grid->horizontalHeader()->sectionPosition(2); // where the scrolling columns begin
        grid->setLeftCol(6);
        grid->setTopRow(20);
        QCOMPARE(grid->LeftCol(), 6);
        const double rowY = ToTwips(grid->horizontalHeader()->height() + grid->rowHeight(0) / 2);
        QCOMPARE(grid->HitTest(ToTwips(5), rowY), (std::pair<int, int>{20, 1}));
        QCOMPARE(grid->HitTest(ToTwips(edge + 5), rowY), (std::pair<int, int>{20, 6}));
        // In the blank right part of a fixed cell, the fixed columns' colour shows.
        const QImage image = grid->grab().toImage();
        const QPoint blank = grid->viewport()->mapTo(grid, QPoint(edge - 6, grid->rowHeight(0) / 2));
        QCOMPARE(QColor(image.pixel(blank)), grid->palette().button().color());

        grid->setRow(30);
        grid->setCol(3);
        QCOMPARE(grid->LeftCol(), 3); // clear of the fixed columns
        grid->setLeftCol(6);
        grid->setCol(1);
        QCOMPARE(grid->LeftCol(), 6);
    }
};

QTEST_MAIN(TestGrid)
#include "tst_grid.moc"
