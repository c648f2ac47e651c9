#include "ChineseOrder.h"

#include <QByteArray>
#include <QStringEncoder>

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
        QStringEncoder gb("GB18030");
        for (char32_t c = 0; c < 0x10000; ++c) {
            const char16_t unit = char16_t(c);
            quint32 weight = 0x30000 + c;
            if (c < 0x80) {
                const bool lower = c >= u'a' && c <= u'z';
                weight = (lower ? c - 32 : c) << 1 | (lower ? 1 : 0);
            } else if (!QChar::isSurrogate(c)) {
                const QByteArray bytes = gb.encode(QStringView(&unit, 1));
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

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

int CompareChinese(QStringView a, QStringView b)
{
    const Weights &weight = weights();
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // Two numbers: by value, so the longer (without leading zeros) is the larger.
            qsizetype ai = i, bj = j;
            while (ai < a.size() && a[ai] == u'0')
                ++ai;
            while (bj < b.size() && b[bj] == u'0')
                ++bj;
            qsizetype aEnd = ai, bEnd = bj;
            while (aEnd < a.size() && isDigit(a[aEnd]))
                ++aEnd;
            while (bEnd < b.size() && isDigit(b[bEnd]))
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
        const quint32 left = weight[a[i].unicode()];
        const quint32 right = weight[b[j].unicode()];
        if (left != right)
            return left < right ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    // Equal but for leading zeros or the like: the plain comparison decides.
    return a.compare(b);
}

} // namespace quilla
