#pragma once

#include <QList>
#include <QString>

namespace quilla {

class Database;
class Progress;

// What the management window changes in the draw database besides the editors'
// own rows. Each operation is one transaction: on failure nothing changed, and
// the operator has been told "删除记录失败，数据库没有改变。" (or, for the
// participant writes, what failed).

// Deletes draws with their prizes, participants, results and preset winners.
bool deleteDraws(Database &db, const QList<qint64> &drawIds);
// Deletes prizes with their results and preset winners.
bool deletePrizes(Database &db, const QList<qint64> &prizeIds);
// Gives the prizes the drawing orders 1, 2, 3 … in the order listed.
bool storePrizeOrder(Database &db, const QList<qint64> &prizeIds);
// The drawing order for a new prize of the draw: one past the highest stored,
// so deleting and adding prizes never gives two the same order.
qint64 nextPrizeOrder(Database &db, qint64 drawId);

// One participant row, its number and name saved without the spaces around them.
// The draw id travels as a text into the numeric column, as the program always wrote it.
bool updateParticipant(Database &db, qint64 drawId, qint64 id, const QString &number, const QString &name);
// The new row's ID; 0 when it could not be stored.
qint64 appendParticipant(Database &db, qint64 drawId, const QString &number, const QString &name);
// Of every group of the draw's participants with equal number and equal name,
// keeps the one added first and deletes the others, in one transaction. Returns
// how many went, or -1 when nothing could be changed.
// What a draw lacks before it can start, as the operator names it ("奖项", "名单"); empty when ready.
QStringList missingBeforeStart(Database &db, qint64 drawId);

qint64 removeDuplicateParticipants(Database &db, Progress &progress, qint64 drawId);

} // namespace quilla
