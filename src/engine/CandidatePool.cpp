#include "CandidatePool.h"

#include <QHash>

namespace quilla {

void CandidatePool::assign(QList<Candidate> slots)
{
    m_slots = std::move(slots);
    if (m_slots.isEmpty())
        m_slots.append(Candidate());
    m_slots[0] = Candidate();
    m_inPlay.clear();
    m_position.assign(size_t(m_slots.size()), -1);
    for (qsizetype slot = 1; slot < m_slots.size(); ++slot) {
        const QString &number = m_slots.at(slot).Number;
        if (!number.isEmpty()) {
            m_position[size_t(slot)] = qint32(m_inPlay.size());
            m_inPlay.push_back({quint32(slot), quint32(qHash(number))});
        }
    }
}

void CandidatePool::withdraw(qsizetype slot)
{
    if (slot < 1 || slot >= m_slots.size())
        return;
    m_slots[slot].Number.clear();
    const qint32 position = m_position[size_t(slot)];
    if (position < 0)
        return;
    const InPlay last = m_inPlay.back();
    m_inPlay[size_t(position)] = last;
    m_position[last.slot] = position;
    m_inPlay.pop_back();
    m_position[size_t(slot)] = -1;
}

void CandidatePool::putBack(qsizetype slot, const QString &number)
{
    if (slot < 1 || slot >= m_slots.size() || number.isEmpty() || m_position[size_t(slot)] >= 0)
        return;
    m_slots[slot].Number = number;
    m_position[size_t(slot)] = qint32(m_inPlay.size());
    m_inPlay.push_back({quint32(slot), quint32(qHash(number))});
}

void CandidatePool::swapPlaces(qsizetype a, qsizetype b)
{
    std::swap(m_inPlay[size_t(a)], m_inPlay[size_t(b)]);
    m_swaps.emplace_back(a, b);
}

bool CandidatePool::shownThisRound(quint32 hash, const QString &number, const QList<Candidate> &picks) const
{
    if (m_roundIndex.empty()) {
        for (size_t k = 0; k < m_roundHashes.size(); ++k)
            if (m_roundHashes[k] == hash && picks.at(qsizetype(k)).Number == number)
                return true;
        return false;
    }
    const auto [from, to] = m_roundIndex.equal_range(hash);
    return std::any_of(from, to, [&](const auto &entry) { return picks.at(entry.second).Number == number; });
}

void CandidatePool::remember(quint32 hash, qsizetype pickIndex, int count)
{
    // A scan of the round's hashes is quickest for the usual handful of places;
    // a big round switches to a hash index, so that its cost stays linear.
    if (count <= SmallRound) {
        m_roundHashes.push_back(hash);
        return;
    }
    m_roundIndex.emplace(hash, pickIndex);
}

void CandidatePool::pick(QList<Candidate> &picks, int count, std::mt19937_64 &random,
                         const QList<Candidate> &reserved)
{
    // The reserved numbers lead the list as if picked already, and go again at the end.
    const int total = count + int(reserved.size());
    picks = reserved;
    picks.reserve(total);
    m_roundHashes.clear();
    m_roundIndex.clear();
    if (total > SmallRound)
        m_roundIndex.reserve(size_t(total));
    for (qsizetype i = 0; i < picks.size(); ++i)
        remember(quint32(qHash(picks.at(i).Number)), i, total);
    m_swaps.clear();
    // A partial shuffle of the index: places [0, filled) hold this round's picks,
    // [filled, end) the candidates still eligible. A candidate whose number is
    // already shown this round moves past end, out of this round only. The swaps
    // are undone afterwards, so the index and the places it records stay as they were.
    qsizetype end = qsizetype(m_inPlay.size());
    qsizetype filled = 0;
    while (picks.size() < total && filled < end) {
        const qsizetype chosen = std::uniform_int_distribution<qsizetype>(filled, end - 1)(random);
        const InPlay entry = m_inPlay[size_t(chosen)];
        const Candidate &candidate = m_slots.at(entry.slot);
        if (shownThisRound(entry.hash, candidate.Number, picks)) {
            swapPlaces(chosen, --end);
            continue;
        }
        picks.append(candidate);
        remember(entry.hash, picks.size() - 1, total);
        swapPlaces(chosen, filled++);
    }
    for (auto it = m_swaps.crbegin(); it != m_swaps.crend(); ++it)
        std::swap(m_inPlay[size_t(it->first)], m_inPlay[size_t(it->second)]);
    while (picks.size() < total) {
        Candidate mark;
        mark.Number = ShortageMark;
        picks.append(mark);
    }
    if (!reserved.isEmpty())
        picks.remove(0, reserved.size());
}

} // namespace quilla
