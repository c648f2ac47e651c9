// The party's record: the report of a draw of 10 000 winners (PDF and HTML) and of
// 100 000 (PDF, beside the floor of reading them and writing HTML),
// a backup of the file, and stops at 1 000 000 participants with and without
// the standby copy following every round.
#include "BenchPrompt.h"
#include "BenchScreen.h"
#include "BenchRows.h"
#include "SilentMusic.h"
#include "data/Database.h"
#include "data/Progress.h"
#include "data/StandbyCopy.h"
#include "engine/DrawEngine.h"
#include "grids/DrawReport.h"
#include "platform/Appearance.h"
#include "screen/DrawScreen.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>

using namespace quilla;

namespace {

// A draw of participants people, a prize of 100 a round, and winners results drawn through the engine.
qint64 makeDraw(Database &db, int participants, int winners)
{
    const qint64 draw = addBenchDraw(db, participants, winners + 100'000, false, participantName).first;
    DrawEngine engine(db);
    engine.CurrentDraw.Id = draw;
    engine.LoadDraw();
    QList<Candidate> picks;
    for (int stored = 0; stored < winners; stored += 100) {
        engine.StartRound(picks);
        engine.RecordRound(draw, engine.Prizes().at(1).PrizeId, picks);
    }
    return draw;
}

// Times the UI thread goes between progress reports, each a chance to paint: the
// read before the worker starts, and the longest gap while it paints.
struct GapProgress : Progress
{
    void begin(const QString &, int) override
    {
        if (clock.isValid())
            reading = clock.nsecsElapsed() / 1e6;
        clock.start();
    }
    void step(int, const QString &) override
    {
        longest = std::max(longest, clock.nsecsElapsed() / 1e6);
        clock.start();
    }
    void end() override {}
    QElapsedTimer clock;
    double reading = 0, longest = 0;
};

double cpuMs()
{
    return 1000.0 * double(std::clock()) / CLOCKS_PER_SEC;
}

// With a folder argument the reports are kept there for a look.
void report(const QTemporaryDir &dir, const QString &keep)
{
    BenchPrompt prompt;
    Database db(prompt);
    if (!db.OpenDatabase(dir.filePath(QStringLiteral("report.mdb"))))
        return;
    const qint64 draw = makeDraw(db, 20'000, 10'000);
    for (const char *file : {"report.pdf", "report.html"}) {
        QElapsedTimer timer;
        timer.start();
        QString why;
        const QString path = keep.isEmpty() ? dir.filePath(QString::fromLatin1(file))
                                            : QDir(keep).filePath(QString::fromLatin1(file));
        const bool written = WriteDrawReport(db, draw, path, why);
        std::printf("%-44s %8.0f ms   (goal <= 3000 ms)%s\n", qPrintable(QStringLiteral("the report of 10 000 winners, ") +
                                                                       QString::fromLatin1(file).section(u'.', 1)),
                    timer.nsecsElapsed() / 1e6, written ? "" : "  FAILED");
    }

    // 100 000 winners: the floor is reading the same rows and writing them out as HTML.
    const qint64 big = makeDraw(db, 150'000, 100'000);
    QElapsedTimer timer;
    timer.start();
    double cpu = cpuMs();
    const qsizetype html = DrawReportHtml(db, big).size();
    std::printf("%-44s %8.0f ms wall %8.0f ms CPU   (%lld characters)\n", "floor: 100 000 winners read, as HTML",
                timer.nsecsElapsed() / 1e6, cpuMs() - cpu, static_cast<long long>(html));
    GapProgress progress;
    timer.restart();
    cpu = cpuMs();
    QString why;
    const bool written = WriteDrawReport(db, big, dir.filePath(QStringLiteral("big.pdf")), why, progress);
    std::printf("%-44s %8.0f ms wall %8.0f ms CPU   (goal <= 10000 ms; %lld kB)%s\n",
                "the report of 100 000 winners, pdf", timer.nsecsElapsed() / 1e6, cpuMs() - cpu,
                static_cast<long long>(QFileInfo(dir.filePath(QStringLiteral("big.pdf"))).size() >> 10),
                written ? "" : "  FAILED");
    std::printf("%-44s %8.0f ms read, then at most %.0f ms between paints\n", "  the UI thread", progress.reading,
                progress.longest);
}

void stops(QApplication &app, const QTemporaryDir &dir)
{
    BenchPrompt prompt;
    Database db(prompt);
    if (!db.OpenDatabase(dir.filePath(QStringLiteral("Data.mdb"))))
        return;
    const qint64 draw = makeDraw(db, 1'000'000, 0);
    QElapsedTimer timer;
    timer.start();
    QString why;
    db.BackupTo(dir.filePath(QStringLiteral("backup.mdb")), why);
    std::printf("%-44s %8.0f ms   (%lld MB)\n", "a backup at 1 000 000 participants", timer.nsecsElapsed() / 1e6,
                static_cast<long long>(QFileInfo(db.path()).size() >> 20));

    DrawEngine engine(db);
    NoProgress progress;
    SilentMusic music;
    DrawScreen screen(db, engine, progress, music);
    screen.setGeometry(0, 0, 1920, 1080);
    screen.Load(draw);
    screen.show();
    app.processEvents();
    enterDrawMode(screen);

    StandbyCopy standby;
    standby.setSource(db.path());
    const QString usb = dir.filePath(QStringLiteral("usb"));
    QDir().mkpath(usb);
    QObject::connect(&screen, &DrawScreen::roundStored, &standby, &StandbyCopy::request);
    int copies = 0;
    QObject::connect(&standby, &StandbyCopy::copied, [&] { ++copies; });
    for (const bool copying : {false, true, false, true}) {
        standby.setFolder(copying ? usb : QString());
        QList<double> times;
        for (int i = 0; i < 20; ++i) {
            waitMs(app, DrawScreen::RestartGuardMs + 20);
            screen.DrawAction();
            waitMs(app, 100);
            timer.restart();
            screen.DrawAction();
            times.append(timer.nsecsElapsed() / 1e6);
        }
        std::printf("%-44s %5.1f / %.1f ms\n",
                    copying ? "a stop, standby copy on, p50 / p95" : "a stop, standby copy off, p50 / p95",
                    percentile(times, 0.5), percentile(times, 0.95));
    }
    while (!standby.isIdle())
        waitMs(app, 10);
    std::printf("%-44s %8d\n", "standby copies landed", copies);
    screen.close();
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    SetUpFonts(app);
    QTemporaryDir dir;
    report(dir, argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString());
    if (argc < 2)
        stops(app, dir);
    return 0;
}
