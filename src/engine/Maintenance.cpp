#include "Maintenance.h"
#include "RoundLog.h"

#include "data/Database.h"
#include "data/Progress.h"
#include "data/RowRange.h"
#include "data/TextNumber.h"

#include <QHash>

#include <algorithm>
#include <cstring>
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
            done = db.ExecuteSql(statements.at(i));
        done = done && transaction.commit();
    }
    if (!done)
        db.prompt().message(failure, Prompt::Icon::Warning);
    return done;
}

} // namespace

bool DeleteDraws(Database &db, const QList<qint64> &drawIds)
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

bool DeletePrizes(Database &db, const QList<qint64> &prizeIds)
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
    const bool logged = prizeIds.isEmpty() || LogDeletion(db, Sql("WID IN (SELECT ID FROM 奖项表 WHERE ") +
                                                                 KeysIn(prizeIds) + Sql(")"), DeletedPrize);
    if (!logged) {
        db.prompt().message(DeleteFailed, Prompt::Icon::Warning);
        return false;
    }
    return runAll(db, statements, DeleteFailed) && transaction.commit();
}

bool StorePrizeOrder(Database &db, const QList<qint64> &prizeIds)
{
    QList<Sql> statements;
    for (qsizetype i = 0; i < prizeIds.size(); ++i)
        statements << Sql("UPDATE 奖项表 SET 顺序=") + Sql::number(i + 1) + Sql(" WHERE ID=") +
                          Sql::number(prizeIds.at(i));
    return runAll(db, statements, QStringLiteral("奖项顺序未能保存，请检查数据库文件！"));
}

qint64 NextPrizeOrder(Database &db, qint64 drawId)
{
    qint64 highest = 0;
    db.forEachRow(Sql("SELECT MAX(顺序) AS 最大 FROM 奖项表 WHERE CID=") + Sql::number(drawId),
                  [&](const Row &row) { highest = row.number(0); });
    return highest + 1;
}

bool UpdateParticipant(Database &db, qint64 drawId, qint64 id, const QString &number, const QString &name)
{
    return db.ExecuteSql(Sql("UPDATE 号码表 SET CID=") + Sql::text(QString::number(drawId)) + Sql(",号码=") +
                         Sql::text(trimmedText(number)) + Sql(",姓名=") + Sql::text(trimmedText(name)) +
                         Sql(" WHERE ID=") + Sql::number(id));
}

qint64 AppendParticipant(Database &db, qint64 drawId, const QString &number, const QString &name)
{
    Query rs = db.OpenQuery(Sql("SELECT * FROM 号码表 WHERE FALSE"));
    rs.addNew();
    rs.setValue(u"CID", drawId);
    rs.setValue(u"号码", trimmedText(number));
    rs.setValue(u"姓名", trimmedText(name));
    return rs.save() ? rs.number(u"ID") : 0;
}

namespace {

// Each trimmed number and name once: the pairs lie back to back in one block, found
// through a table of their places, so a million rows cost no allocation each.
class PairSet
{
  public:
    // False when the pair is there already.
    bool insert(QByteArrayView number, QByteArrayView name)
    {
        if (2 * (m_count + 1) > m_slots.size())
            grow();
        const size_t hash = qHashMulti(0, number, name);
        const size_t mask = m_slots.size() - 1;
        for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
            const Slot &found = m_slots[slot];
            if (found.at == Empty)
                break;
            if (found.hash == quint32(hash) && isPair(found.at, number, name))
                return false;
        }
        m_slots[findFree(hash)] = {quint32(hash), quint64(m_pairs.size())};
        // Two lengths, then the bytes: no two pairs write the same.
        const quint32 lengths[2] = {quint32(number.size()), quint32(name.size())};
        m_pairs.append(reinterpret_cast<const char *>(lengths), sizeof lengths).append(number).append(name);
        ++m_count;
        return true;
    }

