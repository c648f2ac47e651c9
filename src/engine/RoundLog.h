#pragma once

#include "data/Sql.h"

#include <QList>
#include <QString>

namespace quilla {

class Database;

// The round log (轮次表): how each prize was drawn, and what was taken away
// afterwards. Each row is written in the transaction of what it records, so
// the log and the results never disagree.
struct LoggedRound
{
    qint64 drawId = 0;
    qint64 prizeId = 0;
    qint64 inPlay = 0; // people in play when the round started
    qint64 places = 0;
    qint64 presets = 0; // places filled by preset winners: the first results listed
    QList<qint64> resultIds;
};

// Why results went, as the log names it.
inline const QString CancelledResults = QStringLiteral("取消结果");
inline const QString DeletedPrize = QStringLiteral("删除奖项");
inline const QString Redraw = QStringLiteral("重新抽奖");

bool logRound(Database &db, const LoggedRound &round);
// Logs the results that condition (on 结果表) selects, before they are deleted:
// a row per draw and prize naming them. Run it in the deletion's transaction.
// True also when nothing is selected.
bool logDeletion(Database &db, const Sql &condition, const QString &why);
// "ID IN (…)" for a list of keys.
Sql keysIn(const QList<qint64> &ids);

} // namespace quilla
