#include "Maintenance.h"
#include "RoundLog.h"

#include "data/Database.h"
#include "data/Progress.h"
#include "data/TextNumber.h"

#include <QSet>

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

qint64 RemoveDuplicateParticipants(Database &db, Progress &progress, qint64 drawId)
{
    const Sql draw = Sql::number(drawId);
    const qint64 rows = db.CountRows(QStringLiteral("号码表"), Sql("CID=") + draw);
    // Half the bar for reading the rows, half for deleting: it moves all the way.
    constexpr int Half = 50;
    progress.begin(QStringLiteral("正在去除重复项（号码及姓名相同的项）！"), 2 * Half);
    const qint64 perStep = std::max<qint64>(rows / Half, 1);
    // In the order they were added, so that of each group the row added first stays. Rows
    // with an empty number and name go too: they equal the starting values the comparison
    // always began with. The texts are compared whole, never by a hash alone.
    QSet<QByteArray> seen;
    seen.reserve(qsizetype(rows));
    std::vector<qint64> doomed;
    qint64 visited = 0;
    int shown = 0;
    const bool read = db.forEachRow(
        Sql("SELECT ID, 号码, 姓名 FROM 号码表 WHERE CID=") + draw + Sql(" ORDER BY ID"), [&](const Row &row) {
            // Compared as the draw compares them, without the spaces around them.
            const QByteArrayView number = trimmedUtf8(row.utf8View(1));
            const QByteArrayView name = trimmedUtf8(row.utf8View(2));
            QByteArray pair;
            pair.reserve(number.size() + name.size() + 12);
            pair.append(QByteArray::number(number.size())).append(':').append(number).append(name);
            if ((number.isEmpty() && name.isEmpty()) || seen.contains(pair))
                doomed.push_back(row.key(0));
            else
                seen.insert(std::move(pair));
            if (++visited % perStep == 0 && shown < Half) {
                progress.step(1);
                ++shown;
            }
        });
    seen = {};
    progress.step(Half - shown);
    bool removed = read;
    if (removed && !doomed.empty()) {
        Database::Transaction transaction(db);
        constexpr size_t Chunk = 10000;
        const size_t chunks = (doomed.size() + Chunk - 1) / Chunk;
        shown = 0;
        for (size_t chunk = 0; chunk < chunks && removed; ++chunk) {
            // Built as text once: joining Sql pieces one by one copies the list each time.
            QString list;
            for (size_t i = chunk * Chunk; i < std::min(doomed.size(), (chunk + 1) * Chunk); ++i)
                list += (i == chunk * Chunk ? QString() : QStringLiteral(",")) + QString::number(doomed[i]);
            removed = db.ExecuteSql(Sql("DELETE FROM 号码表 WHERE ID IN (") + Sql(list) + Sql(")"));
            const int due = int((chunk + 1) * Half / chunks);
            progress.step(due - shown);
            shown = due;
        }
        removed = removed && transaction.commit();
    }
    progress.end();
    if (!removed && read)
        db.prompt().message(DeleteFailed, Prompt::Icon::Warning);
    return removed ? qint64(doomed.size()) : -1;
}

QStringList MissingBeforeStart(Database &db, qint64 drawId)
{
    QStringList missing;
    const Sql ofDraw = Sql("CID=") + Sql::number(drawId);
    if (db.CountRows(QStringLiteral("奖项表"), ofDraw) == 0)
        missing.append(QStringLiteral("奖项"));
    if (db.CountRows(QStringLiteral("号码表"), ofDraw) == 0)
        missing.append(QStringLiteral("名单"));
    return missing;
}

} // namespace quilla
