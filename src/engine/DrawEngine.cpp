#include "DrawEngine.h"

#include "NumberDisplay.h"
#include "data/Database.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <vector>

namespace quilla {

namespace {

// A slot's hash of number and name, taken while the row's texts are fresh in the cache.
using SlotKey = std::pair<size_t, qsizetype>;

// One slot per person: a second row with the same number and name would double
// their chance, and a win must take them out of play whole. The first row stays.
// The slots are sorted by their keys and compared in full where hashes meet,
// cheaper than a hash table's lookups on a draw of a million.
void keepEachPersonOnce(QList<Candidate> &slots, std::vector<SlotKey> &keys)
{
    std::sort(keys.begin(), keys.end());
    std::vector<bool> dropped;
    for (size_t first = 0, end = 0; first < keys.size(); first = end) {
        for (end = first + 1; end < keys.size() && keys[end].first == keys[first].first;)
            ++end;
        for (size_t i = first + 1; i < end; ++i) {
            const Candidate &later = slots.at(keys[i].second);
            for (size_t j = first; j < i; ++j) {
                const Candidate &earlier = slots.at(keys[j].second);
                if (earlier.Number == later.Number && earlier.Name == later.Name) {
                    dropped.resize(size_t(slots.size()));
                    dropped[size_t(keys[i].second)] = true;
                    break;
                }
            }
        }
    }
    if (dropped.empty())
        return;
    qsizetype kept = 1;
    for (qsizetype slot = 1; slot < slots.size(); ++slot) {
        if (dropped[size_t(slot)])
            continue;
        if (kept != slot)
            slots[kept] = std::move(slots[slot]);
        slots[kept].PoolIndex = kept;
        ++kept;
    }
    slots.resize(kept);
}

} // namespace

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
    // Ties go by ID, the order the prizes were added, here and on the board.
    const Sql inDrawingOrder(" ORDER BY 顺序,ID");
    m_prizesRead =
        m_db.forEachRow(Sql("SELECT WID,COUNT(*) AS n FROM 结果表 WHERE CID=") + Sql::number(drawId) +
                            Sql(" GROUP BY WID"),
                        [&](const Row &row) { stored.insert(row.number(0), row.number(1)); }) &&
        m_db.forEachRow(Sql("SELECT * FROM 奖项表 WHERE CID=") + Sql::number(drawId) + inDrawingOrder,
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
    m_roundPrizeId = 0;
    const bool read = LoadDrawSetting(CurrentDraw.Id, CurrentDraw) && step(1) && BuildCandidatePool() &&
                      step(2) && LoadPresets(CurrentDraw.Id) && step(3);
    if (!read) {
        m_pool.assign({});
        m_earlierWinners.clear();
        m_presets.clear();
        m_presetsRead.clear();
        m_presetsDrawId = 0;
        tellUnreadable();
        return false;
    }
    WithholdPresets();
    tellCappedRounds();
    return true;
}

void DrawEngine::tellUnreadable()
{
    m_db.prompt().message(
        QStringLiteral("抽奖数据没有能够完整读出，为保证抽奖公平，不能开始抽奖。请检查数据库文件！"),
        Prompt::Icon::Critical);
}

void DrawEngine::tellCappedRounds()
{
    QStringList names;
    for (qsizetype i = 1; i < m_prizes.size(); ++i)
        if (m_prizes.at(i).Remaining > 0 && m_prizes.at(i).PerRound > MaxRoundPlaces)
            names.append(u'“' + m_prizes.at(i).Title + u'”');
    if (!names.isEmpty())
        m_db.prompt().message(QStringLiteral("奖项%1一次抽出的人数多于%2，每轮最多抽出%2人。")
                                  .arg(names.join(u'、'))
                                  .arg(MaxRoundPlaces),
                              Prompt::Icon::Information);
}

bool DrawEngine::BuildCandidatePool()
{
    m_pool.assign({});
    m_earlierWinners.clear();
    LoadPrizeTable();
    if (!m_prizesRead)
        return false;
    const qint64 drawId = CurrentDraw.Id;

    // Earlier winners of prizes that do not allow winning twice stay out.
    QSet<Person> excluded;
    for (qsizetype i = 1; i < m_prizes.size(); ++i) {
        if (m_prizes.at(i).Repeatable)
            continue;
        if (!m_db.forEachRow(Sql("SELECT * FROM 结果表 WHERE CID=") + Sql::number(drawId) + Sql(" AND WID=") +
                                 Sql::number(m_prizes.at(i).PrizeId),
                             [&](const Row &row) {
                                 excluded.insert({TrimmedNumber(row.text(u"号码")), row.text(u"姓名")});
                             }))
            return false;
    }

    QList<Candidate> slots{Candidate()};
    std::vector<SlotKey> keys;
    const bool read =
        m_db.forEachRow(Sql("SELECT * FROM 号码表 WHERE CID=") + Sql::number(drawId), [&](const Row &row) {
            Candidate candidate;
            candidate.Number = TrimmedNumber(row.text(u"号码"));
            candidate.Name = row.text(u"姓名");
            if (!excluded.isEmpty() && excluded.contains({candidate.Number, candidate.Name}))
                return;
            candidate.Id = row.number(u"ID");
            candidate.PoolIndex = slots.size();
            keys.emplace_back(qHashMulti(0, candidate.Number, candidate.Name), slots.size());
            slots.append(std::move(candidate));
        });
    if (read) {
        keepEachPersonOnce(slots, keys);
        m_pool.assign(std::move(slots));
        m_earlierWinners = std::move(excluded);
    }
    return read;
}

void DrawEngine::PickRound(QList<Candidate> &picks, int count)
{
    const QList<qsizetype> presets = roundPresets(m_roundPrizeId, count);
    if (presets.isEmpty()) {
        m_pool.pick(picks, count, m_random);
        return;
    }
    QList<Candidate> reserved;
    reserved.reserve(presets.size());
    for (qsizetype j : presets)
        reserved.append(m_presets.at(j));
    m_pool.pick(picks, count, m_random, reserved);
    // The first count - p picks are the round's random winners, filled before any
    // shortage mark; the others only hold the presets' places while scrolling.
    std::rotate(picks.begin(), picks.begin() + (count - presets.size()), picks.end());
}

int DrawEngine::RoundCount() const
{
    if (m_currentPrize < 1 || m_currentPrize >= m_prizes.size())
        return 0;
    const PrizeEntry &prize = m_prizes.at(m_currentPrize);
    return int(std::clamp<qint64>(std::min(prize.PerRound, prize.Remaining), 1, MaxRoundPlaces));
}

qsizetype DrawEngine::StartRound(QList<Candidate> &picks)
{
    picks.clear();
    m_roundPrizeId = 0;
    if (LoadPrizeTable() == 0) {
        if (m_prizesRead)
            m_db.prompt().message(QStringLiteral("所有奖项都已抽完！"));
        else
            tellUnreadable();
        return 0;
    }
    m_roundPrizeId = m_prizes.at(m_currentPrize).PrizeId;
    m_roundInPlay = peopleInPlay();
    SeedRandom();
    PickRound(picks, RoundCount());
    ShowPicks(picks);
    return m_currentPrize;
}

qint64 DrawEngine::peopleInPlay() const
{
    // The pool, and the people held out of it for their presets.
    QSet<qsizetype> held;
    for (const Candidate &preset : m_presets)
        if (!preset.Number.isEmpty() && preset.PoolIndex >= 1)
            held.insert(preset.PoolIndex);
    return m_pool.inPlayCount() + held.size();
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
