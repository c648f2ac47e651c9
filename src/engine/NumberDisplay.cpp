#include "NumberDisplay.h"

#include <QList>

namespace quilla {

QString FixLength(const QString &text, qint64 length)
{
    if (length <= 0)
        return text;
    // No number is wider than this; a typo such as 定长 10000000000 must not build
    // a string that size on every scroll tick.
    length = std::min<qint64>(length, MaxFixedLength);
    const QList<uint> characters = text.toUcs4();
    if (characters.size() >= length)
        return QString::fromUcs4(reinterpret_cast<const char32_t *>(characters.constData()), length);
    const qsizetype pad = length - characters.size();
    const bool digitFirst = !characters.isEmpty() && characters.first() >= u'0' && characters.first() <= u'9';
    return QString(pad, digitFirst ? u'0' : u' ') + text;
}

QString MaskNumber(const QString &text, const QString &rule)
{
    if (!rule.contains(u'*'))
        return text;
    QList<uint> characters = text.toUcs4();
    const QList<uint> ruleCharacters = rule.toUcs4();
    const qsizetype n = std::min(characters.size(), ruleCharacters.size());
    for (qsizetype i = 0; i < n; ++i)
        if (ruleCharacters.at(i) == u'*')
            characters[i] = u'*';
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(characters.constData()), characters.size());
}

QString DisplayNumber(const QString &number, qint64 fixedLength, const QString &mask)
{
    return MaskNumber(FixLength(number, fixedLength), mask);
}

} // namespace quilla
