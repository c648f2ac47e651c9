#include "DrawEngine.h"

#include "NumberDisplay.h"
#include "data/Database.h"

#include <QHash>
#include <QSet>

namespace quilla {

DrawEngine::DrawEngine(Database &db) : m_db(db)
{
    SeedRandom();
}

bool DrawEngine::LoadDrawSetting(qint64 id, DrawSetting &setting)
{
    setting.Id = id;
    Query rs = m_db.OpenQuery(Sql("SELECT * FROM 奖次表 WHERE ID=") + Sql::number(id));
    if (rs.rowCount() == 0)
        return rs.isValid();
    setting.Background = rs.text(u"底图");
    setting.Speed = rs.number(u"速度");
    setting.Mask = rs.text(u"屏蔽");
    setting.AutoStop = rs.number(u"定时");
    setting.FixedLength = rs.number(u"定长");
    setting.Music1 = rs.text(u"音乐1");
    setting.Music2 = rs.text(u"音乐2");
    setting.Music3 = rs.text(u"音乐3");
    return true;
}

qsizetype DrawEngine::LoadPrizeTable()
{
    const qint64 drawId = CurrentDraw.Id;
    m_currentPrize = 0;
    m_prizes = {PrizeEntry()};

    // One grouped count instead of a count per prize.
    QHash<qint64, qint64> stored;
    QList<PrizeEntry> prizes{PrizeEntry()};
    qsizetype current = 0;
    m_prizesRead =
        m_db.forEachRow(Sql("SELECT WID,COUNT(*) AS n FROM 结果表 WHERE CID=") + Sql::number(drawId) +
                            Sql(" GROUP BY WID"),
                        [&](const Row &row) { stored.insert(row.number(0), row.number(1)); }) &&
        m_db.forEachRow(Sql("SELECT * FROM 奖项表 WHERE CID=") + Sql::number(drawId) + Sql(" ORDER BY 顺序"),
                        [&](const Row &row) {
                            PrizeEntry entry;
                            entry.DrawId = drawId;
                            entry.PrizeId = row.number(u"ID");
                            entry.Quantity = row.number(u"数量");
                            entry.PerRound = row.number(u"同时");
                            entry.Repeatable = row.flag(u"重复");
                            entry.Title = row.text(u"名称");
                            entry.Show = row.flag(u"显示");
                            entry.Order = row.number(u"顺序");
                            const QString article = row.text(u"奖品");
                            if (!article.isEmpty())
                                entry.Title += u'(' + article + u')';
                            entry.Remaining = entry.Quantity - stored.value(entry.PrizeId);
                            prizes.append(entry);
                            if (current == 0 && entry.Remaining > 0)
                                current = prizes.size() - 1;
                        });
    if (m_prizesRead) {
        m_prizes = std::move(prizes);
        m_currentPrize = current;
    }
    return m_currentPrize;
}

bool DrawEngine::LoadDraw(const std::function<void(int)> &stepDone)
{
    const auto step = [&](int n) {
        if (stepDone)
            stepDone(n);
        return true;
    };
    const bool read = LoadDrawSetting(CurrentDraw.Id, CurrentDraw) && step(1) && BuildCandidatePool() &&
                      step(2) && LoadPresets(CurrentDraw.Id) && step(3);
    if (!read) {
        m_pool.assign({});
        m_presets.clear();
        m_presetRows.clear();
        m_presetsDrawId = 0;
        m_db.prompt().message(
            QStringLiteral("抽奖数据没有能够完整读出，为保证抽奖公平，不能开始抽奖。请检查数据库文件！"),
            Prompt::Icon::Critical);
        return false;
    }
    WithholdPresets();
    return true;
}

bool DrawEngine::BuildCandidatePool()
{
    m_pool.assign({});
    LoadPrizeTable();
    if (!m_prizesRead)
        return false;
    const qint64 drawId = CurrentDraw.Id;

    // Earlier winners of prizes that do not allow winning twice stay out.
    QSet<std::pair<QString, QString>> excluded;
    for (qsizetype i = 1; i < m_prizes.size(); ++i) {
        if (m_prizes.at(i).Repeatable)
            continue;
        if (!m_db.forEachRow(Sql("SELECT * FROM 结果表 WHERE CID=") + Sql::number(drawId) + Sql(" AND WID=") +
                                 Sql::number(m_prizes.at(i).PrizeId),
                             [&](const Row &row) {
                                 excluded.insert({row.text(u"号码"), row.text(u"姓名")});
                             }))
            return false;
    }

    QList<Candidate> slots{Candidate()};
    const bool read =
        m_db.forEachRow(Sql("SELECT * FROM 号码表 WHERE CID=") + Sql::number(drawId), [&](const Row &row) {
            Candidate candidate;
            candidate.Number = row.text(u"号码");
            // Only blanks (U+0020) are trimmed, as the numbers were typed or imported.
            qsizetype from = 0, to = candidate.Number.size();
            while (from < to && candidate.Number.at(from) == u' ')
                ++from;
            while (to > from && candidate.Number.at(to - 1) == u' ')
                --to;
            if (from > 0 || to < candidate.Number.size())
                candidate.Number = candidate.Number.mid(from, to - from);
            candidate.Name = row.text(u"姓名");
            if (!excluded.isEmpty() && excluded.contains({candidate.Number, candidate.Name}))
                return;
            candidate.Id = row.number(u"ID");
            candidate.PoolIndex = slots.size();
            slots.append(std::move(candidate));
        });
    if (read)
        m_pool.assign(std::move(slots));
    return read;
}

void DrawEngine::PickRound(QList<Candidate> &picks, int count)
{
    m_pool.pick(picks, count, m_random);
}

int DrawEngine::RoundCount() const
{
    if (m_currentPrize < 1 || m_currentPrize >= m_prizes.size())
        return 0;
    const PrizeEntry &prize = m_prizes.at(m_currentPrize);
    return int(std::max<qint64>(1, std::min(prize.PerRound, prize.Remaining)));
}

qsizetype DrawEngine::StartRound(QList<Candidate> &picks)
{
    picks.clear();
    if (LoadPrizeTable() == 0)
        return 0;
    SeedRandom();
    PickRound(picks, RoundCount());
    ShowPicks(picks);
    return m_currentPrize;
}

void DrawEngine::SeedRandom()
{
    std::random_device source;
    std::seed_seq seed{source(), source(), source(), source()};
    m_random.seed(seed);
}

void DrawEngine::SeedRandom(quint64 seed)
{
    m_random.seed(seed);
}

QString DrawEngine::DisplayNumber(const QString &number) const
{
    return quilla::DisplayNumber(number, CurrentDraw.FixedLength, CurrentDraw.Mask);
}

} // namespace quilla
