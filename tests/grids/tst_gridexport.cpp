#include "files/Workbook.h"
#include "grids/GridExport.h"
#include "grids/GridPresenter.h"
#include "platform/Grid.h"
#include "support/DrawFixture.h"
#include "support/RecordingProgress.h"

#include <QFile>
#include <QStringDecoder>
#include <QTest>

using namespace quilla;

namespace {

// The results grid as the management window lays it out: keys hidden, "序号" first shown.
struct Results : DrawFixture
{
    Results() : presenter(db, progress, nullptr)
    {
        const qint64 draw = addDraw();
        const qint64 prize =
            addPrize(draw, 1, QStringLiteral("一等奖"), 3, 3, false, QStringLiteral("电视机\n55寸"));
        addResult(draw, prize, QStringLiteral("1001"), QStringLiteral("张, 三"));
        addResult(draw, prize, QStringLiteral("1002"), QStringLiteral("李\"四\""));
        GridPresenter::SetGridHeadings(
            grid, {"ID", "CID", "", "WID:奖项表:ID:名称", "WID:奖项表:ID:奖品", "号码", "姓名"},
            {"ID", "CID", "序号", "获得奖项", "奖品", "抽奖号码", "姓名"});
        grid.setFixedCols(3);
        grid.setTag(QStringLiteral("结果表"));
        presenter.FillGrid(grid, Sql(), Sql("ID"), false);
    }

    bool exportTo(const QString &path, const QString &selected = QString())
    {
        return ExportGrid(grid, prompt, progress, QStringLiteral("Quilla抽奖"), nullptr,
                          [&](const QString &, QString *filter) {
                              *filter = selected;
                              return path;
                          });
    }

    QByteArray read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    RecordingProgress progress;
    GridPresenter presenter;
    Grid grid;
};

} // namespace

class TestGridExport : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void onlyWhatTheGridShows()
    {
        Results r;
        const ExportTable table = TableOfGrid(r.grid);
        QCOMPARE(table.headerRows, 1);
        QCOMPARE(table.rows.size(), 3);
        QCOMPARE(table.rows.first(), (QStringList{"序号", "获得奖项", "奖品", "抽奖号码", "姓名"}));
        QCOMPARE(table.widths.size(), 5);

        const QString path = r.dir.filePath(QStringLiteral("结果.CSV"));
        QVERIFY(r.exportTo(path));
        const QString text = QStringDecoder("GB18030").decode(r.read(path));
        QCOMPARE(text, QStringLiteral("序号,获得奖项,奖品,抽奖号码,姓名\r\n"
                                      "1,一等奖,\"电视机\n55寸\",1001,\"张, 三\"\r\n"
                                      "2,一等奖,\"电视机\n55寸\",1002,\"李\"\"四\"\"\"\r\n"));
    }

    void replacingAFileAsksFirst()
    {
        Results r;
        const QString path = r.dir.filePath(QStringLiteral("结果.csv"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        QVERIFY(!r.exportTo(path)); // No
        QCOMPARE(r.prompt.questions, QStringList{QStringLiteral("该文件已存在，是否覆盖？")});
        QCOMPARE(r.read(path), QByteArray("old"));
        r.prompt.answers = {true};
        QVERIFY(r.exportTo(path));
        QVERIFY(r.read(path) != QByteArray("old"));

        // A file that cannot be written leaves nothing half done and says so.
        QVERIFY(!r.exportTo(r.dir.filePath(QStringLiteral("无此目录/结果.csv"))));
        QCOMPARE(r.prompt.messages.last(), QStringLiteral("文件保存出错！"));
    }

    // A name without extension takes the chosen filter's; workbooks read back.
    void workbooksByExtension()
    {
        Results r;
        const QString base = r.dir.filePath(QStringLiteral("结果"));
        QVERIFY(r.exportTo(base, QStringLiteral("Excel 工作簿 (*.xlsx)")));
        QVERIFY(r.exportTo(r.dir.filePath(QStringLiteral("结果.txt"))));
        // .xlsx from the filter; .txt is neither CSV nor .xlsx, so it is written as an .xls workbook.
        for (const QString &name : {QStringLiteral("结果.xlsx"), QStringLiteral("结果.txt")}) {
            const OpenedWorkbook opened = OpenWorkbook(r.dir.filePath(name));
            QVERIFY2(opened.book, qPrintable(name));
            QCOMPARE(opened.book->sheetNames(), QStringList{QStringLiteral("Quilla抽奖")});
            QCOMPARE(opened.book->cellText(QStringLiteral("Quilla抽奖"), 1, 1), QStringLiteral("序号"));
            QCOMPARE(opened.book->cellText(QStringLiteral("Quilla抽奖"), 3, 5), QStringLiteral("李\"四\""));
        }
    }

    void anEmptyGridGivesItsTitles()
    {
        Results r;
        r.grid.setRows(2);
        const QString path = r.dir.filePath(QStringLiteral("空.csv"));
        QVERIFY(r.exportTo(path));
        QCOMPARE(QStringDecoder("GB18030").decode(r.read(path)),
                 QStringLiteral("序号,获得奖项,奖品,抽奖号码,姓名\r\n"));
    }
};

QTEST_MAIN(TestGridExport)
#include "tst_gridexport.moc"
