#pragma once

#include "CandidatePool.h"
#include "DrawState.h"

#include <QSet>

#include <functional>
#include <random>

namespace quilla {

class Database;

// The texts the draw screen shows for the engine: the board title and the
// current picks. The screen implements it; without one nothing is shown.
class DrawDisplay
{
  public:
    virtual ~DrawDisplay() = default;
    virtual void setBoardTitle(const QString &text) = 0;
    virtual void setPicksText(const QString &text) = 0;
    // A short line for the operator, such as how many are checked in at a start.
    virtual void showNote(const QString &) {}
};

// The running draw: its settings, its prizes with their remaining counts, the
// candidate pool and the preset winners, and the operations on them. The
// program keeps one and hands it to the draw screen and the editors.
class DrawEngine
{
  public:
    explicit DrawEngine(Database &db);

    void setDisplay(DrawDisplay *display) { m_display = display; }
    DrawDisplay *display() const { return m_display; }

    // The draw being run; the management window sets its Id (the preset editor keeps its own).
    DrawSetting CurrentDraw;

    const QList<PrizeEntry> &prizes() const { return m_prizes; } // entries 1..n; slot 0 unused
    qsizetype currentPrize() const { return m_currentPrize; }    // 0 = none left
    const CandidatePool &pool() const { return m_pool; }
    // The presets this opening applies, in 预设表 order: numbers trimmed, "" once used.
    const QList<Candidate> &presets() const { return m_presets; }

    // ---- loading
    // Copies the draw's row of 奖次表 into setting; a missing row changes only Id.
    // False when the row could not be read.
    bool loadDrawSetting(qint64 id, DrawSetting &setting);
    // Rebuilds prizes() in drawing order with their remaining counts from the stored
    // results; returns currentPrize, the first with winners left (0 = none). A
    // failed read leaves no prizes.
    qsizetype loadPrizeTable();
    // Everything the draw screen loads when it opens, in its order. Any read that
    // fails leaves an empty pool and no presets and tells the operator: a draw
    // never runs on part of its participants. False then; the screen must not open.
    // stepDone(n) runs after step n: 1 settings, 2 pool, 3 presets.
    bool loadDraw(const std::function<void(int)> &stepDone = {});

    // ---- picking
    // Every participant of CurrentDraw once (rows with the same trimmed number and
    // name are one person), except earlier winners of its non-repeatable prizes;
    // people marked absent (and, when the draw takes the checked-in only, those not
    // checked in) are out of play. Reloads the prizes first. False, with an empty
    // pool, when a read failed.
    bool buildCandidatePool();
    // count places at random: distinct numbers, shortage marks for places that
    // cannot be filled. In a round with presets, the places they will take show
    // other numbers while scrolling, and the random winners are drawn for the rest
    // only, none sharing a preset's number. People waiting for a preset are picked
    // only in rounds of repeatable prizes (see heldMayWin).
    void pickRound(QList<Candidate> &picks, int count);
    // Starts a round: reloads the prizes, reseeds the generator from the system's
    // random source, and makes and shows the round's first picks, so that a stop
    // at any moment records what the audience saw. The pool is built again first
    // when anything stored changed since it was built (a cancelled result, an
    // absence, a check-in), so each round draws from what the file holds. Returns
    // currentPrize; 0 when no round starts, after telling the operator why (all
    // drawn, unreadable, or nobody checked in when only the checked-in are drawn).
    qsizetype startRound(QList<Candidate> &picks);
    // Places of a round of the current prize: min(PerRound, Remaining, MaxRoundPlaces), at least 1.
    int roundCount() const;
    void seedRandom();
    void seedRandom(quint64 seed);

    // ---- preset winners
    // False, with no presets, when the read failed.
    bool loadPresets(qint64 drawId);
    // Keeps the presets the draw can honour, in drawing order, and holds their
    // people back from the random picking of non-repeatable prizes until their
    // presets are used. A preset is not used when its person already won a
    // non-repeatable prize (or will, by an earlier preset), already won its prize
    // (a preset of a repeatable prize fires once per draw, however often the draw
    // screen opens), is no participant, or its prize has no place left for it;
    // the operator is told once about the people left out.
    void withholdPresets();

