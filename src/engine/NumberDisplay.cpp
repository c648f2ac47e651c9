#include "NumberDisplay.h"

#include "SlotTable.h"

#include <QHash>
#include <QList>

namespace quilla {

QString fixLength(const QString &text, qint64 length)
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

QString maskNumber(const QString &text, const QString &rule)
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

QString displayNumber(const QString &number, qint64 fixedLength, const QString &mask)
{
    return maskNumber(fixLength(number, fixedLength), mask);
}

} // namespace quilla

namespace quilla {

namespace {

qsizetype characterCount(QByteArrayView text)
{
    qsizetype count = 0;
    for (const char byte : text)
        count += (uchar(byte) & 0xC0) != 0x80;
    return count;
}

// What fixLength shows for a number of characters characters, as UTF-8.
QByteArray shownAs(QByteArrayView number, qsizetype characters, qsizetype length)
{
    if (characters > length) {
        qsizetype end = 0;
        for (qsizetype kept = 0; end < number.size(); ++end)
            if ((uchar(number.at(end)) & 0xC0) != 0x80 && kept++ == length)
                break;
        return number.first(end).toByteArray();
    }
    const bool digitFirst = number.front() >= '0' && number.front() <= '9';
    return QByteArray(length - characters, digitFirst ? '0' : ' ') + number;
}

} // namespace

QList<QStringList> lookAlikeNumbers(qsizetype count, const std::function<QByteArrayView(qsizetype)> &numberAt,
                                    qint64 length)
{
    QList<QStringList> groups;
    length = std::min<qint64>(length, MaxFixedLength);
    if (length <= 0)
        return groups;
    // A number of exactly length characters shows as itself, so two of them never
    // look alike: only numbers the length pads or cuts are filed, usually few.
    std::vector<qsizetype> changed;
    for (qsizetype i = 0; i < count; ++i) {
        const QByteArrayView number = numberAt(i);
        if (!number.isEmpty() && characterCount(number) != length)
            changed.push_back(i);
    }
    if (changed.empty())
        return groups;

    const auto shown = [&](qsizetype i) {
        const QByteArrayView number = numberAt(i);
        return shownAs(number, characterCount(number), length);
    };
    SlotTable firstShown; // slot k: changed[k - 1], the first number met with its look
    firstShown.reserve(changed.size());
    QHash<qsizetype, qsizetype> groupOf; // by the first number's index
    QList<QList<qsizetype>> members;
    const auto join = [&](qsizetype first, qsizetype i) {
        qsizetype &group = groupOf[first];
        if (group == 0) {
            members.append(QList<qsizetype>{first});
            group = members.size();
        }
        QList<qsizetype> &list = members[group - 1];
        const QByteArrayView number = numberAt(i);
        if (std::none_of(list.cbegin(), list.cend(), [&](qsizetype m) { return numberAt(m) == number; }))
            list.append(i);
    };
    const auto find = [&](QByteArrayView look) {
        const quint32 slot =
            firstShown.find(quint32(qHash(look)), [&](quint32 k) { return shown(changed[k - 1]) == look; });
        return slot == 0 ? qsizetype(-1) : changed[slot - 1];
    };
    for (size_t k = 0; k < changed.size(); ++k) {
        const QByteArray look = shown(changed[k]);
        const qsizetype first = find(look);
        if (first < 0)
            firstShown.insert(quint32(qHash(QByteArrayView(look))), quint32(k + 1));
        else if (numberAt(first) != numberAt(changed[k]))
            join(first, changed[k]);
    }
    for (qsizetype i = 0; i < count; ++i) {
        const QByteArrayView number = numberAt(i);
        if (number.isEmpty() || characterCount(number) != length)
            continue;
        const qsizetype first = find(number);
        if (first >= 0)
            join(first, i);
    }
    for (const QList<qsizetype> &list : std::as_const(members)) {
        QStringList numbers;
        for (qsizetype i : list)
            numbers.append(QString::fromUtf8(numberAt(i)));
        groups.append(numbers);
    }
    return groups;
}

} // namespace quilla
