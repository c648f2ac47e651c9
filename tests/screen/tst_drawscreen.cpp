#include "data/Settings.h"
#include "screen/DrawScreen.h"
#include "screen/NumberFrame.h"
#include "screen/ResultDeletion.h"
#include "support/ScreenParts.h"
#include "support/DrawFixture.h"
#include "support/FakeMusic.h"
#include "support/RecordingProgress.h"
#include "support/TempSettings.h"
#include "support/ShownImage.h"

#include <QAccessible>
#include <QFontInfo>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace quilla;

namespace {

// Relative luminance, as contrast ratios are reckoned.
double luminance(const QColor &colour)
{
    const auto channel = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

struct Screen : DrawFixture
{
    Screen()
    {
        draw = addDraw();
        first = addPrize(draw, 1, QStringLiteral("一等奖"), 2, 2, false, QStringLiteral("电视机"));
        second = addPrize(draw, 2, QStringLiteral("二等奖"), 1, 1);
        addParticipants(draw, 20);
    }

    void open(QSize size = QSize(1024, 768))
    {
        screen = std::make_unique<DrawScreen>(db, engine, progress, music);
        screen->resize(size);
        QVERIFY(screen->load(draw));
        screen->show();
        QVERIFY(QTest::qWaitForWindowExposed(screen.get()));
    }
    void setSpeedAndTimer(int speed, int seconds)
    {
        QVERIFY(db.executeSql(Sql("UPDATE 奖次表 SET 速度=") + Sql::number(speed) + Sql(",定时=") +
                              Sql::number(seconds) + Sql(" WHERE ID=") + Sql::number(draw)));
    }
    // A left click on the background, through the window as a user's arrives.
    void click() { QTest::mouseClick(screen->windowHandle(), Qt::LeftButton, {}, QPoint(900, 600)); }
    // A start right after a stop is taken for a double press: the operator's next round comes later.
    void clickLater()
    {
        QTest::qWait(DrawScreen::RestartGuardMs + 20);
        click();
    }
    // One round of the first prize with winners left, started and stopped by clicks.
    void drawRound()
    {
        if (!screen->drawMode())
            clickCommand(*screen, "drawMode");
        clickLater();
        QVERIFY(screen->scrolling());
        click();
        QVERIFY(!screen->scrolling());
    }
    QStringList stored()
    {
        QStringList numbers;
        db.forEachRow(Sql("SELECT * FROM 结果表 WHERE CID=") + Sql::number(draw) + Sql(" ORDER BY ID"),
                      [&](const Row &row) { numbers.append(row.text(u"号码")); });
        return numbers;
    }

    qint64 draw = 0, first = 0, second = 0;
    RecordingProgress progress;
    FakeMusic music;
    std::unique_ptr<DrawScreen> screen;
};

} // namespace

// Counts the paints a widget receives.
class PaintCounter : public QObject
{
  public:
    explicit PaintCounter(QWidget *widget) { widget->installEventFilter(this); }
    int count = 0;

  protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

class TestDrawScreen : public QObject
{
    Q_OBJECT

    TempSettings m_settings;

  private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
    }

    void scrollIntervals_data()
    {
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("interval");
        QTest::newRow("0") << 0 << 1;
        QTest::newRow("-5") << -5 << 1;
        QTest::newRow("1") << 1 << 500;
        QTest::newRow("500") << 500 << 1;
        QTest::newRow("501") << 501 << 1;
    }

    void scrollIntervals()
    {
        QFETCH(int, speed);
        QFETCH(int, interval);
        QCOMPARE(DrawScreen::scrollInterval(speed), interval);
    }