    // ---- results
    // Stores a stopped round (presets first) and its row of the round log in one
    // transaction; winners of a
    // non-repeatable prize leave play once the round is on disk, and preset winners
    // are shown only then. False, after telling the operator, when the round could
    // not be stored: picks and presets are as before the stop, and the round can
    // be stopped again.
    bool recordRound(qint64 drawId, qint64 prizeId, QList<Candidate> &picks);
    // The board list of the winners so far; sets the board title. Empty, title
    // untouched, when the read failed.
    QString buildAnnouncement(qint64 drawId, qint64 prizeId, bool reverseOrder, bool currentPrizeOnly);
    // The questions before a draw starts; false = do not open the draw screen,
    // also when earlier results were to be deleted and could not be.
    bool confirmDrawStart(qint64 drawId);
    // The clean-up when the draw screen closes: deletes the draw's preset winners
    // unless the preset editor's setting keeps them ("ReSet"/"CHK" not 0): those
    // loadPresets read for it, by prize, number and name, so presets stored while
    // it ran are kept. False, after telling the operator, when they could not be deleted.
    bool clearPresetsAfterDraw(qint64 drawId);
    void showPicks(const QList<Candidate> &picks);

    // The display text of a number under the current draw's fixed length and mask.
    QString displayNumber(const QString &number) const;

  private:
    using Person = std::pair<QString, QString>; // trimmed number, name
    void tellUnreadable();
    // The presets (indexes into m_presets) a round of places places of prizeId gets.
    QList<qsizetype> roundPresets(qint64 prizeId, qsizetype places) const;
    QList<qsizetype> applyPresets(qint64 prizeId, QList<Candidate> &picks);
    void tellCappedRounds();
    // Tells the operator which numbers the fixed length shows alike.
    void tellLookAlikes();
    qint64 peopleInPlay() const { return m_pool.inPlayCount(); }
    // Builds the pool again when the file changed since it was built, and holds
    // the presets still waiting. False when a read failed.
    bool refreshPool();
    // Whether a round of prize may pick people held for a preset. A win of a prize
    // nobody wins twice would take them out of play before their preset comes; a
    // repeatable prize leaves them in play, so it holds nobody back.
    static bool heldMayWin(const PrizeEntry &prize) { return prize.Repeatable; }

    Database &m_db;
    DrawDisplay *m_display = nullptr;
    QList<PrizeEntry> m_prizes{PrizeEntry()};
    qsizetype m_currentPrize = 0;
    bool m_prizesRead = true;
    qint64 m_roundPrizeId = 0; // the prize startRound began a round of
    bool m_roundTakesHeld = false;
    qint64 m_roundInPlay = 0; // and the people in play then
    CandidatePool m_pool;
    // What the file was when the pool was built: a change by anyone builds it again.
    std::pair<qint64, qint64> m_poolStamp{-1, -1};
    qint64 m_checkedIn = 0;
    // Per slot: whether any of the person's rows is checked in, or absent.
    static constexpr quint8 CheckedInBit = 1;
    static constexpr quint8 AbsentBit = 2;
    std::vector<quint8> m_slotPresence;
    QSet<Person> m_earlierWinners;                   // of non-repeatable prizes, stored before this opening
    QSet<std::pair<qint64, Person>> m_repeatWinners; // and of repeatable ones, with the prize
    // Presets in use; PoolIndex holds their person's slot, held until the
    // person's last preset is used.
    QList<Candidate> m_presets;
    // Presets of people absent or not checked in, and who the operator was told of.
    QList<Candidate> m_presetsAside;
    QSet<Person> m_toldAside;
    // The 预设表 rows loadPresets read, as stored: clearing after the draw takes
    // these, not presets the editor stored while the draw ran.
    qint64 m_presetsDrawId = 0;
    QList<Candidate> m_presetsRead;
    std::mt19937_64 m_random;
};

} // namespace quilla
