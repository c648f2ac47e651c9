#include "engine/ScreenSettings.h"
#include "support/DrawFixture.h"

#include <QLocale>
#include <QTest>

using namespace quilla;

namespace {

// Every field differs from what the tests store, so a field taken or kept shows.
const TextStyle Base{u"宋体"_qs, false, false, 12, false, false, 1, 2, 10, 20, 30, 40};

} // namespace

class TestScreenSettings : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void frame_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("parsed"); // formatted again; "" for no layout
        QTest::newRow("six fields ignored") << u"10】【20】【30】【40】【255】【1"_qs << QString();
        QTest::newRow("eighth field ignored") << u"10】【20】【30】【40】【255】【0】【1】【99"_qs
                                              << u"10】【20】【30】【40】【255】【0】【1"_qs;
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("seven fields, red at the corner")
            << u"0】【0】【0】【0】【255】【0】【0"_qs << u"0】【0】【0】【0】【255】【0】【0"_qs;
        QTest::newRow("trimmed") << u" 32】【136】【353】【73】【16777215】【0】【1 "_qs
                                 << u"32】【136】【353】【73】【16777215】【0】【1"_qs;
        QTest::newRow("not numbers read 0")
            << u"x】【12.6px】【】【40】【red】【yes】【2"_qs << u"0】【13】【0】【40】【0】【0】【1"_qs;
        QTest::newRow("held to the dialog's ranges")
            << u"-123456】【1e12】【-5】【99999】【255】【0】【0"_qs << u"-9999】【9999】【0】【9999】【255】【0】【0"_qs;
    }
    void frame()
    {
        QFETCH(QString, text);
        QFETCH(QString, parsed);
        const std::optional<FrameLayout> layout = parseFrame(text);
        QCOMPARE(layout.has_value(), !parsed.isEmpty());
        if (layout)
            QCOMPARE(formatFrame(*layout), parsed);
    }

    void designFrameIsTheDefaultLayout() { QCOMPARE(formatFrame(FrameLayout()), DesignFrame); }

    void textStyle_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("full");
        QTest::addColumn<StyleApplied>("applied");
        QTest::addColumn<QString>("style");
        const QString font = u"黑体】【√】【】【14.25】【】【√】【255"_qs;
        const QString unchanged = formatTextStyle(Base);
        QTest::newRow("seven fields")
            << font << true << StyleApplied::FontAndColour << font + u"】【2】【10】【20】【30】【40"_qs;
        QTest::newRow("eleven fields keep geometry")
            << font + u"】【9】【1】【2】【3"_qs << true << StyleApplied::FontAndColour
            << font + u"】【2】【10】【20】【30】【40"_qs;
        QTest::newRow("twelve fields")
            << font + u"】【9】【1】【2】【3】【4.5"_qs << true << StyleApplied::Everything
            << font + u"】【9】【1】【2】【3】【4.5"_qs;
        QTest::newRow("twelve fields, font only")
            << font + u"】【9】【1】【2】【3】【4"_qs << false << StyleApplied::FontAndColour
            << font + u"】【2】【10】【20】【30】【40"_qs;
        QTest::newRow("six fields") << u"黑体】【√】【】【14】【】【"_qs << true << StyleApplied::Nothing
                                    << unchanged;
        for (const QString &size : {u"0"_qs, u"-3"_qs, u"abc"_qs})
            QTest::addRow("size %s keeps", qPrintable(size))
                << u"宋体】【】【】【"_qs + size + u"】【】【】【1"_qs << true << StyleApplied::FontAndColour
                << unchanged;
        QTest::newRow("any non-blank flag is on")
            << u"宋体】【 √】【x】【12】【 】【】【1"_qs << true << StyleApplied::FontAndColour
            << u"宋体】【√】【√】【12】【】【】【1】【2】【10】【20】【30】【40"_qs;
        QTest::newRow("bad numbers keep")
            << u"】【】【】【12】【】【】【red】【blue】【a】【0】【-5】【c"_qs << true
            << StyleApplied::Everything << u"宋体】【】【】【12】【】【】【1】【2】【10】【0】【-5】【40"_qs;
    }
    void textStyle()
    {
        QFETCH(QString, text);
        QFETCH(bool, full);
        QFETCH(StyleApplied, applied);
        QFETCH(QString, style);
        TextStyle current = Base;
        QCOMPARE(applyTextStyle(text, current, full), applied);
        QCOMPARE(formatTextStyle(current), style);
    }

    void styleNumbersIgnoreTheLocale()
    {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German));
        const QString text =
            formatTextStyle({u"Arial"_qs, true, false, 14.25, false, false, 1, 2, 1.5, 20, 30, 40});
        QLocale::setDefault(before);
        QCOMPARE(text, u"Arial】【√】【】【14.25】【】【】【1】【2】【1.5】【20】【30】【40"_qs);
    }

    void board_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("parsed");
        QTest::newRow("hidden only") << u"】【√】【"_qs << u"】【√】【"_qs;
        QTest::newRow("empty: initial states") << QString() << u"√】【】【"_qs;
        QTest::newRow("one field: initial states") << u"√"_qs << u"√】【】【"_qs;
        QTest::newRow("two fields: initial states") << u"】【√"_qs << u"√】【】【"_qs;
    }
    void board()
    {
        QFETCH(QString, text);
        QFETCH(QString, parsed);
        QCOMPARE(formatBoard(parseBoard(text)), parsed);
    }

    void readAndWriteColumns()
    {
        DrawFixture f;
        const qint64 draw = f.addDraw();
        const QString value = u"Tom's Hand】【√】【】【14.25】【】【】【255"_qs;
        for (const QString &column : {u"FRM"_qs, u"BRD"_qs, u"L0"_qs, u"L1"_qs, u"L2"_qs}) {
            QVERIFY(writeScreenSetting(f.db, draw, column, value + column));
            QCOMPARE(readScreenSetting(f.db, draw, column), value + column);
        }
        QCOMPARE(readScreenSetting(f.db, draw + 1, u"FRM"_qs), QString());

        QVERIFY(!writeScreenSetting(f.db, draw, u"抽奖内容"_qs, u"x"_qs));
        QVERIFY(!writeScreenSetting(f.db, draw, u"FRM='' --"_qs, u"x"_qs));
        QCOMPARE(f.db.lookupValue(u"奖次表"_qs, draw, u"ID"_qs, u"抽奖内容"_qs).toString(), u"年会"_qs);
        QCOMPARE(readScreenSetting(f.db, draw, u"抽奖内容"_qs), QString());
    }
};

QTEST_GUILESS_MAIN(TestScreenSettings)
#include "tst_screensettings.moc"
