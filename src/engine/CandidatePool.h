#pragma once

#include "DrawState.h"
#include "SlotTable.h"

#include <QByteArrayView>

#include <random>
#include <unordered_map>
#include <vector>

namespace quilla {

// The people of the running draw, slots 1..n (slot 0 unused), one slot per
// person (number and name, as trimmed), next to a compact index of those in play.
//
// Who a round may pick is decided here and nowhere else. Each slot is
//   out  — never picked again at this opening (won a prize nobody wins twice,
//          or has no number);
//   free — picked by any round;
//   held — in play, but waiting for a preset: picked only by rounds that admit
//          held people (see pick()).
// Out is for good within an opening; free and held swap as presets wait and are used.
//
// Numbers and names are kept as UTF-8 in one block rather than as a string per
// slot: a million people take tens of megabytes, and a Candidate with strings
// is made only for the few slots a round shows.
class CandidatePool
{
  public:
    CandidatePool() { clear(); }

    void clear();
    // Room for people slots, so that building a big pool copies nothing.
    void reserve(qsizetype people);
    // Adds a person (number and name already trimmed), free when the number is not
    // empty; another row with the same number and name adds nothing, as it would
    // double the person's chance. Returns the person's slot.
    qsizetype add(qint64 id, QByteArrayView number, QByteArrayView name);
    // Clears the pool and adds slots 1.. of the list (slot 0 is ignored).
    void assign(const QList<Candidate> &slots);

    qsizetype upperBound() const { return qsizetype(m_ids.size()) - 1; }
    // The person in slot as a round shows them; Number is empty when out of play.
    Candidate candidate(qsizetype slot) const;
    QByteArrayView number(qsizetype slot) const;
    // The slot of the person with this number and name (trimmed), 0 when none.
    qsizetype slotOf(const QString &number, const QString &name) const;
    bool isInPlay(qsizetype slot) const { return position(slot) >= 0; }
    // Free and held people together: everyone who may still win at this opening.
    qsizetype inPlayCount() const { return qsizetype(m_inPlay.size()); }
    qsizetype heldCount() const { return qsizetype(m_inPlay.size()) - m_free; }

    // Takes slot out of play for good. O(1).
    void withdraw(qsizetype slot);
    // Holds a free slot back for a preset; release() frees it again. O(1).
    void hold(qsizetype slot);
    void release(qsizetype slot);

    // Fills picks with count candidates, each uniform over the free people (and
    // the held ones when withHeld) whose number is not yet among the round's picks
    // nor among reserved (places the round gives to others); places that cannot
    // be filled get the shortage mark. The pool does not change. O(count)
    // whatever the pool's size.
    void pick(QList<Candidate> &picks, int count, std::mt19937_64 &random,
              const QList<Candidate> &reserved = {}, bool withHeld = false);

    static quint32 personHash(QByteArrayView number, QByteArrayView name);

  private:
    struct InPlay
    {
        quint32 slot;
        quint32 hash; // of the slot's number, to compare numbers without touching the slot
    };
    qint32 position(qsizetype slot) const
    {
        return slot >= 1 && slot < qsizetype(m_position.size()) ? m_position[size_t(slot)] : -1;
    }
    QByteArrayView name(qsizetype slot) const;
    void swapEntries(qsizetype a, qsizetype b);
    bool shownThisRound(quint32 hash, QByteArrayView number) const;
    void remember(quint32 hash, QByteArrayView number, int count);
    static constexpr int SmallRound = 16;

    std::vector<qint64> m_ids;        // per slot: 号码表.ID
    std::vector<qsizetype> m_from;    // per slot, and one past the last: where its number starts in m_text
    std::vector<quint32> m_numberEnd; // per slot: the number's length; the name follows it
    std::vector<char> m_text;
    SlotTable m_people; // by number and name
    // Slots in play in any order: [0, m_free) free, [m_free, end) held.
    std::vector<InPlay> m_inPlay;
    qsizetype m_free = 0;
    std::vector<qint32> m_position; // per slot: its place in m_inPlay, or -1
    // Scratch of pick(), kept to avoid allocating on every tick.
    std::vector<quint32> m_roundHashes; // small rounds
    std::vector<QByteArrayView> m_roundNumbers;
    std::unordered_multimap<quint32, size_t> m_roundIndex; // big rounds: hash to place in m_roundNumbers
    QList<QByteArray> m_reservedText;
    std::vector<std::pair<qsizetype, qsizetype>> m_swaps;
};

} // namespace quilla
