#pragma once

#include <QList>
#include <QString>

namespace quilla {

class Database;
class Sql;

// Who is in the hall, per participant row of a draw (号码表.签到). A person is
// everyone of the draw with the same trimmed number and name; what is set at the
// door or for an absent winner is set on all their rows.
enum class Presence : int
{
    NotCheckedIn = 0,
    CheckedIn = 1,
    Absent = 2, // out of play for the rest of the draw, for every prize
};

// How a presence was set, as 号码表.签到方式 keeps it.
inline const QString SetAtDoor = QStringLiteral("门口签到");
inline const QString SetByPhone = QStringLiteral("手机签到");
inline const QString SetFromList = QStringLiteral("签到名单");
inline const QString SetInList = QStringLiteral("名单标记");
inline const QString SetForAbsentWinner = QStringLiteral("中奖人不在场");

// The round log's event for winners taken out as absent.
inline const QString AbsentWinners = QStringLiteral("不在场");

QString presenceText(Presence presence);
// The 签到 column as the lists show it ("未签到", "已签到", "不在场").
QString presenceExpression();

// A number typed or scanned at the door.
struct DoorCheckIn
{
    enum class Outcome
    {
        CheckedIn,
        AlreadyIn, // earlier, at when
        Unknown,   // no participant has the number
        Ambiguous, // several people share it: names
        Absent,    // marked absent as a winner: the operator restores them first
        Failed,    // not stored
    };
    Outcome outcome = Outcome::Unknown;
    QString number;
    QStringList names;
    QString when;
    // What the door shows, in one line.
    QString answer() const;
};

// Door and phone look-ups find a number among a draw's rows through the draw's index, a
// quarter of a second at a million rows. For a draw of more than 20 000 this makes an index
// of the numbers once (seconds at a million), which every later import then also fills.
void indexNumbersForCheckIn(Database &db, qint64 drawId);

// Checks in the person with this number (trimmed) in one transaction.
DoorCheckIn checkInAtDoor(Database &db, qint64 drawId, const QString &typed, const QString &how = SetAtDoor);

// Checks in the person with this number and name (both trimmed) in one transaction,
// for a page where the person types both: a wrong name is Unknown, as an unknown
// number is, so that the answer never tells who has a number.
DoorCheckIn checkInPerson(Database &db, qint64 drawId, const QString &number, const QString &name,
                          const QString &how);

// The outcome of a check-in list.
struct ListCheckIn
{
    qint64 checkedIn = 0;     // people marked now
    qint64 alreadyIn = 0;     // found, but checked in before
    QStringList notFound;     // numbers (and names, when given) no participant matches
    bool stored = false;
};

// Checks in everyone the list names, in one transaction: a row gives a number and
// optionally a name, which then must match too. Absent people stay absent.
ListCheckIn checkInList(Database &db, qint64 drawId, const QList<QStringList> &rows);

// Sets the presence of participant rows (号码表.ID) of the draw in one transaction;
// only rows whose presence changes are written, and NotCheckedIn only takes back
// an absence (恢复在场). Returns how many changed, -1 when not stored.
qint64 setPresence(Database &db, qint64 drawId, const QList<qint64> &ids, Presence presence, const QString &how);

// People of the draw checked in; -1 when unreadable.
qint64 checkedInCount(Database &db, qint64 drawId);

// Deletes results (结果表.ID) in one transaction with the round log's row. When
// absent, their winners are marked absent and logged as "不在场"; else the
// deletion is logged as "取消结果" and the winners go back into play.
bool cancelResults(Database &db, const QList<qint64> &resultIds, bool absent);
// The same in a transaction the caller holds: logs and marks before the rows go.
bool beforeCancellingResults(Database &db, const QList<qint64> &resultIds, bool absent);

} // namespace quilla
