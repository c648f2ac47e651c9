#include "WinnersBoard.h"

#include "data/Database.h"

#include <QHash>

namespace quilla {

bool WinnersBoard::load(Database &db, qint64 drawId, NumberFormat format)
{
    clear();
    m_format = std::move(format);
    // Every prize a result of the draw names, the draw's own or not, as the results list shows them.
    const Sql ofDraw = Sql::number(drawId);
    QHash<qint64, qsizetype> places;
    bool read = db.forEachRow(
        Sql("SELECT ID,顺序,名称,奖品,显示 FROM 奖项表 WHERE CID=") + ofDraw +
            Sql(" OR ID IN (SELECT WID FROM 结果表 WHERE CID=") + ofDraw + Sql(") ORDER BY 顺序,ID"),
        [&](const Row &row) {
            Prize prize;
            prize.id = row.number(u"ID");
            prize.order = row.number(u"顺序");
            prize.name = row.text(u"名称");
            prize.article = row.text(u"奖品");
            prize.shown = row.flag(u"显示");
            places.insert(prize.id, m_prizes.size());
            m_prizes.append(prize);
        });
    read = read && db.forEachRow(Sql("SELECT WID,号码,姓名 FROM 结果表 WHERE CID=") + ofDraw + Sql(" ORDER BY ID"),
                                 [&](const Row &row) {
                                     const auto place = places.constFind(row.number(u"WID"));
                                     if (place != places.cend())
                                         m_prizes[*place].winners.append(
                                             winnerLine({0, row.text(u"号码"), row.text(u"姓名"), 0}));
                                 });
    if (!read)
        clear();
    return read;
}

void WinnersBoard::clear()
{
    m_prizes.clear();
    m_lastPrize = 0;
    m_lastFrom = 0;
}

bool WinnersBoard::addRound(qint64 prizeId, const QList<Candidate> &winners)
{
    const auto prize =
        std::find_if(m_prizes.begin(), m_prizes.end(), [&](const Prize &p) { return p.id == prizeId; });
    if (prize == m_prizes.end())
        return false;
    m_lastPrize = prizeId;
    m_lastFrom = prize->winners.size();
    for (const Candidate &winner : winners)
        prize->winners.append(winnerLine(winner));
    return true;
}

QString WinnersBoard::winnerLine(const Candidate &winner) const
{
    QString line = QStringLiteral("     ") + (m_format ? m_format(winner.Number) : winner.Number);
    if (!winner.Name.isEmpty())
        line += u'(' + winner.Name + u')';
    return line;
}

QList<const WinnersBoard::Prize *> WinnersBoard::listed(const Options &options) const
{
    QList<const Prize *> prizes;
    for (const Prize &prize : m_prizes)
        if (!prize.winners.isEmpty() && (!options.currentPrizeOnly || prize.id == options.currentPrize))
            prizes.append(&prize);
    if (options.reverse)
        std::reverse(prizes.begin(), prizes.end());
    return prizes;
}

QString WinnersBoard::heading(const Prize &prize, const Options &options) const
{
    if (options.currentPrizeOnly)
        return prize.name + QStringLiteral("(奖品：") + prize.article + u')';
    return prize.name + prize.article;
}

qsizetype WinnersBoard::lineCount(const Options &options) const
{
    qsizetype count = 0;
    for (const Prize *prize : listed(options))
        count += 1 + (prize->shown ? prize->winners.size() : 0);
    return count;
}

QStringList WinnersBoard::lines(const Options &options, qsizetype first, qsizetype count) const
{
    QStringList lines;
    qsizetype at = 0; // index of the next line
    for (const Prize *prize : listed(options)) {
        if (lines.size() >= count)
            break;
        const qsizetype winners = prize->shown ? prize->winners.size() : 0;
        if (at + 1 + winners <= first) { // the whole prize lies before first
            at += 1 + winners;
            continue;
        }
        if (at >= first)
            lines.append(heading(*prize, options));
        ++at;
        for (qsizetype i = std::max<qsizetype>(0, first - at); i < winners && lines.size() < count; ++i)
            lines.append(prize->winners.at(options.reverse ? winners - 1 - i : i));
        at += winners;
    }
    return lines;
}

QString WinnersBoard::title(const Options &options) const
{
    const QList<const Prize *> prizes = listed(options);
    if (prizes.isEmpty())
        return {};
    if (options.currentPrizeOnly)
        return prizes.first()->name + QStringLiteral("获奖名单");
    return QStringLiteral("获奖名单");
}

std::pair<qsizetype, qsizetype> WinnersBoard::lastRound(const Options &options) const
{
    qsizetype at = 0;
    for (const Prize *prize : listed(options)) {
        const qsizetype winners = prize->shown ? prize->winners.size() : 0;
        if (prize->id == m_lastPrize) {
            if (!prize->shown)
                return {at, at + 1}; // the heading stands for the round
            const qsizetype round = winners - m_lastFrom;
            const qsizetype from = at + 1 + (options.reverse ? 0 : m_lastFrom);
            return {from, from + round};
        }
        at += 1 + winners;
    }
    return {0, 0};
}

} // namespace quilla
