// Preset winners: participants named in advance as the winners of a prize.
#include "DrawEngine.h"

#include "PresetStore.h"
#include "data/Database.h"

#include <QHash>
#include <QSet>

namespace quilla {

bool DrawEngine::loadPresets(qint64 drawId)
{
    m_presets.clear();
    m_presetsRead.clear();
    m_presetsDrawId = 0;
    QList<Candidate> presets;
    const bool read =
        m_db.forEachRow(Sql("SELECT * FROM 预设表 WHERE PID=") + Sql::number(drawId), [&](const Row &row) {
            Candidate preset;
            preset.Number = row.text(u"Code");
            preset.Name = row.text(u"Name");
            preset.Id = row.number(u"AID");
            presets.append(preset);
        });
    if (!read)
        return false;
    m_presetsRead = presets;
    for (Candidate &preset : presets) {
        preset.Number = trimmedNumber(preset.Number);
        preset.Name = trimmedNumber(preset.Name);
    }
    m_presets = std::move(presets);
    m_presetsDrawId = drawId;
    return true;
}

void DrawEngine::withholdPresets()
{
    QList<PresetPerson> won, presetBefore, strangers, absent, notCheckedIn;
    // The pool slot of each person a preset names, 0 for someone out of play, and
    // what the hall said of them.
    QHash<Person, qsizetype> slotOf;
    QHash<Person, quint8> presenceOf;
    for (const Candidate &preset : std::as_const(m_presets)) {
        const qsizetype slot = m_pool.slotOf(preset.Number, preset.Name);
        slotOf.insert({preset.Number, preset.Name}, m_pool.isInPlay(slot) ? slot : 0);
        if (slot > 0 && size_t(slot) < m_slotPresence.size())
            presenceOf.insert({preset.Number, preset.Name}, m_slotPresence[size_t(slot)]);
    }

    const auto tell = [](QList<PresetPerson> &list, const Person &person) {
        const PresetPerson named{person.first, person.second};
        if (!list.contains(named))
            list.append(named);
    };
    // A preset of someone not in the hall waits aside: restored or checked in, they
    // are theirs again at the next round. The operator hears of each once.
    QList<Candidate> aside;
    const auto setAside = [&](QList<PresetPerson> &list, qsizetype j) {
        const Candidate &preset = m_presets.at(j);
        aside.append(preset);
        const Person person{preset.Number, preset.Name};
        if (!m_toldAside.contains(person)) {
            m_toldAside.insert(person);
            tell(list, person);
        }
    };
    // Prize by prize in drawing order, as the rounds will come: whoever wins a
    // non-repeatable prize by a preset is out of play for every preset after it.
    QList<bool> keep(m_presets.size(), false);
    QSet<Person> taken;
    for (qsizetype i = 1; i < m_prizes.size(); ++i) {
        const PrizeEntry &prize = m_prizes.at(i);
        if (prize.Remaining <= 0)
            continue; // never drawn: its presets withhold nobody
        QList<qsizetype> waiting;
        QSet<Person> forPrize;
        for (qsizetype j = 0; j < m_presets.size(); ++j) {
            const Candidate &preset = m_presets.at(j);
            if (preset.Id != prize.PrizeId)
                continue;
            const Person person{preset.Number, preset.Name};
            if (m_earlierWinners.contains(person) || m_repeatWinners.contains({prize.PrizeId, person}))
                tell(won, person);
            else if (slotOf.value(person) == 0 && (presenceOf.value(person) & AbsentBit))
                setAside(absent, j);
            else if (slotOf.value(person) == 0 && CurrentDraw.CheckedInOnly && presenceOf.contains(person) &&
                     !(presenceOf.value(person) & CheckedInBit))
                setAside(notCheckedIn, j);
            else if (slotOf.value(person) == 0)
                tell(strangers, person);
            else if (taken.contains(person))
                tell(presetBefore, person);
            else if (!forPrize.contains(person)) {
                forPrize.insert(person);
                waiting.append(j);
            }
        }
        // The rounds of the prize: presets first, no number twice in a round. What
        // finds no place is not used and withholds nobody.
        qint64 remaining = prize.Remaining;
        const qint64 perRound = std::clamp<qint64>(prize.PerRound, 1, MaxRoundPlaces);
        while (remaining > 0 && !waiting.isEmpty()) {
            const qint64 places = std::min(perRound, remaining);
            QSet<QString> numbers;
            for (auto it = waiting.begin(); it != waiting.end() && numbers.size() < places;) {
                const Candidate &preset = m_presets.at(*it);
                if (numbers.contains(preset.Number)) {
                    ++it;
                    continue;
                }
                numbers.insert(preset.Number);
                keep[*it] = true;
                if (!prize.Repeatable)
                    taken.insert({preset.Number, preset.Name});
                it = waiting.erase(it);
            }
            remaining -= places;
        }
    }

    QList<Candidate> kept;
    for (qsizetype j = 0; j < m_presets.size(); ++j) {
        if (!keep.at(j))
            continue;
        Candidate preset = m_presets.at(j);
        preset.PoolIndex = slotOf.value({preset.Number, preset.Name});
        m_pool.hold(preset.PoolIndex);
        kept.append(preset);
    }
    m_presets = std::move(kept);
    m_presetsAside = std::move(aside);

    QStringList lines;
    if (!won.isEmpty())
        lines.append(QStringLiteral("以下预设中奖人已经中奖，本次不再预设：") + peopleText(won));
    if (!presetBefore.isEmpty())
        lines.append(QStringLiteral("以下预设中奖人在前面的奖项中已有预设，本次不再预设：") +
                     peopleText(presetBefore));
    if (!absent.isEmpty())
        lines.append(QStringLiteral("以下预设中奖人不在场，本次不再预设：") + peopleText(absent));
    if (!notCheckedIn.isEmpty())
        lines.append(QStringLiteral("以下预设中奖人还没有签到，本次不再预设：") + peopleText(notCheckedIn));
    if (!strangers.isEmpty())
        lines.append(QStringLiteral("以下预设中奖人不是本次抽奖的参与人员，本次不再预设：") +
                     peopleText(strangers));
    if (!lines.isEmpty())
        m_db.prompt().message(lines.join(QStringLiteral("\r\n")), Prompt::Icon::Information);
}

QList<qsizetype> DrawEngine::roundPresets(qint64 prizeId, qsizetype places) const
{
    QList<qsizetype> chosen;
    if (prizeId == 0 || m_presets.isEmpty())
        return chosen;
    QSet<QString> numbers;
    for (qsizetype j = 0; j < m_presets.size() && chosen.size() < places; ++j) {
        const Candidate &preset = m_presets.at(j);
        if (preset.Id != prizeId || preset.Number.isEmpty() || numbers.contains(preset.Number))
            continue; // a preset sharing a number waits for the prize's next round
        numbers.insert(preset.Number);
        chosen.append(j);
    }
    return chosen;
}

QList<qsizetype> DrawEngine::applyPresets(qint64 prizeId, QList<Candidate> &picks)
{
    const QList<qsizetype> chosen = roundPresets(prizeId, picks.size());
    for (qsizetype k = 0; k < chosen.size(); ++k) {
        Candidate &pick = picks[k];
        pick = m_presets.at(chosen.at(k));
        pick.PoolIndex = 0;
        m_presets[chosen.at(k)].Number.clear(); // used
    }
    return chosen;
}

} // namespace quilla
