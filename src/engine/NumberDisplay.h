#pragma once

#include <QString>

namespace quilla {

// How a participant number is shown; stored and compared numbers are never
// formatted. Lengths and positions count characters as a reader sees them
// (code points), so a rare CJK character outside the basic plane is one.

// The widest display a fixed length can ask for.
constexpr qint64 MaxFixedLength = 64;

// Pads or cuts text to length characters (at most MaxFixedLength); length <= 0
// leaves it alone. A number starting with a digit 0-9 is padded with zeros,
// anything else with blanks.
QString FixLength(const QString &text, qint64 length);
// Replaces the characters at the positions where rule has "*" by "*".
QString MaskNumber(const QString &text, const QString &rule);
// FixLength first, then MaskNumber.
QString DisplayNumber(const QString &number, qint64 fixedLength, const QString &mask);

} // namespace quilla
