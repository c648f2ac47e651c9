#include "Maintenance.h"
#include "RoundLog.h"

#include "data/Database.h"
#include "data/Progress.h"
#include "data/RowRange.h"
#include "data/TextNumber.h"

#include <QHash>

#include <algorithm>
#include <vector>

namespace quilla {

namespace {

const QString DeleteFailed = QStringLiteral("删除记录失败，数据库没有改变。");

// Runs every statement in one transaction; tells the operator when it did not land.
bool runAll(Database &db, const QList<Sql> &statements, const QString &failure)
{
    bool done = db.isOpen();
    {
        Database::Transaction transaction(db);
        for (qsizetype i = 0; i < statements.size() && done; ++i)
            done = db.executeSql(statements.at(i));
        done = done && transaction.commit();
    }
    if (!done)
        db.prompt().message(failure, Prompt::Icon::Warning);
    return done;
}

} // namespace

bool deleteDraws(Database &db, const QList<qint64> &drawIds)
{
    QList<Sql> statements;
    for (const qint64 id : drawIds) {
        const Sql key = Sql::number(id);
        statements << Sql("DELETE * FROM 奖项表 WHERE CID=") + key
                   << Sql("DELETE * FROM 号码表 WHERE CID=") + key
                   << Sql("DELETE * FROM 结果表 WHERE CID=") + key
                   << Sql("DELETE * FROM 预设表 WHERE PID=") + key
                   << Sql("DELETE * FROM 轮次表 WHERE CID=") + key // the log goes with its draw only
                   << Sql("DELETE * FROM 奖次表 WHERE ID=") + key;
    }
    return runAll(db, statements, DeleteFailed);
}

bool deletePrizes(Database &db, const QList<qint64> &prizeIds)
{
    // The results that go with the prizes are logged in the same transaction.
    Database::Transaction transaction(db);
    QList<Sql> statements;
    for (const qint64 id : prizeIds) {
        const Sql key = Sql::number(id);
        statements << Sql("DELETE * FROM 结果表 WHERE WID=") + key
                   << Sql("DELETE * FROM 预设表 WHERE AID=") + key
                   << Sql("DELETE * FROM 奖项表 WHERE ID=") + key;
    }
    const bool logged = prizeIds.isEmpty() || logDeletion(db, Sql("WID IN (SELECT ID FROM 奖项表 WHERE ") +
                                                                 keysIn(prizeIds) + Sql(")"), DeletedPrize);
    if (!logged) {
        db.prompt().message(DeleteFailed, Prompt::Icon::Warning);
        return false;
    }
    return runAll(db, statements, DeleteFailed) && transaction.commit();
}

bool storePrizeOrder(Database &db, const QList<qint64> &prizeIds)
{
    QList<Sql> statements;
    for (qsizetype i = 0; i < prizeIds.size(); ++i)
        statements << Sql("UPDATE 奖项表 SET 顺序=") + Sql::number(i + 1) + Sql(" WHERE ID=") +
                          Sql::number(prizeIds.at(i));
    return runAll(db, statements, QStringLiteral("奖项顺序未能保存，请检查数据库文件！"));
}

qint64 nextPrizeOrder(Database &db, qint64 drawId)
{
    qint64 highest = 0;
    db.forEachRow(Sql("SELECT MAX(顺序) AS 最大 FROM 奖项表 WHERE CID=") + Sql::number(drawId),
                  [&](const Row &row) { highest = row.number(0); });
    return highest + 1;
}

bool updateParticipant(Database &db, qint64 drawId, qint64 id, const QString &number, const QString &name)
{
    return db.executeSql(Sql("UPDATE 号码表 SET CID=") + Sql::text(QString::number(drawId)) + Sql(",号码=") +
                         Sql::text(trimmedText(number)) + Sql(",姓名=") + Sql::text(trimmedText(name)) +
                         Sql(" WHERE ID=") + Sql::number(id));
}

qint64 appendParticipant(Database &db, qint64 drawId, const QString &number, const QString &name)
{
    Query rs = db.openQuery(Sql("SELECT * FROM 号码表 WHERE FALSE"));
    rs.addNew();
    rs.setValue(u"CID", drawId);
    rs.setValue(u"号码", trimmedText(number));
    rs.setValue(u"姓名", trimmedText(name));
    return rs.save() ? rs.number(u"ID") : 0;
}

namespace {

// The trimmed number and name of every row read, back to back in one block (a million
// rows cost no allocation each), then told apart in one pass over a table of hashes.
class Pairs
{
  public:
    void add(QByteArrayView number, QByteArrayView name)
    {
        // The number's length first: no two pairs write the same bytes.
        const qsizetype at = m_bytes.size();
        const quint32 length = quint32(number.size());
        m_bytes.append(reinterpret_cast<const char *>(&length), sizeof length).append(number).append(name);
        m_starts.push_back(at);
        m_hashes.push_back(quint32(qHash(QByteArrayView(m_bytes).sliced(at))));
    }
    size_t size() const { return m_starts.size(); }
    // Whether each pair equals one added before it; the texts are compared whole, never
    // by a hash alone.
    std::vector<bool> repeats() const
    {
        const size_t count = size();
        size_t slots = 16;
        while (slots < 2 * count)
            slots *= 2;
        const size_t mask = slots - 1;
        struct Slot
        {
            quint32 hash = 0;
            quint32 pair = 0; // one past the pair's number; 0 for none
        };
        std::vector<Slot> table(slots);
        std::vector<bool> repeated(count);
        constexpr size_t Ahead = 16; // the slots looked at soon are fetched meanwhile
        for (size_t i = 0; i < count; ++i) {
            if (i + Ahead < count)
                __builtin_prefetch(&table[m_hashes[i + Ahead] & mask]);
            const quint32 hash = m_hashes[i];
            size_t slot = hash & mask;
            for (; table[slot].pair != 0; slot = (slot + 1) & mask)
                if (table[slot].hash == hash && pair(table[slot].pair - 1) == pair(i))
                    break;
            if (table[slot].pair != 0)
                repeated[i] = true;
            else
                table[slot] = {hash, quint32(i + 1)};
        }
        return repeated;
    }

