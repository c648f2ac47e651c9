#include "DrawEngine.h"

#include "NumberDisplay.h"
#include "Presence.h"
#include "data/Database.h"
#include "data/TextNumber.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace quilla {

DrawEngine::DrawEngine(Database &db) : m_db(db)
{
    seedRandom();
}

bool DrawEngine::loadDrawSetting(qint64 id, DrawSetting &setting)
{
    setting.Id = id;
    Query rs = m_db.openQuery(Sql("SELECT * FROM 奖次表 WHERE ID=") + Sql::number(id));
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
    setting.CheckedInOnly = rs.columns().contains(QStringLiteral("只抽签到")) && rs.flag(u"只抽签到");
    return true;
}

qsizetype DrawEngine::loadPrizeTable()
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

bool DrawEngine::loadDraw(const std::function<void(int)> &stepDone)
{
    const auto step = [&](int n) {
        if (stepDone)
            stepDone(n);
        return true;
    };
    m_roundPrizeId = 0;
    m_roundTakesHeld = false;
    m_presetsAside.clear();
    m_toldAside.clear();
    const bool read = loadDrawSetting(CurrentDraw.Id, CurrentDraw) && step(1) && buildCandidatePool() &&
                      step(2) && loadPresets(CurrentDraw.Id) && step(3);
    if (!read) {
        m_pool.clear();
        m_earlierWinners.clear();
        m_repeatWinners.clear();
        m_presets.clear();
        m_presetsAside.clear();
        m_presetsRead.clear();
        m_presetsDrawId = 0;
        tellUnreadable();
        return false;
    }
    withholdPresets();
    tellCappedRounds();
    tellLookAlikes();
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

void DrawEngine::tellLookAlikes()
{
    const qint64 length = std::min(CurrentDraw.FixedLength, MaxFixedLength);
    const QList<QStringList> groups = lookAlikeNumbers(
        m_pool.upperBound(), [this](qsizetype i) { return m_pool.number(i + 1); }, length);
    if (groups.isEmpty())
        return;
    // A handful of each is enough to see what to fix in the list or the setting.
    constexpr qsizetype Named = 5;
    QStringList texts;
    for (qsizetype g = 0; g < groups.size() && g < Named; ++g) {
        const QStringList &numbers = groups.at(g);
        texts.append(numbers.size() > Named ? numbers.first(Named).join(u'、') + QStringLiteral("等")
                                            : numbers.join(u'、'));
    }
    QString text = QStringLiteral("定长为 %1 时以下号码显示相同：%2").arg(length).arg(texts.join(u'；'));
    if (groups.size() > Named)
        text += QStringLiteral(" 等 %1 组").arg(groups.size());
    m_db.prompt().message(text, Prompt::Icon::Information);
}

bool DrawEngine::buildCandidatePool()
{
    m_pool.clear();
    m_earlierWinners.clear();
    m_repeatWinners.clear();
    loadPrizeTable();
    if (!m_prizesRead)
        return false;
    const Sql ofDraw = Sql::number(CurrentDraw.Id);

    // Earlier winners of prizes that do not allow winning twice stay out; those of
    // repeatable prizes are kept with their prize, so that a preset fires once.
    QHash<qint64, bool> repeatable;
    for (qsizetype i = 1; i < m_prizes.size(); ++i)
        repeatable.insert(m_prizes.at(i).PrizeId, m_prizes.at(i).Repeatable);
    QSet<Person> excluded;
    QSet<std::pair<qint64, Person>> repeatWinners;
    if (!m_db.forEachRow(Sql("SELECT WID,号码,姓名 FROM 结果表 WHERE CID=") + ofDraw, [&](const Row &row) {
            const auto prize = repeatable.constFind(row.number(0));
            if (prize == repeatable.cend())
                return;
            const Person person{trimmedNumber(row.text(1)), trimmedNumber(row.text(2))};
            if (*prize)
                repeatWinners.insert({prize.key(), person});
            else
                excluded.insert(person);
        }))
        return false;
    QSet<quint32> excludedHashes;
    for (const Person &person : std::as_const(excluded))
        excludedHashes.insert(CandidatePool::personHash(person.first.toUtf8(), person.second.toUtf8()));

    // Whether only the checked-in are drawn is read at every build: it may change between rounds.
    const bool presenceStored = m_db.hasColumn(QStringLiteral("号码表"), QStringLiteral("签到"));
    bool checkedInOnly = false;
    if (m_db.hasColumn(QStringLiteral("奖次表"), QStringLiteral("只抽签到"))) {
        const Query draw = m_db.openQuery(Sql("SELECT 只抽签到 FROM 奖次表 WHERE ID=") + ofDraw);
        if (!draw.isValid())
            return false;
        checkedInOnly = draw.rowCount() > 0 && draw.flag(u"只抽签到");
    }
    CurrentDraw.CheckedInOnly = checkedInOnly;

    // The rows as SQLite keeps them, without a string each: a draw may hold a million.
    CandidatePool pool;
    std::vector<quint8> presence(1, 0);
    qint64 checkedIn = 0;
    const qsizetype rows = m_db.countRows(QStringLiteral("号码表"), Sql("CID=") + ofDraw);
    pool.reserve(rows);
    presence.reserve(size_t(rows) + 1);
    const bool read = m_db.forEachRow(
        Sql("SELECT ID,号码,姓名,") + Sql(presenceStored ? QStringLiteral("签到") : QStringLiteral("0")) + Sql(" FROM 号码表 WHERE CID=") + ofDraw,
        [&](const Row &row) {
            const QByteArrayView number = trimmedUtf8(row.utf8View(1));
            const QByteArrayView name = trimmedUtf8(row.utf8View(2));
            // Everyone checked in counts, earlier winners too: it is the hall's count, as the door gives it.
            const qint64 stored = row.key(3);
            checkedIn += stored == qint64(Presence::CheckedIn);
            if (!excludedHashes.isEmpty() &&
                excludedHashes.contains(CandidatePool::personHash(number, name)) &&
                excluded.contains({QString::fromUtf8(number), QString::fromUtf8(name)}))
                return;
            const qsizetype slot = pool.add(row.key(0), number, name);
            if (size_t(slot) >= presence.size())
                presence.resize(size_t(slot) + 1, 0);
            // A person with several rows is present when any row says so, and absent when any says that.
            if (stored == qint64(Presence::CheckedIn)) {
                presence[size_t(slot)] |= CheckedInBit;
            } else if (stored == qint64(Presence::Absent)) {
                presence[size_t(slot)] |= AbsentBit;
            }
        });
    if (!read)
        return false;
    for (qsizetype slot = 1; slot < qsizetype(presence.size()); ++slot)
        if ((presence[size_t(slot)] & AbsentBit) || (checkedInOnly && !(presence[size_t(slot)] & CheckedInBit)))
            if (pool.isInPlay(slot))
                pool.withdraw(slot);
    m_pool = std::move(pool);
    m_slotPresence = std::move(presence);
    m_checkedIn = checkedIn;
    m_earlierWinners = std::move(excluded);
    m_repeatWinners = std::move(repeatWinners);
    m_poolStamp = m_db.storedStamp();
    return true;
}

bool DrawEngine::refreshPool()
{
    if (m_poolStamp == m_db.storedStamp())
        return true;
    // The presets not used yet wait on; those whose person left play are dropped, and the operator told.
    QList<Candidate> waiting;
    for (const Candidate &preset : std::as_const(m_presets))
        if (!preset.Number.isEmpty())
            waiting.append(preset);
    waiting += m_presetsAside;
    if (!buildCandidatePool()) {
        m_presets.clear();
        return false;
    }
    m_presets = std::move(waiting);
    withholdPresets();
    return true;
}

void DrawEngine::pickRound(QList<Candidate> &picks, int count)
{
    const QList<qsizetype> presets = roundPresets(m_roundPrizeId, count);
    if (presets.isEmpty()) {
        m_pool.pick(picks, count, m_random, {}, m_roundTakesHeld);
        return;
    }
    QList<Candidate> reserved;
    reserved.reserve(presets.size());
    for (qsizetype j : presets)
        reserved.append(m_presets.at(j));
    m_pool.pick(picks, count, m_random, reserved, m_roundTakesHeld);
    // The first count - p picks are the round's random winners, filled before any
    // shortage mark; the others only hold the presets' places while scrolling.
    std::rotate(picks.begin(), picks.begin() + (count - presets.size()), picks.end());
}

int DrawEngine::roundCount() const
{
    if (m_currentPrize < 1 || m_currentPrize >= m_prizes.size())
        return 0;
    const PrizeEntry &prize = m_prizes.at(m_currentPrize);
    return int(std::clamp<qint64>(std::min(prize.PerRound, prize.Remaining), 1, MaxRoundPlaces));
}

qsizetype DrawEngine::startRound(QList<Candidate> &picks)
{
    picks.clear();
    m_roundPrizeId = 0;
    m_roundTakesHeld = false;
    if (!refreshPool()) {
        tellUnreadable();
        return 0;
    }
    if (loadPrizeTable() == 0) {
        if (m_prizesRead)
            m_db.prompt().message(QStringLiteral("所有奖项都已抽完！"));
        else
            tellUnreadable();
        return 0;
    }
    if (CurrentDraw.CheckedInOnly) {
        if (m_checkedIn == 0) {
            m_db.prompt().message(QStringLiteral("本抽奖只抽取已签到的人，但还没有人签到，不能开始抽奖。"
                                                 "请先在“抽奖号码”页签到，或在抽奖设置中取消“只抽取已签到的人”。"),
                                  Prompt::Icon::Warning);
            return 0;
        }
        if (m_display)
            m_display->showNote(QStringLiteral("已签到 %1 人").arg(m_checkedIn));
    }
    m_roundPrizeId = m_prizes.at(m_currentPrize).PrizeId;
    m_roundTakesHeld = heldMayWin(m_prizes.at(m_currentPrize));
    m_roundInPlay = peopleInPlay();
    seedRandom();
    pickRound(picks, roundCount());
    showPicks(picks);
    return m_currentPrize;
}

void DrawEngine::seedRandom()
{
    std::random_device source;
    std::seed_seq seed{source(), source(), source(), source()};
    m_random.seed(seed);
}

void DrawEngine::seedRandom(quint64 seed)
{
    m_random.seed(seed);
}

QString DrawEngine::displayNumber(const QString &number) const
{
    return quilla::displayNumber(number, CurrentDraw.FixedLength, CurrentDraw.Mask);
}

} // namespace quilla
