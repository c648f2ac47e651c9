// The draw screen at full speed (speed 500: a tick every millisecond), 100
// picks a round, 1920 × 1080: a tick, a frame paint, a stop, the processor
// while scrolling, opening a draw and rebuilding the board, for draws of
// 70 000 and 1 000 000 participants; and a preview of the frame dialog, an
// edit until the screen is painted again.
#include "BenchPrompt.h"
#include "SilentMusic.h"
#include "data/Database.h"
#include "data/Progress.h"
#include "engine/DrawEngine.h"
#include "platform/Appearance.h"
#include "platform/Music.h"
#include "screen/DrawScreen.h"
#include "screen/FrameSettings.h"
#include "screen/NumberFrame.h"
#include "screen/PixelBox.h"

#include <QApplication>
#include <QMouseEvent>
#include <QLabel>
#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>

using namespace quilla;

namespace {

// Counts the frame's paints.
class PaintCounter : public QObject
{
  public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

qint64 makeDraw(Database &db, int participants, int results)
{
    Database::Transaction transaction(db);
    Query draws = db.OpenQuery(Sql("SELECT * FROM 奖次表 WHERE FALSE"));
    draws.addNew();
    draws.setValue(u"抽奖内容", QStringLiteral("年会"));
    draws.setValue(u"速度", 500);
    draws.save();
    const qint64 draw = draws.number(u"ID");
    Query prizes = db.OpenQuery(Sql("SELECT * FROM 奖项表 WHERE FALSE"));
    prizes.addNew();
    prizes.setValue(u"CID", draw);
    prizes.setValue(u"顺序", 1);
    prizes.setValue(u"名称", QStringLiteral("幸运奖"));
    prizes.setValue(u"数量", results + 100'000);
    prizes.setValue(u"同时", 100);
    prizes.setValue(u"显示", true);
    prizes.setValue(u"重复", true);
    prizes.save();
    const qint64 prize = prizes.number(u"ID");
    Query rs = db.OpenQuery(Sql("SELECT * FROM 号码表 WHERE FALSE"));
    for (int i = 0; i < participants; ++i) {
        rs.addNew();
        rs.setValue(u"CID", draw);
        rs.setValue(u"号码", QString::number(13'800'000'000LL + i));
        rs.setValue(u"姓名", QStringLiteral("员工%1").arg(i));
        rs.save();
    }
    Query stored = db.OpenQuery(Sql("SELECT * FROM 结果表 WHERE FALSE"));
    for (int i = 0; i < results; ++i) {
        stored.addNew();
        stored.setValue(u"CID", draw);
        stored.setValue(u"WID", prize);
        stored.setValue(u"号码", QString::number(13'800'000'000LL + i));
        stored.setValue(u"姓名", QStringLiteral("员工%1").arg(i));
        stored.save();
    }
    transaction.commit();
    return draw;
}

// The frame dialog moving an 800 × 600 frame of 100 numbers to and fro: each edit
// lays the frame out and repaints where it was and where it is.
void previews(QApplication &app, DrawScreen &screen)
{
    screen.findChild<QAction *>(QStringLiteral("frameSettings"))->trigger();
    FrameSettings *dialog = screen.frameSettings();
    while (dialog->findChild<QTimer *>(QStringLiteral("previewDelay"))->isActive()) // previews start a second after opening
        app.processEvents(QEventLoop::WaitForMoreEvents);
    dialog->findChild<QCheckBox *>(QStringLiteral("autoHeight"))->setChecked(false);
    dialog->findChild<PixelBox *>(QStringLiteral("width"))->setValue(800);
    dialog->findChild<PixelBox *>(QStringLiteral("height"))->setValue(600);
    for (const bool transparent : {false, true}) {
        dialog->findChild<QCheckBox *>(QStringLiteral("transparent"))->setChecked(transparent);
        app.processEvents();
        const int edits = 200;
        double total = 0, worst = 0;
        for (int i = 0; i < edits; ++i) {
            const QRect before = screen.findChild<NumberFrame *>(QStringLiteral("numberFrame"))->geometry();
            QElapsedTimer timer;
            timer.start();
            dialog->findChild<PixelBox *>(QStringLiteral("left"))->setValue(i % 2 == 0 ? 900 : 100);
            screen.repaint(before.united(screen.findChild<NumberFrame *>(QStringLiteral("numberFrame"))->geometry()));
            const double ms = timer.nsecsElapsed() / 1e6;
            total += ms;
            worst = std::max(worst, ms);
        }
        std::printf("%-40s %9.2f ms   (goal <= 16 ms; worst %.2f ms)\n",
                    transparent ? "a frame preview, transparent" : "a frame preview, opaque", total / edits,
                    worst);
    }
    dialog->reject();
}

void run(QApplication &app, int participants)
{
    QTemporaryDir dir;
    BenchPrompt prompt;
    Database db(prompt);
    if (!db.OpenDatabase(dir.filePath(QStringLiteral("Data.mdb"))))
        return;
    const qint64 draw = makeDraw(db, participants, 10'000);
    DrawEngine engine(db);
    NoProgress progress;
    SilentMusic music;
    DrawScreen screen(db, engine, progress, music);
    screen.setGeometry(0, 0, 1920, 1080);
    std::printf("\n%d participants, 10 000 stored results\n", participants);

    QElapsedTimer timer;
    timer.start();
    if (!screen.Load(draw))
        return;
    std::printf("%-40s %9.1f ms   (goal <= 1000 ms at 70 000)\n", "opening the draw",
                timer.nsecsElapsed() / 1e6);
    screen.show();
    app.processEvents();
    {
        QLabel *drawMode = screen.findChild<QLabel *>(QStringLiteral("drawMode"));
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), drawMode->mapToGlobal(QPointF(2, 2)), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(drawMode, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(2, 2), drawMode->mapToGlobal(QPointF(2, 2)),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(drawMode, &release);
    }

    // A tick: a pick of 100 and its display text.
    screen.DrawAction();
    QList<Candidate> picks;
    const int ticks = 2000;
    timer.restart();
    for (int i = 0; i < ticks; ++i) {
        engine.PickRound(picks, 100);
        engine.ShowPicks(picks);
    }
    std::printf("%-40s %9.3f ms   (goal <= 0.2 ms at 70 000)\n", "a tick (pick + text)",
                timer.nsecsElapsed() / 1e6 / ticks);

    // A paint of the frame with 100 numbers over the stretched background.
    const QRect frame = screen.findChild<NumberFrame *>(QStringLiteral("numberFrame"))->geometry();
    timer.restart();
    for (int i = 0; i < 200; ++i)
        screen.repaint(frame);
    std::printf("%-40s %9.3f ms   (goal <= 1 ms)\n", "a frame paint", timer.nsecsElapsed() / 1e6 / 200);

    // Two seconds of scrolling through the event loop, as in the hall.
    PaintCounter counter;
    screen.findChild<NumberFrame *>(QStringLiteral("numberFrame"))->installEventFilter(&counter);
    int ticked = 0;
    QObject::connect(screen.findChild<QTimer *>(QStringLiteral("scrollTimer")), &QTimer::timeout, &screen, [&] { ++ticked; });
    const double cpuBefore = cpuSeconds();
    timer.restart();
    QTimer::singleShot(2000, &app, [&] { app.exit(); });
    app.exec();
    const double wall = timer.nsecsElapsed() / 1e9;
    std::printf("%-40s %6.0f ticks/s, %5.0f frames/s, %4.0f %% of a core\n", "scrolling", ticked / wall,
                counter.paints / wall, (cpuSeconds() - cpuBefore) / wall * 100);

    timer.restart();
    screen.DrawAction(); // the stop: 100 winners stored, the board rebuilt
    std::printf("%-40s %9.1f ms   (goal <= 20 ms)\n", "a stop (100 winners stored; board follows)",
                timer.nsecsElapsed() / 1e6);

    timer.restart();
    const QString board = engine.BuildAnnouncement(draw, 0, true, false);
    std::printf("%-40s %9.1f ms   (goal <= 100 ms; %lld lines)\n", "the board at 10 100 results",
                timer.nsecsElapsed() / 1e6, static_cast<long long>(board.count(u'\n')));

    previews(app, screen);
    screen.close();
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    SetUpFonts(app);
    run(app, 70'000);
    run(app, 1'000'000);
    return 0;
}
