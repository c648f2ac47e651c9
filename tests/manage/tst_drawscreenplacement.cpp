// Which display the draw screen opens on, and what happens when it goes away.
// Runs offscreen with two configured displays, and on an X server whose
// displays LAPTOP and PROJ are RandR monitors that the test can unplug.
#include "manage/ManagementWindow.h"
#include "platform/MessagePrompt.h"
#include "platform/ScreenChoice.h"
#include "screen/DrawScreen.h"
#include "support/ScreenParts.h"
#include "support/DrawFixture.h"
#include "support/FakeMusic.h"
#include "support/RecordingProgress.h"
#include "support/TempSettings.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <QTimer>

using namespace quilla;

namespace {

QScreen *screenNamed(const QString &name)
{
    for (QScreen *screen : QGuiApplication::screens())
        if (screen->name() == name)
            return screen;
    return nullptr;
}

struct Party : DrawFixture
{
    Party()
    {
        draw = addDraw();
        addPrize(draw, 1, QStringLiteral("一等奖"), 2, 2);
        addParticipants(draw, 20);
        window = std::make_unique<ManagementWindow>(db, engine, progress, music);
        window->setScreen(screenNamed(QStringLiteral("LAPTOP")));
        window->move(screenNamed(QStringLiteral("LAPTOP"))->geometry().topLeft() + QPoint(40, 40));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->chooseDraw = [this](qint64) -> QString { return QString::number(draw) + QStringLiteral("‖年会"); };
    }
    // Opens the draw screen as the button does and waits until it fills its display.
    DrawScreen *start(const QString &expectedScreen)
    {
        window->startDraw();
        DrawScreen *screen = window->drawScreen();
        if (!screen)
            return nullptr;
        const QRect wanted = screenNamed(expectedScreen)->geometry();
        if (!QTest::qWaitFor([&] { return screen->isVisible() && screen->geometry() == wanted; }, 5000))
            qWarning() << "draw screen at" << screen->geometry() << "wanted" << wanted;
        return screen->geometry() == wanted ? screen : nullptr;
    }

    TempSettings settings;
    RecordingProgress progress;
    FakeMusic music;
    qint64 draw = 0;
    std::unique_ptr<ManagementWindow> window;
};

} // namespace

class TestDrawScreenPlacement : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void init()
    {
        if (!screenNamed(QStringLiteral("LAPTOP")) || !screenNamed(QStringLiteral("PROJ")))
            QSKIP("needs the displays LAPTOP and PROJ");
    }

    void opensOnTheOtherDisplayUnlessTold()
    {
        Party p;
        // Nothing remembered: the projector, while the operator keeps a locked window.
        DrawScreen *screen = p.start(QStringLiteral("PROJ"));
        QVERIFY(screen);
        QVERIFY(screen->isFullScreen());
        QVERIFY(p.window->isVisible());
        QVERIFY(!p.window->centralWidget()->isEnabled() && !p.window->menuBar()->isEnabled());
        // Messages of the draw come up where the operator is working, not on the laptop.
        QVERIFY(QTest::qWaitForWindowActive(screen));
        MessagePrompt prompt(p.window.get());
        QWidget *owner = nullptr;
        QTimer::singleShot(0, screen, [&owner] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                owner = box->parentWidget();
                box->accept();
            }
        });
        prompt.message(QStringLiteral("所有奖项都已抽完！"));
        QCOMPARE(owner, screen);
        // A stray close of the operator's window does not end the draw.
        QVERIFY(!p.window->close());
        QVERIFY(screen->isVisible());
        QCOMPARE(p.prompt.messages.size(), 1);
        screen->close();
        QTRY_VERIFY(!p.window->drawScreen());
        QVERIFY(p.window->centralWidget()->isEnabled() && p.window->menuBar()->isEnabled());

        // The menu lists every display with its size; a choice is remembered.
        QMenu *menu = p.window->findChild<QMenu *>(QStringLiteral("screenMenu"));
        QVERIFY(menu);
        Q_EMIT menu->aboutToShow();
        QStringList captions;
        QAction *laptop = nullptr;
        for (QAction *action : menu->actions())
            if (!action->isSeparator()) {
                captions.append(action->text());
                if (action->data().toString() == QStringLiteral("LAPTOP"))
                    laptop = action;
            }
        QVERIFY(captions.first().startsWith(QStringLiteral("自动")));
        QVERIFY(captions.contains(screenLabel(screenNamed(QStringLiteral("PROJ")))));
        QVERIFY(captions.contains(QStringLiteral("LAPTOP（%1×%2）")
                                      .arg(screenNamed(QStringLiteral("LAPTOP"))->size().width())
                                      .arg(screenNamed(QStringLiteral("LAPTOP"))->size().height())));
        QVERIFY(laptop);
        laptop->trigger();
        QCOMPARE(rememberedDrawScreen(), QStringLiteral("LAPTOP"));

        // The operator's own display: the management window makes way.
        screen = p.start(QStringLiteral("LAPTOP"));
        QVERIFY(screen);
        QVERIFY(!p.window->isVisible());
        screen->close();
        QTRY_VERIFY(p.window->isVisible());

        // A remembered display that is not connected: the automatic choice.
        QVERIFY(rememberDrawScreen(QStringLiteral("HDMI-9")));
        QCOMPARE(drawScreenFor(screenNamed(QStringLiteral("LAPTOP")), rememberedDrawScreen()),
                 screenNamed(QStringLiteral("PROJ")));
    }

    void unpluggedProjectorKeepsTheRound()
    {
        if (QGuiApplication::platformName() != QStringLiteral("xcb"))
            QSKIP("only an X server can take a display away");
        Party p;
        DrawScreen *screen = p.start(QStringLiteral("PROJ"));
        QVERIFY(screen);
        clickCommand(*screen, "drawMode"); // draw mode
        screen->drawAction();
        QVERIFY(screen->scrolling());

        QCOMPARE(QProcess::execute(QStringLiteral("xrandr"), {QStringLiteral("--delmonitor"), QStringLiteral("PROJ")}),
                 0);
        QTRY_VERIFY_WITH_TIMEOUT(!screenNamed(QStringLiteral("PROJ")), 5000);
        // It fills a remaining display and the round scrolls on.
        QTRY_VERIFY_WITH_TIMEOUT(screen->windowHandle()->screen() &&
                                     screen->geometry() == screen->windowHandle()->screen()->geometry(),
                                 5000);
        QVERIFY(screen->scrolling());
        screen->drawAction();
        QVERIFY(!screen->scrolling());
        QCOMPARE(p.count("结果表", Sql("CID=") + Sql::number(p.draw)), 2);
        screen->close();
        QTRY_VERIFY(p.window->centralWidget()->isEnabled());
    }
};

QTEST_MAIN(TestDrawScreenPlacement)
#include "tst_drawscreenplacement.moc"
