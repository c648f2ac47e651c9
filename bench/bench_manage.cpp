// The management window on draws of 1 000 000 participants: opening the
// participants tab, switching draws, sorting by a title, selecting and deleting,
// and removing 500 000 duplicates. Each heavy step is printed in CPU and wall time
// beside a plain read of the same rows measured in this run, as a ratio to it.
#include "BenchPrompt.h"
#include "SilentMusic.h"
#include "data/Database.h"
#include "data/Progress.h"
#include "engine/DrawEngine.h"
#include "lists/RecordModel.h"
#include "lists/RecordView.h"
#include "manage/ImportMapping.h"
#include "manage/ManagementWindow.h"
#include "platform/Appearance.h"
#include "platform/Music.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QStringEncoder>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>

using namespace quilla;

namespace {

// CPU and wall time of one step.
class Stopwatch
{
  public:
    Stopwatch() { restart(); }
    void restart()
    {
        m_wall.start();
        m_cpu = std::clock();
    }
    double cpuMs() const { return double(std::clock() - m_cpu) * 1000.0 / CLOCKS_PER_SEC; }
    double wallMs() const { return double(m_wall.nsecsElapsed()) / 1e6; }

  private:
    QElapsedTimer m_wall;
    std::clock_t m_cpu;
};

double plainCpu = 1; // the plain read's CPU time, the unit of the ratios

void report(const char *what, const Stopwatch &watch, const char *goal)
{
    std::printf("%-46s cpu %7.0f ms  wall %7.0f ms  = %5.2f x plain read   %s\n", what, watch.cpuMs(),
                watch.wallMs(), watch.cpuMs() / plainCpu, goal);
}

// The question asked, and how far the bar went and in how many steps.
class CountingPrompt : public BenchPrompt
{
  public:
    bool question(const QString &text, Icon, Default) override
    {
        lastQuestion = text;
        return true;
    }
    QString lastQuestion;
};

class CountingProgress : public Progress
{
  public:
    void begin(const QString &, int total) override
    {
        m_total = std::max(total, 1);
        m_done = 0;
        steps = 0;
    }
    void step(int increment, const QString &) override
    {
        m_done += increment;
        steps += increment > 0;
    }
    void end() override { reached = 100 * m_done / m_total; }
    int steps = 0;
    int reached = 0;

