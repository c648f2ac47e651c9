#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <functional>

namespace quilla {

// How a participant number is shown; stored and compared numbers are never
// formatted. Lengths and positions count characters as a reader sees them
// (code points), so a rare CJK character outside the basic plane is one.

// The widest display a fixed length can ask for.
constexpr qint64 MaxFixedLength = 64;

// Pads or cuts text to length characters (at most MaxFixedLength); length <= 0
// leaves it alone. A number starting with a digit 0-9 is padded with zeros,
// anything else with blanks.
QString fixLength(const QString &text, qint64 length);
// Replaces the characters at the positions where rule has "*" by "*".
QString maskNumber(const QString &text, const QString &rule);
// fixLength first, then maskNumber.
QString displayNumber(const QString &number, qint64 fixedLength, const QString &mask);

// The groups of different numbers that fixLength(…, length) shows alike, such as
// 7, 007 and 0007 at length 4, each group in the order its numbers come. numberAt
// gives numbers 0..count-1 as UTF-8 (empty ones are skipped, repeats are fine).
QList<QStringList> lookAlikeNumbers(qsizetype count, const std::function<QByteArrayView(qsizetype)> &numberAt,
                                    qint64 length);

} // namespace quilla
