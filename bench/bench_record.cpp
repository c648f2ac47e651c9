// The party's record: the report of a draw of 10 000 winners (PDF and HTML) and of
// 100 000 (PDF, beside the floor of reading them and writing HTML),
// a backup of the file, and stops at 1 000 000 participants with and without
// the standby copy following every round. First what storing a round costs:
// recordRound at 200 and at 1 000 000 people beside a bare SQLite commit of the
// same rows, on an idle machine and beside a busy core ("bench_record stop" runs
// only that).
#include "BenchPrompt.h"
#include "BenchScreen.h"
#include "BenchRows.h"
#include "SilentMusic.h"
#include "data/Database.h"
#include "data/Progress.h"
#include "data/StandbyCopy.h"
#include "engine/DrawEngine.h"
#include "report/DrawReport.h"
#include "platform/Appearance.h"
#include "screen/DrawScreen.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <atomic>
#include <memory>
#include <thread>

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
    engine.loadDraw();
    QList<Candidate> picks;
    for (int stored = 0; stored < winners; stored += 100) {
        engine.startRound(picks);
        engine.recordRound(draw, engine.prizes().at(1).PrizeId, picks);
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
    if (!db.openDatabase(dir.filePath(QStringLiteral("report.mdb"))))
        return;
    const qint64 draw = makeDraw(db, 20'000, 10'000);
    for (const char *file : {"report.pdf", "report.html"}) {
        QElapsedTimer timer;
        timer.start();
        QString why;
        const QString path = keep.isEmpty() ? dir.filePath(QString::fromLatin1(file))
                                            : QDir(keep).filePath(QString::fromLatin1(file));
        const bool written = writeDrawReport(db, draw, path, why);
        std::printf("%-44s %8.0f ms   (goal <= 3000 ms)%s\n", qPrintable(QStringLiteral("the report of 10 000 winners, ") +
                                                                       QString::fromLatin1(file).section(u'.', 1)),
                    timer.nsecsElapsed() / 1e6, written ? "" : "  FAILED");
    }

    // 100 000 winners: the floor is reading the same rows and writing them out as HTML.
    const qint64 big = makeDraw(db, 150'000, 100'000);
    QElapsedTimer timer;
    timer.start();
    double cpu = cpuMs();
    const qsizetype html = drawReportHtml(db, big).size();
    std::printf("%-44s %8.0f ms wall %8.0f ms CPU   (%lld characters)\n", "floor: 100 000 winners read, as HTML",
                timer.nsecsElapsed() / 1e6, cpuMs() - cpu, static_cast<long long>(html));
    GapProgress progress;
    timer.restart();
    cpu = cpuMs();
    QString why;
    const bool written = writeDrawReport(db, big, dir.filePath(QStringLiteral("big.pdf")), why, progress);
    std::printf("%-44s %8.0f ms wall %8.0f ms CPU   (goal <= 10000 ms; %lld kB)%s\n",
                "the report of 100 000 winners, pdf", timer.nsecsElapsed() / 1e6, cpuMs() - cpu,
                static_cast<long long>(QFileInfo(dir.filePath(QStringLiteral("big.pdf"))).size() >> 10),
                written ? "" : "  FAILED");
    std::printf("%-44s %8.0f ms read, then at most %.0f ms between paints\n", "  the UI thread", progress.reading,
                progress.longest);
}

// One core kept busy while it lives, as a laptop beside slides or a video is.
class BusyCore
{
  public:
    explicit BusyCore(bool on)
    {
        if (on)
            m_thread = std::thread([this] {
                volatile quint64 spin = 0;
                while (!m_stop.load(std::memory_order_relaxed))
                    ++spin;
            });
    }
    ~BusyCore()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