    // Paused → Ready → Scrolling → Ready, prize after prize, with the music of each state.
    void aWholeDrawByClicks()
    {
        Screen s;
        s.music.accepts = true;
        QVERIFY(s.db.executeSql(Sql("UPDATE 奖次表 SET 音乐1='w.mp3',音乐2='d.mp3',音乐3='' WHERE ID=") +
                                Sql::number(s.draw)));
        s.open();
        QCOMPARE(s.progress.captions, QStringList{QStringLiteral("正在读取抽奖数据...")});
        QCOMPARE(s.music.played, QStringList{QStringLiteral("w.mp3")});
        QCOMPARE(frameOf(*s.screen)->numbers(), QStringLiteral("00000000000"));

        s.click(); // paused
        QCOMPARE(s.prompt.messages,
                 QStringList{QStringLiteral("请点击屏幕右下角“开始抽奖”，进入抽奖操作！")});
        QVERIFY(!s.screen->scrolling());
        clickCommand(*s.screen, "drawMode");
        QCOMPARE(labelOf(*s.screen, "drawMode")->text(), QStringLiteral("暂停抽奖"));

        s.click(); // start: the first numbers show at once
        QVERIFY(s.screen->scrolling());
        QCOMPARE(s.music.played.last(), QStringLiteral("d.mp3"));
        QVERIFY(s.music.repeats.last());
        const QString firstShown = frameOf(*s.screen)->numbers();
        QTRY_VERIFY(frameOf(*s.screen)->numbers() != firstShown); // the ticks move on
        s.click();                                          // stop: exactly the numbers shown are stored
        QVERIFY(!s.screen->scrolling());
        const QStringList shown = frameOf(*s.screen)->numbers().split(QStringLiteral("\r\n"));
        QCOMPARE(s.stored(), shown);
        QCOMPARE(s.music.musicStatus(), QString()); // no winning music: silence, not drawing music
        QTRY_VERIFY(labelOf(*s.screen, "boardList")->text().contains(shown.at(0)));

        s.clickLater();
        s.click();
        QCOMPARE(s.stored().size(), 3);
        s.prompt.clear();
        s.clickLater(); // everything drawn
        QCOMPARE(s.prompt.messages, QStringList{QStringLiteral("所有奖项都已抽完！")});
        // Reverse order by default: the prize drawn last is listed first.
        QTRY_VERIFY(labelOf(*s.screen, "boardList")->text().startsWith(QStringLiteral("二等奖")));
    }

    // Preset winners take the first places of their prize's round, on disk, on the board and in the frame.
    void aDrawWithPresetsByClicks()
    {
        Screen s;
        QVERIFY(s.db.executeSql(Sql("UPDATE 奖项表 SET 数量=3,同时=3 WHERE ID=") + Sql::number(s.first)));
        s.addPreset(s.draw, s.first, QStringLiteral("1007"), QStringLiteral("人6"));
        s.addPreset(s.draw, s.first, QStringLiteral("1013"), QStringLiteral("人12"));
        s.open();
        QTest::mouseClick(labelOf(*s.screen, "drawMode"), Qt::LeftButton, {}, labelOf(*s.screen, "drawMode")->rect().center());
        QVERIFY(s.screen->drawMode());
        s.click();
        QVERIFY(s.screen->scrolling());
        for (int i = 0; i < 5; ++i) { // the presets are out of the random picking
            QTest::qWait(timerOf(*s.screen, "scrollTimer")->interval() + 5);
            const QString shown = frameOf(*s.screen)->numbers();
            QVERIFY2(!shown.contains(QStringLiteral("1007")) && !shown.contains(QStringLiteral("1013")),
                     qPrintable(shown));
        }
        s.click();
        const QStringList stored = s.stored();
        QCOMPARE(stored.size(), 3);
        QCOMPARE(stored.mid(0, 2), QStringList({QStringLiteral("1007"), QStringLiteral("1013")}));
        QCOMPARE(frameOf(*s.screen)->numbers().split(QStringLiteral("\r\n")), stored);
        for (const QString &number : stored)
            QTRY_VERIFY(labelOf(*s.screen, "boardList")->text().contains(number));
        QVERIFY(labelOf(*s.screen, "boardList")->text().contains(QStringLiteral("人12")));
    }

    void spaceStartsAndStopsOncePerPress()
    {
        Screen s;
        s.open();
        clickCommand(*s.screen, "drawMode");
        QTest::keyClick(s.screen.get(), Qt::Key_Space);
        QVERIFY(s.screen->scrolling());
        // A held space bar repeats: the repeats neither stop nor start a round.
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), true);
        QApplication::sendEvent(s.screen.get(), &repeat);
        QVERIFY(s.screen->scrolling());
        QTest::keyClick(s.screen.get(), Qt::Key_Space); // at once: the round's first numbers
        QVERIFY(!s.screen->scrolling());
        QCOMPARE(s.stored(), frameOf(*s.screen)->numbers().split(QStringLiteral("\r\n")));

