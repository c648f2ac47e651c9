#include "CandidatePool.h"

#include <QHash>

namespace quilla {

namespace {

quint32 numberHash(QByteArrayView number)
{
    return quint32(qHash(number));
}

} // namespace

quint32 CandidatePool::personHash(QByteArrayView number, QByteArrayView name)
{
    return quint32(qHashMulti(0, number, name));
}

void CandidatePool::clear()
{
    m_ids.assign(1, 0);
    m_from.assign(2, 0);
    m_numberEnd.assign(1, 0);
    m_text.clear();
    m_people.clear();
    m_inPlay.clear();
    m_free = 0;
    m_position.assign(1, -1);
}

void CandidatePool::reserve(qsizetype people)
{
    const size_t slots = size_t(people) + 1;
    m_ids.reserve(slots);
    m_from.reserve(slots + 1);
    m_numberEnd.reserve(slots);
    m_position.reserve(slots);
    m_inPlay.reserve(size_t(people));
    m_people.reserve(size_t(people));
}

QByteArrayView CandidatePool::number(qsizetype slot) const
{
    if (slot < 1 || slot > upperBound())
        return {};
    return QByteArrayView(m_text.data() + m_from[size_t(slot)], m_numberEnd[size_t(slot)]);
}

QByteArrayView CandidatePool::name(qsizetype slot) const
{
    const qsizetype from = m_from[size_t(slot)] + m_numberEnd[size_t(slot)];
    return QByteArrayView(m_text.data() + from, m_from[size_t(slot) + 1] - from);
}

qsizetype CandidatePool::add(qint64 id, QByteArrayView number, QByteArrayView name)
{
    const quint32 hash = personHash(number, name);
    const quint32 known = m_people.find(
        hash, [&](quint32 slot) { return this->number(slot) == number && this->name(slot) == name; });
    if (known != 0)
        return known;
    const qsizetype slot = upperBound() + 1;
    m_ids.push_back(id);
    m_numberEnd.push_back(quint32(number.size()));
    m_text.insert(m_text.end(), number.begin(), number.end());
    m_text.insert(m_text.end(), name.begin(), name.end());
    m_from.push_back(qsizetype(m_text.size()));
    m_people.insert(hash, quint32(slot));
    m_position.push_back(-1);
    if (!number.isEmpty()) {
        m_position[size_t(slot)] = qint32(m_inPlay.size());
        m_inPlay.push_back({quint32(slot), numberHash(number)});
        swapEntries(qsizetype(m_inPlay.size()) - 1, m_free++); // free people come first
    }
    return slot;
}

void CandidatePool::assign(const QList<Candidate> &slots)
{
    clear();
    reserve(slots.size());
    for (qsizetype slot = 1; slot < slots.size(); ++slot)
        add(slots.at(slot).Id, slots.at(slot).Number.toUtf8(), slots.at(slot).Name.toUtf8());
}

Candidate CandidatePool::candidate(qsizetype slot) const
{
    Candidate candidate;
    if (slot < 1 || slot > upperBound())
        return candidate;
    candidate.Id = m_ids[size_t(slot)];
    if (isInPlay(slot))
        candidate.Number = QString::fromUtf8(number(slot));
    candidate.Name = QString::fromUtf8(name(slot));
    candidate.PoolIndex = slot;
    return candidate;
}

qsizetype CandidatePool::slotOf(const QString &number, const QString &name) const
{
    const QByteArray numberText = trimmedText(number).toUtf8();
    const QByteArray nameText = trimmedText(name).toUtf8();
    return m_people.find(personHash(numberText, nameText), [&](quint32 slot) {
        return this->number(slot) == numberText && this->name(slot) == nameText;
    });
}

void CandidatePool::swapEntries(qsizetype a, qsizetype b)
{
    std::swap(m_inPlay[size_t(a)], m_inPlay[size_t(b)]);
    m_position[m_inPlay[size_t(a)].slot] = qint32(a);
    m_position[m_inPlay[size_t(b)].slot] = qint32(b);
}

void CandidatePool::withdraw(qsizetype slot)
{
    qsizetype at = position(slot);
    if (at < 0)
        return;
    if (at < m_free) {
        // To the end of the free part, which then becomes the first held place.
        swapEntries(at, m_free - 1);
        at = --m_free;
    }
    swapEntries(at, qsizetype(m_inPlay.size()) - 1);
    m_inPlay.pop_back();
    m_position[size_t(slot)] = -1;
}

void CandidatePool::hold(qsizetype slot)
{
    const qsizetype at = position(slot);
    if (at < 0 || at >= m_free)
        return;
    swapEntries(at, m_free - 1);
    --m_free;
}

void CandidatePool::release(qsizetype slot)
{
    const qsizetype at = position(slot);
    if (at < m_free)
        return;
    swapEntries(at, m_free);
    ++m_free;
}

bool CandidatePool::shownThisRound(quint32 hash, QByteArrayView number) const
{
    if (m_roundIndex.empty()) {
        for (size_t k = 0; k < m_roundHashes.size(); ++k)
            if (m_roundHashes[k] == hash && m_roundNumbers[k] == number)
                return true;
        return false;
    }
    const auto [from, to] = m_roundIndex.equal_range(hash);
    return std::any_of(from, to, [&](const auto &entry) { return m_roundNumbers[entry.second] == number; });
}

void CandidatePool::remember(quint32 hash, QByteArrayView number, int count)
{
    // A scan of the round's hashes is quickest for the usual handful of places;
    // a big round switches to a hash index, so that its cost stays linear.
    if (count > SmallRound)
        m_roundIndex.emplace(hash, m_roundNumbers.size());
    else
        m_roundHashes.push_back(hash);
    m_roundNumbers.push_back(number);
}

void CandidatePool::pick(QList<Candidate> &picks, int count, std::mt19937_64 &random,
                         const QList<Candidate> &reserved, bool withHeld)
{
    // The reserved numbers count as shown already.
    const int total = count + int(reserved.size());
    picks.clear();
    picks.reserve(count);
    m_roundHashes.clear();
    m_roundNumbers.clear();
    m_roundIndex.clear();
    if (total > SmallRound)
        m_roundIndex.reserve(size_t(total));
    m_reservedText.clear();
    for (const Candidate &place : reserved)
        m_reservedText.append(place.Number.toUtf8());
    for (const QByteArray &number : std::as_const(m_reservedText))
        remember(numberHash(number), number, total);
    m_swaps.clear();
    // A partial shuffle of the index: places [0, filled) hold this round's picks,
    // [filled, end) the candidates still eligible. A candidate whose number is
    // already shown this round moves past end, out of this round only. The swaps
    // are undone afterwards, so the index and the places it records stay as they were.
    qsizetype end = withHeld ? qsizetype(m_inPlay.size()) : m_free;
    qsizetype filled = 0;
    const auto swapPlaces = [&](qsizetype a, qsizetype b) {
        std::swap(m_inPlay[size_t(a)], m_inPlay[size_t(b)]);
        m_swaps.emplace_back(a, b);
    };
    while (picks.size() < count && filled < end) {
        const qsizetype chosen = std::uniform_int_distribution<qsizetype>(filled, end - 1)(random);
        const InPlay entry = m_inPlay[size_t(chosen)];
        const QByteArrayView number = this->number(entry.slot);
        if (shownThisRound(entry.hash, number)) {
            swapPlaces(chosen, --end);
            continue;
        }
        picks.append(candidate(entry.slot));
        remember(entry.hash, number, total);
        swapPlaces(chosen, filled++);
    }
    for (auto it = m_swaps.crbegin(); it != m_swaps.crend(); ++it)
        std::swap(m_inPlay[size_t(it->first)], m_inPlay[size_t(it->second)]);
    while (picks.size() < count) {
        Candidate mark;
        mark.Number = ShortageMark;
        picks.append(mark);
    }
}

} // namespace quilla
