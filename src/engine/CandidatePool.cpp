#include "CandidatePool.h"

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
        if (!m_slots.at(slot).Number.isEmpty()) {
            m_position[size_t(slot)] = qsizetype(m_inPlay.size());
            m_inPlay.push_back(slot);
        }
    }
}

void CandidatePool::withdraw(qsizetype slot)
{
    if (slot < 1 || slot >= m_slots.size())
        return;
    m_slots[slot].Number.clear();
    const qsizetype position = m_position[size_t(slot)];
    if (position < 0)
        return;
    const qsizetype last = m_inPlay.back();
    m_inPlay[size_t(position)] = last;
    m_position[size_t(last)] = position;
    m_inPlay.pop_back();
    m_position[size_t(slot)] = -1;
}

void CandidatePool::pick(QList<Candidate> &picks, int count, std::mt19937_64 &random)
{
    picks.clear();
    picks.reserve(count);
    // A partial shuffle of the index: places [0, filled) hold this round's picks,
    // [filled, end) the candidates still eligible. A candidate whose number is
    // already shown this round moves past end and is out of this round only.
    // The index is reordered, never changed in content.
    qsizetype end = qsizetype(m_inPlay.size());
    auto swapPlaces = [this](qsizetype a, qsizetype b) {
        std::swap(m_inPlay[size_t(a)], m_inPlay[size_t(b)]);
        m_position[size_t(m_inPlay[size_t(a)])] = a;
        m_position[size_t(m_inPlay[size_t(b)])] = b;
    };
    qsizetype filled = 0;
    while (picks.size() < count && filled < end) {
        std::uniform_int_distribution<qsizetype> place(filled, end - 1);
        const qsizetype chosen = place(random);
        const Candidate &candidate = m_slots.at(m_inPlay[size_t(chosen)]);
        const bool shown = std::any_of(picks.cbegin(), picks.cend(),
                                       [&](const Candidate &p) { return p.Number == candidate.Number; });
        if (shown) {
            swapPlaces(chosen, --end);
            continue;
        }
        picks.append(candidate);
        swapPlaces(chosen, filled++);
    }
    while (picks.size() < count) {
        Candidate mark;
        mark.Number = ShortageMark;
        picks.append(mark);
    }
}

} // namespace quilla