  private:
    static constexpr quint64 Empty = ~quint64(0);
    struct Slot
    {
        quint32 hash = 0;
        quint64 at = Empty;
    };
    bool isPair(quint64 at, QByteArrayView number, QByteArrayView name) const
    {
        quint32 lengths[2];
        std::memcpy(lengths, m_pairs.constData() + at, sizeof lengths);
        const char *bytes = m_pairs.constData() + at + sizeof lengths;
        return lengths[0] == number.size() && lengths[1] == name.size() &&
               QByteArrayView(bytes, number.size()) == number &&
               QByteArrayView(bytes + number.size(), name.size()) == name;
    }
    size_t findFree(size_t hash) const
    {
        const size_t mask = m_slots.size() - 1;
        size_t slot = hash & mask;
        while (m_slots[slot].at != Empty)
            slot = (slot + 1) & mask;
        return slot;
    }
    void grow()
    {
        std::vector<Slot> old(std::max<size_t>(m_slots.size() * 2, 1024));
        old.swap(m_slots);
        for (const Slot &slot : old)
            if (slot.at != Empty)
                m_slots[findFree(slot.hash)] = slot;
    }

    std::vector<Slot> m_slots;
    QByteArray m_pairs;
    size_t m_count = 0;
};

} // namespace

qint64 RemoveDuplicateParticipants(Database &db, Progress &progress, qint64 drawId)
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
    // always began with. The texts are compared whole, never by a hash alone.
    // The rows that go are gathered as runs of neighbours in the draw: one statement each.
    PairSet seen;
    std::vector<std::pair<qint64, qint64>> runs;
    bool inRun = false;
    qint64 doomed = 0, visited = 0;
    const double perId = double(Half) / double(std::max<qint64>(last - first, 1));
    const bool read = db.forEachRow(
        Sql("SELECT ID, 号码, 姓名") + rowsOldestFirst(db, QStringLiteral("号码表"), draw), [&](const Row &row) {
            const qint64 id = row.key(0);
            // Compared as the draw compares them, without the spaces around them.
            const QByteArrayView number = trimmedUtf8(row.utf8View(1));
            const QByteArrayView name = trimmedUtf8(row.utf8View(2));
            const bool goes = (number.isEmpty() && name.isEmpty()) || !seen.insert(number, name);
            if (goes) {
                if (inRun)
                    runs.back().second = id;
                else
                    runs.emplace_back(id, id);
                ++doomed;
            }
            inRun = goes;
            if (++visited % 1024 == 0)
                showUpTo(int(double(id - first) * perId));
        });
    showUpTo(Half);
    bool removed = read;
    constexpr size_t Chunk = 10000;
    QString singles; // IDs of runs of one, deleted by lists
    size_t listed = 0;
    const auto deleteSingles = [&] {
        if (listed > 0)
            removed = removed && db.ExecuteSql(Sql("DELETE FROM 号码表 WHERE ID IN (") + Sql(singles) + Sql(")"));
        singles.clear();
        listed = 0;
    };
    for (size_t i = 0; i < runs.size() && removed; ++i) {
        const auto [from, to] = runs[i];
        if (from == to) {
            // Built as text once: joining Sql pieces one by one copies the list each time.
            singles += (listed == 0 ? QString() : QStringLiteral(",")) + QString::number(from);
            if (++listed == Chunk)
                deleteSingles();
        } else {
            // Between two IDs of a run lie only rows of other draws, which stay.
            removed = db.ExecuteSql(Sql("DELETE FROM 号码表 NOT INDEXED WHERE ID BETWEEN ") + Sql::number(from) +
                                    Sql(" AND ") + Sql::number(to) + Sql(" AND ") + draw);
        }
        showUpTo(Half + int((i + 1) * Half / runs.size()));
    }
    deleteSingles();
    removed = removed && transaction.commit();
    showUpTo(2 * Half);
    progress.end();
    if (!removed && read)
        db.prompt().message(DeleteFailed, Prompt::Icon::Warning);
    return removed ? doomed : -1;
}

} // namespace quilla
