// The preset editor on draws of 70 000 participants, one prize with 1 000
// presets (50 of them orphans): opening the editor, switching draws, loading a
// prize's marks and saving 5 000 marks, each beside its budget.
#include "BenchPrompt.h"
#include "BenchRows.h"
#include "data/Database.h"
#include "data/Progress.h"
#include "manage/PresetEditor.h"
#include "platform/Appearance.h"
#include "lists/RecordModel.h"
#include "lists/RecordView.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QMouseEvent>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>

using namespace quilla;

namespace {

constexpr int Participants = 70'000;
constexpr int StoredPresets = 1'000;
constexpr int SavedMarks = 5'000;

void report(const char *what, qint64 ms, qint64 budget)
{
    std::printf("%-48s %7lld ms   (budget %lld ms) %s\n", what, static_cast<long long>(ms),
                static_cast<long long>(budget), ms <= budget ? "ok" : "OVER BUDGET");
}

qint64 addRow(Database &db, const char *table, const QList<std::pair<const char16_t *, QVariant>> &values)
{
    Query rs = db.openQuery(Sql("SELECT * FROM ") + QString::fromUtf8(table) + Sql(" WHERE FALSE"));
    rs.addNew();
    for (const auto &[column, value] : values)
        rs.setValue(QStringView(column), value);
    rs.save();
    return rs.number(u"ID");
}

void addParticipants(Database &db, qint64 draw, int firstNumber)
{
    Database::Transaction transaction(db);
    Query rs = db.openQuery(Sql("SELECT * FROM 号码表 WHERE FALSE"));
    for (int i = 0; i < Participants; ++i) {
        rs.addNew();
        rs.setValue(u"CID", draw);
        rs.setValue(u"号码", QString::number(firstNumber + i));
        rs.setValue(u"姓名", participantName(i));
        rs.save();
    }
    transaction.commit();
}

// Picks an entry of a chooser as the operator does.
void choose(QComboBox *combo, qint64 key)
{
    for (int i = 0; i < combo->count(); ++i)
        if (combo->itemText(i).startsWith(QString::number(key) + QChar(0x2016))) {
            combo->setCurrentIndex(i);
            Q_EMIT combo->activated(i);
            return;
        }
}

// A left press on the mark of a row, scrolled into view first.
void pressMark(RecordView &list, int row, Qt::KeyboardModifiers modifiers)
{
    while (row >= list.model()->rowCount() && list.model()->canFetchMore({}))
        list.model()->fetchMore({});
    list.scrollTo(list.model()->index(row, 0));
    QApplication::processEvents();
    const QPoint at = list.visualRect(list.model()->index(row, 0)).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, list.viewport()->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, modifiers);
    QApplication::sendEvent(list.viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, list.viewport()->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, modifiers);
    QApplication::sendEvent(list.viewport(), &release);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    setUpFonts(app);
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    BenchPrompt prompt;
    Database db(prompt);
    if (!db.openDatabase(dir.filePath(QStringLiteral("Data.mdb"))))
        return 1;

    const qint64 other = addRow(db, "奖次表", {{u"抽奖内容", QStringLiteral("第二场")}});
    addParticipants(db, other, 20'000'000);
    const qint64 draw =
        addRow(db, "奖次表", {{u"抽奖内容", QStringLiteral("第一场")}}); // newest: shown first
    addParticipants(db, draw, 10'000'000);
    const qint64 saved = addRow(db, "奖项表", {{u"CID", draw}, {u"名称", QStringLiteral("三等奖")}});
    const qint64 preset = addRow(db, "奖项表", {{u"CID", draw}, {u"名称", QStringLiteral("二等奖")}});
    const qint64 empty =
        addRow(db, "奖项表", {{u"CID", draw}, {u"名称", QStringLiteral("一等奖")}}); // newest
    {
        Database::Transaction transaction(db);
        Query rs = db.openQuery(Sql("SELECT * FROM 预设表 WHERE FALSE"));
        for (int i = 0; i < StoredPresets; ++i) {
            // Spread over the whole draw: some lie beyond the grid's row cap, so every load
            // also reads the draw's participants to tell them from orphans.
            const int at = i * (Participants / StoredPresets);
            rs.addNew();
            rs.setValue(u"PID", draw);
            rs.setValue(u"AID", preset);
            rs.setValue(u"Code", QString::number(10'000'000 + at));
            // Every 20th names someone no longer in the draw: the first load deletes it.
            rs.setValue(u"Name", i % 20 == 0 ? QStringLiteral("已离开") : participantName(at));
            rs.save();
        }
        transaction.commit();
    }
    std::printf("%d participants in each of two draws, %d presets of one prize\n", Participants,
                StoredPresets);
    const auto presetCount = [&] {
        return static_cast<long long>(
            db.countRows(QStringLiteral("预设表"), Sql("AID=") + Sql::number(preset)));
    };

    NoProgress progress;
    QElapsedTimer timer;
    timer.start();
    PresetEditor editor(db, progress);
    editor.show();
    app.processEvents();
    report("opening the editor", timer.elapsed(), 1000);

    timer.restart();
    auto *draws = editor.findChild<QComboBox *>(QStringLiteral("drawChooser"));
    auto *prizes = editor.findChild<QComboBox *>(QStringLiteral("prizeChooser"));
    auto &list = *editor.findChild<RecordView *>(QStringLiteral("participants"));
    choose(draws, other);
    app.processEvents();
    report("switching draws", timer.elapsed(), 1000);
    choose(draws, draw);
    app.processEvents();

    timer.restart();
    choose(prizes, preset);
    report("loading 1 000 marks, deleting 50 orphans", timer.elapsed(), 50);
    std::printf("%-48s %7lld left\n", "  presets", presetCount());
    choose(prizes, empty);
    timer.restart();
    list.sortByColumn(2, Qt::AscendingOrder);
    std::printf("%-48s %7lld ms\n", "  (sorting by the names)", static_cast<long long>(timer.elapsed()));
    timer.restart();
    choose(prizes, preset);
    report("loading 950 marks again after a sort", timer.elapsed(), 50);
    list.sortByColumn(1, Qt::AscendingOrder);

    // Marks 5 000 rows of another prize: a press, then a Shift-press 4 999 rows on.
    choose(prizes, saved);
    pressMark(list, 0, Qt::NoModifier);
    pressMark(list, SavedMarks - 1, Qt::ShiftModifier);
    timer.restart();
    choose(prizes, empty); // stores the marks without asking
    report("saving 5 000 marks (another prize chosen)", timer.elapsed(), 100);
    std::printf(
        "%-48s %7lld\n", "  presets stored",
        static_cast<long long>(db.countRows(QStringLiteral("预设表"), Sql("AID=") + Sql::number(saved))));
    return 0;
}
