#include "support/RecordingProgress.h"
#include "support/Unprivileged.h"
#include "support/WineGaps.h"

#include "files/CsvReader.h"
#include "files/ExportTable.h"
#include "files/TextDecoding.h"
#include "files/Workbook.h"
#include "files/XlsxWorkbook.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#ifndef Q_OS_WIN
#include <sys/file.h>
#endif
#include <sys/stat.h>

using namespace quilla;

using Rows = QList<QStringList>;

namespace {

const QString SheetName = QStringLiteral("Quilla抽奖");
const QString Ext = QString::fromUcs4(U"\U00020000"); // 𠀀, beyond GBK

ExportTable resultsTable()
{
    ExportTable table;
    table.headerRows = 1;
    table.rows = {
        {QStringLiteral("序号"), QStringLiteral("号码"), QStringLiteral("姓名"), QStringLiteral("奖项")},
        {QStringLiteral("1"), QStringLiteral("13812345678"), QStringLiteral("张伟"),
         QStringLiteral("一等奖")},
        {QStringLiteral("2"), QString(), QStringLiteral("王, \"小\"芳"), QString()},
        {QStringLiteral("3"), QStringLiteral("a\nb"), Ext + QStringLiteral("明"), QStringLiteral("x\r\ny")},
    };
    table.widths = {600, 1845, 1300, 2000};
    return table;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// What openpyxl sees in a workbook, as JSON: sheet names, used range, column widths,
// and each cell up to one past the used range with its value, bold, solid fill and borders.
const char *const Inspect = R"PY(
import json, re, sys, openpyxl
from openpyxl.utils import get_column_letter
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb.worksheets[0]
rows, columns = ws.max_row, ws.max_column
cells = {}
for r in range(1, rows + 2):
    for c in range(1, columns + 2):
        cell = ws.cell(r, c)
        b = cell.border
        fill = cell.fill.fgColor.rgb if cell.fill.patternType == 'solid' else ''
        # openpyxl leaves control characters in their _xHHHH_ escape, as stored
        v = re.sub('_x([0-9A-F]{4})_', lambda m: chr(int(m.group(1), 16)), str(cell.value or ''))
        cells[cell.coordinate] = {'v': v, 'bold': bool(cell.font.b),
                                  'fill': fill,
                                  'border': ','.join(str(s.style) for s in (b.left, b.right, b.top, b.bottom))}
widths = {k: v.width for k, v in ws.column_dimensions.items() if v.customWidth}
print(json.dumps({'sheets': wb.sheetnames, 'rows': rows, 'columns': columns,
                  'widths': widths, 'cells': cells}))
)PY";

bool openpyxlPresent()
{
#ifdef Q_OS_WIN
    return false; // the checking reader is Linux's
#endif
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"), QStringLiteral("import openpyxl")});
    return python.waitForFinished(30000) && python.exitStatus() == QProcess::NormalExit &&
           python.exitCode() == 0;
}

QJsonObject inspect(const QString &path)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"), QString::fromUtf8(Inspect), path});
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        qWarning() << python.readAllStandardError();
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

} // namespace

