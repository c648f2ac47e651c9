#pragma once

#include "DrawState.h"

#include <QList>
#include <QStringList>

#include <functional>

namespace quilla {

class Database;

// The announcement board's lines: the draw's prizes in drawing order, each
// with a heading and its stored winners. Read once when a draw opens; a stop
// adds its round, so the cost of a stop does not grow with the results.
class WinnersBoard
{
  public:
    struct Options
    {
        bool reverse = true;          // prizes and winners last-first
        bool currentPrizeOnly = false; // only the winners of currentPrize
        qint64 currentPrize = 0;
    };
    // How a stored number is shown (fixed length, mask).
    using NumberFormat = std::function<QString(const QString &)>;

    // Reads every result of the draw with its prize. False when a read failed:
    // the board is empty then, never a part of the winners.
    bool load(Database &db, qint64 drawId, NumberFormat format);
    void clear();
    // A stored round of prizeId, in the order stored. False when the prize is
    // not one the board knows (the board must be read again then).
    bool addRound(qint64 prizeId, const QList<Candidate> &winners);

    qsizetype lineCount(const Options &options) const;
    // count lines from first (fewer at the end).
    QStringList lines(const Options &options, qsizetype first, qsizetype count) const;
    // The board's title; empty while no winner is listed.
    QString title(const Options &options) const;
    // Where the round added last stands among the lines: [first, end); empty when none.
    std::pair<qsizetype, qsizetype> lastRound(const Options &options) const;

  private:
    struct Prize
    {
        qint64 id = 0;
        qint64 order = 0;
        QString name;
        QString article;
        bool shown = true;
        QStringList winners;
    };
    QList<const Prize *> listed(const Options &options) const;
    QString heading(const Prize &prize, const Options &options) const;
    QString winnerLine(const Candidate &winner) const;

    QList<Prize> m_prizes; // in drawing order: 顺序, then ID
    NumberFormat m_format;
    qint64 m_lastPrize = 0;
    qsizetype m_lastFrom = 0; // the last round's winners: [m_lastFrom, end of its prize's list)
};

} // namespace quilla
