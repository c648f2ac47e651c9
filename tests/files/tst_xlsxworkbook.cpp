#include "files/XlsxWorkbook.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <quazip.h>
#include <quazipfile.h>

#include <ctime>

using namespace quilla;

namespace {

using Parts = QList<QPair<QString, QByteArray>>;

bool writeZip(const QString &path, const Parts &parts)
{
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdCreate))
        return false;
    for (const auto &[name, bytes] : parts) {
        QuaZipFile file(&zip);
        if (!file.open(QIODevice::WriteOnly, QuaZipNewInfo(name)) || file.write(bytes) != bytes.size())
            return false;
        file.close();
    }
    zip.close();
    return zip.getZipError() == UNZ_OK;
}

Parts readZip(const QString &path)
{
    Parts parts;
    QuaZip zip(path);
    zip.open(QuaZip::mdUnzip);
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        QuaZipFile file(&zip);
        file.open(QIODevice::ReadOnly);
        parts.append({zip.getCurrentFileName(), file.readAll()});
    }
    return parts;
}

const QByteArray Main = R"(xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main")";

// A minimal workbook: sheets of the given <sheetData> contents, named Sheet1, Sheet2, ...
Parts minimalBook(const QList<QByteArray> &sheetData, const QByteArray &sharedStrings = {},
                  const QByteArray &styles = {}, const QByteArray &workbookPr = {})
{
    QByteArray sheets;
    QByteArray rels;
    Parts parts;
    for (int i = 1; i <= sheetData.size(); ++i) {
        const QByteArray n = QByteArray::number(i);
        sheets += "<sheet name=\"Sheet" + n + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
        rels += "<Relationship Id=\"rId" + n +
                "\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
                "2006/relationships/worksheet\" Target=\"worksheets/sheet" +
                n + ".xml\"/>";
        parts.append(
            {QStringLiteral("xl/worksheets/sheet%1.xml").arg(i),
             "<worksheet " + Main + "><sheetData>" + sheetData.at(i - 1) + "</sheetData></worksheet>"});
    }
    parts.append({"xl/workbook.xml", "<workbook " + Main +
                                         " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                                         "relationships\">" +
                                         workbookPr + "<sheets>" + sheets + "</sheets></workbook>"});
    parts.append({"xl/_rels/workbook.xml.rels", "<Relationships>" + rels + "</Relationships>"});
    if (!sharedStrings.isEmpty())
        parts.append({"xl/sharedStrings.xml", "<sst " + Main + ">" + sharedStrings + "</sst>"});
    if (!styles.isEmpty())
        parts.append({"xl/styles.xml", "<styleSheet " + Main + ">" + styles + "</styleSheet>"});
    return parts;
}

QByteArray inlineText(const QByteArray &reference, const QByteArray &text)
{
    return QByteArray("<c r=\"") + reference + "\" t=\"inlineStr\"><is><t>" + text + "</t></is></c>";
}

// Processor time of this thread: other programs sharing the machine do not count.
qint64 threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

} // namespace

