// The draw screen at full speed (speed 500: a tick every millisecond), 100
// picks a round, 1920 × 1080, 20 000 stored results: a tick, a frame paint,
// stops with the three tunes playing, the processor while scrolling, opening a
// draw, the board's update at a stop and reading it whole, the layout of a
// round of 1 000, for draws of 70 000 and 1 000 000 participants; and a preview
// of the frame dialog, an edit until the screen is painted again. First the stage at
// 1080p and 4K for rounds of 1 to 1 000 ("bench_screen stage" runs only that).
#include "BenchPrompt.h"
#include "BenchScreen.h"
#include "SilentMusic.h"
#include "data/Database.h"
#include "data/Progress.h"
#include "engine/DrawEngine.h"
#include "engine/WinnersBoard.h"
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
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QScreen>
#include <QtEndian>

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

// Music as in the hall: real players, even on a machine without a sound card.
class HallMusic : public MediaMusic
{
  public:
    bool hasSoundOutput() const override { return true; }
};

// Two seconds of a tone, 16-bit stereo PCM.
bool writeTone(const QString &path, int hertz)
{
    const int rate = 44100, frames = 2 * rate;
    QByteArray data(frames * 4, Qt::Uninitialized);
    for (int i = 0; i < frames; ++i) {
        const auto sample = qint16(8000 * std::sin(2 * M_PI * hertz * i / rate));
        qToLittleEndian(sample, data.data() + 4 * i);
        qToLittleEndian(sample, data.data() + 4 * i + 2);
    }
    QByteArray header("RIFF----WAVEfmt ");
    const auto put32 = [&](quint32 v) { char b[4]; qToLittleEndian(v, b); header.append(b, 4); };
    const auto put16 = [&](quint16 v) { char b[2]; qToLittleEndian(v, b); header.append(b, 2); };
    put32(16); put16(1); put16(2); put32(rate); put32(rate * 4); put16(4); put16(16);
    header.append("data");
    put32(quint32(data.size()));
    qToLittleEndian(quint32(header.size() - 8 + data.size()), header.data() + 4);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(header + data) == header.size() + data.size();
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

qint64 makeDraw(Database &db, int participants, int results)
{
    const auto [draw, prize] = addBenchDraw(db, participants, results + 100'000, true,
                                            [](int i) { return QStringLiteral("员工%1").arg(i); });
    Database::Transaction transaction(db);
    Query stored = db.openQuery(Sql("SELECT * FROM 结果表 WHERE FALSE"));
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
    if (!db.openDatabase(dir.filePath(QStringLiteral("Data.mdb"))))
        return;
    const qint64 draw = makeDraw(db, participants, 20'000);
    QStringList tunes;
    for (int i = 1; i <= 3; ++i) {
        tunes.append(dir.filePath(QStringLiteral("tune%1.wav").arg(i)));
        writeTone(tunes.last(), 220 * i);
    }
    db.executeSql(Sql("UPDATE 奖次表 SET 音乐1=") + Sql::text(tunes.at(0)) + Sql(",音乐2=") + Sql::text(tunes.at(1)) +
                  Sql(",音乐3=") + Sql::text(tunes.at(2)));
    DrawEngine engine(db);
    NoProgress progress;
    HallMusic music;
    DrawScreen screen(db, engine, progress, music);
    screen.setGeometry(0, 0, 1920, 1080);
    std::printf("\n%d participants, 20 000 stored results, three tunes\n", participants);

    QElapsedTimer timer;
    timer.start();
    if (!screen.load(draw))
        return;
    std::printf("%-40s %9.1f ms   (goal <= 1000 ms at 70 000)\n", "opening the draw",
                timer.nsecsElapsed() / 1e6);
    screen.show();
    app.processEvents();
    enterDrawMode(screen);

    // A tick: a pick of 100 and its display text.
    screen.drawAction();
    QList<Candidate> picks;
    const int ticks = 2000;
    timer.restart();
    for (int i = 0; i < ticks; ++i) {
        engine.pickRound(picks, 100);
        engine.showPicks(picks);
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
    screen.drawAction(); // the stop: 100 winners stored, shown, the tune changed, the board grown
    std::printf("%-40s %9.1f ms\n", "the first stop", timer.nsecsElapsed() / 1e6);

    // Stops as the operator gives them: each after a start and a moment of scrolling.
    QList<double> stops;
    for (int i = 0; i < 20; ++i) {
        waitMs(app, DrawScreen::RestartGuardMs + 20);
        screen.drawAction();
        waitMs(app, 80);
        timer.restart();
        screen.drawAction();
        stops.append(timer.nsecsElapsed() / 1e6);
    }
    std::printf("%-40s %6.1f / %.1f ms   (goal p95 <= 10 ms)\n", "a stop with music, p50 / p95",
                percentile(stops, 0.5), percentile(stops, 0.95));

    // The board's part of a stop: a round of 100 added, the lines in sight taken.
    WinnersBoard board;
    board.load(db, draw, [&](const QString &n) { return engine.displayNumber(n); });
    const WinnersBoard::Options options{true, false, 0};
    timer.restart();
    const int updates = 200;
    for (int i = 0; i < updates; ++i) {
        board.addRound(engine.prizes().at(1).PrizeId, picks);
        board.title(options);
        board.lastRound(options);
        board.lines(options, 0, 40);
    }
    std::printf("%-40s %9.3f ms   (goal <= 5 ms; %lld lines)\n", "the board's update at a stop",
                timer.nsecsElapsed() / 1e6 / updates, static_cast<long long>(board.lineCount(options)));

    timer.restart();
    const QString whole = engine.buildAnnouncement(draw, 0, true, false);
    std::printf("%-40s %9.1f ms   (goal <= 100 ms; %lld lines)\n", "the board read whole (options changed)",
                timer.nsecsElapsed() / 1e6, static_cast<long long>(whole.count(u'\n')));

    previews(app, screen);
    screen.close();
}

// A round of 1 000 numbers laid out in the hall's frame: the fit, and a page painted.
void layout()
{
    NumberFrame frame;
    frame.applyLayout(FrameLayout{57, 108, 1113, 799, 0, false, false});
    frame.setFitLimits(36, 900);
    QFont font(QStringLiteral("楷体_GB2312"));
    font.setPointSizeF(147);
    font.setBold(true);
    frame.setTextFont(font);
    QStringList lines;
    for (int i = 0; i < 1000; ++i)
        lines.append(QString::number(13'800'000'000LL + i * 7919));
    const QString round = lines.join(QStringLiteral("\r\n"));
    lines.removeLast();
    const QString shorter = lines.join(QStringLiteral("\r\n"));
    QImage canvas(frame.size(), QImage::Format_ARGB32_Premultiplied);
    const int runs = 50;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < runs; ++i) {
        frame.setNumbers(i % 2 ? shorter : round); // a new count: a new fit
        frame.pageCells();
    }
    std::printf("\n%-40s %9.2f ms   (%d pages)\n", "the layout of a round of 1 000", timer.nsecsElapsed() / 1e6 / runs,
                frame.pageCount());
    timer.restart();
    for (int i = 0; i < runs; ++i)
        frame.render(&canvas);
    std::printf("%-40s %9.2f ms\n", "a page of it painted", timer.nsecsElapsed() / 1e6 / runs);
}

// Times the frame's paints: when the last one began and how long the last one took.
class PaintClock : public QObject
{
  public:
    QElapsedTimer clock; // started by the caller
    double began = -1;   // ms on clock, at the last paint
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
            if (began < 0)
                began = clock.nsecsElapsed() / 1e6;
        }
        return false;
    }
};

// The stage at one screen size, for rounds of 1 to 1 000:
// - a tick of the engine alone (the pick and its text), every millisecond at speed 500;
// - a frame as the hall paints it while the numbers change: the tick's repaint of the
//   cells through the event loop, and the whole frame repainted (as when uncovered),
//   beside the whole frame without numbers in the same run (the least a paint costs there);
// - scrolling at speed 500 through the event loop;
// - stops: the click until the frame's paint begins, and until the stop is over.
void stageAt(QApplication &app, QSize size)
{
    QTemporaryDir dir;
    BenchPrompt prompt;
    Database db(prompt);
    if (!db.openDatabase(dir.filePath(QStringLiteral("Data.mdb"))))
        return;
    const auto [draw, prize] =
        addBenchDraw(db, 70'000, 1'000'000, true, [](int i) { return QStringLiteral("员工%1").arg(i); });
    std::printf("\n%d x %d, speed 500, 70 000 participants; ms wall / CPU\n", size.width(), size.height());
    std::printf("%5s %13s %13s %13s %13s %19s %15s %5s\n", "picks", "tick (engine)", "tick paint", "whole frame",
                "bare frame", "scrolling", "click->paint", "pages");
    // click->paint: p50/p95 of the stops that painted the frame at all.
    for (const int count : {1, 10, 100, 1000}) {
        db.executeSql(Sql("UPDATE 奖项表 SET 同时=") + Sql::number(count) + Sql(" WHERE ID=") + Sql::number(prize));
        DrawEngine engine(db);
        NoProgress progress;
        SilentMusic music;
        DrawScreen screen(db, engine, progress, music);
        screen.setGeometry(QRect(QPoint(0, 0), size));
        if (!screen.load(draw))
            return;
        screen.show();
        waitMs(app, 100);
        enterDrawMode(screen);
        screen.drawAction();
        auto *frame = screen.findChild<NumberFrame *>(QStringLiteral("numberFrame"));
        auto *scroll = screen.findChild<QTimer *>(QStringLiteral("scrollTimer"));
        scroll->stop();
        QList<Candidate> picks;

        const int ticks = 500;
        double cpu = cpuSeconds();
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < ticks; ++i) {
            engine.pickRound(picks, count);
            engine.showPicks(picks);
        }
        const double tick = timer.nsecsElapsed() / 1e6 / ticks, tickCpu = (cpuSeconds() - cpu) * 1e3 / ticks;

        // The frame throttles its repaints to the screen's refresh: each paint here comes
        // after a pause, untimed, as a tick in the hall does.
        const int paints = 60;
        enum Kind { Tick, Whole, Bare };
        const auto measure = [&](Kind kind) {
            double wall = 0, used = 0;
            for (int i = 0; i < paints; ++i) {
                waitMs(app, 17);
                if (kind != Bare)
                    engine.pickRound(picks, count); // the engine's part, timed above
                const double before = cpuSeconds();
                QElapsedTimer timer;
                timer.start();
                if (kind == Bare)
                    frame->setNumbers(QString());
                else
                    engine.showPicks(picks);
                if (kind == Tick)
                    QApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
                else
                    frame->repaint();
                wall += timer.nsecsElapsed() / 1e6;
                used += (cpuSeconds() - before) * 1e3;
            }
            return std::pair{wall / paints, used / paints};
        };
        const auto [painted, paintedCpu] = measure(Tick);
        const auto [whole, wholeCpu] = measure(Whole);
        const auto [bare, bareCpu] = measure(Bare);
        engine.showPicks(picks);
        scroll->start();

        PaintCounter counter;
        frame->installEventFilter(&counter);
        cpu = cpuSeconds();
        timer.restart();
        QTimer::singleShot(2000, &app, [&] { app.exit(); }); // the hall's event loop, not a busy wait
        app.exec();
        const double wall = timer.nsecsElapsed() / 1e9;
        const double scrolling = (cpuSeconds() - cpu) / wall * 100;
        frame->removeEventFilter(&counter);

        // Stops as the operator gives them, each after a start and a moment of scrolling.
        PaintClock clock;
        frame->installEventFilter(&clock);
        QList<double> shown, over;
        for (int i = 0; i < 12; ++i) {
            if (i > 0) {
                waitMs(app, DrawScreen::RestartGuardMs + 20);
                screen.drawAction();
            }
            waitMs(app, 150);
            clock.began = -1;
            clock.clock.start();
            screen.drawAction();
            over.append(clock.clock.nsecsElapsed() / 1e6);
            if (clock.began >= 0) // else the frame showed the winners already: nothing to paint
                shown.append(clock.began);
        }
        frame->removeEventFilter(&clock);
        std::printf("%5d %6.3f/%6.3f %6.2f/%6.2f %6.2f/%6.2f %6.2f/%6.2f %3.0f fps, %3.0f %% core %5.1f/%5.1f %5d\n", count,
                    tick, tickCpu, painted, paintedCpu, whole, wholeCpu, bare, bareCpu, counter.paints / wall, scrolling,
                    percentile(shown, 0.5), percentile(shown, 0.95), frame->pageCount());
        std::printf("%5s %*s stop over (board, tune): %.1f / %.1f ms; %lld of %lld stops painted the frame\n", "",
                    40, "", percentile(over, 0.5), percentile(over, 0.95), static_cast<long long>(shown.size()),
                    static_cast<long long>(over.size()));
        screen.close();
    }
}

// The stage as the X server holds it, for a look: a round scrolled and stopped, then
// a fixed round shown on it, so that shots of two builds can be compared pixel by pixel;
// then the same frame painted whole, which must not change a pixel.
void shots(QApplication &app, const QString &folder)
{
    for (const QSize size : {QSize(1920, 1080), QSize(3840, 2160)})
        for (const int count : {1, 10, 100, 1000}) {
            QTemporaryDir dir;
            BenchPrompt prompt;
            Database db(prompt);
            if (!db.openDatabase(dir.filePath(QStringLiteral("Data.mdb"))))
                return;
            const auto [draw, prize] =
                addBenchDraw(db, 70'000, 1'000'000, true, [](int i) { return QStringLiteral("员工%1").arg(i); });
            db.executeSql(Sql("UPDATE 奖项表 SET 同时=") + Sql::number(count) + Sql(" WHERE ID=") + Sql::number(prize));
            DrawEngine engine(db);
            NoProgress progress;
            SilentMusic music;
            DrawScreen screen(db, engine, progress, music);
            screen.setGeometry(QRect(QPoint(0, 0), size));
            if (!screen.load(draw))
                return;
            screen.show();
            waitMs(app, 300);
            enterDrawMode(screen);
            screen.drawAction();
            waitMs(app, 700);
            screen.drawAction();
            waitMs(app, 100);
            auto *frame = screen.findChild<NumberFrame *>(QStringLiteral("numberFrame"));
            QStringList fixed;
            for (int i = 0; i < count; ++i)
                fixed.append(QString::number(13'800'000'000LL + (i * 7919LL) % 70'000));
            frame->setNumbers(fixed.join(QStringLiteral("\r\n")));
            frame->showStopped();
            waitMs(app, 300);
            const QRect area = frame->geometry();
            const QImage shown = screen.screen()->grabWindow(0).toImage().copy(QRect(QPoint(0, 0), size));
            frame->repaint();
            waitMs(app, 300);
            const QImage whole = screen.screen()->grabWindow(0).toImage().copy(QRect(QPoint(0, 0), size));
            int differing = 0;
            for (int y = area.top(); y <= area.bottom(); ++y)
                for (int x = area.left(); x <= area.right(); ++x)
                    differing += shown.pixel(x, y) != whole.pixel(x, y);
            const QString name = QStringLiteral("%1/stage-%2-%3.png").arg(folder).arg(size.height()).arg(count);
            shown.save(name);
            const QRect cell = frame->pageCells().value(0).second;
            std::printf("%s: %d pixels of the frame differ from a whole paint; %d px font, first cell %d,%d %dx%d\n",
                        qPrintable(name), differing, frame->fittedFont().pixelSize(), cell.x(), cell.y(), cell.width(),
                        cell.height());
            screen.close();
        }
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    setUpFonts(app);
    // "stage": only the stage at 1080p and 4K; "stage4k", "stage1080": at one size.
    const QByteArray only = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    // "shots FOLDER": the stage as the screen shows it, saved there.
    if (only == "shots" && argc > 2) {
        shots(app, QString::fromLocal8Bit(argv[2]));
        return 0;
    }
    const bool stageOnly = only.startsWith("stage");
    if (only != "stage4k")
        stageAt(app, QSize(1920, 1080));
    if (only != "stage1080")
        stageAt(app, QSize(3840, 2160));
    if (stageOnly)
        return 0;
    layout();
    run(app, 70'000);
    run(app, 1'000'000);
    return 0;
}
