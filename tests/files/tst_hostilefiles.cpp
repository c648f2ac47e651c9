// Files made to hurt a reader: each is refused or read, and either way within a
// bound on memory, measured on a child process through getrusage.
#include "support/HostileFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <quazip.h>
#include <quazipfile.h>

#include <functional>


using namespace quilla;
using namespace hostile;

using Maker = std::function<bool(const QString &path)>;
Q_DECLARE_METATYPE(Maker)

namespace {

// A workbook of one sheet: its XML made of sheet pieces between the usual start and
// end, and shared strings of string pieces.
Maker xlsx(qint64 sheetPieces, std::function<QByteArray(qint64)> sheetPiece, qint64 stringPieces = 0,
           std::function<QByteArray(qint64)> stringPiece = {})
{
    return [=](const QString &path) { return writeXlsx(path, sheetPieces, sheetPiece, stringPieces, stringPiece); };
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

Maker csv(qint64 pieces, std::function<QByteArray(qint64)> piece)
{
    return [=](const QString &path) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        for (qint64 i = 0; i < pieces; ++i)
            if (file.write(piece(i)) < 0)
                return false;
        return true;
    };
}

} // namespace

class TestHostileFiles : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

  private Q_SLOTS:
    void refusedOrReadWithinBounds_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Maker>("make");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("boundMiB");
        const QByteArray mib(1 << 20, 'x');
        QTest::newRow("one 200 MiB cell") << "cell.xlsx" << xlsx(202, [mib](qint64 i) {
            return i == 0     ? QByteArray("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>")
                   : i == 201 ? QByteArray("</t></is></c></row>")
                              : mib;
        }) << int(TooLargeToRead) << 100;
        QTest::newRow("a million empty rows") << "rows.xlsx" << xlsx(1048576, [](qint64 i) -> QByteArray {
            return "<row r=\"" + QByteArray::number(i + 1) + "\"/>";
        }) << 0 << 100;
        QTest::newRow("row 2^31") << "row.xlsx" << xlsx(1, [](qint64) {
            return QByteArray("<row r=\"2147483647\"/><row/>");
        }) << int(NotAWorkbook) << 100;
        QTest::newRow("rows past the last without numbers")
            << "norows.xlsx" << xlsx(1048577, [](qint64) { return QByteArray("<row/>"); })
            << int(NotAWorkbook) << 100;
        QTest::newRow("shared-string bomb")
            << "strings.xlsx"
            << xlsx(
                   1, [](qint64) { return QByteArray("<row r=\"1\"><c t=\"s\"><v>0</v></c></row>"); },
                   5'000'000, [](qint64) { return QByteArray("<si><t>x</t></si>"); })
            << int(TooLargeToRead) << 150;
        QTest::newRow("CSV line of 22 MiB of commas")
            << "commas.csv" << csv(22, [](qint64) { return QByteArray(1 << 20, ','); }) << 0 << 100;
        QTest::newRow("CSV line of 40 MiB")
            << "line.csv" << csv(40, [mib](qint64) { return mib; }) << int(TooLargeToRead) << 150;
        // Markup between tags is passed over as it streams by, however long.
        const auto afterMarkup = [](QByteArray open, QByteArray close) {
            return Maker([=](const QString &path) { return xlsxAfterMarkup(path, open, close, 300); });
        };
        QTest::newRow("300 MiB comment") << "comment.xlsx" << afterMarkup("<!--", "-->") << 0 << 100;
        QTest::newRow("300 MiB CDATA") << "cdata.xlsx" << afterMarkup("<![CDATA[", "]]>") << 0 << 100;
        QTest::newRow("300 MiB instruction") << "pi.xlsx" << afterMarkup("<?x ", "?>") << 0 << 100;
        QTest::newRow("200 MiB of cells naming A1")
            << "a1.xlsx" << Maker([](const QString &path) { return xlsxOneCellOverAndOver(path, 200); }) << 0
            << 100;
        const auto damaged = [](quint32 kind) {
            return Maker([=](const QString &path) { return writeFile(path, damagedXls(kind)); });
        };
        QTest::newRow(".xls cells past column 256") << "col.xls" << damaged(0) << 0 << 100;
        QTest::newRow(".xls MULRK running past column 256") << "mulrk.xls" << damaged(1) << 0 << 100;
        QTest::newRow(".xls cells at the last row") << "last.xls" << damaged(2) << 0 << 100;
#ifndef QUILLA_SANITIZED // too slow to make there
        QTest::newRow("maximal .xls") << "max.xls" << Maker(maximalXls) << 0 << 200;
#endif
    }

    void refusedOrReadWithinBounds()
    {
        QFETCH(QString, name);
        QFETCH(Maker, make);
        QFETCH(int, code);
        QFETCH(int, boundMiB);
        const QString path = m_dir.filePath(name);
        // Made in a child of its own, so that making it leaves no memory behind here.
        QCOMPARE(inChild([&] { return make(path) ? 0 : 1; }).code, 0);
        const ChildRun read = inChild([&] { return readAsTheImportDoes(path); });
        qInfo("%s: %ld MiB at the peak", qPrintable(name), read.peakMiB);
        QCOMPARE(read.code, code & 0xFF); // all an exit status holds
#ifndef QUILLA_SANITIZED // the sanitizers' own memory is no measure of ours
        QVERIFY2(read.peakMiB < boundMiB, qPrintable(QString::number(read.peakMiB)));
#else
        Q_UNUSED(boundMiB)
#endif
        QFile::remove(path);
    }

    // .xls files with bytes of their sheet overwritten at random: each is read or
    // refused, and none brings the reader down.
    void damagedXlsNeverCrash_data()
    {
        QTest::addColumn<int>("first");
        for (int first = 3; first < 403; first += 100)
            QTest::addRow("damage %d-%d", first, first + 99) << first;
    }
    void damagedXlsNeverCrash()
    {
        QFETCH(int, first);
        QStringList paths;
        for (int kind = first; kind < first + 100; ++kind) {
            paths.append(m_dir.filePath(QStringLiteral("d%1.xls").arg(kind)));
            QVERIFY(writeFile(paths.last(), damagedXls(quint32(kind))));
        }
        const ChildRun read = inChild([&] {
            for (const QString &path : std::as_const(paths))
                readAsTheImportDoes(path);
            return 0;
        });
        QCOMPARE(read.code, 0);
        for (const QString &path : std::as_const(paths))
            QFile::remove(path);
    }
};

QTEST_GUILESS_MAIN(TestHostileFiles)
#include "tst_hostilefiles.moc"
