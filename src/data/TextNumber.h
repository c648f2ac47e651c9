#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace quilla {

// The numeric value of the number a text starts with (after blanks): "12abc"
// gives 12, "-3.5e2x" gives -350, text without a leading number gives 0.
double leadingNumber(QStringView text);

// The characters a number or name loses at either end: every Unicode space
// (QChar::isSpace, which takes in the Zs category, line and paragraph
// separators and the ASCII controls tab to carriage return). An ideographic
// space (U+3000) or a no-break space (U+00A0) typed or imported after 1001
// would otherwise make a second person who looks exactly like the first.
bool isTrimmedSpace(char32_t character);
// text without the spaces at either end; the same text (no copy) when it has none.
QStringView trimmedText(QStringView text);
QString trimmedText(const QString &text);
// The same for UTF-8 as SQLite keeps it, without decoding the rest of the text.
QByteArrayView trimmedUtf8(QByteArrayView text);
// Every trimmed character, for SQLite's trim(X, Y) where a query compares trimmed texts.
const QString &trimmedSpaces();

} // namespace quilla