class TestXlsxWorkbook : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_files = 0;

    std::unique_ptr<Workbook> open(const Parts &parts, int &error)
    {
        const QString path = m_dir.filePath(QStringLiteral("book%1.xlsx").arg(++m_files));
        if (!writeZip(path, parts))
            return nullptr;
        return openXlsxWorkbook(path, error);
    }

  private Q_SLOTS:
    void libreOfficeFile()
    {
        int error = -1;
        const auto book = openXlsxWorkbook(QFINDTESTDATA("data/sample_libreoffice.xlsx"), error);
        QCOMPARE(error, int(WorkbookOpened));
        QVERIFY(book);
        QCOMPARE(book->sheetNames(), QStringList({"参会名单", "Sheet2", "空白页"}));
        const QString list = QStringLiteral("参会名单");
        QCOMPARE(book->cellText(list, 1, 2), "姓名");
        QCOMPARE(book->cellText(list, 2, 1), "A001");
        QCOMPARE(book->cellText(list, 2, 3), "13800000001"); // a phone stored as a number
        QCOMPARE(book->cellText(list, 5, 3), "18600000004");
        QCOMPARE(book->cellText(list, 7, 3), "12.5");
        QCOMPARE(book->cellText(list, 3, 4), "销售,华南"); // rich text runs
        QCOMPARE(book->cellText(list, 4, 4), "含\"引号\"");
        QCOMPARE(book->cellText(list, 6, 4), "换行\n备注");
        QCOMPARE(book->cellText(list, 8, 2), ""); // the empty name
        QCOMPARE(book->cellText(list, 8, 4), "空姓名");
        QCOMPARE(book->cellText(list, 9, 1), "");
        QCOMPARE(book->cellText(list, 0, 1), "");
        QCOMPARE(book->lastRow(list), 8);
        QCOMPARE(book->cellText("Sheet2", 2, 1), "1");
        QCOMPARE(book->lastRow("Sheet2"), 2);
        QCOMPARE(book->lastRow("空白页"), 0);
        QCOMPARE(book->lastRow("没有"), 0);
        QCOMPARE(book->cellText("没有", 1, 1), "");
    }

    void stringsOfEveryKind()
    {
        const QByteArray strings =
            "<si><t>普通</t></si>"
            "<si><r><rPr><b/></rPr><t>粗</t></r><r><t xml:space=\"preserve\"> 体 </t></r>"
            "<rPh sb=\"0\" eb=\"1\"><t>ふ</t></rPh></si>"
            "<si><t>&#x20000;_x000D_</t></si>";
        const QByteArray data =
            "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
            "<c r=\"C1\" t=\"s\"><v>2</v></c><c r=\"D1\" t=\"s\"><v>9</v></c></row><row r=\"2\">" +
            inlineText("A2", "内联&#x20000;") +
            "<c r=\"B2\" t=\"inlineStr\"><is><r><t>富</t></r><r><t>文本</t></r></is></c>"
            "<c r=\"C2\" t=\"str\"><f>A2&amp;\"x\"</f><v>结果</v></c><c "
            "r=\"D2\"><f>1+1</f><v>2</v></c></row>";
        int error = -1;
        const auto book = open(minimalBook({data}, strings), error);
        QCOMPARE(error, int(WorkbookOpened));
        const QString ideograph = QString::fromUcs4(U"\U00020000");
        QCOMPARE(book->cellText("Sheet1", 1, 1), "普通");
        QCOMPARE(book->cellText("Sheet1", 1, 2), "粗 体 ");
        QCOMPARE(book->cellText("Sheet1", 1, 3), ideograph + u'\r');
        QCOMPARE(book->cellText("Sheet1", 1, 4), ""); // no such shared string
        QCOMPARE(book->cellText("Sheet1", 2, 1), "内联" + ideograph);
        QCOMPARE(book->cellText("Sheet1", 2, 2), "富文本");
        QCOMPARE(book->cellText("Sheet1", 2, 3), "结果");
        QCOMPARE(book->cellText("Sheet1", 2, 4), "2");
    }

    // The XML forms a cell's text may take; damage refuses the file.
    void xmlForms_data()
    {
        QTest::addColumn<QByteArray>("cell");
        QTest::addColumn<QString>("text"); // "!": the file is refused
        QTest::newRow("references") << QByteArray("<is><t>&lt;&amp;&gt;&quot;&apos;&#65;&#x4E00;</t></is>")
                                    << QStringLiteral("<&>\"'A一");
        QTest::newRow("CDATA and a comment")
            << QByteArray("<is><t>a<![CDATA[<b>&amp;]]><!-- c -->d</t></is>") << QStringLiteral("a<b>&amp;d");
        QTest::newRow("blanks kept") << QByteArray("<is><t xml:space='preserve'> a\n</t ></is>")
                                     << QStringLiteral(" a\n");
        QTest::newRow("'>' in an attribute")
            << QByteArray("<is><t x=\"a>b\">x</t></is>") << QStringLiteral("x");
        QTest::newRow("markup between tags")
            << QByteArray("<!--<c>--><?x <c>?><![CDATA[<v>]]><is><t>x</t></is>") << QStringLiteral("x");
        QTest::newRow("unknown entity") << QByteArray("<is><t>&nbsp;</t></is>") << QStringLiteral("!");
        QTest::newRow("crossed tags") << QByteArray("<is><t>a</is></t>") << QStringLiteral("!");
        QTest::newRow("element inside the text")
            << QByteArray("<is><t>a<b/>c</t></is>") << QStringLiteral("!");
        QTest::newRow("'<' in an attribute")
            << QByteArray("<is><t x=\"<\">a</t></is>") << QStringLiteral("!");
    }
    void xmlForms()
    {
        QFETCH(QByteArray, cell);
        QFETCH(QString, text);
        int error = -1;
        // Far enough in that the cell lies across two of the pieces the scanner reads.
        QByteArray rows;
        for (int row = 1; rows.size() < (1 << 18) - 150; ++row)
            rows += "<row r=\"" + QByteArray::number(row) + "\"><c><v>1</v></c></row>";
        rows += "<row r=\"30000\"><c t=\"inlineStr\">" + cell + "</c></row>";
        const auto book = open(minimalBook({rows}), error);
        QCOMPARE(error, text == u"!" ? int(NotAWorkbook) : int(WorkbookOpened));
        if (book)
            QCOMPARE(book->cellText("Sheet1", 30000, 1), text);
    }

    // Past what the opening keeps of the first cells, they are read from the file again.
    void firstCellsPastTheBudget()
    {
        QByteArray rows;
        for (int row = 1; row <= 32; ++row)
            rows += "<row>" + QByteArray("<c t=\"s\"><v>0</v></c>").repeated(64) + "</row>";
        int error = -1;
        const auto book = open(minimalBook({rows}, "<si><t>" + QByteArray(2100, 'x') + "</t></si>"), error);
        QVERIFY(book);
        QCOMPARE(book->cellText("Sheet1", 32, 64), QString(2100, u'x'));
    }

    void numbersDatesBooleansErrors()
    {
        // cellStyleXfs come first and must not shift the cell styles.
        const QByteArray styles =
            "<numFmts><numFmt numFmtId=\"164\" formatCode=\"yyyy&quot;年&quot;m&quot;月&quot;\"/>"
            "<numFmt numFmtId=\"165\" formatCode=\"0.0&quot;d&quot;\"/>"
            "<numFmt numFmtId=\"166\" formatCode=\"[Red]0\"/></numFmts>"
            "<cellStyleXfs><xf numFmtId=\"14\"/></cellStyleXfs><cellXfs><xf numFmtId=\"0\"/>"
            "<xf numFmtId=\"14\"/><xf numFmtId=\"164\"/><xf numFmtId=\"165\"/>"
            "<xf numFmtId=\"166\"/></cellXfs>";
        const QByteArray data =
            "<row r=\"1\"><c r=\"A1\" s=\"0\"><v>45292</v></c><c s=\"1\"><v>45292.75</v></c>"
            "<c s=\"2\"><v>45292</v></c><c s=\"3\"><v>45292</v></c><c s=\"4\"><v>45292</v></c>"
            "<c t=\"d\"><v>2024-03-05T00:00:00</v></c></row>"
            "<row r=\"2\"><c t=\"n\"><v>1E+020</v></c><c><v>13812345678</v></c>"
            "<c><v>0.30000000000000004</v></c><c><v>-7</v></c></row>"
            "<row r=\"3\"><c t=\"b\"><v>1</v></c><c t=\"b\"><v>0</v></c>"
            "<c t=\"e\"><f>1/0</f><v>#DIV/0!</v></c></row>"
            "<row r=\"4\"><c r=\"A4\" s=\"1\"/></row>"; // a style is no value
        int error = -1;
        const auto book = open(minimalBook({data}, {}, styles), error);
        QCOMPARE(error, int(WorkbookOpened));
        const QStringList expected = {"45292", "2024-01-01", "2024-01-01",     "45292",
                                      "45292", "2024-03-05", numberToText(1e20), "13812345678",
                                      "0.3",   "-7",         "TRUE",           "FALSE",
                                      ""};
        const int widths[] = {6, 4, 3};
        int at = 0;
        for (int row = 1; row <= 3; ++row)
            for (int column = 1; column <= widths[row - 1]; ++column)
                QCOMPARE(book->cellText("Sheet1", row, column), expected.at(at++));
        QCOMPARE(book->lastRow("Sheet1"), 3);

        const auto book1904 = open(
            minimalBook({"<row><c s=\"1\"><v>0</v></c></row>"}, {}, styles, "<workbookPr date1904=\"1\"/>"),
            error);
        QCOMPARE(book1904->cellText("Sheet1", 1, 1), "1904-01-01");
    }

    void positionsAndPaths()
    {
        // Rows and cells without references follow their predecessors; gaps stay empty.
        const QByteArray data =
            "<row>" + inlineText("", "a") + "<c/><c><v>3</v></c></row>" +
            "<row r=\"5\"><c r=\"C5\"><v>1</v></c><c><v>2</v></c></row><row><c><v>7</v></c></row>" +
            "<row r=\"3\"><c r=\"B3\"><v>5</v></c><c r=\"B3\"><v>6</v></c></row>"; // late, and twice
        int error = -1;
        Parts parts = minimalBook({data, "<row r=\"2\"><c r=\"B2\"><v>9</v></c></row>"});
        // The second sheet comes first, through an absolute target and prefixed elements.
        parts[1] = {
            "xl/worksheets/other.xml",
            "<x:worksheet xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><x:sheetData>"
            "<x:row r=\"2\"><x:c r=\"B2\"><x:v>9</x:v></x:c></x:row></x:sheetData></x:worksheet>"};
        parts[2]
            .second.replace("<sheet name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/>", "")
            .replace("</sheets>", "<sheet name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/></sheets>");
        parts[3].second.replace("worksheets/sheet2.xml", "/xl/worksheets/other.xml");
        const auto book = open(parts, error);
        QCOMPARE(error, int(WorkbookOpened));
        QCOMPARE(book->sheetNames(), QStringList({"Sheet2", "Sheet1"}));
        QCOMPARE(book->cellText("Sheet1", 1, 1), "a");
        QCOMPARE(book->cellText("Sheet1", 1, 2), "");
        QCOMPARE(book->cellText("Sheet1", 1, 3), "3");
        QCOMPARE(book->cellText("Sheet1", 3, 3), "");
        QCOMPARE(book->cellText("Sheet1", 3, 2), "6");
        QCOMPARE(book->cellText("Sheet1", 5, 3), "1");
        QCOMPARE(book->cellText("Sheet1", 5, 4), "2");
        QCOMPARE(book->cellText("Sheet1", 6, 1), "7");
        QCOMPARE(book->lastRow("Sheet1"), 6);
        QCOMPARE(book->cellText("Sheet2", 2, 2), "9");

        // Rows out of order are given in order, blank ones too, only the asked columns.
        QList<QStringList> rows;
        QVERIFY(book->readRows("Sheet1", 2, 100, {2, 4}, [&](int row, const QStringList &texts) {
            rows.append(QStringList{QString::number(row)} + texts);
            return true;
        }));
        QCOMPARE(rows, (QList<QStringList>{
                           {"2", "", ""}, {"3", "6", ""}, {"4", "", ""}, {"5", "", "2"}, {"6", "", ""}}));
        // A file changed since it was opened reads as empty.
        QVERIFY(
            writeZip(m_dir.filePath(QStringLiteral("book%1.xlsx").arg(m_files)), minimalBook({data + data})));
        QVERIFY(!book->readRows("Sheet1", 1, 1, {1}, [](int, const QStringList &) { return true; }));
        QCOMPARE(book->cellText("Sheet1", 1, 1), "");
    }

    // Data in rows 2..11 and =IF(A2="","",…) dragged down to row 50, as LibreOffice
    // saves it: the empty results are no rows.
    void formulaTextsDraggedDown()
    {
        QByteArray data = "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>编号</t></is></c></row>";
        for (int r = 2; r <= 50; ++r) {
            const QByteArray n = QByteArray::number(r);
            data += "<row r=\"" + n + "\" customFormat=\"false\" ht=\"12.8\">";
            if (r <= 11)
                data += inlineText("A" + n, "A" + n);
            data += "<c r=\"B" + n + "\" s=\"0\" t=\"str\"><f aca=\"false\">IF(A" + n +
                    "=&quot;&quot;,&quot;&quot;,&quot;人&quot;&amp;A" + n + ")</f><v>" +
                    (r <= 11 ? "人A" + n : QByteArray()) + "</v></c></row>";
        }
        int error = -1;
        const auto book = open(minimalBook({data}), error);
        QCOMPARE(error, int(WorkbookOpened));
        QCOMPARE(book->lastRow("Sheet1"), 11);
        QCOMPARE(book->cellText("Sheet1", 11, 2), "人A11");
    }

    void largeSheetOpensQuickly()
    {
        QByteArray data;
        data.reserve(40 << 20);
        for (int row = 1; row <= 65536; ++row) {
            data += "<row r=\"" + QByteArray::number(row) + "\"><c t=\"s\"><v>" +
                    QByteArray::number(row % 2) + "</v></c>";
            for (int column = 2; column <= 10; ++column)
                data += "<c><v>" + QByteArray::number(13800000000LL + row * 10 + column) + "</v></c>";
            data += "</row>";
        }
        const QString path = m_dir.filePath(QStringLiteral("large.xlsx"));
        QVERIFY(writeZip(path, minimalBook({data}, "<si><t>偶</t></si><si><t>奇</t></si>")));
        QElapsedTimer timer;
        timer.start();
        const qint64 cpuStart = threadCpuMs();
        int error = -1;
        const auto book = openXlsxWorkbook(path, error);
        const qint64 elapsed = threadCpuMs() - cpuStart;
        qInfo("65536 x 10 cells opened in %lld ms of processor time, %lld ms in all", elapsed,
              timer.elapsed());
        QCOMPARE(error, int(WorkbookOpened));
        QCOMPARE(book->lastRow("Sheet1"), 65536);
        QCOMPARE(book->cellText("Sheet1", 65535, 1), "奇");
        QCOMPARE(book->cellText("Sheet1", 65536, 10), "13800655370");
        QVERIFY2(elapsed < 2000, qPrintable(QString::number(elapsed)));
    }

    void notWorkbooks()
    {
        int error = -1;
        QVERIFY(!openXlsxWorkbook(m_dir.filePath(QStringLiteral("missing.xlsx")), error));
        QCOMPARE(error, int(CannotOpenFile));
        QVERIFY(!openXlsxWorkbook(m_dir.path(), error));
        QCOMPARE(error, int(CannotOpenFile));

        const QString text = m_dir.filePath(QStringLiteral("list.xlsx"));
        QFile file(text);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("编号,姓名\nA001,赵一\n");
        file.close();
        QVERIFY(!openXlsxWorkbook(text, error));
        QCOMPARE(error, int(NotAWorkbook));

        QVERIFY(!open({{"word/document.xml", "<document/>"}}, error));
        QCOMPARE(error, int(NotAWorkbook));
        // Malformed XML in a sheet is damage, not a shorter list.
        Parts parts = minimalBook({"<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"});
        parts[0].second.chop(20);
        QVERIFY(!open(parts, error));
        QCOMPARE(error, int(NotAWorkbook));
    }

    void damagedCopiesNeverCrash()
    {
        QFile fixture(QFINDTESTDATA("data/sample_libreoffice.xlsx"));
        QVERIFY(fixture.open(QIODevice::ReadOnly));
        const QByteArray original = fixture.readAll();
        const Parts parts = readZip(fixture.fileName());
        QCOMPARE(parts.size(), 12);
        QRandomGenerator random(20240601);
        const auto spoil = [&random](QByteArray bytes) {
            if (random.bounded(3) == 0)
                return bytes.left(random.bounded(bytes.size()));
            for (int flips = 1 + random.bounded(8); flips > 0; --flips)
                bytes[random.bounded(bytes.size())] ^= char(1 << random.bounded(8));
            return bytes;
        };
        const QString path = m_dir.filePath(QStringLiteral("damaged.xlsx"));
        QElapsedTimer timer;
        timer.start();
        int opened = 0;
        for (int i = 0; i < 3000; ++i) {
            if (i % 3 == 0) { // damage inside a sound zip reaches the XML readers
                Parts damaged = parts;
                auto &part = damaged[random.bounded(damaged.size())].second;
                part = spoil(part);
                QVERIFY(writeZip(path, damaged));
            } else {
                QFile file(path);
                QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
                file.write(spoil(original));
            }
            int error = -1;
            const auto book = openXlsxWorkbook(path, error);
            QVERIFY(error == WorkbookOpened || error == NotAWorkbook);
            QCOMPARE(bool(book), error == WorkbookOpened);
            if (book) {
                ++opened;
                for (const QString &sheet : book->sheetNames())
                    for (int row = 0; row <= book->lastRow(sheet) + 1 && row < 100; ++row)
                        book->cellText(sheet, row, 1 + row % 5);
            }
        }
        qInfo("%d of 3000 damaged copies opened, %lld ms", opened, timer.elapsed());
        QVERIFY(timer.elapsed() < 60000);
    }
};

QTEST_GUILESS_MAIN(TestXlsxWorkbook)
#include "tst_xlsxworkbook.moc"
