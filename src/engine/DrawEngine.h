#pragma once

#include "CandidatePool.h"
#include "DrawState.h"

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

    const QList<PrizeEntry> &Prizes() const { return m_prizes; } // entries 1..n; slot 0 unused
    qsizetype CurrentPrize() const { return m_currentPrize; }    // 0 = none left
    const CandidatePool &Pool() const { return m_pool; }
    const QList<Candidate> &Presets() const { return m_presets; } // in 预设表 order

    // ---- loading
    // Copies the draw's row of 奖次表 into setting; a missing row changes only Id.
    // False when the row could not be read.
    bool LoadDrawSetting(qint64 id, DrawSetting &setting);
    // Rebuilds Prizes in drawing order with their remaining counts from the stored
    // results; returns CurrentPrize, the first with winners left (0 = none). A
    // failed read leaves no prizes: PrizesRead() tells it from a finished draw.
    qsizetype LoadPrizeTable();
    bool PrizesRead() const { return m_prizesRead; }
    // Everything the draw screen loads when it opens, in its order. Any read that
    // fails leaves an empty pool and no presets and tells the operator: a draw
    // never runs on part of its participants. False then; the screen must not open.
    // stepDone(n) runs after step n: 1 settings, 2 pool, 3 presets.
    bool LoadDraw(const std::function<void(int)> &stepDone = {});

    // ---- picking
    // All participants of CurrentDraw except earlier winners of its non-repeatable
    // prizes. Reloads the prizes first. False, with an empty pool, when a read failed.
    bool BuildCandidatePool();
    // count distinct candidates at random, shortage marks for places that cannot be filled.
    void PickRound(QList<Candidate> &picks, int count);
    // Starts a round: reloads the prizes, reseeds the generator from the system's
    // random source, and makes and shows the round's first picks, so that a stop
    // at any moment records what the audience saw. Returns CurrentPrize (0: all drawn).
    qsizetype StartRound(QList<Candidate> &picks);
    // Picks for the current prize: min(PerRound, Remaining), at least 1.
    int RoundCount() const;
    void SeedRandom();
    void SeedRandom(quint64 seed);

    // ---- preset winners
    // False, with no presets, when the read failed.
    bool LoadPresets(qint64 drawId);
    // Takes every participant who is a preset winner out of the random picking.
    void WithholdPresets();
    // Puts unused presets of prizeId in the first places of picks; true when any was.
    bool ApplyPresets(qint64 prizeId, QList<Candidate> &picks);

    // ---- results
    // Stores a stopped round (presets first) in one transaction; winners of a
    // non-repeatable prize leave play once the round is on disk, and preset winners
    // are shown only then. False, after telling the operator, when the round could
    // not be stored: picks and presets are as before the stop, and the round can
    // be stopped again.
    bool RecordRound(qint64 drawId, qint64 prizeId, QList<Candidate> &picks);
    // The board list of the winners so far; sets the board title. Empty, title
    // untouched, when the read failed.
    QString BuildAnnouncement(qint64 drawId, qint64 prizeId, bool reverseOrder, bool currentPrizeOnly);
    // The questions before a draw starts; false = do not open the draw screen,
    // also when earlier results were to be deleted and could not be.
    bool ConfirmDrawStart(qint64 drawId);
    // The clean-up when the draw screen closes: deletes the draw's preset winners
    // unless the preset editor's setting keeps them ("ReSet"/"CHK" not 0): those
    // LoadPresets read for it, so presets stored while it ran are kept. False,
    // after telling the operator, when they could not be deleted.
    bool ClearPresetsAfterDraw(qint64 drawId);
    void ShowPicks(const QList<Candidate> &picks);

    // The display text of a number under the current draw's fixed length and mask.
    QString DisplayNumber(const QString &number) const;

  private:
    Database &m_db;
    DrawDisplay *m_display = nullptr;
    QList<PrizeEntry> m_prizes{PrizeEntry()};
    qsizetype m_currentPrize = 0;
    bool m_prizesRead = true;
    CandidatePool m_pool;
    QList<Candidate> m_presets;
    // The 预设表 rows LoadPresets read, by rowid: clearing after the draw takes
    // these, not presets the editor stored while the draw ran.
    qint64 m_presetsDrawId = 0;
    QList<qint64> m_presetRows;
    std::mt19937_64 m_random;
};

} // namespace quilla
