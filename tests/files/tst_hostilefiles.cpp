// Files made to hurt a reader: each is refused or read, and either way within a
// bound on memory, measured on a child process of its own.
#include "support/HostileFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <quazip.h>
#include <quazipfile.h>

#include <functional>
#include <random>

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

// A small .xls with a cell of each kind, then damage: 0 cells past column 256, 1 a
// MULRK running past it, from 2 on bytes overwritten at random (the same for a kind).
Maker damagedXls(quint32 kind)
{
    using namespace biff;
    QByteArray cells = labelSst(0, 0, 0) + label(0, 2, QStringLiteral("张"), true) + number(1, 0, 12.5) +
                       mulRk(2, 0, {6, 10}) + boolErr(3, 0, 1, false) + formula(4, 0, special(0)) +
                       stringResult(QStringLiteral("式")) +
                       (kind == 0   ? labelSst(6, 300, 0) + number(7, 0xFFFF, 1)
                        : kind == 1 ? mulRk(8, 254, {6, 10, 14, 18})
                                    : QByteArray());
    std::minstd_rand random(kind);
    for (int i = 0; kind > 1 && i < 8; ++i)
        cells[qsizetype(random() % quint32(cells.size()))] = char(random() & 0xFF);
    const QByteArray strings = record(0x00FC, u32(1) + u32(1) + string(QStringLiteral("名"), true));
    const QByteArray file = compoundFile({{"Workbook", workbook({{QStringLiteral("S"), cells}}, strings)}});
    return csv(1, [file](qint64) { return file; });
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
        // Markup between tags goes by as it is read, however long.
        const auto markup = [mib](QByteArray open, QByteArray close) {
            return xlsx(302, [=](qint64 i) { return i == 0 ? open : i < 301 ? mib : close + "<row/>"; });
        };
        QTest::newRow("300 MiB comment") << "comment.xlsx" << markup("<!--", "-->") << 0 << 100;
        QTest::newRow("300 MiB CDATA") << "cdata.xlsx" << markup("<![CDATA[", "]]>") << 0 << 100;
        QTest::newRow("300 MiB instruction") << "pi.xlsx" << markup("<?x ", "?>") << 0 << 100;
        QTest::newRow(".xls cells past column 256") << "col.xls" << damagedXls(0) << 0 << 100;
        QTest::newRow(".xls MULRK past column 256") << "mulrk.xls" << damagedXls(1) << 0 << 100;
        for (quint32 kind = 2; kind < 302; ++kind) // read or refused, never a crash
            QTest::addRow(".xls damaged %u", kind) << "damaged.xls" << damagedXls(kind) << -1 << 100;
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
        QVERIFY(make(path));
        const ChildRun read = readInChild(path);
        qInfo("%s: %ld MiB at the peak", qPrintable(name), read.peakMiB);
        if (code >= 0)
            QCOMPARE(read.code & 0xFF, code & 0xFF); // all a POSIX exit status holds; Windows keeps more
        else
            QVERIFY(read.code >= 0); // any way out but a crash
#ifndef QUILLA_SANITIZED // the sanitizers' own memory is no measure of ours
        QVERIFY2(read.peakMiB < boundMiB, qPrintable(QString::number(read.peakMiB)));
#else
        Q_UNUSED(boundMiB)
#endif
        QFile::remove(path);
    }
};

int main(int argc, char *argv[])
{
    if (const int code = childMain(argc, argv); code != NotAChild)
        return code;
    QCoreApplication app(argc, argv);
    TestHostileFiles test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_hostilefiles.moc"