        // A double click is one start, not a start and a stop.
        QTest::qWait(DrawScreen::RestartGuardMs + 20);
        QTest::mouseDClick(s.screen->windowHandle(), Qt::LeftButton, {}, QPoint(900, 600));
        QVERIFY(s.screen->scrolling());
    }

    void aTimedRoundIgnoresClicksAndStopsItself()
    {
        Screen s;
        s.setSpeedAndTimer(400, 1);
        s.open();
        clickCommand(*s.screen, "drawMode");
        s.click();
        QVERIFY(timerOf(*s.screen, "stopTimer")->isActive());
        QCOMPARE(timerOf(*s.screen, "scrollTimer")->interval(), 101);
        s.click(); // ignored while counting down
        QVERIFY(s.screen->scrolling());
        QVERIFY(s.stored().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(!s.screen->scrolling(), 3000);
        QCOMPARE(s.stored().size(), 2);
    }

    void closingWhileScrollingRecordsNothingAndClearsPresets()
    {
        Screen s;
        s.addPreset(s.draw, s.first, QStringLiteral("1001"), QStringLiteral("人0"));
        QVERIFY(writeSetting(SettingsApplication, QStringLiteral("ReSet"), QStringLiteral("CHK"), QString()));
        s.open();
        QSignalSpy closed(s.screen.get(), &DrawScreen::closed);
        clickCommand(*s.screen, "drawMode");
        s.click();
        clickCommand(*s.screen, "endDraw");
        QCOMPARE(closed.size(), 1);
        QVERIFY(!s.screen->scrolling());
        QVERIFY(s.stored().isEmpty());
        QCOMPARE(s.count("预设表"), 0);
        QCOMPARE(s.music.musicStatus(), QString());

        // Kept when the preset editor's box was unticked.
        s.addPreset(s.draw, s.first, QStringLiteral("1001"), QStringLiteral("人0"));
        QVERIFY(writeSetting(SettingsApplication, QStringLiteral("ReSet"), QStringLiteral("CHK"),
                             QStringLiteral("1")));
        s.open();
        s.screen->close(); // the window manager's way
        QCOMPARE(s.count("预设表"), 1);
    }

    // Each draw opened in a run shows its own board options, and the menu stores them.
    void boardOptionsBelongToTheirDraw()
    {
        Screen s;
        QVERIFY(writeScreenSetting(s.db, s.draw, QStringLiteral("BRD"), QStringLiteral("】【√】【√")));
        s.open();
        QVERIFY(!actionOf(*s.screen, "reverseBoard")->isChecked());
        QVERIFY(actionOf(*s.screen, "currentPrizeOnly")->isChecked());
        QVERIFY(labelOf(*s.screen, "boardList")->isHidden());
        actionOf(*s.screen, "reverseBoard")->trigger();
        QCOMPARE(readScreenSetting(s.db, s.draw, QStringLiteral("BRD")), QStringLiteral("√】【√】【√"));
        s.screen->close();

        const qint64 other = s.addDraw(QStringLiteral("别的"));
        s.draw = other;
        s.open();
        QVERIFY(actionOf(*s.screen, "reverseBoard")->isChecked()); // the initial states, not the last draw's
        QVERIFY(!actionOf(*s.screen, "hideBoard")->isChecked());
        QVERIFY(labelOf(*s.screen, "boardList")->isVisible());
    }

    void deletedResultsAreDrawnAgain()
    {
        Screen s;
        s.open();
        clickCommand(*s.screen, "drawMode");
        s.click();
        s.click();
        QCOMPARE(s.stored().size(), 2);
        clickCommand(*s.screen, "deleteResults");
        ResultDeletion *window = s.screen->resultDeletion();
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QString gone = s.stored().at(0);
        QVERIFY(s.db.executeSql(Sql("DELETE * FROM 结果表 WHERE 号码=") + Sql::text(gone)));
        Q_EMIT window->deleted();
        QVERIFY(!labelOf(*s.screen, "boardList")->text().contains(gone));
        // The freed place comes first: the next round is 一等奖's again, with one place.
        s.clickLater();
        QCOMPARE(s.screen->picks().size(), 1);
        s.screen->close();
        QVERIFY(!s.screen->resultDeletion() || !s.screen->resultDeletion()->isVisible());
    }

    // Every pick of a round is painted inside the frame, a page at a time, and
    // the board lists the whole round; the numbers never shrink below the floor.
    void everyPickIsOnScreen_data()
    {
        QTest::addColumn<int>("picks");
        QTest::addColumn<QString>("frame");
        QTest::addColumn<QSize>("size");
        const QSize hd(1920, 1080), uhd(3840, 2160), small(1366, 768);
        for (const auto &[size, name] : {std::pair{hd, "1080p"}, {uhd, "4K"}, {small, "768"}})
            for (const int picks : {1, 10, 100, 1000})
                QTest::addRow("%d, %s", picks, name) << picks << QString() << size;
        QTest::newRow("100, small stored frame") << 100 << QStringLiteral("32】【136】【353】【73】【16777215】【0】【0") << hd;
        QTest::newRow("100, stored growing frame") << 100 << QStringLiteral("32】【136】【353】【73】【16777215】【0】【1") << hd;
    }
    void everyPickIsOnScreen()
    {
        QFETCH(int, picks);
        QFETCH(QString, frame);
        QFETCH(QSize, size);
        Screen s;
        QVERIFY(s.db.executeSql(Sql("UPDATE 奖项表 SET 数量=") + Sql::number(picks) + Sql(",同时=") +
                                Sql::number(picks) + Sql(" WHERE ID=") + Sql::number(s.first)));
        s.addParticipants(s.draw, picks, 5001);
        if (!frame.isEmpty())
            QVERIFY(writeScreenSetting(s.db, s.draw, QStringLiteral("FRM"), frame));
        s.open(size);
        s.drawRound();
        const QStringList stored = s.stored();
        QCOMPARE(stored.size(), picks);
        NumberFrame *numbers = frameOf(*s.screen);
        // Digits the back of a hall reads: a thirtieth of the screen's height at the least.
        const int digit = NumberFrame::digitHeight(numbers->fittedFont());
        QVERIFY2(digit * 30 >= size.height(), qPrintable(QString::number(digit)));
        QVERIFY(numbers->geometry().bottom() < labelOf(*s.screen, "deleteResults")->y());
        // The operator's commands grow with the screen: readable and easy to hit at 4K.
        for (const char *name : {"drawMode", "endDraw", "deleteResults"})
            QVERIFY(QFontInfo(labelOf(*s.screen, name)->font()).pixelSize() * 60 >= size.height());
        if (picks == 1 && frame.isEmpty()) // a round of one stands a tenth of the screen high
            QVERIFY2(digit * 10 >= size.height(), qPrintable(QString::number(digit)));
        if (picks <= 100 && frame.isEmpty() && size.height() >= 1080) // the whole frame is used before pages
            QCOMPARE(numbers->pageCount(), 1);
        // Corner cells stay clear of the border and the panel's rounded corners.
        const QRect inside = numbers->rect().adjusted(4, 4, -4, -4);

        QSet<QString> inFrame, onBoard;
        const QSet<QString> all(stored.cbegin(), stored.cend());
        for (int turn = 0; turn < 200 && (inFrame != all || onBoard != all); ++turn) {
            for (const auto &[line, place] : numbers->pageCells()) {
                QVERIFY2(inside.contains(place), qPrintable(line));
                inFrame.insert(line);
            }
            for (const QString &line : labelOf(*s.screen, "boardList")->text().split(u'\n'))
                if (line.startsWith(QStringLiteral("     ")))
                    onBoard.insert(line.trimmed().section(u'(', 0, 0));
            QTest::keyClick(s.screen.get(), Qt::Key_Right);
        }
        QCOMPARE(inFrame, all);
        QCOMPARE(onBoard, all);
    }

    // The hall's board reads at 4.5 : 1 or better, measured on the pixels behind its
    // text, over the built-in picture and over a bright one of the operator's.
    void theBoardReadsFromTheHall_data()
    {
        QTest::addColumn<QColor>("picture");
        QTest::newRow("built-in") << QColor();
        QTest::newRow("white") << QColor(Qt::white);
        QTest::newRow("red") << QColor(255, 0, 0);
    }
    void theBoardReadsFromTheHall()
    {
        QFETCH(QColor, picture);
        Screen s;
        QTemporaryDir dir;
        if (picture.isValid()) {
            QImage image(64, 48, QImage::Format_RGB32);
            image.fill(picture);
            const QString path = dir.filePath(QStringLiteral("bg.png"));
            QVERIFY(image.save(path));
            QVERIFY(s.db.executeSql(Sql("UPDATE 奖次表 SET 底图=") + Sql::text(path) + Sql(" WHERE ID=") +
                                    Sql::number(s.draw)));
        }
        s.open(QSize(1920, 1080));
        s.drawRound();
        for (const char *name : {"boardTitle", "boardList"}) {
            QLabel *text = labelOf(*s.screen, name);
            const QRect area = text->geometry() & QRect(0, 0, 1920, 900);
            const QImage with = s.screen->grab(area).toImage();
            text->hide();
            const QImage without = s.screen->grab(area).toImage();
            text->show();
            const double ink = luminance(text->palette().color(QPalette::WindowText));
            double brightest = 0, darkest = 1;
            int pixels = 0;
            for (int y = 0; y < with.height(); ++y)
                for (int x = 0; x < with.width(); ++x)
                    if (with.pixel(x, y) != without.pixel(x, y)) {
                        const double behind = luminance(without.pixelColor(x, y));
                        brightest = std::max(brightest, behind);
                        darkest = std::min(darkest, behind);
                        ++pixels;
                    }
            QVERIFY(pixels > 100);
            const double contrast = ink > brightest ? (ink + 0.05) / (brightest + 0.05) : (darkest + 0.05) / (ink + 0.05);
            QVERIFY2(contrast >= 4.5, qPrintable(QStringLiteral("%1: %2 : 1").arg(QLatin1String(name)).arg(contrast)));
        }
    }

    // A stop stores its round before any music plays, and shows it at once; a
    // start right after it is a double press and is ignored.
    void aStopStoresFirst()
    {
        Screen s;
        QVERIFY(s.db.executeSql(Sql("UPDATE 奖次表 SET 音乐2='d.mp3',音乐3='win.mp3' WHERE ID=") +
                                Sql::number(s.draw)));
        s.open();
        QStringList storedAtTune;
        s.music.onPlay = [&](const QString &path) {
            if (path == QStringLiteral("win.mp3"))
                storedAtTune = s.stored();
        };
        s.drawRound();
        QCOMPARE(storedAtTune.size(), 2);
        QCOMPARE(storedAtTune, s.stored());
        QCOMPARE(frameOf(*s.screen)->accessibleDescription(), storedAtTune.join(QStringLiteral("，")));
        s.click();
        QVERIFY(!s.screen->scrolling());
        QCOMPARE(s.prompt.messages, QStringList());
    }

    // Without a sound device the operator hears it once, before the screen opens.
    void noSoundDeviceIsToldOnce()
    {
        Screen s;
        s.music.hasOutput = false;
        s.open();
        QVERIFY(s.prompt.messages.isEmpty()); // a draw without music has nothing to miss
        QVERIFY(s.db.executeSql(Sql("UPDATE 奖次表 SET 音乐1='w.mp3' WHERE ID=") + Sql::number(s.draw)));
        s.open();
        s.open();
        QCOMPARE(s.prompt.messages, QStringList{QStringLiteral("没有可用的声音设备，本次抽奖不播放音乐。")});
    }

    // A standby copy that keeps failing is told in the row of the commands, for a few
    // seconds, never over the numbers or the board, and asks nothing of the operator.
    void aNoteForTheOperatorStaysOutOfTheWay()
    {
        Screen s;
        s.open(QSize(1366, 768));
        s.drawRound();
        s.screen->showOperatorNote(QStringLiteral("自动备份失败：磁盘已满"));
        const QLabel *note = s.screen->operatorNote();
        QVERIFY(note->isVisible());
        QCOMPARE(note->accessibleName(), QStringLiteral("自动备份失败：磁盘已满"));
        QVERIFY(s.screen->rect().contains(note->geometry()));
        // The row of the commands lies below the board's last line and the frame.
        const QLabel *drawMode = s.screen->findChild<QLabel *>(QStringLiteral("drawMode"));
        QVERIFY(std::abs(note->geometry().center().y() - drawMode->geometry().center().y()) <= 1);
        for (const QWidget *other : std::initializer_list<const QWidget *>{
                 s.screen->numberFrame(), drawMode, s.screen->findChild<QLabel *>(QStringLiteral("endDraw")),
                 s.screen->findChild<QLabel *>(QStringLiteral("deleteResults"))})
            QVERIFY2(!note->geometry().intersects(other->geometry()), qPrintable(other->objectName()));
        QVERIFY(s.prompt.messages.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(!note->isVisible(), DrawScreen::OperatorNoteMs + 2000);
    }

    // Esc asks before it ends the draw (Enter says 否); the menu opens from the keyboard.
    void theKeyboardOnStage()
    {
        Screen s;
        s.open();
        QSignalSpy closed(s.screen.get(), &DrawScreen::closed);
        QTest::keyClick(s.screen.get(), Qt::Key_Escape);
        QCOMPARE(s.prompt.questions, QStringList{QStringLiteral("结束抽奖？")});
        QCOMPARE(s.prompt.defaults, QList<Prompt::Default>{Prompt::Default::No});
        QVERIFY(closed.isEmpty());
        s.prompt.answers = {true};
        QTest::keyClick(s.screen.get(), Qt::Key_Escape);
        QCOMPARE(closed.size(), 1);

        s.open();
        auto *menu = s.screen->findChild<QMenu *>(QStringLiteral("settingsMenu"));
        QTest::keyClick(s.screen.get(), Qt::Key_F10, Qt::ShiftModifier);
        QTRY_VERIFY(menu->isVisible());
        menu->close();
        clickCommand(*s.screen, "drawMode");
        QCOMPARE(labelOf(*s.screen, "drawMode")->accessibleName(), QStringLiteral("暂停抽奖"));
    }

    void aTransparentFrameShowsTheBackground()
    {
        Screen s;
        QVERIFY(writeScreenSetting(s.db, s.draw, QStringLiteral("FRM"),
                                   QStringLiteral("100】【100】【300】【80】【255】【1】【0")));
        s.open();
        frameOf(*s.screen)->setNumbers(QString());
        const QImage image = s.screen->grab().toImage();
        const QRect frame = frameOf(*s.screen)->geometry();
        QCOMPARE(frame, QRect(100, 100, 300, 80));
        // Compared with the same place of a screen whose frame is elsewhere.
        frameOf(*s.screen)->applyLayout(FrameLayout{600, 500, 10, 10, 255, true, false});
        const QImage behind = s.screen->grab().toImage();
        QCOMPARE(image.copy(frame), behind.copy(frame));
        frameOf(*s.screen)->applyLayout(FrameLayout{100, 100, 300, 80, 255, false, false});
        QCOMPARE(s.screen->grab().toImage().pixelColor(200, 140), QColor(Qt::red));
    }

    // A tick repaints only the characters that changed: what the screen then holds is
    // what a whole paint of the latest numbers gives, nothing of an earlier tick left.
    void ticksLeaveNothingBehind_data()
    {
        QTest::addColumn<QStringList>("ticks");
        QTest::newRow("the last digits change") << QStringList{QStringLiteral("13800000001\r\n13800000002\r\n13800000003"),
                                                               QStringLiteral("13800000917\r\n13800000002\r\n13800004443"),
                                                               QStringLiteral("13800000918\r\n13800001002\r\n13800004443")};
        QTest::newRow("shorter numbers, centred again")
            << QStringList{QStringLiteral("8888\r\n1234\r\n77"), QStringLiteral("1111\r\n1234\r\n7"), QStringLiteral("11\r\n4\r\nW7")};
        QTest::newRow("marks left to the font") << QStringList{QStringLiteral("e\u0301\u0301 12\r\nAB"), QStringLiteral("a\u0301 13\r\nAB")};
        QTest::newRow("a new round of another count") << QStringList{QStringLiteral("123\r\n456"), QStringLiteral("789"), QStringLiteral("780")};
    }
    void ticksLeaveNothingBehind()
    {
        QFETCH(QStringList, ticks);
        NumberFrame frame;
        frame.applyLayout(FrameLayout{0, 0, 420, 200, 0x00ffff, false, false});
        QFont font = frame.font();
        font.setPixelSize(34);
        frame.setTextFont(font);
        frame.setTextColour(Qt::darkBlue);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        const auto onScreen = [&] { return shownImage(&frame); };
        PaintCounter paints(&frame);
        for (const QString &numbers : ticks) {
            const int before = paints.count;
            frame.setNumbers(numbers);
            // The tick's own paint, however late a loaded machine runs its timer, then a
            // moment past the repaint throttle for any paint still due.
            QTRY_VERIFY(paints.count > before);
            QTest::qWait(40);
            const QImage shown = onScreen();
            frame.repaint();
            QCOMPARE(shown, onScreen());
        }
    }
};

QTEST_MAIN(TestDrawScreen)
#include "tst_drawscreen.moc"
