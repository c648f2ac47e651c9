#include "files/Workbook.h"
#include "lists/GridExport.h"
#include "lists/RecordModel.h"
#include "lists/RecordView.h"
#include "support/DrawFixture.h"
#include "support/Gb18030Bytes.h"
#include "support/RecordingProgress.h"

#include <QFile>
#include <QTest>

using namespace quilla;

namespace {

// The results list as the management window lays it out.
struct Results : DrawFixture
{
    Results()
        : model(db, QStringLiteral("结果表"),
                {{QStringLiteral("获得奖项"), QStringLiteral("(SELECT 名称 FROM 奖项表 WHERE 奖项表.ID=结果表.WID)")},
                 {QStringLiteral("奖品"), QStringLiteral("(SELECT 奖品 FROM 奖项表 WHERE 奖项表.ID=结果表.WID)")},
                 {QStringLiteral("抽奖号码"), QStringLiteral("号码")},
                 {QStringLiteral("姓名"), QStringLiteral("姓名")}},
                QStringLiteral("ID"))
    {
        const qint64 draw = addDraw();
        const qint64 prize =
            addPrize(draw, 1, QStringLiteral("一等奖"), 3, 3, false, QStringLiteral("电视机\n55寸"));
        addResult(draw, prize, QStringLiteral("1001"), QStringLiteral("张, 三"));
        addResult(draw, prize, QStringLiteral("1002"), QStringLiteral("李\"四\""));
        view.setRecordModel(&model, true);
        model.setFilter(Sql("TRUE"));
    }

    bool exportTo(const QString &path, const QString &selected = QString())
    {
        return exportView(view, prompt, progress, QStringLiteral("Quilla抽奖"), nullptr,
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
    RecordModel model;
    RecordView view;
};

} // namespace

class TestGridExport : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void onlyWhatTheListShows()
    {
        Results r;
        const ExportTable table = tableOfView(r.view);
        QCOMPARE(table.headerRows, 1);
        QCOMPARE(table.rows.size(), 3);
        QCOMPARE(table.rows.first(), (QStringList{"序号", "获得奖项", "奖品", "抽奖号码", "姓名"}));
        QCOMPARE(table.widths.size(), 5);

        const QString path = r.dir.filePath(QStringLiteral("结果.CSV"));
        QVERIFY(r.exportTo(path));
        QCOMPARE(r.prompt.messages, QStringList{QStringLiteral("已导出 2 条")});
        QCOMPARE(r.read(path), gb18030Bytes(u"序号,获得奖项,奖品,抽奖号码,姓名\r\n"
                                     u"1,一等奖,\"电视机\n55寸\",1001,\"张, 三\"\r\n"
                                     u"2,一等奖,\"电视机\n55寸\",1002,\"李\"\"四\"\"\"\r\n"));
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
        QVERIFY(old.open(QIODevice::ReadWrite));
#ifdef Q_OS_WIN
        // Windows replaces no file another program holds open: the operator hears why,
        // and the file stays as it was.
        QVERIFY(!r.exportTo(path));
        QCOMPARE(r.prompt.messages.last(), QStringLiteral("文件正被其他程序打开，请关闭后再保存"));
        QCOMPARE(r.read(path), QByteArray("old"));
        old.close();
        r.prompt.answers = {true};
        QVERIFY(r.exportTo(path));
#else
        // Another program's open handle keeps no file from being replaced here.
        QVERIFY(r.exportTo(path));
        old.close();
#endif
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
            const OpenedWorkbook opened = openWorkbook(r.dir.filePath(name));
            QVERIFY2(opened.book, qPrintable(name));
            QCOMPARE(opened.book->sheetNames(), QStringList{QStringLiteral("Quilla抽奖")});
            QCOMPARE(opened.book->cellText(QStringLiteral("Quilla抽奖"), 1, 1), QStringLiteral("序号"));
            QCOMPARE(opened.book->cellText(QStringLiteral("Quilla抽奖"), 3, 5), QStringLiteral("李\"四\""));
        }
    }

    void anEmptyListGivesItsTitles()
    {
        Results r;
        r.model.setFilter(Sql("FALSE"));
        const QString path = r.dir.filePath(QStringLiteral("空.csv"));
        QVERIFY(r.exportTo(path));
        QCOMPARE(r.read(path), gb18030Bytes(u"序号,获得奖项,奖品,抽奖号码,姓名\r\n"));
    }

    // A long list is read as it is scrolled; a sort keeps the selected records selected, and
    // an export reads every row.
    void aLongListIsReadAsItIsScrolled()
    {
        DrawFixture f;
        const qint64 draw = f.addDraw();
        f.addParticipants(draw, 1000);
        f.addParticipant(draw, QStringLiteral("10"), QStringLiteral("十"));
        f.addParticipant(draw, QStringLiteral("9"), QStringLiteral("九"));
        RecordModel model(f.db, QStringLiteral("号码表"), {{QStringLiteral("抽奖号码"), QStringLiteral("号码")}},
                          QStringLiteral("ID DESC"));
        RecordView view;
        view.setRecordModel(&model, true);
        model.setFilter(Sql("CID=") + Sql::number(draw));
        QCOMPARE(model.totalCount(), 1002);
        QCOMPARE(model.rowCount(), 1002);
        QVERIFY(model.needsReading());
        view.selectRow(0); // 9
        model.sort(0, Qt::AscendingOrder); // digits by value: 9 before 10 before 1001
        QCOMPARE(model.textAt(0, 0), QStringLiteral("9"));
        QCOMPARE(model.textAt(1, 0), QStringLiteral("10"));
        QCOMPARE(view.selectedKeys(), QList<qint64>{model.keyAt(0)});
        const ExportTable table = tableOfView(view);
        QCOMPARE(table.rows.size(), 1003);
        QCOMPARE(table.rows.last(), (QStringList{QStringLiteral("1002"), QStringLiteral("2000")}));
    }
};

QTEST_MAIN(TestGridExport)
#include "tst_gridexport.moc"
