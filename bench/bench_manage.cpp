// The management window on a draw with 100 000 participants: opening the
// participants tab, switching draws, deleting 20 000 selected rows, removing
// 50 000 duplicates and saving a keystroke of the in-grid editor, each beside
// FillGrid alone on the same rows.
#include "BenchPrompt.h"
#include "SilentMusic.h"
#include "data/Database.h"
#include "data/Progress.h"
#include "engine/DrawEngine.h"
#include "grids/GridPresenter.h"
#include "manage/ImportMapping.h"
#include "manage/ManagementWindow.h"
#include "platform/Appearance.h"
#include "platform/Grid.h"
#include "platform/Music.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStringEncoder>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdio>

using namespace quilla;

namespace {

void report(const char *what, qint64 ms, qint64 baseline, const char *goal)
{
    std::printf("%-44s %7lld ms   FillGrid alone %7lld ms   %s\n", what, static_cast<long long>(ms),
                static_cast<long long>(baseline), goal);
}

void addParticipants(Database &db, qint64 draw, int count, int distinct)
{
    Database::Transaction transaction(db);
    Query rs = db.OpenQuery(Sql("SELECT * FROM 号码表 WHERE FALSE"));
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
    Query rs = db.OpenQuery(Sql("SELECT * FROM 奖次表 WHERE FALSE"));
    rs.addNew();
    rs.setValue(u"抽奖内容", name);
    rs.save();
    return rs.number(u"ID");
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    SetUpFonts(app);
    QTemporaryDir dir;
    BenchPrompt prompt;
    Database db(prompt);
    if (!db.OpenDatabase(dir.filePath(QStringLiteral("Data.mdb"))))
        return 1;
    const qint64 first = addDraw(db, QStringLiteral("第一场"));
    const qint64 second = addDraw(db, QStringLiteral("第二场"));
    addParticipants(db, first, 100'000, 100'000);
    addParticipants(db, second, 100'000, 50'000); // every participant twice
    DrawEngine engine(db);
    NoProgress progress;
    SilentMusic music;
    ManagementWindow window(db, engine, progress, music);
    window.resize(1200, 800);
    window.show();
    app.processEvents();

    // The floor: the grid filled alone, as the tab fills it.
    Grid plain;
    GridPresenter presenter(db, progress, &window);
    GridPresenter::SetGridHeadings(plain, {"ID", "", "号码", "姓名"}, {"ID", "序号", "抽奖号码", "姓名"});
    plain.setTag(QStringLiteral("号码表"));
    QElapsedTimer timer;
    timer.start();
    presenter.FillGrid(plain, Sql("CID=") + Sql::number(first), Sql("ID DESC"), false);
    const qint64 fill = timer.elapsed();

    QComboBox *chooser = window.CMB[2];
    timer.restart();
    window.SST->setCurrentIndex(2); // the newest draw: 第二场
    app.processEvents();
    report("opening the participants tab", timer.elapsed(), fill, "(goal <= 1000 ms)");

    timer.restart();
    chooser->setCurrentIndex(1);
    Q_EMIT chooser->activated(1); // 第一场
    app.processEvents();
    report("switching draws in the chooser", timer.elapsed(), fill, "(goal <= 1000 ms)");

    Grid &grid = *window.MSF[2];
    grid.setRow(2);
    grid.setCol(2);
    grid.setRowSel(2 + 19'999);
    timer.restart();
    window.Com_Click(23);
    app.processEvents();
    report("deleting 20 000 selected participants", timer.elapsed(), fill, "(goal <= 1000 ms)");

    chooser->setCurrentIndex(0);
    Q_EMIT chooser->activated(0); // 第二场, 50 000 duplicates
    timer.restart();
    window.Com_Click(21);
    app.processEvents();
    report("去除重复 with 50 000 duplicates", timer.elapsed(), fill, "(goal <= 2000 ms)");

    // A keystroke in the name editor: one row written at once.
    grid.setRow(5);
    grid.setCol(3);
    Q_EMIT grid.clicked(grid.model()->index(3, 3));
    QLineEdit *editor = window.TT;
    QElapsedTimer key;
    qint64 worst = 0;
    for (int i = 0; i < 20; ++i) {
        key.restart();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QApplication::sendEvent(editor, &press);
        worst = std::max(worst, key.elapsed());
    }
    std::printf("%-44s %7lld ms   (goal <= 50 ms; %s)\n", "keystroke save, worst of 20",
                static_cast<long long>(worst), editor->isVisible() ? "editor open" : "EDITOR NOT OPEN");

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
    timer.restart();
    {
        ImportMapping map(db, progress, first, csv, nullptr, QString());
        std::printf("%-44s %7lld ms   (goal <= 200 ms; range to %s)\n", "ImportMapping on a 1 000 000-row CSV",
                    static_cast<long long>(timer.elapsed()), qPrintable(map.T[1]->text()));
    }
    return 0;
}