  private:
    QByteArrayView pair(size_t i) const
    {
        const qsizetype end = i + 1 < m_starts.size() ? m_starts[i + 1] : m_bytes.size();
        return QByteArrayView(m_bytes).sliced(m_starts[i], end - m_starts[i]);
    }

    QByteArray m_bytes;
    std::vector<qsizetype> m_starts;
    std::vector<quint32> m_hashes;
};

} // namespace

qint64 removeDuplicateParticipants(Database &db, Progress &progress, qint64 drawId)
{
    const Sql draw = Sql("CID=") + Sql::number(drawId);
    // Half the bar for reading the rows, half for deleting: it moves all the way.
    constexpr int Half = 50;
    progress.begin(QStringLiteral("正在去除重复项（号码及姓名相同的项）！"), 2 * Half);
    int shown = 0;
    const auto showUpTo = [&](int due) {
        if (due > shown) {
            progress.step(due - shown);
            shown = due;
        }
    };
    // The rows are read inside the deletion's transaction: what was read is what is deleted.
    Database::Transaction transaction(db);
    // The bar moves with the IDs read, from the draw's first to its last (each found at once).
    qint64 first = 0, last = 0;
    db.forEachRow(Sql("SELECT MIN(ID) FROM 号码表 WHERE ") + draw, [&](const Row &row) { first = row.key(0); });
    db.forEachRow(Sql("SELECT MAX(ID) FROM 号码表 WHERE ") + draw, [&](const Row &row) { last = row.key(0); });
    // In the order they were added, so that of each group the row added first stays. Rows
    // with an empty number and name go too: they equal the starting values the comparison
    // always began with.
    Pairs pairs;
    std::vector<qint64> ids;
    std::vector<bool> empty;
    qint64 visited = 0;
    const double perId = double(Half) / std::max(double(last) - double(first), 1.0);
    const bool read = db.forEachRow(
        Sql("SELECT ID, 号码, 姓名") + rowsOldestFirst(db, QStringLiteral("号码表"), draw), [&](const Row &row) {
            // Compared as the draw compares them, without the spaces around them.
            const QByteArrayView number = trimmedUtf8(row.utf8View(1));
            const QByteArrayView name = trimmedUtf8(row.utf8View(2));
            ids.push_back(row.key(0));
            empty.push_back(number.isEmpty() && name.isEmpty());
            pairs.add(number, name);
            if (++visited % 1024 == 0)
                showUpTo(int((double(ids.back()) - double(first)) * perId));
        });
    // The rows that go, as runs of neighbours in the draw: one statement each.
    std::vector<std::pair<qint64, qint64>> runs;
    qint64 doomed = 0;
    if (read) {
        const std::vector<bool> repeated = pairs.repeats();
        bool inRun = false;
        for (size_t i = 0; i < ids.size(); ++i) {
            const bool goes = empty[i] || repeated[i];
            if (goes && inRun)
                runs.back().second = ids[i];
            else if (goes)
                runs.emplace_back(ids[i], ids[i]);
            doomed += goes;
            inRun = goes;
        }
    }
    showUpTo(Half);
    bool removed = read;
    // A run is deleted by pieces of up to Chunk IDs, so that the bar moves while it goes.
    constexpr qint64 Chunk = 10000;
    std::vector<std::pair<qint64, qint64>> pieces;
    for (auto [at, to] : runs) {
        for (;;) {
            // Unsigned: IDs of a file from elsewhere may lie anywhere in the 64 bits.
            const qint64 end = quint64(to) - quint64(at) < quint64(Chunk) ? to : at + Chunk - 1;
            pieces.emplace_back(at, end);
            if (end == to)
                break;
            at = end + 1;
        }
    }
    QString singles; // IDs of runs of one, deleted by lists
    qint64 listed = 0;
    const auto deleteSingles = [&] {
        if (listed > 0)
            removed = removed && db.executeSql(Sql("DELETE FROM 号码表 WHERE ID IN (") + Sql(singles) + Sql(")"));
        singles.clear();
        listed = 0;
    };
    for (size_t i = 0; i < pieces.size() && removed; ++i) {
        const auto [from, to] = pieces[i];
        if (from == to) {
            // Built as text once: joining Sql pieces one by one copies the list each time.
            singles += (listed == 0 ? QString() : QStringLiteral(",")) + QString::number(from);
            if (++listed == Chunk)
                deleteSingles();
        } else {
            // Between two IDs of a run lie only rows of other draws, which stay.
            removed = db.executeSql(Sql("DELETE FROM 号码表 NOT INDEXED WHERE ID BETWEEN ") + Sql::number(from) +
                                    Sql(" AND ") + Sql::number(to) + Sql(" AND ") + draw);
        }
        showUpTo(Half + int((i + 1) * Half / pieces.size()));
    }
    deleteSingles();
    removed = removed && transaction.commit();
    showUpTo(2 * Half);
    progress.end();
    if (!removed && read)
        db.prompt().message(DeleteFailed, Prompt::Icon::Warning);
    return removed ? doomed : -1;
}

QStringList missingBeforeStart(Database &db, qint64 drawId)
{
    QStringList missing;
    // One row is enough to know: a count would walk a million participants.
    const auto none = [&](const Sql &table) {
        return !db.openQuery(Sql("SELECT 1 FROM ") + table + Sql(" WHERE CID=") + Sql::number(drawId) +
                             Sql(" LIMIT 1"))
                    .rowCount();
    };
    if (none(Sql("奖项表")))
        missing.append(QStringLiteral("奖项"));
    if (none(Sql("号码表")))
        missing.append(QStringLiteral("名单"));
    return missing;
}

} // namespace quilla
