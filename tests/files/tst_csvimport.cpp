#include "support/Gb18030Bytes.h"
#include "support/WineGaps.h"
#include "support/RecordingProgress.h"
#include "support/TempDatabase.h"
#include "system/ProcessUsage.h"

#include "files/CsvReader.h"
#include "files/Importer.h"
#include "files/TextDecoding.h"
#include "files/Workbook.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTest>

using namespace quilla;

using Rows = QList<QStringList>;

namespace {

const QString DataFolder = QStringLiteral(CSV_DATA);

// A workbook held in memory: cells by sheet, row and column.
class FakeWorkbook : public Workbook
{
  public:
    QStringList sheetNames() const override { return m_cells.keys(); }
    QString cellText(const QString &sheet, int row, int column) const override
    {
        return m_cells.value(sheet).value(row).value(column - 1);
    }
    int lastRow(const QString &sheet) const override
    {
        const auto rows = m_cells.value(sheet);
        return rows.isEmpty() ? 0 : rows.lastKey();
    }
    void setRow(const QString &sheet, int row, const QStringList &cells) { m_cells[sheet][row] = cells; }

  private:
    QMap<QString, QMap<int, QStringList>> m_cells;
};

} // namespace

class TestCsvImport : public QObject
{
    Q_OBJECT

  private:
    QString write(TempDatabase &t, const QByteArray &bytes, const QString &name = QStringLiteral("名单.csv"))
    {
        const QString path = t.dir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write the test file");
        return path;
    }
    qint64 addDraw(TempDatabase &t)
    {
        Query rs = t.db.openQuery(Sql("SELECT * FROM 奖次表 WHERE FALSE"));
        rs.addNew();
        rs.setValue(u"抽奖内容", QStringLiteral("年会"));
        rs.save();
        return rs.number(u"ID");
    }
    // The participants of a draw as (号码, 姓名), in the order they were added.
    Rows participants(TempDatabase &t, qint64 drawId)
    {
        Rows rows;
        Query rs = t.db.openQuery(Sql("SELECT * FROM 号码表 WHERE CID=") + Sql::number(drawId) +
                                  Sql(" ORDER BY ID"));
        for (; !rs.atEnd(); rs.next())
            rows.append({rs.text(u"号码"), rs.text(u"姓名")});
        return rows;
    }
    Rows importText(const QByteArray &bytes, int first, int last, const QStringList &mapping)
    {
        TempDatabase t;
        RecordingProgress progress;
        const qint64 draw = addDraw(t);
        const int code = importCsvRows(t.db, progress, draw, write(t, bytes), first, last, mapping);
        if (code != ImportDone || !t.prompt.messages.isEmpty())
            qWarning() << "import failed:" << code << t.prompt.messages;
        return participants(t, draw);
    }

