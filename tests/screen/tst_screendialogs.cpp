#include "platform/Appearance.h"
#include "screen/BoardSettings.h"
#include "screen/DrawScreen.h"
#include "screen/FrameSettings.h"
#include "screen/NumberFrame.h"
#include "screen/PixelBox.h"
#include "support/ScreenParts.h"
#include "support/DrawFixture.h"
#include "support/FakeMusic.h"
#include "support/RecordingProgress.h"

#include <QCheckBox>
#include <QFontDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace quilla;

namespace {

// A control of a dialog, found by its name as a user's tools find it.
template <typename T> T *part(QWidget *dialog, const char *name)
{
    T *found = dialog->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

const QString Stored = QStringLiteral("100】【100】【300】【80】【255】【0】【0");

struct Screen : DrawFixture
{
    Screen()
    {
        draw = addDraw();
        addPrize(draw, 1, QStringLiteral("一等奖"), 3, 3);
        addParticipants(draw, 20);
    }
    void open()
    {
        screen = std::make_unique<DrawScreen>(db, engine, progress, music);
        QVERIFY(screen->load(draw));
        screen->resize(1280, 900);
        screen->show();
        QVERIFY(QTest::qWaitForWindowExposed(screen.get()));
    }
    QString setting(const char *column) { return readScreenSetting(db, draw, QString::fromLatin1(column)); }
    void refuse(const char *column)
    {
        QVERIFY(db.executeSql(Sql("CREATE TRIGGER refuse") + QString::fromLatin1(column) +
                              Sql(" BEFORE UPDATE OF ") + QString::fromLatin1(column) +
                              Sql(" ON 奖次表 BEGIN SELECT RAISE(ABORT, 'disk'); END")));
    }
    FrameSettings *openFrameDialog()
    {
        actionOf(*screen, "frameSettings")->trigger();
        FrameSettings *dialog = screen->frameSettings();
        if (dialog) // as if the first second were over (its own test waits for it)
            part<QTimer>(dialog, "previewDelay")->stop();
        return dialog;
    }

    qint64 draw = 0;
    RecordingProgress progress;
    FakeMusic music;
    std::unique_ptr<DrawScreen> screen;
};

// The screen's appearance, counting the frame layouts the dialog asks for.
struct CountingAppearance : ScreenAppearance
{
    explicit CountingAppearance(DrawScreen &screen) : screen(screen) {}
    Prompt &operatorPrompt() override { return screen.operatorPrompt(); }
    NumberFrame *numberFrame() override { return frameOf(screen); }
    QLabel *textLabel(Element element) override { return screen.textLabel(element); }
    QString frameString() const override { return screen.frameString(); }
    void applyFrameLayout(const QString &text) override
    {
        layouts.append(text);
        screen.applyFrameLayout(text);
    }
    bool storeFrameString(const QString &text) override { return screen.storeFrameString(text); }
    bool chooseFont(Element element, QWidget *parent) override { return screen.chooseFont(element, parent); }
    void setTextColour(Element element, qint64 colour) override { screen.setTextColour(element, colour); }
    bool saveTextStyle(Element element) override { return screen.saveTextStyle(element); }
    void setBoardGeometry(const QRect &title) override { screen.setBoardGeometry(title); }
    void setBoardOpaque(bool opaque) override { screen.setBoardOpaque(opaque); }

    DrawScreen &screen;
    QStringList layouts;
};

// Key by key as typed, Chinese characters too.
void retype(QLineEdit *box, const QString &text)
{
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    for (const QChar c : text) {
        QTest::sendKeyEvent(QTest::Press, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

void click(QWidget *widget)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

// On the box itself: a check box may be wider than its caption.
void tick(QCheckBox *box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->height() / 2, box->height() / 2));
}

} // namespace

class TestScreenDialogs : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void framePreviewWaitsASecondThenFollowsEachEdit()
    {
        Screen s;
        QVERIFY(writeScreenSetting(s.db, s.draw, QStringLiteral("FRM"), Stored));
        s.open();
        CountingAppearance look(*s.screen);
        FrameSettings dialog(look, s.screen.get());
        dialog.show();
        QCOMPARE(part<PixelBox>(&dialog, "left")->text(), QStringLiteral("100"));
        QVERIFY(part<QTimer>(&dialog, "previewDelay")->isActive());

        QTest::keyClicks(part<PixelBox>(&dialog, "left"), QStringLiteral("5"));
        QVERIFY(look.layouts.isEmpty());
        QCOMPARE(frameOf(*s.screen)->x(), 100);

        QTRY_VERIFY_WITH_TIMEOUT(!part<QTimer>(&dialog, "previewDelay")->isActive(), 3000);
        QVERIFY(look.layouts.isEmpty()); // the second running out previews nothing by itself
        QTest::keyClick(part<PixelBox>(&dialog, "left"), Qt::Key_Backspace);
        QTest::keyClicks(part<PixelBox>(&dialog, "left"), QStringLiteral("2"));
        tick(part<QCheckBox>(&dialog, "autoHeight"));
        QCOMPARE(look.layouts, QStringList({QStringLiteral("100】【100】【300】【80】【255】【0】【0"),
                                            QStringLiteral("1002】【100】【300】【80】【255】【0】【0"),
                                            QStringLiteral("1002】【100】【300】【80】【255】【0】【1")}));
        QCOMPARE(frameOf(*s.screen)->x(), 1002);

        // The screen coming to the front keeps the preview; the stored string is untouched.
        // Asked again while waiting: another test's window on the shared X server may take the focus.
        QTRY_VERIFY((s.screen->activateWindow(), s.screen->isActiveWindow()));
        QCOMPARE(frameOf(*s.screen)->x(), 1002);
        QCOMPARE(s.setting("FRM"), Stored);
    }

    void confirmStoresSevenFieldsWhateverWasTyped()
    {
        Screen s;
        s.open();
        FrameSettings *dialog = s.openFrameDialog();
        QVERIFY(dialog);
        retype(part<PixelBox>(dialog, "left"), QStringLiteral("】【'\"x-12"));
        retype(part<PixelBox>(dialog, "top"), QString());
        retype(part<PixelBox>(dialog, "width"), QStringLiteral("123456"));
        retype(part<PixelBox>(dialog, "height"), QStringLiteral("-5a"));
        QCOMPARE(part<PixelBox>(dialog, "left")->text(), QStringLiteral("-12"));
        QCOMPARE(part<PixelBox>(dialog, "width")->text(), QStringLiteral("1234"));
        QCOMPARE(part<PixelBox>(dialog, "height")->text(), QStringLiteral("5"));
        dialog->chooseColor = [](qint64) { return 65280; };
        click(part<QPushButton>(dialog, "swatch"));
        tick(part<QCheckBox>(dialog, "transparent"));
        click(part<QPushButton>(dialog, "ok"));
        const QString stored = QStringLiteral("-12】【0】【1234】【5】【65280】【1】【0");
        QCOMPARE(s.setting("FRM"), stored);
        QCOMPARE(s.screen->frameString(), stored);
        QTRY_VERIFY(!s.screen->frameSettings());
        QCOMPARE(frameOf(*s.screen)->geometry().topLeft(), QPoint(-12, 0));

        // Text that did not come through the keyboard cannot split the string either.
        dialog = s.openFrameDialog();
        QVERIFY(dialog);
        part<PixelBox>(dialog, "top")->setText(QStringLiteral("7】【8'"));
        part<PixelBox>(dialog, "width")->setText(QStringLiteral("99999999999"));
        click(part<QPushButton>(dialog, "ok"));
        QCOMPARE(s.setting("FRM"), QStringLiteral("-12】【7】【9999】【5】【65280】【1】【0"));
    }

    void cancelRestoresTheOpeningFrame_data()
    {
        QTest::addColumn<QString>("opening");
        QTest::addColumn<int>("way");
        for (const QString &opening : {Stored, QString()}) {
            const char *name = opening.isEmpty() ? "none stored" : "stored";
            QTest::addRow("%s, 取消", name) << opening << 0;
            QTest::addRow("%s, Esc", name) << opening << 1;
            QTest::addRow("%s, close box", name) << opening << 2;
        }
    }
    void cancelRestoresTheOpeningFrame()
    {
        QFETCH(QString, opening);
        QFETCH(int, way);
        Screen s;
        QVERIFY(writeScreenSetting(s.db, s.draw, QStringLiteral("FRM"), opening));
        s.open();
        const QRect before = frameOf(*s.screen)->geometry();
        FrameSettings *dialog = s.openFrameDialog();
        QVERIFY(dialog);
        // The boxes show the frame on the screen, the default one too.
        QCOMPARE(part<PixelBox>(dialog, "top")->value(), before.y());
        retype(part<PixelBox>(dialog, "top"), QStringLiteral("400"));
        tick(part<QCheckBox>(dialog, "transparent"));
        QCOMPARE(frameOf(*s.screen)->y(), 400);
        QVERIFY(frameOf(*s.screen)->frameLayout().Transparent);

        if (way == 0)
            click(part<QPushButton>(dialog, "cancel"));
        else if (way == 1)
            QTest::keyClick(dialog, Qt::Key_Escape);
        else
            dialog->close();
        QTRY_VERIFY(!s.screen->frameSettings());
        QCOMPARE(frameOf(*s.screen)->geometry(), before);
        QVERIFY(!frameOf(*s.screen)->frameLayout().Transparent);
        QCOMPARE(s.setting("FRM"), opening);
        QVERIFY(s.prompt.messages.isEmpty());
    }

    // Font and colour of the numbers are stored when chosen, whatever the frame dialog ends with.
    void numbersFontAndColourAreStoredAtOnce()
    {
#ifdef Q_OS_WIN
        // The faces as the program sets them up. Without, 楷体_GB2312 falls to SimSun under
        // Wine, whose bold Qt 6.4's font dialog meets with no styles and crashes on.
        quilla::setUpFonts(*qApp);
#endif
        Screen s;
        QVERIFY(writeScreenSetting(s.db, s.draw, QStringLiteral("L2"),
                                   QStringLiteral("楷体_GB2312】【√】【】【14.25】【】【】【0")));
        s.open();
        FrameSettings *dialog = s.openFrameDialog();
        QVERIFY(dialog);
        const QString before = s.setting("L2");

        // Chooser dialogs cancelled: nothing changes, nothing is stored.
        dialog->chooseColor = [](qint64) { return -1; };
        s.screen->runDialog = [](QDialog &) { return int(QDialog::Rejected); };
        click(part<QPushButton>(dialog, "numbersColour"));
        click(part<QPushButton>(dialog, "numbersFont"));
        QCOMPARE(s.setting("L2"), before);

        // Confirmed as offered: the dialog knows whole sizes and installed faces only.
        s.screen->runDialog = [](QDialog &) { return int(QDialog::Accepted); };
        click(part<QPushButton>(dialog, "numbersFont"));
        QVERIFY(s.setting("L2").startsWith(QStringLiteral("楷体_GB2312】【√】【】【14.25】【】【】【0】【")));
        QCOMPARE(frameOf(*s.screen)->textFont().pointSizeF(), 14.25);

        dialog->chooseColor = [](qint64) { return 255; };
        s.screen->runDialog = [](QDialog &fonts) {
            QFont chosen = static_cast<QFontDialog &>(fonts).currentFont();
            chosen.setFamilies({QStringLiteral("DejaVu Serif")});
            chosen.setPointSize(20);
            chosen.setItalic(true);
            chosen.setStyleName(QString()); // the style follows bold and italic
            static_cast<QFontDialog &>(fonts).setCurrentFont(chosen);
            return int(QDialog::Accepted);
        };
        click(part<QPushButton>(dialog, "numbersFont"));
        click(part<QPushButton>(dialog, "numbersColour"));
        click(part<QPushButton>(dialog, "cancel"));
        const QStringList fields = s.setting("L2").split(FieldSeparator);
        QCOMPARE(fields.size(), 12);
        QCOMPARE(fields.mid(0, 7),
                 QStringList({QStringLiteral("DejaVu Serif"), QStringLiteral("√"), QStringLiteral("√"),
                              QStringLiteral("20"), QString(), QString(), QStringLiteral("255")}));
        QCOMPARE(frameOf(*s.screen)->textFont().pointSizeF(), 20.0);
    }

    void boardDialogPlacesTheBoardAndStoresItOnClosing()
    {
        Screen s;
        s.open();
        QLabel *title = labelOf(*s.screen, "boardTitle");
        QLabel *list = labelOf(*s.screen, "boardList");
        actionOf(*s.screen, "boardSettings")->trigger();
        BoardSettings *dialog = s.screen->boardSettings();
        QVERIFY(dialog);
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QCOMPARE(part<PixelBox>(dialog, "left")->value(), title->x());
        QCOMPARE(part<PixelBox>(dialog, "height")->value(), title->height());
        QVERIFY(title->autoFillBackground()); // the board's area shows while it is edited
        const int gap = list->y() - title->y() - title->height();

        // Only the title's height changes: the list moves down by as much.
        const int listTop = list->y();
        retype(part<PixelBox>(dialog, "height"), QString::number(title->height() + 40));
        QCOMPARE(list->y(), listTop + 40);
        QCOMPARE(list->y() - title->y() - title->height(), gap);
        retype(part<PixelBox>(dialog, "left"), QStringLiteral("50"));
        QCOMPARE(list->x(), 50);
        QCOMPARE(list->width(), title->width());

        dialog->chooseColor = [](qint64) { return 65280; };
        click(part<QPushButton>(dialog, "listColour"));
        QCOMPARE(list->palette().color(QPalette::WindowText), QColor(Qt::green));
        QVERIFY(s.setting("L1").isEmpty()); // stored when the dialog closes

        const QRect titlePlace = title->geometry();
        dialog->close(); // the close box confirms
        QTRY_VERIFY(!s.screen->boardSettings());
        QVERIFY(!title->autoFillBackground());
        const QStringList l0 = s.setting("L0").split(FieldSeparator);
        const QStringList l1 = s.setting("L1").split(FieldSeparator);
        QCOMPARE(l0.size(), 12);
        QCOMPARE(l1.size(), 12);
        QCOMPARE(l1.at(6), QStringLiteral("65280"));
        QCOMPARE(l1.at(11), QStringLiteral("50000"));
        QVERIFY(s.prompt.messages.isEmpty());

        // The next opening of the draw shows the board where it was left.
        s.screen->close();
        s.open();
        QCOMPARE(labelOf(*s.screen, "boardTitle")->geometry(), titlePlace);
        QCOMPARE(labelOf(*s.screen, "boardList")->y(), titlePlace.bottom() + 1 + gap);
    }

    void closingTheScreenClosesTheDialogs()
    {
        Screen s;
        QVERIFY(writeScreenSetting(s.db, s.draw, QStringLiteral("FRM"), Stored));
        QVERIFY(s.db.executeSql(Sql("CREATE TABLE 写入 (列 TEXT)")));
        for (const char *column : {"L0", "L1", "FRM"})
            QVERIFY(s.db.executeSql(Sql("CREATE TRIGGER log") + QString::fromLatin1(column) +
                                    Sql(" AFTER UPDATE OF ") + QString::fromLatin1(column) +
                                    Sql(" ON 奖次表 BEGIN INSERT INTO 写入 VALUES('") +
                                    QString::fromLatin1(column) + Sql("'); END")));
        s.open();
        FrameSettings *frame = s.openFrameDialog();
        actionOf(*s.screen, "boardSettings")->trigger();
        BoardSettings *board = s.screen->boardSettings();
        QVERIFY(frame && board);
        QVERIFY(frame->parentWidget() == s.screen.get() && board->windowFlags().testFlag(Qt::Tool));
        // One of each: the menu brings back the open one.
        actionOf(*s.screen, "frameSettings")->trigger();
        actionOf(*s.screen, "boardSettings")->trigger();
        QCOMPARE(s.screen->frameSettings(), frame);
        QCOMPARE(s.screen->boardSettings(), board);

        retype(part<PixelBox>(frame, "left"), QStringLiteral("300"));
        retype(part<PixelBox>(board, "top"), QStringLiteral("20"));
        clickCommand(*s.screen, "endDraw");
        QVERIFY(!frame->isVisible() && !board->isVisible());
        // The board's styles once each; the frame's edits go unstored.
        QCOMPARE(s.count("写入", Sql("列='L0'")), 1);
        QCOMPARE(s.count("写入", Sql("列='L1'")), 1);
        QCOMPARE(s.count("写入"), 2);
        QCOMPARE(s.setting("L0").split(FieldSeparator).at(9), QStringLiteral("300"));
        QTest::qWait(20); // the dialogs' deferred deletion
        s.screen.reset();
    }

    void failedWritesAreReported()
    {
        Screen s;
        QVERIFY(writeScreenSetting(s.db, s.draw, QStringLiteral("FRM"), Stored));
        s.open();
        s.refuse("FRM");
        s.refuse("L2");
        FrameSettings *dialog = s.openFrameDialog();
        QVERIFY(dialog);
        retype(part<PixelBox>(dialog, "left"), QStringLiteral("7"));
        click(part<QPushButton>(dialog, "ok"));
        // Not stored: the dialog stays with its preview, the string in force is the old one.
        QCOMPARE(s.prompt.messages, QStringList{QStringLiteral("号码框设置未能保存，请检查数据库文件！")});
        QVERIFY(dialog->isVisible());
        QCOMPARE(s.screen->frameString(), Stored);
        QCOMPARE(frameOf(*s.screen)->x(), 7);

        dialog->chooseColor = [](qint64) { return 255; };
        click(part<QPushButton>(dialog, "numbersColour"));
        QCOMPARE(s.prompt.messages.last(), QStringLiteral("号码的字体和颜色未能保存，请检查数据库文件！"));

        s.prompt.clear();
        // The opening look is back; the string on disk was never changed, so there is
        // nothing to write and nothing to complain about.
        click(part<QPushButton>(dialog, "cancel"));
        QVERIFY(s.prompt.messages.isEmpty());
        QTRY_VERIFY(!s.screen->frameSettings());
        QCOMPARE(frameOf(*s.screen)->x(), 100);
        QCOMPARE(s.setting("FRM"), Stored);

        // The board dialog has nothing to go back to: it closes and says so.
        s.prompt.clear();
        s.refuse("L1");
        actionOf(*s.screen, "boardSettings")->trigger();
        QVERIFY(s.screen->boardSettings());
        click(part<QPushButton>(s.screen->boardSettings(), "ok"));
        QTRY_VERIFY(!s.screen->boardSettings());
        QCOMPARE(s.prompt.messages,
                 QStringList{QStringLiteral("公告板的位置和字体未能保存，请检查数据库文件！")});
        QVERIFY(!s.setting("L0").isEmpty());
    }
};

QTEST_MAIN(TestScreenDialogs)
#include "tst_screendialogs.moc"
