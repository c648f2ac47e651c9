#include "lists/ProgressWindow.h"
#include "platform/WindowHelpers.h"
#include "support/XcbInput.h"
#include "support/ShownImage.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWindow>

using namespace quilla;

namespace {

// Work between two steps: the processor is busy and the event loop does not run.
void busyFor(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!timer.hasExpired(milliseconds)) {
    }
}

// Whether the screen shows the bar blue at this fraction of its width.
bool blueOnScreen(QWidget *bar, double fraction)
{
    const QPoint at = bar->mapTo(bar->window(), QPoint(int(bar->width() * fraction), bar->height() / 2));
    const QImage shown = shownImage(bar);
    const QPoint pixel = (QPointF(at) * shown.devicePixelRatio()).toPoint();
    return shown.valid(pixel) && shown.pixelColor(pixel) == QColor(Qt::blue);
}

// Another window of the program, open while the work runs.
class MainWindow : public QWidget
{
  public:
    MainWindow() : button(new QPushButton(QStringLiteral("开始"), this))
    {
        resize(640, 480);
        centreInWorkArea(this);
        connect(button, &QPushButton::clicked, this, [this] { ++clicks; });
    }
    QPushButton *button;
    int paints = 0;
    int clicks = 0;

  protected:
    void paintEvent(QPaintEvent *) override { ++paints; }
};

} // namespace

class TestProgressWindow : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void durations_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << qint64(0) << "0:0";
        QTest::newRow("negative") << qint64(-5) << "0:0";
        QTest::newRow("seconds") << qint64(45) << "0:45";
        QTest::newRow("minutes") << qint64(605) << "10:5";
        QTest::newRow("hours") << qint64(3725) << "1:2:5";
        QTest::newRow("days") << qint64(60 * 3600 + 1) << "60:0:1";
    }

    void durations()
    {
        QFETCH(qint64, seconds);
        QFETCH(QString, text);
        QCOMPARE(formatDuration(seconds), text);
    }

    void percentages()
    {
        QCOMPARE(percentText(0, 250), QStringLiteral("0%"));
        QCOMPARE(percentText(100, 250), QStringLiteral("40%"));
        QCOMPARE(percentText(1, 8), QStringLiteral("12.5%"));
        QCOMPARE(percentText(2, 3), QStringLiteral("66.6%"));
        QCOMPARE(percentText(8, 8), QStringLiteral("100%"));
        QCOMPARE(percentText(3, 0), QStringLiteral("300%")); // a total of 0 counts as 1
    }

    void stepsFillTheBar()
    {
        qint64 now = 1000;
        ProgressIndicator progress([&] { return now; });
        progress.progressBegin(QStringLiteral("正在读取记录..."), 250);
        Indicator *window = progress.window();
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("请稍侯 …"));
        QVERIFY(window->windowFlags() & Qt::WindowStaysOnTopHint);
        window->findChild<QLabel *>(QStringLiteral("steps"))->setText(QStringLiteral("旧"));
        for (int i = 0; i < 100; ++i)
            progress.progressStep(1, QString());
        QCOMPARE(window->findChild<QLabel *>(QStringLiteral("percent"))->text(), QStringLiteral("40%"));
        QCOMPARE(window->findChild<ProgressBar *>(QStringLiteral("bar"))->drawn(), 0.4);
        QCOMPARE(window->findChild<QLabel *>(QStringLiteral("steps"))->text(), QStringLiteral("旧"));
        QCOMPARE(window->findChild<QLabel *>(QStringLiteral("caption"))->text(), QStringLiteral("正在读取记录..."));

        // A new caption keeps the bar.
        progress.progressStep(0, QStringLiteral("正在导入..."));
        QCOMPARE(window->findChild<QLabel *>(QStringLiteral("caption"))->text(), QStringLiteral("正在导入..."));
        QCOMPARE(window->findChild<ProgressBar *>(QStringLiteral("bar"))->drawn(), 0.4);
        progress.progressEnd();
        QVERIFY(!progress.window());
        progress.progressEnd(); // closing twice is fine
    }

    void pagesEstimateTheTime()
    {
        qint64 now = 0;
        ProgressIndicator progress([&] { return now; });
        progress.progressBegin(QStringLiteral("导出"), 2000);
        progress.progressStep(1, QStringLiteral("pages")); // under 1 ‰: figures unchanged
        QCOMPARE(progress.window()->findChild<QLabel *>(QStringLiteral("times"))->text(), QString());
        QCOMPARE(progress.window()->findChild<QLabel *>(QStringLiteral("percent"))->text(), QStringLiteral("0%"));
        now = 30;
        progress.progressStep(499, QStringLiteral("PAGES"));
        QCOMPARE(progress.window()->findChild<QLabel *>(QStringLiteral("percent"))->text(), QStringLiteral("25%"));
        QCOMPARE(progress.window()->findChild<QLabel *>(QStringLiteral("times"))->text(), QStringLiteral("0:30/1:30/2:0"));
        QCOMPARE(progress.window()->findChild<QLabel *>(QStringLiteral("steps"))->text(), QStringLiteral("(500/2000)"));
        QCOMPARE(progress.window()->findChild<QLabel *>(QStringLiteral("caption"))->text(), QStringLiteral("导出"));

        // Beginning again restarts the state in the same window.
        Indicator *window = progress.window();
        progress.progressBegin(QStringLiteral("再来"), 0);
        QCOMPARE(progress.window(), window);
        QCOMPARE(window->findChild<ProgressBar *>(QStringLiteral("bar"))->drawn(), 0.0);
        progress.progressStep(1, QString());
        QCOMPARE(window->findChild<QLabel *>(QStringLiteral("percent"))->text(), QStringLiteral("100%"));
    }

    // A long import never returns to the event loop: the progress window still
    // shows how far it is, the program's other windows keep painting, and a click
    // waits until the work is over.
    void longWorkKeepsPaintingWhileClicksWait()
    {
        MainWindow main;
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        ProgressIndicator progress;
        progress.progressBegin(QStringLiteral("正在导入..."), 100);
        Indicator *window = progress.window();
        // In a corner, clear of the windows of other tests that share the display.
        const QRect area = window->screen()->availableGeometry();
        window->move(area.right() - window->width(), area.bottom() - window->height());
        bool clickQueued = false;
        int paintsBefore = 0;
        for (int i = 1; i <= 100; ++i) {
            busyFor(4);
            progress.progressStep(1, QString());
            if (i == 10)
                clickQueued = queueXcbClick(main.button);
            if (i == 20) {
                main.update();
                paintsBefore = main.paints;
            }
            if (i == 30 || i == 60) {
                QVERIFY(window->windowHandle()->isExposed());
                // Painted no more than a few steps behind, and not ahead.
                QVERIFY(blueOnScreen(window->findChild<ProgressBar *>(QStringLiteral("bar")), i == 30 ? 0.05 : 0.4));
                QVERIFY(!blueOnScreen(window->findChild<ProgressBar *>(QStringLiteral("bar")), 0.95));
            }
        }
        QVERIFY(main.paints > paintsBefore);
        progress.progressEnd();
        if (!clickQueued)
            QSKIP("only X queues a user's clicks");
        QCOMPARE(main.clicks, 0);
        QTRY_COMPARE(main.clicks, 1);
    }
};

QTEST_MAIN(TestProgressWindow)
#include "tst_progresswindow.moc"