  private:
    int m_total = 1;
    int m_done = 0;
};

void addParticipants(Database &db, qint64 draw, int count, int distinct)
{
    Database::Transaction transaction(db);
    Query rs = db.openQuery(Sql("SELECT * FROM 号码表 WHERE FALSE"));
    for (int i = 0; i < count; ++i) {
        rs.addNew();
        rs.setValue(u"CID", draw);
        rs.setValue(u"号码", QString::number(13'800'000'000LL + i % distinct));
        rs.setValue(u"姓名", QStringLiteral("员工%1").arg(i % distinct));
        rs.save();
    }
    transaction.commit();
}

qint64 addDraw(Database &db, const QString &name)
{
    Query rs = db.openQuery(Sql("SELECT * FROM 奖次表 WHERE FALSE"));
    rs.addNew();
    rs.setValue(u"抽奖内容", name);
    rs.save();
    return rs.number(u"ID");
}

void press(QWidget *to, int key, Qt::KeyboardModifiers modifiers = {})
{
    QKeyEvent down(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(to, &down);
    QKeyEvent up(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(to, &up);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    setUpFonts(app);
    QTemporaryDir dir;
    CountingPrompt prompt;
    Database db(prompt);
    if (!db.openDatabase(dir.filePath(QStringLiteral("Data.mdb"))))
        return 1;
    const qint64 first = addDraw(db, QStringLiteral("第一场"));
    const qint64 second = addDraw(db, QStringLiteral("第二场"));
    addParticipants(db, first, 1'000'000, 1'000'000);
    addParticipants(db, second, 1'000'000, 500'000); // 500 000 duplicates

    // The plain read: every row of a draw, its three fields, kept nowhere.
    Stopwatch watch;
    qint64 seen = 0;
    db.forEachRow(Sql("SELECT ID, 号码, 姓名 FROM 号码表 WHERE CID=") + Sql::number(first),
                  [&](const Row &row) { seen += row.utf8View(2).size() > 0; });
    plainCpu = std::max(watch.cpuMs(), 1.0);
    std::printf("%-46s cpu %7.0f ms  wall %7.0f ms  (%lld rows)\n", "plain read of 1 000 000 rows", watch.cpuMs(),
                watch.wallMs(), static_cast<long long>(seen));

    DrawEngine engine(db);
    CountingProgress progress;
    SilentMusic music;
    ManagementWindow window(db, engine, progress, music);
    window.resize(1200, 800);
    window.show();
    app.processEvents();

    auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabs"));
    QWidget *panel = tabs->widget(2);
    auto *chooser = panel->findChild<QComboBox *>(QStringLiteral("drawChooser"));
    auto *list = panel->findChild<RecordView *>(QStringLiteral("records"));
    const auto click = [panel](const char *name) {
        panel->findChild<QPushButton *>(QString::fromLatin1(name))->click();
    };
    watch.restart();
    tabs->setCurrentIndex(2); // the newest draw: 第二场
    app.processEvents();
    report("opening the participants tab", watch, "(goal <= 300 ms)");

    watch.restart();
    chooser->setCurrentIndex(1);
    Q_EMIT chooser->activated(1); // 第一场
    app.processEvents();
    report("switching draws in the chooser", watch, "(goal <= 300 ms)");

    list->setFocus();
    list->selectionModel()->select(QItemSelection(list->model()->index(0, 0), list->model()->index(2, 1)),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const QList<qint64> three = list->selectedKeys();
    watch.restart();
    list->horizontalHeader()->setSortIndicator(1, Qt::AscendingOrder); // 姓名, as a title click sorts
    app.processEvents();
    report("sorting by 姓名", watch, "(goal <= 500 ms cpu)");
    std::printf("  the three selected rows stay selected: %s\n", list->selectedKeys().size() == 3 ? "yes" : "NO");
    watch.restart();
    list->horizontalHeader()->setSortIndicator(0, Qt::DescendingOrder); // 号码
    app.processEvents();
    report("sorting by 抽奖号码", watch, "(goal <= 500 ms cpu)");
    std::printf("  the three selected rows stay selected: %s\n",
                [&] {
                    const QList<qint64> now = list->selectedKeys();
                    return QSet<qint64>(three.cbegin(), three.cend()) == QSet<qint64>(now.cbegin(), now.cend());
                }()
                    ? "yes"
                    : "NO");

    watch.restart();
    chooser->setCurrentIndex(0);
    Q_EMIT chooser->activated(0); // 第二场, still sorted by 号码
    app.processEvents();
    report("switching draws with the sort in force", watch, "(goal <= 500 ms cpu)");
    chooser->setCurrentIndex(1);
    Q_EMIT chooser->activated(1);
    app.processEvents();

    watch.restart();
    press(list, Qt::Key_End, Qt::ControlModifier);
    app.processEvents();
    report("Ctrl+End", watch, "");
    std::printf("  at row %d of %d\n", list->currentIndex().row() + 1, list->model()->rowCount());
    watch.restart();
    press(list, Qt::Key_A, Qt::ControlModifier);
    app.processEvents();
    report("Ctrl+A", watch, "");
    watch.restart();
    prompt.lastQuestion.clear();
    click("deleteParticipants");
    app.processEvents();
    report("deleting every participant selected by Ctrl+A", watch, "");
    std::printf("  asked: %s  left: %lld\n", qPrintable(prompt.lastQuestion),
                static_cast<long long>(db.countRows(QStringLiteral("号码表"), Sql("CID=") + Sql::number(first))));
    addParticipants(db, first, 1'000'000, 1'000'000);
    Q_EMIT chooser->activated(1);
    app.processEvents();

    watch.restart();
    for (int i = 0; i < 80; ++i) // 20 000 rows down
        press(list, Qt::Key_PageDown);
    app.processEvents();
    report("80 x PageDown", watch, "");
    list->selectionModel()->select(QItemSelection(list->model()->index(0, 0), list->model()->index(19'999, 1)),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    watch.restart();
    click("deleteParticipants");
    app.processEvents();
    report("deleting 20 000 selected participants", watch, "(goal <= 1000 ms)");

    chooser->setCurrentIndex(0);
    Q_EMIT chooser->activated(0); // 第二场
    app.processEvents();
    watch.restart();
    click("removeDuplicates");
    app.processEvents();
    report("去除重复 with 500 000 duplicates", watch, "(goal <= 1000 ms cpu)");
    std::printf("  the bar moved in %d steps to %d %%\n", progress.steps, progress.reached);

    // The mapping window on a 1 000 000-row file reads only the rows it shows.
    const QString csv = dir.filePath(QStringLiteral("big.csv"));
    {
        QFile file(csv);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        QStringEncoder gbk("GBK");
        QByteArray chunk;
        for (int i = 0; i < 1'000'000; ++i) {
            chunk += gbk.encode(QStringLiteral("%1,员工%2,部门\r\n").arg(13'800'000'000LL + i).arg(i));
            if (chunk.size() > (1 << 20)) {
                file.write(chunk);
                chunk.clear();
            }
        }
        file.write(chunk);
    }
    watch.restart();
    {
        NoProgress quiet;
        ImportMapping map(db, quiet, first, csv, nullptr, QString());
        report("ImportMapping on a 1 000 000-row CSV", watch, "(goal <= 200 ms)");
    }
    return 0;
}
