#include "engine/DrawState.h"
#include "engine/NumberDisplay.h"

#include <QTest>

using namespace quilla;

class TestNumberDisplay : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void displayNumber_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("shown");
        QTest::newRow("phone masked") << "12345678901" << 11 << "000****0000"
                                      << "123****8901";
        QTest::newRow("digit padded with zeros") << "123" << 6 << ""
                                                 << "000123";
        QTest::newRow("letter padded with blanks") << "A12" << 6 << ""
                                                   << "   A12";
        QTest::newRow("chinese padded with blanks") << "甲乙丙" << 6 << ""
                                                    << "   甲乙丙";
        QTest::newRow("cut on the right") << "1234567" << 4 << ""
                                          << "1234";
        QTest::newRow("length 0 leaves it") << "12" << 0 << ""
                                            << "12";
        QTest::newRow("negative length leaves it") << "12" << -3 << ""
                                                   << "12";
        QTest::newRow("empty number") << "" << 3 << ""
                                      << "   ";
        QTest::newRow("mask longer than number") << "5" << 0 << "**"
                                                 << "*";
        QTest::newRow("mask shorter than number") << "123456" << 0 << "0*0"
                                                  << "1*3456";
        QTest::newRow("shortage mark padded")
            << ShortageMark << 11 << "" << QStringLiteral("    ") + ShortageMark;
        QTest::newRow("mask after padding") << "42" << 5 << "***00"
                                            << "***42";
        QTest::newRow("full-width digit is not a digit") << "１２" << 4 << ""
                                                         << "  １２";
        // A character outside the basic plane counts once, in length and in position.
        QTest::newRow("astral character cut") << "𠀀𠀁𠀂" << 2 << ""
                                              << "𠀀𠀁";
        QTest::newRow("astral character padded") << "𠀀" << 3 << ""
                                                 << "  𠀀";
        QTest::newRow("astral character masked") << "𠀀𠀁𠀂" << 0 << "0*"
                                                 << "𠀀*𠀂";
    }

    // A typo in 定长 must not build a string that size on every tick.
    void hugeFixedLengthIsCapped()
    {
        QCOMPARE(fixLength(QStringLiteral("1"), qint64(1) << 40), QString(63, u'0') + u'1');
        QCOMPARE(fixLength(QStringLiteral("甲"), 100), QString(63, u' ') + QStringLiteral("甲"));
        QCOMPARE(fixLength(QString(70, u'9'), qint64(1) << 40), QString(MaxFixedLength, u'9'));
    }

    void displayNumber()
    {
        QFETCH(QString, number);
        QFETCH(int, length);
        QFETCH(QString, mask);
        QFETCH(QString, shown);
        QCOMPARE(quilla::displayNumber(number, length, mask), shown);
    }

    // Numbers arrive as QString (entry, presets) and as SQLite's UTF-8 (the pool):
    // both must come out the same, whatever the bytes at the ends.
    void trimming_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("trimmed");
        QTest::newRow("ideographic and no-break") << QByteArray("\u30001001\u00a0") << QByteArray("1001");
        QTest::newRow("em space, tab, line separator")
            << QByteArray("\u2003\t1 2\u2028") << QByteArray("1 2");
        QTest::newRow("only spaces") << QByteArray(" \u3000 ") << QByteArray();
        QTest::newRow("plane 2 at the end") << QByteArray("\U00020000 ") << QByteArray("\U00020000");
        QTest::newRow("zero width is no space") << QByteArray("\u200b7") << QByteArray("\u200b7");
        QTest::newRow("broken UTF-8 stays") << QByteArray("\xe3\x80 7 \x80") << QByteArray("\xe3\x80 7 \x80");
    }

    void trimming()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, trimmed);
        QCOMPARE(trimmedUtf8(text).toByteArray(), trimmed);
        if (QString::fromUtf8(trimmed).toUtf8() == trimmed) // valid UTF-8
            QCOMPARE(trimmedText(QString::fromUtf8(text)), QString::fromUtf8(trimmed));
    }
};

QTEST_GUILESS_MAIN(TestNumberDisplay)
#include "tst_numberdisplay.moc"
