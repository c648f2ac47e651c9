#include "ChineseOrder.h"
#include "system/Gb18030.h"

#include <QByteArray>

#include <cstring>
#include <vector>

namespace quilla {

namespace {

// A weight per UTF-16 unit: ASCII first (letters case-folded, lower case just after
// upper), then what GB18030 writes in two bytes, by its code (level one of GB2312 is
// in pinyin order), then everything else by code point.
class Weights
{
  public:
    Weights() : m_weights(0x10000)
    {
        Gb18030Encoder gb;
        for (char32_t c = 0; c < 0x10000; ++c) {
            const char16_t unit = char16_t(c);
            quint32 weight = 0x30000 + c;
            if (c < 0x80) {
                const bool lower = c >= u'a' && c <= u'z';
                weight = (lower ? c - 32 : c) << 1 | (lower ? 1 : 0);
            } else if (!QChar::isSurrogate(c)) {
                const QByteArray bytes = gb(QStringView(&unit, 1));
                if (bytes.size() == 2)
                    weight = 0x10000 + (quint32(quint8(bytes[0])) << 8 | quint8(bytes[1]));
            }
            m_weights[c] = weight;
        }
    }
    quint32 operator[](char16_t unit) const { return m_weights[unit]; }

  private:
    std::vector<quint32> m_weights;
};

const Weights &weights()
{
    static const Weights table;
    return table;
}

} // namespace

namespace {

// The code point at i, moving i past it; a broken sequence counts as its first byte.
char32_t nextCodePoint(QByteArrayView text, qsizetype &i)
{
    const auto byte = [&](qsizetype k) { return quint8(text[k]); };
    const quint8 lead = byte(i);
    const int length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (length == 1 || i + length > text.size()) {
        ++i;
        return lead;
    }
    char32_t c = lead & (0x7F >> length);
    for (int k = 1; k < length; ++k)
        c = c << 6 | (byte(i + k) & 0x3F);
    i += length;
    return c;
}

} // namespace

int compareChinese(QByteArrayView a, QByteArrayView b)
{
    const Weights &weight = weights();
    const auto weightOf = [&](char32_t c) { return c < 0x10000 ? weight[char16_t(c)] : 0x40000 + quint32(c); };
    const auto isAsciiDigit = [](char c) { return c >= '0' && c <= '9'; };
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isAsciiDigit(a[i]) && isAsciiDigit(b[j])) {
            // Two numbers: by value, so the longer (without leading zeros) is the larger.
            qsizetype ai = i, bj = j;
            while (ai < a.size() && a[ai] == '0')
                ++ai;
            while (bj < b.size() && b[bj] == '0')
                ++bj;
            qsizetype aEnd = ai, bEnd = bj;
            while (aEnd < a.size() && isAsciiDigit(a[aEnd]))
                ++aEnd;
            while (bEnd < b.size() && isAsciiDigit(b[bEnd]))
                ++bEnd;
            if (aEnd - ai != bEnd - bj)
                return aEnd - ai < bEnd - bj ? -1 : 1;
            for (; ai < aEnd; ++ai, ++bj)
                if (a[ai] != b[bj])
                    return a[ai] < b[bj] ? -1 : 1;
            i = aEnd;
            j = bEnd;
            continue;
        }
        const quint32 left = weightOf(nextCodePoint(a, i));
        const quint32 right = weightOf(nextCodePoint(b, j));
        if (left != right)
            return left < right ? -1 : 1;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    const int plain = a.compare(b);
    return plain < 0 ? -1 : plain > 0 ? 1 : 0;
}

void appendChineseSortKey(QByteArrayView utf8, QByteArray &into)
{
    const Weights &weight = weights();
    // Written through a pointer into room made once: a million names cost no allocation each.
    // A digit takes at most six bytes of key, any other byte three, the plain text one more.
    const qsizetype start = into.size();
    into.resize(start + 7 * utf8.size() + 3);
    char *out = into.data() + start;
    const auto put = [&out](quint32 value) {
        *out++ = char(value >> 16);
        *out++ = char(value >> 8 & 0xFF);
        *out++ = char(value & 0xFF);
    };
    qsizetype i = 0;
    while (i < utf8.size()) {
        if (utf8[i] >= '0' && utf8[i] <= '9') {
            // A number: the digits' weight, then its length and digits without leading zeros,
            // so that a longer number sorts after a shorter one.
            while (i < utf8.size() && utf8[i] == '0')
                ++i;
            qsizetype end = i;
            while (end < utf8.size() && utf8[end] >= '0' && utf8[end] <= '9')
                ++end;
            put(weight[u'0']);
            *out++ = char(quint16(end - i) >> 8);
            *out++ = char((end - i) & 0xFF);
            std::memcpy(out, utf8.data() + i, size_t(end - i));
            out += end - i;
            i = end;
            continue;
        }
        const char32_t c = nextCodePoint(utf8, i);
        put(c < 0x10000 ? weight[char16_t(c)] : 0x40000 + quint32(c));
    }
    // Texts equal but for leading zeros: the plain bytes decide, as in the comparison.
    put(0);
    std::memcpy(out, utf8.data(), size_t(utf8.size()));
    out += utf8.size();
    into.resize(out - into.constData());
}

QByteArray chineseSortKey(QByteArrayView utf8)
{
    QByteArray key;
    appendChineseSortKey(utf8, key);
    return key;
}

} // namespace quilla
