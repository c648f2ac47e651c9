#pragma once

#include "data/TextNumber.h"

#include <QList>
#include <QString>
#include <QStringView>

namespace quilla {

// The running draw's settings, copied from its row of 奖次表.
struct DrawSetting
{
    qint64 Id = 0;
    QString Background;
    qint64 Speed = 0;
    QString Mask;
    qint64 AutoStop = 0;
    qint64 FixedLength = 0;
    QString Music1;
    QString Music2;
    QString Music3;
    bool CheckedInOnly = false; // 只抽签到: each round draws among the checked-in only
};

// One prize of the running draw. Remaining is always recomputed from the stored results.
struct PrizeEntry
{
    qint64 DrawId = 0;
    qint64 PrizeId = 0;
    qint64 Order = 0;
    qint64 Quantity = 0;
    qint64 Remaining = 0;
    qint64 PerRound = 0;
    bool Show = false;
    bool Repeatable = false;
    QString Title;
};

// A participant as the engine handles it. An empty Number means out of play.
// Presets use Id for the prize they are meant for; PoolIndex is the slot in the
// pool, 0 for a preset winner or a shortage mark.
struct Candidate
{
    qint64 Id = 0;
    QString Number;
    QString Name;
    qint64 PoolIndex = 0;

    friend bool operator==(const Candidate &, const Candidate &) = default;
};

// What a place of a round shows when too few candidates are left in play.
inline const QString ShortageMark = QStringLiteral("(人数不足！)");

// 数量 and 同时 are 32-bit longs: the most winners a prize can ask for, in all and per round.
constexpr qint64 MaxPrizeCount = 2147483647;
// The most places one round holds. More would only fill the frame, and the results,
// with shortage marks, and cost seconds per tick.
constexpr int MaxRoundPlaces = 1000;

// A participant number or name as it is shown, stored and compared: without the
// spaces of any kind it was typed or imported with (see trimmedText).
inline QStringView trimmedNumber(QStringView number)
{
    return trimmedText(number);
}
inline QString trimmedNumber(const QString &number)
{
    return trimmedText(number);
}

} // namespace quilla
