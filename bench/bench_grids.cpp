// Filling and sizing the two largest lists: participants (69 998 rows, at the
// row cap) and results (50 000 rows with two look-up columns over 20 prizes).
// Beside each fill, the old way of looking a prize up once per row.
#include "BenchPrompt.h"
#include "data/Database.h"
#include "data/Progress.h"
#include "grids/GridPresenter.h"
#include "platform/Appearance.h"
#include "platform/Grid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

using namespace quilla;

namespace {

void report(const char *what, qint64 ms, const char *goal = "")
{
    std::printf("%-52s %7lld ms %s\n", what, static_cast<long long>(ms), goal);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    SetUpFonts(app);
    QTemporaryDir dir;
    BenchPrompt prompt;
    Database db(prompt);
    if (!db.OpenDatabase(dir.filePath(QStringLiteral("Data.mdb"))))
        return 1;
    {
        Database::Transaction transaction(db);
        Query prizes = db.OpenQuery(Sql("SELECT * FROM 奖项表 WHERE FALSE"));
        for (int p = 1; p <= 20; ++p) {
            prizes.addNew();
            prizes.setValue(u"CID", 1);
            prizes.setValue(u"名称", QStringLiteral("%1等奖").arg(p));
            prizes.setValue(u"奖品", QStringLiteral("奖品%1").arg(p));
            prizes.save();
        }
        Query people = db.OpenQuery(Sql("SELECT * FROM 号码表 WHERE FALSE"));
        for (int i = 0; i < 69'998; ++i) {
            people.addNew();
            people.setValue(u"CID", 1);
            people.setValue(u"号码", QString::number(13'800'000'000LL + i));
            people.setValue(u"姓名", QStringLiteral("员工%1").arg(i));
            people.save();
        }
        Query results = db.OpenQuery(Sql("SELECT * FROM 结果表 WHERE FALSE"));
        for (int i = 0; i < 50'000; ++i) {
            results.addNew();
            results.setValue(u"CID", 1);
            results.setValue(u"WID", 1 + i % 20);
            results.setValue(u"号码", QString::number(13'800'000'000LL + i));
            results.setValue(u"姓名", QStringLiteral("员工%1").arg(i));
            results.save();
        }
        transaction.commit();
    }

    QWidget window;
    window.resize(1200, 800);
    NoProgress progress;
    GridPresenter presenter(db, progress, &window);
    Grid participants(&window);
    participants.setGeometry(0, 0, 1200, 800);
    GridPresenter::SetGridHeadings(participants, {"ID", "", "号码", "姓名", "CID"},
                                   {"ID", "序号", "号码", "姓名", "抽奖"});
    participants.setTag(QStringLiteral("号码表"));
    Grid results(&window);
    results.setGeometry(0, 0, 1200, 800);
    GridPresenter::SetGridHeadings(
        results, {"ID", "CID", "", "WID:奖项表:ID:名称", "WID:奖项表:ID:奖品", "号码", "姓名"},
        {"ID", "CID", "序号", "奖项", "奖品", "号码", "姓名"});
    results.setTag(QStringLiteral("结果表"));
    window.show();

    QElapsedTimer timer;
    timer.start();
    presenter.FillGrid(participants, Sql("CID=") + Sql::number(1), Sql("ID"), false);
    report("FillGrid participants, 69 998 rows (fits widths too)", timer.elapsed(), "(goal <= 500 ms)");
    timer.restart();
    presenter.FitColumnWidths(&window, participants, 1, false);
    report("FitColumnWidths participants", timer.elapsed());

    timer.restart();
    presenter.FillGrid(results, Sql("CID=") + Sql::number(1), Sql("ID"), false);
    report("FillGrid results, 50 000 rows, two look-ups (fits widths)", timer.elapsed(), "(goal <= 500 ms)");
    timer.restart();
    presenter.FitColumnWidths(&window, results, 1, false);
    report("FitColumnWidths results", timer.elapsed());

    // The old way: a look-up query for every row and look-up column.
    timer.restart();
    qint64 chars = 0;
    const Query rs =
        db.OpenQuery(Sql("SELECT * FROM 结果表 WHERE CID=") + Sql::number(1) + Sql(" ORDER BY ID"));
    for (Query row = rs; !row.atEnd(); row.next()) {
        const QVariant wid = row.value(u"WID");
        chars += textOf(db.LookupValue(QStringLiteral("奖项表"), wid, QStringLiteral("ID"),
                                       QStringLiteral("名称")))
                     .size();
        chars += textOf(db.LookupValue(QStringLiteral("奖项表"), wid, QStringLiteral("ID"),
                                       QStringLiteral("奖品")))
                     .size();
    }
    report("results look-ups one query per row (old way, look-ups only)", timer.elapsed());
    return chars > 0 ? 0 : 1;
}
