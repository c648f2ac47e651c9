#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace quilla {

// Orders texts as a Chinese reader expects a list of names and numbers: runs of
// digits by their value (2 before 10), Latin letters alphabetically with either
// case together, then the common characters by pinyin (the order of GB2312's first
// level), the rarer ones after. Negative, zero or positive, as strcmp. Cheap enough
// to sort a million names: one table look-up per character.
// The texts are UTF-8, as SQLite keeps them: no conversion per comparison.
int compareChinese(QByteArrayView a, QByteArrayView b);
// A key whose bytes compare (memcmp, shorter first) as compareChinese compares the texts:
// for sorting many texts without comparing each pair afresh.
QByteArray chineseSortKey(QByteArrayView utf8);
// The same key appended to into.
void appendChineseSortKey(QByteArrayView utf8, QByteArray &into);

} // namespace quilla