  private Q_SLOTS:
    void readsRecords_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Rows>("records");
        QTest::newRow("plain") << "a,b\r\nc,d\r\n" << Rows{{"a", "b"}, {"c", "d"}};
        QTest::newRow("last line without end") << "a,b\r\nc" << Rows{{"a", "b"}, {"c"}};
        QTest::newRow("quoted comma") << "a,\"b,c\",d" << Rows{{"a", "b,c", "d"}};
        QTest::newRow("quotes inside a field") << "ab\"c,d\"e,f" << Rows{{"abc,de", "f"}};
        QTest::newRow("doubled quotes") << "1,\"He said \"\"hi\"\"\"" << Rows{{"1", "He said \"hi\""}};
        QTest::newRow("two quotes are one quote") << "\"\",\"\"" << Rows{{"\"", "\""}};
        QTest::newRow("doubled quote outside") << "a\"\"b" << Rows{{"a\"b"}};
        QTest::newRow("quoted LF") << "1,\"换行\n备注\",x\n2" << Rows{{"1", "换行//备注", "x"}, {"2"}};
        QTest::newRow("quoted CR LF") << "1,\"a\r\nb\"\r\n2" << Rows{{"1", "a//b"}, {"2"}};
        QTest::newRow("quoted CR") << "1,\"a\rb\"\r2" << Rows{{"1", "a//b"}, {"2"}};
        QTest::newRow("LF ends") << "a\nb\n" << Rows{{"a"}, {"b"}};
        QTest::newRow("CR ends") << "a\rb\r" << Rows{{"a"}, {"b"}};
        QTest::newRow("empty lines") << "a\r\n\r\n\nb\r\n\r\n" << Rows{{"a"}, {""}, {""}, {"b"}, {""}};
        QTest::newRow("empty fields") << ",,\r\n" << Rows{{"", "", ""}};
        QTest::newRow("unclosed at the end") << "a,\"b,c\r\nd" << Rows{{"a", "b,c//d"}};
        QTest::newRow("lone quote at the end") << "a\n\"" << Rows{{"a"}, {""}};
        QTest::newRow("nothing") << "" << Rows{};
    }
    void readsRecords()
    {
        QFETCH(QString, text);
        QFETCH(Rows, records);
        CsvReader reader(text);
        Rows read;
        QStringList fields;
        while (reader.next(fields) && read.size() <= records.size())
            read.append(fields);
        QCOMPARE(read, records);
    }

    // The default range of the mapping window: the records the import reads.
    void countsRecords_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("records");
        QTest::newRow("CR LF") << QByteArray("a,b\r\nc,d\r\n") << 2;
        QTest::newRow("no last line end") << QByteArray("a\nb\nc") << 3;
        QTest::newRow("lone CR") << QByteArray("a\rb\r") << 2;
        QTest::newRow("break inside quotes") << QByteArray("1,\"x\r\ny\"\r\n2,z\r\n") << 2;
        QTest::newRow("empty lines count") << QByteArray("a\r\n\r\nb\r\n") << 3;
        QTest::newRow("empty file") << QByteArray() << 0;
        QTest::newRow("unclosed quote at the end") << QByteArray("a\n\"b\n") << 2;
        QTest::newRow("UTF-16 with CR only") << QByteArray("\xFF\xFE"
                                                           "a\0\r\0b\0\r\0c\0",
                                                           12)
                                             << 3;
    }

    void countsRecords()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, records);
        TempDatabase t;
        QCOMPARE(countCsvRecords(write(t, bytes)), records);
        const QString text = decodeText(bytes);
        CsvReader reader(text);
        QStringList fields;
        int read = 0;
        while (reader.next(fields))
            ++read;
        QCOMPARE(read, records); // the same count the reader comes to
    }

    // Generated files of every encoding, some cut inside their last character: the
    // count, the file read piece by piece and the whole text decoded at once agree.
    void countAgreesWithTheReader_data()
    {
        QTest::addColumn<QByteArray>("encoding");
        for (const char *name : {"UTF-8", "UTF-8 BOM", "UTF-16LE", "UTF-16BE", "GB18030"})
            QTest::newRow(name) << QByteArray(name);
    }
    void countAgreesWithTheReader()
    {
        QFETCH(QByteArray, encoding);
        if (encoding == "GB18030")
            SKIP_WITHOUT_GB18030_CODE_PAGE();
        const QString pieces[] = {"a",  "张",  QString::fromUcs4(U"\U00020000"), ",", "\"", "\"\"", "\r",
                                  "\n", "\r\n"};
        QRandomGenerator random(qHash(encoding));
        TempDatabase t;
        for (int i = 0; i < 300; ++i) {
            QString text;
            for (int n = random.bounded(60); n > 0; --n)
                text += pieces[random.bounded(9)];
            QByteArray bytes;
            if (encoding.startsWith("UTF-16")) {
                QStringEncoder encoder(encoding == "UTF-16LE" ? QStringEncoder::Utf16LE
                                                              : QStringEncoder::Utf16BE,
                                       QStringEncoder::Flag::WriteBom);
                bytes = encoder(text);
            } else if (encoding == "GB18030") {
                bytes = gb18030Bytes(text);
            } else {
                bytes = (encoding == "UTF-8 BOM" ? "\xEF\xBB\xBF" : "") + text.toUtf8();
            }
            if (random.bounded(2) && bytes.size() > 4)
                bytes.chop(1 + random.bounded(3));
            const QString path = write(t, bytes);
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            TextFileReader source(file);
            CsvReader streamed(source);
            const QString decoded = decodeText(bytes);
            CsvReader whole(decoded);
            int records = 0;
            for (QStringList a, b; streamed.next(a); ++records) {
                QVERIFY(whole.next(b));
                QCOMPARE(a, b);
            }
            QVERIFY(!whole.skip());
            QCOMPARE(countCsvRecords(path), records);
        }
    }

    // A character cut off at the end reads as U+FFFD.
    void cutLastCharacter_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("UTF-8") << QByteArray("1,\xE5\xBC\xA0,\xE5\xBC");
        QTest::newRow("GB18030") << QByteArray("1,\xD5\xC5,\xD5");
        QTest::newRow("GB18030 four bytes") << QByteArray("1,\xD5\xC5,\x95\x32\x82");
        QTest::newRow("UTF-16 odd byte") << QByteArray("\xFF\xFE"
                                                       "1\0,\0\x20\x5F,\0\x20",
                                                       11);
        QTest::newRow("UTF-16 half a pair") << QByteArray("\xFF\xFE"
                                                          "1\0,\0\x20\x5F,\0\x40\xD8",
                                                          12);
    }
    void cutLastCharacter()
    {
        QFETCH(QByteArray, bytes);
        if (QByteArray(QTest::currentDataTag()) == "GB18030 four bytes")
            SKIP_WITHOUT_GB18030_CODE_PAGE();
        QCOMPARE(decodeText(bytes), QStringLiteral("1,张,\uFFFD"));
        TempDatabase t;
        QFile file(write(t, bytes));
        QVERIFY(file.open(QIODevice::ReadOnly));
        TextFileReader source(file);
        CsvReader reader(source);
        QStringList fields;
        QVERIFY(reader.next(fields));
        QCOMPARE(fields, (QStringList{"1", "张", "\uFFFD"}));
    }

    void strayQuoteReadsInBoundedTime()
    {
        QByteArray bytes = "1,\"张三\r\n";
        for (int i = 0; i < 100'000; ++i)
            bytes += "10001,李四,13800000000\r\n";
        TempDatabase t;
        QFile file(write(t, bytes));
        QVERIFY(file.open(QIODevice::ReadOnly));
        // Processor time, not time on the clock: a loaded machine must not fail it.
        const double cpuStart = ownUsage().cpuSeconds;
        TextFileReader text(file);
        CsvReader reader(text);
        QStringList fields;
        QVERIFY(reader.next(fields));
        QStringList more;
        QVERIFY(!reader.next(more));
        const double cpu = ownUsage().cpuSeconds - cpuStart;
        QVERIFY2(cpu < 1.0, qPrintable(QString::number(cpu)));
        QCOMPARE(fields.size(), 2);
        QCOMPARE(fields[1].count(QStringLiteral("//")), 100'001); // every line end, the last one too
    }

    void importsRows_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<QStringList>("mapping");
        QTest::addColumn<Rows>("rows");
        QString tenRecords = QStringLiteral("号码,姓名\r\n");
        for (int i = 1; i <= 10; ++i)
            tenRecords += QStringLiteral("%1,人%1\r\n").arg(i);
        const Rows firstFour{{"1", "人1"}, {"2", "人2"}, {"3", "人3"}, {"4", "人4"}};

        QTest::newRow("quoted comma, literal item")
            << "a,\"b,c\",d" << 1 << 1 << QStringList{"A", "B,\"-\",C"} << Rows{{"a", "b,c-d"}};
        QTest::newRow("range after a header") << tenRecords << 2 << 5 << QStringList{"A", "B"} << firstFour;
        QTest::newRow("range past the end")
            << tenRecords << 10 << 1000 << QStringList{"A", "B"} << Rows{{"9", "人9"}, {"10", "人10"}};
        QTest::newRow("first below 1")
            << "1,x\r\n2,y" << -3 << 1 << QStringList{"A", "B"} << Rows{{"1", "x"}};
        QTest::newRow("last before first") << "1,x\r\n2,y" << 2 << 1 << QStringList{"A", "B"} << Rows{};
        QTest::newRow("empty lines count, add nothing")
            << "h\r\n1,x\r\n\r\n2,y\r\n3,z" << 2 << 4 << QStringList{"A", "B"}
            << Rows{{"1", "x"}, {"2", "y"}};
        QTest::newRow("multi-line record before the range")
            << "h,\"a\r\nb\r\nc\"\r\n1,x\r\n2,y" << 2 << 2 << QStringList{"A", "B"} << Rows{{"1", "x"}};
        QTest::newRow("quoted line break")
            << "1,\"张\r\n三\"" << 1 << 1 << QStringList{"A", "B"} << Rows{{"1", "张//三"}};
        QTest::newRow("column letters") << "a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q,r,s,t,u,v,w,x,y,z,aa" << 1 << 1
                                        << QStringList{" aa ", "ABC,3,Ｂ,ZZ"} << Rows{{"aa", "ab"}};
        QTest::newRow("full-width commas and quotes")
            << "1,x" << 1 << 1 << QStringList{"，B，", "“<”,A,“>”"} << Rows{{"x", "<1>"}};
        QTest::newRow("empty and missing entries")
            << "1,x" << 1 << 1 << QStringList{"A, ,"} << Rows{{"1", ""}};
        QTest::newRow("numbers kept as text")
            << "0013800,1.50" << 1 << 1 << QStringList{"A", "B"} << Rows{{"0013800", "1.50"}};
        QTest::newRow("spaces of every kind trimmed")
            << QStringLiteral(" 1001\u3000,\u00A0张三 \t") << 1 << 1 << QStringList{"A", "B"}
            << Rows{{"1001", "张三"}};
    }
    void importsRows()
    {
        QFETCH(QString, text);
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(QStringList, mapping);
        QFETCH(Rows, rows);
        QCOMPARE(importText(text.toUtf8(), first, last, mapping), rows);
    }

    void lineEndsAllRead()
    {
        const QByteArray lines[] = {"1,甲", "2,\"乙\"", "", "3,丙"};
        const Rows expected{{"1", "甲"}, {"2", "乙"}, {"3", "丙"}};
        for (const char *end : {"\n", "\r", "\r\n"}) {
            QByteArray bytes;
            for (const QByteArray &line : lines)
                bytes += line + end;
            QCOMPARE(importText(bytes, 1, 10, {"A", "B"}), expected);
        }
    }

    void encodings_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("names");
        const QString common = QStringLiteral("1,张伟\r\n2,王芳\r\n3,欧阳娜娜");
        const QString rare = common + QStringLiteral("\r\n4,𠀀明"); // beyond GBK
        QTest::newRow("GBK") << gb18030Bytes(common) << common;
        QTest::newRow("GB18030") << gb18030Bytes(rare) << rare;
        QTest::newRow("UTF-8") << rare.toUtf8() << rare;
        QTest::newRow("UTF-8 with BOM") << "\xEF\xBB\xBF" + rare.toUtf8() << rare;
        QStringEncoder utf16(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
        QTest::newRow("UTF-16 with BOM") << QByteArray(utf16(rare)) << rare;
        // Valid UTF-8 well past the first piece read, GBK after it.
        const QString late = QStringLiteral("0,x\r\n").repeated(300'000) + common;
        QTest::newRow("GBK after 1.5 MB of ASCII") << gb18030Bytes(late) << late;
    }
    void encodings()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, names);
        if (QByteArray(QTest::currentDataTag()) == "GB18030")
            SKIP_WITHOUT_GB18030_CODE_PAGE();
        QCOMPARE(decodeText(bytes), names);
        Rows expected;
        for (const QString &line : names.split(QStringLiteral("\r\n")))
            expected.append(line.split(u','));
        QCOMPARE(importText(bytes, 1, 1'000'000, {"A", "B"}), expected);
    }

    void fixturesGiveTheSameRows()
    {
        const Rows expected{{"A001", "赵一/\""}, {"A002", "钱二/销售,华南"},  {"A003", "孙三/含\"引号\""},
                            {"A004", "李四/\""}, {"A005", "周五/换行//备注"}, {"A006", "吴六/小数"},
                            {"A007", "/空姓名"}};
        for (const char *name : {"sample_gbk.csv", "sample_utf8_bom.csv"}) {
            TempDatabase t;
            RecordingProgress progress;
            const qint64 draw = addDraw(t);
            QCOMPARE(importCsvRows(t.db, progress, draw, DataFolder + u'/' + QString::fromUtf8(name), 2, 100,
                                   {"A", "B,\"/\",D"}),
                     int(ImportDone));
            QCOMPARE(participants(t, draw), expected);
            QCOMPARE(progress.captions, QStringList{QStringLiteral("正在读取EXCEL数据……")});
            QCOMPARE(progress.totals, QList<int>{99});
            QCOMPARE(progress.steps, 7);
            QVERIFY(!progress.open);

            const Rows preview = previewCsv(DataFolder + u'/' + QString::fromUtf8(name), 2);
            QCOMPARE(preview,
                     (Rows{{"编号", "姓名", "手机", "备注"}, {"A001", "赵一", "13800000001", "\""}}));
        }
    }

    void previewShowsEmptyLinesEmpty()
    {
        TempDatabase t;
        const QString path = write(t, "a,b\r\n\r\nc\r\nd\r\n");
        QCOMPARE(previewCsv(path, 3), (Rows{{"a", "b"}, {}, {"c"}}));
        QCOMPARE(previewCsv(t.dir.filePath(QStringLiteral("none.csv")), 3), Rows{});
    }

    void refusals()
    {
        TempDatabase t;
        RecordingProgress progress;
        const qint64 draw = addDraw(t);
        const QString path = write(t, "1,x\r\n");
        QCOMPARE(importCsvRows(t.db, progress, 0, path, 1, 10, {"A", "B"}), int(ImportNoDraw));
        QCOMPARE(t.prompt.messages, QStringList{QStringLiteral("请先选择抽奖名称再导入数据！")});
        t.prompt.clear();
        QCOMPARE(importCsvRows(t.db, progress, draw, t.dir.filePath(QStringLiteral("无.csv")), 1, 10, {"A"}),
                 int(CannotOpenFile));
        QCOMPARE(
            importCsvRows(t.db, progress, draw, write(t, "1,x", QStringLiteral("名单.txt")), 1, 10, {"A"}),
            int(CannotOpenFile));
        QCOMPARE(t.prompt.messages, QStringList(2, QStringLiteral("文件打开错误！")));
        QCOMPARE(t.db.countRows(QStringLiteral("号码表"), Sql()), 0);
        QVERIFY(progress.captions.isEmpty());

        // Only the extension is compared without case.
        t.prompt.clear();
        const QString upper = write(t, "1,x\r\n", QStringLiteral("Wang/名单.CSV"));
        QCOMPARE(importCsvRows(t.db, progress, draw, upper, 1, 10, {"A", "B"}), int(ImportDone));
        QCOMPARE(participants(t, draw), (Rows{{"1", "x"}}));

        // A record too long to read refuses the whole file, rows before it too.
        t.prompt.clear();
        const QString endless = write(t, "2,y\r\n3," + QByteArray(CsvReader::MaxRecordLength + 10, 'z'));
        QCOMPARE(importCsvRows(t.db, progress, draw, endless, 1, 10, {"A", "B"}), int(TooLargeToRead));
        QCOMPARE(t.prompt.messages, QStringList{importErrorMessage(TooLargeToRead)});
        QCOMPARE(participants(t, draw), (Rows{{"1", "x"}}));
        QCOMPARE(countCsvRecords(endless), 0);
    }

    // Rows are stored in batches and one by one at the end: a write failing in
    // either leaves the table as it was.
    void failedWriteLeavesTableUnchanged_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("failingAt");
        QTest::newRow("a single row") << 4 << 3;
        QTest::newRow("a batch") << 200 << 150;
        QTest::newRow("the rest after batches") << 200 << 199;
    }
    void failedWriteLeavesTableUnchanged()
    {
        QFETCH(int, records);
        QFETCH(int, failingAt);
        TempDatabase t;
        RecordingProgress progress;
        const qint64 draw = addDraw(t);
        QVERIFY(t.db.executeSql(Sql("INSERT INTO 号码表 (CID, 号码, 姓名) VALUES (1, '0', '旧')")));
        // A trigger takes no bound values: the number is part of its text.
        QVERIFY(
            t.db.executeSql(Sql(QStringLiteral("CREATE TRIGGER stop BEFORE INSERT ON 号码表 WHEN NEW.号码 = "
                                               "'%1' BEGIN SELECT RAISE(ABORT, 'stop'); END")
                                    .arg(failingAt))));
        QByteArray bytes;
        for (int i = 1; i <= records; ++i)
            bytes += QByteArray::number(i) + ",x\r\n";
        const int code = importCsvRows(t.db, progress, draw, write(t, bytes), 1, records, {"A", "B"});
        QCOMPARE(code, int(ImportNotWritten));
        QCOMPARE(t.prompt.messages, QStringList{QStringLiteral("导入失败，数据库没有改变。")});
        QCOMPARE(participants(t, draw), (Rows{{"0", "旧"}}));
        QVERIFY(!progress.open);
    }

    void importsWorkbookRows()
    {
        TempDatabase t;
        RecordingProgress progress;
        const qint64 draw = addDraw(t);
        FakeWorkbook book;
        book.setRow(QStringLiteral("名单"), 1, {"编号", "姓名"});
        book.setRow(QStringLiteral("名单"), 2, {"13800000001", "张\n三"});
        book.setRow(QStringLiteral("名单"), 4, {"3", "李四"});
        const QString sheet = QStringLiteral("名单");

        QCOMPARE(importWorkbookRows(t.db, progress, draw, book, QStringLiteral("Sheet9"), 1, 10, {"A"}),
                 int(SheetNotFound));
        QCOMPARE(t.prompt.messages, QStringList{importErrorMessage(SheetNotFound)});
        QCOMPARE(importWorkbookRows(t.db, progress, 0, book, sheet, 1, 10, {"A"}), int(ImportNoDraw));
        QCOMPARE(t.db.countRows(QStringLiteral("号码表"), Sql()), 0);

        // Row 3 is blank inside the data; nothing past row 4 is written.
        QCOMPARE(
            importWorkbookRows(t.db, progress, draw, book, sheet, 2, 1'000'000, {"A", "\"【\",B, ,C,\"】\""}),
            int(ImportDone));
        QCOMPARE(participants(t, draw),
                 (Rows{{"13800000001", "【张//三】"}, {"", "【】"}, {"3", "【李四】"}}));
        QCOMPARE(progress.totals.last(), 3);
        QCOMPARE(progress.steps, 3);
    }

    void columnIndex_data()
    {
        QTest::addColumn<QString>("letters");
        QTest::addColumn<int>("column");
        QTest::newRow("A") << "A" << 1;
        QTest::newRow("z") << " z " << 26;
        QTest::newRow("aa") << "aa" << 27;
        QTest::newRow("AZ") << "AZ" << 52;
        QTest::newRow("ZZ") << "ZZ" << 702;
        QTest::newRow("three letters") << "ABC" << 0;
        QTest::newRow("digit") << "3" << 1;
        QTest::newRow("full-width") << "Ｂ" << 2;
        QTest::newRow("full-width pair") << "ａｂ" << 28;
        QTest::newRow("empty") << "  " << 0;
    }
    void columnIndex()
    {
        QFETCH(QString, letters);
        QFETCH(int, column);
        QCOMPARE(quilla::columnIndex(letters), column);
    }

    void normaliseMapping()
    {
        QCOMPARE(quilla::normaliseMapping({"，B，", " ,A,\"x\", ", "“-”", ",,", ""}),
                 (QStringList{"B", "A,\"x\"", "\"-\"", "", ""}));
    }

    void errorMessages()
    {
        QCOMPARE(importErrorMessage(5), QStringLiteral("无法打开Excel文件，请检查后重新输入文件名及路径！"));
        QCOMPARE(importErrorMessage(9), QStringLiteral("输入表格名称有误，无法打开表格，请重新输入！"));
        QCOMPARE(importErrorMessage(438), QStringLiteral("文件类型不对，请选择Excel文档！"));
        QCOMPARE(importErrorMessage(1004), QStringLiteral("输入表格列号超界，请重新输入！"));
        QCOMPARE(importErrorMessage(13), QStringLiteral("未知错误，错误号：13\u3000请检查输入值！"));
    }
};

QTEST_GUILESS_MAIN(TestCsvImport)
#include "tst_csvimport.moc"
