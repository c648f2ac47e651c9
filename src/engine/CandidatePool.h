#pragma once

#include "DrawState.h"

#include <random>
#include <unordered_map>
#include <vector>

namespace quilla {

// The candidates of the running draw, slots 1..n (slot 0 unused), next to a
// compact index of those still in play. Candidates only ever leave play.
class CandidatePool
{
  public:
    CandidatePool() { assign({}); }

    // Takes the slots as they are (slot 0 is ignored) and indexes those in play.
    void assign(QList<Candidate> slots);
    const QList<Candidate> &slots() const { return m_slots; }
    qsizetype upperBound() const { return m_slots.size() - 1; }
    qsizetype inPlayCount() const { return qsizetype(m_inPlay.size()); }

    // Takes slot out of play: its Number becomes empty. O(1).
    void withdraw(qsizetype slot);
    // Puts a slot that was taken out of play back with its number, e.g. a preset
    // winner of a prize that may be won again. O(1).
    void putBack(qsizetype slot, const QString &number);

    // Fills picks with count candidates, each uniform over those in play whose
    // number is not yet among the round's picks nor among reserved (places the
    // round gives to others); places that cannot be filled get the shortage mark.
    // The pool's contents do not change. O(count) whatever the pool's size.
    void pick(QList<Candidate> &picks, int count, std::mt19937_64 &random,
              const QList<Candidate> &reserved = {});

  private:
    struct InPlay
    {
        quint32 slot;
        quint32 hash; // of the slot's number, to compare numbers without touching the slot
    };
    void swapPlaces(qsizetype a, qsizetype b);
    bool shownThisRound(quint32 hash, const QString &number, const QList<Candidate> &picks) const;
    void remember(quint32 hash, qsizetype pickIndex, int count);
    static constexpr int SmallRound = 16;

    QList<Candidate> m_slots;
    std::vector<InPlay> m_inPlay;   // slots in play, in any order
    std::vector<qint32> m_position; // per slot: its place in m_inPlay, or -1
    // Scratch of pick(), kept to avoid allocating on every tick.
    std::vector<quint32> m_roundHashes;                       // small rounds
    std::unordered_multimap<quint32, qsizetype> m_roundIndex; // big rounds
    std::vector<std::pair<qsizetype, qsizetype>> m_swaps;
};

} // namespace quilla