  private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

struct Timings
{
    QList<double> wall, cpu;
    void print(const char *what) const
    {
        std::printf("  %-42s %6.2f / %6.2f ms wall p50 / p95, %5.2f ms CPU p50\n", what, percentile(wall, 0.5),
                    percentile(wall, 0.95), percentile(cpu, 0.5));
    }
};

// The processor time of this thread alone: a busy core beside it is not counted.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// A round stored by the engine, beside the same rows committed bare: a connection of
// its own with the program's pragmas, one transaction, a prepared insert. The pools
// take turns round by round, so that the disk's moods fall on all of them alike.
void recordRounds(const QTemporaryDir &dir)
{
    struct Scenario
    {
        const char *name;
        QString path;
        std::unique_ptr<BenchPrompt> prompt = std::make_unique<BenchPrompt>();
        std::unique_ptr<Database> db;
        std::unique_ptr<DrawEngine> engine;
        std::unique_ptr<SQLite::Database> bare;
        std::unique_ptr<SQLite::Statement> insert;
        Timings recorded, committed;
    };
    Scenario pools[3];
    const int people[3] = {200, 1'000'000, 1'000'000};
    const char *names[3] = {"200 people", "1 000 000 people", "1 000 000, a prize won once"};
    for (int i = 0; i < 3; ++i) {
        Scenario &pool = pools[i];
        pool.name = names[i];
        pool.path = dir.filePath(QStringLiteral("stop%1.mdb").arg(i));
        if (i == 2 && !QFile::copy(pools[1].path, pool.path))
            return;
        pool.db = std::make_unique<Database>(*pool.prompt);
        if (!pool.db->openDatabase(pool.path))
            return;
        if (i < 2)
            addBenchDraw(*pool.db, people[i], 1'000'000, true, participantName);
        else
            pool.db->executeSql(Sql("UPDATE 奖项表 SET 重复=0"));
        pool.engine = std::make_unique<DrawEngine>(*pool.db);
        pool.engine->CurrentDraw.Id = 1;
        pool.engine->loadDraw();
        pool.bare = std::make_unique<SQLite::Database>(pool.path.toStdString(), SQLite::OPEN_READWRITE);
        pool.bare->exec("PRAGMA journal_mode=DELETE");
        pool.bare->exec("PRAGMA synchronous=EXTRA");
        pool.insert = std::make_unique<SQLite::Statement>(
            *pool.bare, "INSERT INTO 结果表 (CID,WID,号码,姓名) VALUES (?,?,?,?)");
    }
    std::printf("what a stop stores: 100 rows and the round's log row, beside the same 100 rows committed bare; "
                "40 rounds each\n");
    for (const bool busy : {false, true}) {
        BusyCore load(busy);
        for (Scenario &pool : pools)
            pool.recorded = pool.committed = Timings();
        for (int round = 0; round < 40; ++round)
            for (Scenario &pool : pools) {
                QList<Candidate> picks;
                pool.engine->startRound(picks);
                const qint64 prize = pool.engine->prizes().at(1).PrizeId;
                const QList<Candidate> rows = picks;
                QElapsedTimer timer;
                timer.start();
                double cpu = threadCpuMs();
                if (!pool.engine->recordRound(1, prize, picks))
                    return;
                pool.recorded.wall.append(timer.nsecsElapsed() / 1e6);
                pool.recorded.cpu.append(threadCpuMs() - cpu);

                timer.restart();
                cpu = threadCpuMs();
                SQLite::Transaction transaction(*pool.bare);
                for (const Candidate &row : rows) {
                    pool.insert->bind(1, int64_t(1));
                    pool.insert->bind(2, static_cast<int64_t>(prize));
                    pool.insert->bind(3, row.Number.toStdString());
                    pool.insert->bind(4, row.Name.toStdString());
                    pool.insert->exec();
                    pool.insert->reset();
                }
                transaction.commit();
                pool.committed.wall.append(timer.nsecsElapsed() / 1e6);
                pool.committed.cpu.append(threadCpuMs() - cpu);
            }
        std::printf("%s\n", busy ? "beside one busy core" : "idle");
        const double at200 = percentile(pools[0].recorded.wall, 0.5);
        for (const Scenario &pool : pools) {
            pool.recorded.print(qPrintable(QStringLiteral("RecordRound, ") + QString::fromUtf8(pool.name)));
            pool.committed.print("  a bare commit of its 100 rows");
            const double p50 = percentile(pool.recorded.wall, 0.5);
            if (&pool != &pools[0])
                std::printf("  %-42s %6.2f x at 200 (goal <= 1.2), %.2f x the bare commit (goal <= 2)\n", "",
                            p50 / at200, p50 / percentile(pool.committed.wall, 0.5));
        }
    }
}

void stops(QApplication &app, const QTemporaryDir &dir)
{
    BenchPrompt prompt;
    Database db(prompt);
    if (!db.openDatabase(dir.filePath(QStringLiteral("Data.mdb"))))
        return;
    const qint64 draw = makeDraw(db, 1'000'000, 0);
    QElapsedTimer timer;
    timer.start();
    QString why;
    db.backupTo(dir.filePath(QStringLiteral("backup.mdb")), why);
    std::printf("%-44s %8.0f ms   (%lld MB)\n", "a backup at 1 000 000 participants", timer.nsecsElapsed() / 1e6,
                static_cast<long long>(QFileInfo(db.path()).size() >> 20));

    DrawEngine engine(db);
    NoProgress progress;
    SilentMusic music;
    DrawScreen screen(db, engine, progress, music);
    screen.setGeometry(0, 0, 1920, 1080);
    screen.load(draw);
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
            screen.drawAction();
            waitMs(app, 100);
            timer.restart();
            screen.drawAction();
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
    setUpFonts(app);
    QTemporaryDir dir;
    // "stop": only what storing a round costs; a folder: only the reports, kept there.
    const QString argument = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    recordRounds(dir);
    if (argument == QStringLiteral("stop"))
        return 0;
    report(dir, argument);
    if (argument.isEmpty())
        stops(app, dir);
    return 0;
}
