#include "Presence.h"

#include "RoundLog.h"

#include "data/Database.h"
#include "data/TextNumber.h"

#include <QDateTime>
#include <QHash>
#include <QSet>

namespace quilla {

namespace {

QString now()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

struct PersonRow
{
    qint64 id = 0;
    QString name; // trimmed
    Presence presence = Presence::NotCheckedIn;
    QString when;
};

Presence presenceOf(qint64 stored)
{
    return stored == 1 ? Presence::CheckedIn : stored == 2 ? Presence::Absent : Presence::NotCheckedIn;
}

// The rows of the draw with this number (trimmed), found through the index. False when unreadable.
bool rowsWithNumber(Database &db, qint64 drawId, const QString &number, QList<PersonRow> &rows)
{
    rows.clear();
    return db.forEachRow(
        Sql("SELECT ID,姓名,签到,签到时间 FROM 号码表 WHERE CID=") + Sql::number(drawId) + Sql(" AND 号码=") +
            Sql::text(number),
        [&](const Row &row) {
            rows.append({row.key(0), trimmedText(row.text(1)), presenceOf(row.number(2)), row.text(3)});
        });
}

// Writes presence on rows, chunked; the caller holds the transaction.
bool writePresence(Database &db, const QList<qint64> &ids, Presence presence, const QString &how,
                   const Sql &onlyWhere = Sql())
{
    const QString when = now();
    const Sql set = Sql("UPDATE 号码表 SET 签到=") + Sql::number(int(presence)) + Sql(",签到时间=") +
                    Sql::text(when) + Sql(",签到方式=") + Sql::text(how);
    const Sql unless = Sql(" AND 签到<>") + Sql::number(int(presence)) + onlyWhere;
    // A few rows (the door's) by one statement prepared once; many by lists of keys.
    constexpr qsizetype Few = 16;
    if (ids.size() <= Few) {
        for (const qint64 id : ids)
            if (!db.executeSql(set + Sql(" WHERE ID=") + Sql::number(id) + unless))
                return false;
        return true;
    }
    constexpr qsizetype Chunk = 10000;
    for (qsizetype from = 0; from < ids.size(); from += Chunk) {
        QString list;
        for (qsizetype i = from; i < std::min(ids.size(), from + Chunk); ++i)
            list += (i == from ? QString() : QStringLiteral(",")) + QString::number(ids.at(i));
        if (!db.executeSql(set + Sql(" WHERE ID IN (") + Sql(list) + Sql(")") + unless))
            return false;
    }
    return true;
}

// The rows of the one person found are checked in, or were already; an absence stands.
DoorCheckIn storeCheckIn(Database &db, const QList<PersonRow> &rows, const QString &how, DoorCheckIn result)
{
    QList<qint64> ids;
    for (const PersonRow &row : rows) {
        if (row.presence == Presence::Absent) {
            result.outcome = DoorCheckIn::Outcome::Absent;
            return result;
        }
        if (row.presence == Presence::CheckedIn)
            result.when = row.when;
        else
            ids.append(row.id);
    }
    if (ids.isEmpty()) {
        result.outcome = DoorCheckIn::Outcome::AlreadyIn;
        return result;
    }
    Database::Transaction transaction(db);
    result.outcome = db.isOpen() && writePresence(db, ids, Presence::CheckedIn, how) && transaction.commit()
                         ? DoorCheckIn::Outcome::CheckedIn
                         : DoorCheckIn::Outcome::Failed;
    return result;
}

} // namespace

QString presenceText(Presence presence)
{
    switch (presence) {
    case Presence::CheckedIn:
        return QStringLiteral("已签到");
    case Presence::Absent:
        return QStringLiteral("不在场");
    case Presence::NotCheckedIn:
        break;
    }
    return QStringLiteral("未签到");
}

QString presenceExpression()
{
    return QStringLiteral("CASE 签到 WHEN 1 THEN '已签到' WHEN 2 THEN '不在场' ELSE '未签到' END");
}

QString DoorCheckIn::answer() const
{
    const QString who = names.isEmpty() ? number : names.constFirst();
    switch (outcome) {
    case Outcome::CheckedIn:
        return QStringLiteral("%1 签到成功").arg(who);
    case Outcome::AlreadyIn:
        return QStringLiteral("%1 已经签到过了（%2）").arg(who, when);
    case Outcome::Unknown:
        return QStringLiteral("号码 %1 不在本次抽奖的名单中").arg(number);
    case Outcome::Ambiguous:
        return QStringLiteral("号码 %1 有 %2 人：%3，请在名单中选中本人后“标记签到”")
            .arg(number)
            .arg(names.size())
            .arg(names.join(QStringLiteral("、")));
    case Outcome::Absent:
        return QStringLiteral("%1 中奖时不在场，已不再参加抽奖；如确已到场，请在名单中选中后“标记签到”")
            .arg(who);
    case Outcome::Failed:
        break;
    }
    return QStringLiteral("签到未能保存到数据库，请检查数据库文件！");
}

void indexNumbersForCheckIn(Database &db, qint64 drawId)
{
    constexpr qint64 Many = 20000;
    if (db.isReadOnly() ||
        db.openQuery(Sql("SELECT 1 FROM sqlite_master WHERE name='号码表_号码查找'")).rowCount() ||
        !db.openQuery(Sql("SELECT 1 FROM 号码表 WHERE CID=") + Sql::number(drawId) + Sql(" LIMIT 1 OFFSET ") +
                      Sql::number(Many))
             .rowCount())
        return;
    db.executeSql(Sql("CREATE INDEX IF NOT EXISTS 号码表_号码查找 ON 号码表 (CID, 号码)"));
}

DoorCheckIn checkInAtDoor(Database &db, qint64 drawId, const QString &typed, const QString &how)
{
    indexNumbersForCheckIn(db, drawId);
    DoorCheckIn result;
    result.number = trimmedText(typed);
    QList<PersonRow> rows;
    if (result.number.isEmpty() || !rowsWithNumber(db, drawId, result.number, rows)) {
        result.outcome =
            result.number.isEmpty() ? DoorCheckIn::Outcome::Unknown : DoorCheckIn::Outcome::Failed;
        return result;
    }
    if (rows.isEmpty())
        return result;
    for (const PersonRow &row : std::as_const(rows))
        if (!result.names.contains(row.name))
            result.names.append(row.name);
    if (result.names.size() > 1) {
        result.outcome = DoorCheckIn::Outcome::Ambiguous;
        return result;
    }
    return storeCheckIn(db, rows, how, result);
}

DoorCheckIn checkInPerson(Database &db, qint64 drawId, const QString &number, const QString &name,
                          const QString &how)
{
    DoorCheckIn result;
    result.number = trimmedText(number);
    const QString who = trimmedText(name);
    QList<PersonRow> rows;
    if (result.number.isEmpty() || who.isEmpty())
        return result;
    if (!rowsWithNumber(db, drawId, result.number, rows)) {
        result.outcome = DoorCheckIn::Outcome::Failed;
        return result;
    }
    // Only the rows with this name: a wrong name is answered as an unknown number.
    rows.removeIf([&](const PersonRow &row) { return row.name != who; });
    if (rows.isEmpty())
        return result;
    result.names = {who};
    return storeCheckIn(db, rows, how, result);
}

ListCheckIn checkInList(Database &db, qint64 drawId, const QList<QStringList> &rows)
{
    ListCheckIn result;
    QList<qint64> ids;
    QSet<qint64> seen;
    QList<PersonRow> found;
    for (const QStringList &row : rows) {
        const QString number = trimmedText(row.value(0));
        const QString name = trimmedText(row.value(1));
        if (number.isEmpty())
            continue;
        if (!rowsWithNumber(db, drawId, number, found))
            return result;
        bool matched = false;
        for (const PersonRow &person : std::as_const(found)) {
            if (!name.isEmpty() && person.name != name)
                continue;
            matched = true;
            if (seen.contains(person.id))
                continue;
            seen.insert(person.id);
            if (person.presence == Presence::NotCheckedIn)
                ids.append(person.id);
            else if (person.presence == Presence::CheckedIn)
                ++result.alreadyIn;
        }
        if (!matched)
            result.notFound.append(name.isEmpty() ? number : number + u' ' + name);
    }
    Database::Transaction transaction(db);
    result.stored =
        db.isOpen() && writePresence(db, ids, Presence::CheckedIn, SetFromList) && transaction.commit();
    result.checkedIn = result.stored ? ids.size() : 0;
    return result;
}

qint64 setPresence(Database &db, qint64 drawId, const QList<qint64> &ids, Presence presence,
                   const QString &how)
{
    Database::Transaction transaction(db);
    const qint64 before = db.changeCount();
    // Only the draw's own rows; a restore takes back an absence, and nothing else.
    Sql only = Sql(" AND CID=") + Sql::number(drawId);
    if (presence == Presence::NotCheckedIn)
        only += Sql(" AND 签到=") + Sql::number(int(Presence::Absent));
    if (!db.isOpen() || !writePresence(db, ids, presence, how, only))
        return -1;
    const qint64 changed = db.changeCount() - before;
    return transaction.commit() ? changed : -1;
}

qint64 checkedInCount(Database &db, qint64 drawId)
{
    // People, not rows: a person listed twice came once.
    // The rows through the index of marked rows (签到<>0 names it), then the people among them.
    const Query count =
        db.openQuery(Sql("SELECT COUNT(*) AS n FROM (SELECT DISTINCT 号码,姓名 FROM 号码表 WHERE ID IN "
                         "(SELECT ID FROM 号码表 WHERE CID=") +
                     Sql::number(drawId) + Sql(" AND 签到<>0 AND 签到=1))"));
    return count.isValid() ? count.number(u"n") : -1;
}

bool beforeCancellingResults(Database &db, const QList<qint64> &resultIds, bool absent)
{
    if (!logDeletion(db, keysIn(resultIds), absent ? AbsentWinners : CancelledResults))
        return false;
    if (!absent)
        return true;
    // The winners, by draw: a person is their number and name, on every row they have.
    QList<std::tuple<qint64, QString, QString>> winners;
    if (!db.forEachRow(
            Sql("SELECT CID,号码,姓名 FROM 结果表 WHERE ") + keysIn(resultIds), [&](const Row &row) {
                winners.append({row.number(0), trimmedText(row.text(1)), trimmedText(row.text(2))});
            }))
        return false;
    QList<qint64> ids;
    QList<PersonRow> rows;
    for (const auto &[drawId, number, name] : std::as_const(winners)) {
        if (!rowsWithNumber(db, drawId, number, rows))
            return false;
        bool found = false;
        for (const PersonRow &row : std::as_const(rows))
            if (row.name == name) {
                ids.append(row.id);
                found = true;
            }
        if (found)
            continue;
        // A number stored with spaces around it (an older file) is not in the index as typed.
        if (!db.forEachRow(Sql("SELECT ID,号码,姓名 FROM 号码表 WHERE CID=") + Sql::number(drawId),
                           [&](const Row &row) {
                               if (trimmedUtf8(row.utf8View(1)) == number.toUtf8() &&
                                   trimmedUtf8(row.utf8View(2)) == name.toUtf8())
                                   ids.append(row.key(0));
                           }))
            return false;
    }
    return writePresence(db, ids, Presence::Absent, SetForAbsentWinner);
}

bool cancelResults(Database &db, const QList<qint64> &resultIds, bool absent)
{
    if (resultIds.isEmpty())
        return true;
    Database::Transaction transaction(db);
    if (!db.isOpen() || !beforeCancellingResults(db, resultIds, absent))
        return false;
    constexpr qsizetype Chunk = 10000;
    for (qsizetype from = 0; from < resultIds.size(); from += Chunk)
        if (!db.executeSql(Sql("DELETE FROM 结果表 WHERE ") + keysIn(resultIds.mid(from, Chunk))))
            return false;
    return transaction.commit();
}

} // namespace quilla