class TestExportWriters : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void columnLetters()
    {
        QCOMPARE(quilla::columnLetters(1), QStringLiteral("A"));
        QCOMPARE(quilla::columnLetters(26), QStringLiteral("Z"));
        QCOMPARE(quilla::columnLetters(27), QStringLiteral("AA"));
        QCOMPARE(quilla::columnLetters(28), QStringLiteral("AB"));
        QCOMPARE(quilla::columnLetters(52), QStringLiteral("AZ"));
        QCOMPARE(quilla::columnLetters(53), QStringLiteral("BA"));
        QCOMPARE(quilla::columnLetters(702), QStringLiteral("ZZ"));
        QCOMPARE(quilla::columnLetters(0), QString());
        QCOMPARE(quilla::columnLetters(703), QString());
    }

    // One cell between two others: the bytes of its field.
    void csvField_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QByteArray>("field");
        QTest::newRow("plain") << QStringLiteral("abc") << QByteArray("abc");
        QTest::newRow("empty") << QString() << QByteArray("");
        QTest::newRow("comma") << QStringLiteral("a,b") << QByteArray("\"a,b\"");
        QTest::newRow("quote") << QStringLiteral("a\"b") << QByteArray("\"a\"\"b\"");
        QTest::newRow("only quotes") << QStringLiteral("\"\"") << QByteArray("\"\"\"\"\"\"");
        QTest::newRow("line feed") << QStringLiteral("a\nb") << QByteArray("\"a\nb\"");
        QTest::newRow("carriage return") << QStringLiteral("a\rb") << QByteArray("\"a\rb\"");
        QTest::newRow("CR LF") << QStringLiteral("a\r\nb") << QByteArray("\"a\r\nb\"");
        QTest::newRow("blanks stay") << QStringLiteral(" a ") << QByteArray(" a ");
        QTest::newRow("GBK name") << QStringLiteral("张伟") << QByteArray("\xd5\xc5\xce\xb0");
        QTest::newRow("beyond GBK") << Ext << QByteArray("\x95\x32\x82\x36");
        QTest::newRow("GBK name with comma")
            << QStringLiteral("张,伟") << QByteArray("\"\xd5\xc5,\xce\xb0\"");
        // What a spreadsheet would run as a formula opens as text; numbers and phone
        // numbers read as written.
        QTest::newRow("link") << QStringLiteral("=HYPERLINK(\"h\",\"x\")")
                              << QByteArray("\"'=HYPERLINK(\"\"h\"\",\"\"x\"\")\"");
        QTest::newRow("program") << QStringLiteral("=cmd|' /C calc'!A0") << QByteArray("'=cmd|' /C calc'!A0");
        QTest::newRow("tab before @") << QStringLiteral("\t@SUM(A1)") << QByteArray("'\t@SUM(A1)");
        QTest::newRow("minus text") << QStringLiteral("-A1") << QByteArray("'-A1");
        QTest::newRow("negative number") << QStringLiteral("-5.5") << QByteArray("-5.5");
        QTest::newRow("phone number")
            << QStringLiteral("+86 138 1234-5678") << QByteArray("+86 138 1234-5678");
    }
    void csvField()
    {
        QFETCH(QString, cell);
        QFETCH(QByteArray, field);
        if (cell == Ext)
            SKIP_WITHOUT_GB18030_CODE_PAGE();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.csv"));
        ExportTable table;
        table.rows = {{QStringLiteral("x"), cell, QStringLiteral("y")}};
        RecordingProgress progress;
        QCOMPARE(writeCsv(table, path, progress), ExportFailure::None);
        QCOMPARE(readAll(path), "x," + field + ",y\r\n");
    }

    // What a writer changed is counted: texts cut at a workbook cell's limit (CSV has
    // none), formula-like CSV cells, half a surrogate pair (GB18030 has no place for it).
    void changesAreCounted_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QList<int>>("counts"); // cut, replaced, formulas
        QTest::newRow("csv") << "csv" << QList<int>{0, 1, 1};
        QTest::newRow("xls") << "xls" << QList<int>{2, 0, 0};
        QTest::newRow("xlsx") << "xlsx" << QList<int>{2, 0, 0};
    }
    void changesAreCounted()
    {
        QFETCH(QString, suffix);
        QFETCH(QList<int>, counts);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("n.") + suffix);
        ExportTable table;
        table.rows = {{QString(32768, u'长'), QString(QChar(0xD800)), QStringLiteral("=1")},
                      {QString(40000, u'b')}};
        NoProgress progress;
        ExportNotes notes;
        const ExportFailure written = suffix == u"csv" ? writeCsv(table, path, progress, &notes)
                                      : suffix == u"xls"
                                          ? writeXls(table, path, SheetName, progress, &notes)
                                          : writeXlsx(table, path, SheetName, progress, &notes);
        QCOMPARE(written, ExportFailure::None);
        QCOMPARE((QList<int>{notes.cutCells, notes.replacedCharacters, notes.formulaCells}), counts);
    }

    void csvFileLinesAndProgress()
    {
        SKIP_WITHOUT_GB18030_CODE_PAGE(); // the table holds a character beyond GBK
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("结果.csv"));
        RecordingProgress progress;
        QCOMPARE(writeCsv(resultsTable(), path, progress), ExportFailure::None);
        const QByteArray expected = "\xd0\xf2\xba\xc5,\xba\xc5\xc2\xeb,\xd0\xd5\xc3\xfb,\xbd\xb1\xcf\xee\r\n"
                                    "1,13812345678,\xd5\xc5\xce\xb0,\xd2\xbb\xb5\xc8\xbd\xb1\r\n"
                                    "2,,\"\xcd\xf5, \"\"\xd0\xa1\"\"\xb7\xbc\",\r\n"
                                    "3,\"a\nb\",\x95\x32\x82\x36\xc3\xf7,\"x\r\ny\"\r\n";
        QCOMPARE(readAll(path), expected);
        QCOMPARE(progress.captions, QStringList{QStringLiteral("正在导出数据至CSV格式文件……")});
        QCOMPARE(progress.totals, QList<int>{4});
        QCOMPARE(progress.steps, 4);
        QVERIFY(!progress.open);

        // No rows: an empty file.
        QCOMPARE(writeCsv(ExportTable(), path, progress), ExportFailure::None);
        QCOMPARE(readAll(path), QByteArray());
    }

    // Our own import reads back what the export wrote (a line break inside quotes
    // comes back as "//", as the import always gives it). The import takes a quote
    // pair as a literal quote even where it opens a field, so cells that start with
    // a quote do not come back the same; their bytes are checked above.
    void csvReadsBackThroughTheImport()
    {
        SKIP_WITHOUT_GB18030_CODE_PAGE(); // the table holds a character beyond GBK
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.csv"));
        ExportTable table = resultsTable();
        table.rows.append({QStringLiteral("a\"\"b"), QStringLiteral(",,"), QStringLiteral("\r"), QString()});
        RecordingProgress progress;
        QCOMPARE(writeCsv(table, path, progress), ExportFailure::None);

        const QString text = decodeText(readAll(path));
        CsvReader reader(text);
        Rows read;
        for (QStringList fields; reader.next(fields);)
            read.append(fields);
        Rows expected;
        for (QStringList row : table.rows) {
            for (QString &cell : row)
                cell.replace(QStringLiteral("\r\n"), QStringLiteral("//"))
                    .replace(u'\r', QStringLiteral("//"))
                    .replace(u'\n', QStringLiteral("//"));
            expected.append(row);
        }
        QCOMPARE(read, expected);
    }

    // Failures leave the old file as it was, and nothing beside it.
    void failedWritesKeepTheOldFile()
    {
        QTemporaryDir dir;
        RecordingProgress progress;
        const ExportTable table = resultsTable();

        // A folder that does not exist.
        const QString missing = dir.filePath(QStringLiteral("无此目录/out"));
        QCOMPARE(writeCsv(table, missing + QStringLiteral(".csv"), progress), ExportFailure::CannotWrite);
        QCOMPARE(writeXlsx(table, missing + QStringLiteral(".xlsx"), SheetName, progress),
                 ExportFailure::CannotWrite);
        QVERIFY(!progress.open);

        // The target is a folder.
        const QString folder = dir.filePath(QStringLiteral("folder.xlsx"));
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(writeCsv(table, folder, progress), ExportFailure::CannotWrite);
        QCOMPARE(writeXlsx(table, folder, SheetName, progress), ExportFailure::CannotWrite);
        QVERIFY(QFileInfo(folder).isDir());
        QVERIFY(QDir(folder).isEmpty());

        // A sheet name the format refuses ("[" is not allowed): the old workbook stays.
        const QString old = dir.filePath(QStringLiteral("old.xlsx"));
        const QByteArray oldBytes("the old file\r\n");
        QVERIFY(writeBytes(old, oldBytes));
        QCOMPARE(writeXlsx(table, old, QStringLiteral("a[b"), progress), ExportFailure::CannotWrite);
        QCOMPARE(readAll(old), oldBytes);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("old.xlsx")});
    }

    // In a folder the user cannot write to, a writer that opened the old file itself
    // would empty it; the writers build beside it and so fail before touching it.
    void readOnlyFolderKeepsTheOldFile()
    {
        SKIP_WITHOUT_READ_ONLY_FOLDERS();
        QTemporaryDir dir;
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0555) == 0);
        const QString csv = dir.filePath(QStringLiteral("old.csv"));
        const QString xlsx = dir.filePath(QStringLiteral("old.xlsx"));
        const QByteArray oldBytes("old,content\r\n");
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
        QVERIFY(writeBytes(csv, oldBytes) && writeBytes(xlsx, oldBytes));
        QVERIFY(::chmod(QFile::encodeName(csv).constData(), 0666) == 0);
        QVERIFY(::chmod(QFile::encodeName(xlsx).constData(), 0666) == 0);
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0555) == 0);
        const ExportTable table = resultsTable();
        QVERIFY(runAsOrdinaryUser([&] {
            NoProgress progress;
            return writeCsv(table, csv, progress) == ExportFailure::CannotWrite &&
                   writeXlsx(table, xlsx, SheetName, progress) == ExportFailure::CannotWrite;
        }));
        QCOMPARE(readAll(csv), oldBytes);
        QCOMPARE(readAll(xlsx), oldBytes);
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
    }

    // A temporary file of an export that died goes when the next export to its folder
    // starts; one that another export is still writing (and so holds locked) stays.
    void leftoversOfDeadExportsGo_data()
    {
        QTest::addColumn<QString>("suffix");
        for (const char *suffix : {"csv", "xls", "xlsx"})
            QTest::newRow(suffix) << QString::fromLatin1(suffix);
    }
    void leftoversOfDeadExportsGo()
    {
        QFETCH(QString, suffix);
        QTemporaryDir dir;
        const QString dead = dir.filePath(QStringLiteral(".~结果.xlsx.0badf00d.tmp"));
        const QString live = dir.filePath(QStringLiteral(".~other.csv.12345678.tmp"));
        const QString mine = dir.filePath(QStringLiteral(".~lock.结果.xlsx#")); // another program's
        QVERIFY(writeBytes(dead, "PK") && writeBytes(live, "x") && writeBytes(mine, "y"));
        QFile held(live);
#ifdef Q_OS_WIN
        QVERIFY(held.open(QIODevice::ReadOnly)); // an open file cannot be deleted there
#else
        QVERIFY(held.open(QIODevice::ReadOnly) && ::flock(held.handle(), LOCK_EX) == 0);
#endif
        NoProgress progress;
        const QString path = dir.filePath(QStringLiteral("结果.") + suffix);
        const ExportFailure written = suffix == u"csv" ? writeCsv(resultsTable(), path, progress)
                                      : suffix == u"xls"
                                          ? writeXls(resultsTable(), path, SheetName, progress)
                                          : writeXlsx(resultsTable(), path, SheetName, progress);
        QCOMPARE(written, ExportFailure::None);
        QVERIFY(!QFileInfo::exists(dead));
        QVERIFY(QFileInfo::exists(live) && QFileInfo::exists(mine) && QFileInfo::exists(path));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
    }

    void successfulWritesReplaceTheOldFile()
    {
        QTemporaryDir dir;
        const QString csv = dir.filePath(QStringLiteral("结果.csv"));
        const QString xlsx = dir.filePath(QStringLiteral("结果.xlsx"));
        QVERIFY(writeBytes(csv, QByteArray(100000, 'x')) && writeBytes(xlsx, QByteArray(100000, 'x')));
        // The replaced workbook keeps the old one's permissions.
        QVERIFY(QFile::setPermissions(xlsx, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        const QFile::Permissions permissions = QFile::permissions(xlsx);
        RecordingProgress progress;
        ExportTable table;
        table.rows = {{QStringLiteral("a")}};
        QCOMPARE(writeCsv(table, csv, progress), ExportFailure::None);
        QCOMPARE(readAll(csv), QByteArray("a\r\n"));
        QCOMPARE(writeXlsx(table, xlsx, SheetName, progress), ExportFailure::None);
        int error = -1;
        const auto book = openXlsxWorkbook(xlsx, error);
        QVERIFY(book);
        QCOMPARE(book->cellText(SheetName, 1, 1), QStringLiteral("a"));
        QCOMPARE(QFile::permissions(xlsx), permissions);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    void xlsxReadsBackThroughTheImport()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("结果.xlsx"));
        RecordingProgress progress;
        const ExportTable table = resultsTable();
        QCOMPARE(writeXlsx(table, path, SheetName, progress), ExportFailure::None);
        QCOMPARE(progress.captions, QStringList{QStringLiteral("正在将数据导出到EXCEL文件 …")});
        QCOMPARE(progress.totals, QList<int>{4});
        QCOMPARE(progress.steps, 4);
        QVERIFY(!progress.open);

        int error = -1;
        const auto book = openXlsxWorkbook(path, error);
        QVERIFY(book);
        QCOMPARE(book->sheetNames(), QStringList{SheetName});
        QCOMPARE(book->lastRow(SheetName), 4);
        for (int r = 0; r < table.rows.size(); ++r)
            for (int c = 0; c < 5; ++c)
                QCOMPARE(book->cellText(SheetName, r + 1, c + 1), table.rows.at(r).value(c));
    }

    void xlsxLook()
    {
        if (!openpyxlPresent())
            QSKIP("needs /usr/bin/python3 with openpyxl (apt-get install python3-openpyxl)");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("look.xlsx"));
        ExportTable table = resultsTable();
        table.headerRows = 2; // two title rows: both filled and bold
        NoProgress progress;
        QCOMPARE(writeXlsx(table, path, SheetName, progress), ExportFailure::None);
        const QJsonObject book = inspect(path);
        QCOMPARE(book.value(u"sheets").toArray(), QJsonArray{SheetName});
        QCOMPARE(book.value(u"rows").toInt(), 4);
        QCOMPARE(book.value(u"columns").toInt(), 4);

        // floor(twips / 123) characters; Excel stores them with the cell padding added.
        const QJsonObject widths = book.value(u"widths").toObject();
        const QList<int> characters = {4, 15, 10, 16};
        for (int c = 0; c < 4; ++c) {
            const double stored = widths.value(quilla::columnLetters(c + 1)).toDouble();
            QVERIFY2(stored >= characters[c] && stored < characters[c] + 1, qPrintable(quilla::columnLetters(c + 1)));
        }

        const QJsonObject cells = book.value(u"cells").toObject();
        const QString thin = QStringLiteral("thin,thin,thin,thin");
        const QString none = QStringLiteral("None,None,None,None");
        for (int r = 1; r <= 5; ++r) {
            for (int c = 1; c <= 5; ++c) {
                const QString name = quilla::columnLetters(c) + QString::number(r);
                const QJsonObject cell = cells.value(name).toObject();
                const bool used = r <= 4 && c <= 4;
                const bool header = used && r <= 2;
                QVERIFY2(!cell.isEmpty(), qPrintable(name));
                QCOMPARE(cell.value(u"border").toString(), used ? thin : none);
                QCOMPARE(cell.value(u"bold").toBool(), header);
                QCOMPARE(cell.value(u"fill").toString(), header ? QStringLiteral("FFFFC080") : QString());
                QCOMPARE(cell.value(u"v").toString(), used ? table.rows.at(r - 1).at(c - 1) : QString());
            }
        }
    }

    void xlsxBordersReachTheLastColumn()
    {
        if (!openpyxlPresent())
            QSKIP("needs /usr/bin/python3 with openpyxl (apt-get install python3-openpyxl)");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("wide.xlsx"));
        ExportTable table;
        table.headerRows = 1;
        for (int r = 0; r < 3; ++r) {
            QStringList row;
            for (int c = 1; c <= 28; ++c)
                row.append(r == 2 && c > 1 ? QString() : quilla::columnLetters(c) + QString::number(r + 1));
            table.rows.append(row);
            table.widths.append(1230);
        }
        NoProgress progress;
        QCOMPARE(writeXlsx(table, path, SheetName, progress), ExportFailure::None);
        const QJsonObject cells = inspect(path).value(u"cells").toObject();
        QCOMPARE(cells.value(u"AB3").toObject().value(u"border").toString(),
                 QStringLiteral("thin,thin,thin,thin"));
        QCOMPARE(cells.value(u"AB1").toObject().value(u"fill").toString(), QStringLiteral("FFFFC080"));
        QCOMPARE(cells.value(u"AB1").toObject().value(u"v").toString(), QStringLiteral("AB1"));
        QCOMPARE(cells.value(u"AC1").toObject().value(u"border").toString(),
                 QStringLiteral("None,None,None,None"));
        QCOMPARE(cells.value(u"AB4").toObject().value(u"border").toString(),
                 QStringLiteral("None,None,None,None"));

        // An empty list is exported with its title row alone.
        table.rows.resize(1);
        QCOMPARE(writeXlsx(table, path, SheetName, progress), ExportFailure::None);
        const QJsonObject book = inspect(path);
        QCOMPARE(book.value(u"rows").toInt(), 1);
        QCOMPARE(book.value(u"columns").toInt(), 28);
        const QJsonObject title = book.value(u"cells").toObject();
        QCOMPARE(title.value(u"AB1").toObject().value(u"bold").toBool(), true);
        QCOMPARE(title.value(u"A2").toObject().value(u"border").toString(),
                 QStringLiteral("None,None,None,None"));
    }

    // Characters XML cannot hold, line breaks and a text that looks like an escape
    // come back as they were written, and the row after them too. CSV gives line
    // breaks inside a field as "//", as the import always shows them.
    void awkwardCharactersRoundTrip_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QString>("csvReadsAs");
        const QString fffe = QStringLiteral("a\uFFFEb");
        const QString ffff = QStringLiteral("\uFFFF");
        const struct
        {
            const char *name;
            QString cell;
            QString csv;
        } cells[] = {
            {"U+FFFE", fffe, fffe},
            {"U+FFFF", ffff, ffff},
            {"CR", QStringLiteral("a\rb"), QStringLiteral("a//b")},
            {"LF", QStringLiteral("a\nb"), QStringLiteral("a//b")},
            {"CR LF", QStringLiteral("\r\n"), QStringLiteral("//")},
            {"control", QStringLiteral("\u0001x\u001F"), QStringLiteral("\u0001x\u001F")},
            {"escape-like", QStringLiteral("_x0041_ _x005F_"), QStringLiteral("_x0041_ _x005F_")},
            {"blanks around", QStringLiteral(" 张 "), QStringLiteral(" 张 ")},
        };
        for (const char *suffix : {"csv", "xls", "xlsx"})
            for (const auto &c : cells)
                QTest::addRow("%s %s", suffix, c.name) << QString::fromLatin1(suffix) << c.cell << c.csv;
    }
    void awkwardCharactersRoundTrip()
    {
        QFETCH(QString, suffix);
        QFETCH(QString, cell);
        QFETCH(QString, csvReadsAs);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("round.") + suffix);
        ExportTable table;
        table.headerRows = 1;
        table.rows = {{QStringLiteral("号码"), QStringLiteral("姓名")},
                      {QStringLiteral("1"), cell},
                      {QStringLiteral("2"), QStringLiteral("after")}};
        NoProgress progress;
        const ExportFailure written = suffix == u"csv"   ? writeCsv(table, path, progress)
                                      : suffix == u"xls" ? writeXls(table, path, SheetName, progress)
                                                         : writeXlsx(table, path, SheetName, progress);
        QCOMPARE(written, ExportFailure::None);
        if (suffix == u"csv") {
            if (cell.contains(QChar(0xFFFE)) || cell.contains(QChar(0xFFFF))) // beyond GBK
                SKIP_WITHOUT_GB18030_CODE_PAGE();
            const QString text = decodeText(readAll(path));
            CsvReader reader(text);
            Rows read;
            for (QStringList fields; reader.next(fields);)
                read.append(fields);
            QCOMPARE(read, (Rows{table.rows.at(0), {"1", csvReadsAs}, table.rows.at(2)}));
            return;
        }
        const OpenedWorkbook opened = openWorkbook(path);
        QVERIFY(opened.book);
        QCOMPARE(opened.book->cellText(SheetName, 2, 2), cell);
        QCOMPARE(opened.book->cellText(SheetName, 3, 2), QStringLiteral("after"));
        if (suffix == u"xlsx" && openpyxlPresent()) {
            const QJsonObject cells = inspect(path).value(u"cells").toObject();
            QCOMPARE(cells.value(u"B2").toObject().value(u"v").toString(), cell);
            QCOMPARE(cells.value(u"B3").toObject().value(u"v").toString(), QStringLiteral("after"));
        }
    }

    void xlsxRefusesWhatTheFormatCannotHold()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("big.xlsx"));
        RecordingProgress progress;
        ExportTable tall;
        tall.rows.resize(1'048'577);
        QCOMPARE(writeXlsx(tall, path, SheetName, progress), ExportFailure::TooLarge);
        ExportTable wide;
        wide.rows.append(QStringList(16'385, QStringLiteral("x")));
        QCOMPARE(writeXlsx(wide, path, SheetName, progress), ExportFailure::TooLarge);
        QVERIFY(QDir(dir.path()).isEmpty());
        QVERIFY(!progress.open);

        // The largest sheet's last column still fits.
        wide.rows.first().removeLast();
        QCOMPARE(writeXlsx(wide, path, SheetName, progress), ExportFailure::None);
        int error = -1;
        const auto book = openXlsxWorkbook(path, error);
        QVERIFY(book);
        QCOMPARE(book->cellText(SheetName, 1, 16'384), QStringLiteral("x"));
    }
};

QTEST_GUILESS_MAIN(TestExportWriters)
#include "tst_exportwriters.moc"
