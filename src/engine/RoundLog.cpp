#include "RoundLog.h"

#include "data/Database.h"

#include <QDateTime>
#include <QMap>

namespace quilla {

namespace {

QString joinIds(const QList<qint64> &ids)
{
    QStringList texts;
    texts.reserve(ids.size());
    for (const qint64 id : ids)
        texts.append(QString::number(id));
    return texts.join(u',');
}

bool append(Database &db, qint64 drawId, qint64 prizeId, const QString &event, const LoggedRound *round,
            const QList<qint64> &ids, const QString &detail)
{
    const QDateTime now = QDateTime::currentDateTime();
    Query log = db.openQuery(Sql("SELECT * FROM 轮次表 WHERE FALSE"));
    if (!db.isOpen())
        return false;
    log.addNew();
    log.setValue(u"CID", drawId);
    log.setValue(u"WID", prizeId);
    log.setValue(u"事件", event);
    log.setValue(u"UTC时间", now.toUTC().toString(Qt::ISODateWithMs));
    log.setValue(u"本地时间", now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate));
    if (round) {
        log.setValue(u"在场人数", round->inPlay);
        log.setValue(u"名额", round->places);
        log.setValue(u"预设名额", round->presets);
        // Presets fill a round's first places: each result is marked preset or drawn.
        log.setValue(u"预设结果ID", joinIds(round->resultIds.mid(0, round->presets)));
    }
    log.setValue(u"结果ID", joinIds(ids));
    log.setValue(u"说明", detail);
    return log.save();
}

} // namespace

bool logRound(Database &db, const LoggedRound &round)
{
    return append(db, round.drawId, round.prizeId, QStringLiteral("抽奖"), &round, round.resultIds, QString());
}

bool logDeletion(Database &db, const Sql &condition, const QString &why)
{
    struct Taken
    {
        QList<qint64> ids;
        QStringList winners;
        QString prize;
    };
    QMap<std::pair<qint64, qint64>, Taken> taken;
    const bool read = db.forEachRow(
        Sql("SELECT ID,CID,WID,号码,姓名,(SELECT 名称 FROM 奖项表 WHERE 奖项表.ID=结果表.WID) AS 奖项 FROM 结果表 WHERE ") +
            condition + Sql(" ORDER BY ID"),
        [&](const Row &row) {
            Taken &t = taken[{row.number(u"CID"), row.number(u"WID")}];
            t.ids.append(row.number(u"ID"));
            t.prize = row.text(u"奖项");
            const QString name = row.text(u"姓名");
            t.winners.append(name.isEmpty() ? row.text(u"号码") : row.text(u"号码") + u'(' + name + u')');
        });
    if (!read)
        return false;
    for (auto it = taken.cbegin(); it != taken.cend(); ++it)
        if (!append(db, it.key().first, it.key().second, why, nullptr, it->ids,
                    it->prize + QStringLiteral("：") + it->winners.join(QStringLiteral("；"))))
            return false;
    return true;
}

Sql keysIn(const QList<qint64> &ids)
{
    Sql sql("ID IN (");
    for (qsizetype i = 0; i < ids.size(); ++i)
        sql += (i > 0 ? Sql(",") : Sql()) + Sql::number(ids.at(i));
    return sql + Sql(")");
}

} // namespace quilla
