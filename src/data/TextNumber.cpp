#include "TextNumber.h"

#include <QString>

namespace quilla {

double leadingNumber(QStringView text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto isDigit = [&](qsizetype k) { return k < n && text[k] >= u'0' && text[k] <= u'9'; };
    while (i < n && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    const qsizetype start = i;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    const qsizetype digitsFrom = i;
    while (isDigit(i))
        ++i;
    if (i < n && text[i] == u'.') {
        ++i;
        while (isDigit(i))
            ++i;
    }
    if (i == digitsFrom || (i == digitsFrom + 1 && text[digitsFrom] == u'.'))
        return 0;
    qsizetype end = i;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype k = i + 1;
        if (k < n && (text[k] == u'+' || text[k] == u'-'))
            ++k;
        if (isDigit(k)) {
            while (isDigit(k))
                ++k;
            end = k;
        }
    }
    return text.mid(start, end - start).toString().toDouble();
}

} // namespace quilla

namespace quilla {

bool isTrimmedSpace(char32_t character)
{
    return QChar::isSpace(character) || QChar::category(character) == QChar::Separator_Space;
}

QStringView trimmedText(QStringView text)
{
    // Every space lies in the basic plane, so a surrogate is never one.
    qsizetype from = 0, to = text.size();
    while (from < to && isTrimmedSpace(text.at(from).unicode()))
        ++from;
    while (to > from && isTrimmedSpace(text.at(to - 1).unicode()))
        --to;
    return text.sliced(from, to - from);
}

QString trimmedText(const QString &text)
{
    const QStringView trimmed = trimmedText(QStringView(text));
    return trimmed.size() == text.size() ? text : trimmed.toString();
}

namespace {

// The character ending at end (a sequence of at most three bytes: every space
// is in the basic plane), or 0 when the bytes there are no such sequence.
char32_t characterBefore(QByteArrayView text, qsizetype end, qsizetype &length)
{
    const auto byte = [&](qsizetype i) { return uchar(text.at(i)); };
    for (length = 1; length <= 3 && end - length >= 0; ++length) {
        const uchar lead = byte(end - length);
        if ((lead & 0xC0) == 0x80)
            continue;
        if (length == 1)
            return lead < 0x80 ? lead : 0;
        char32_t c = lead & (length == 2 ? 0x1F : 0x0F);
        if ((length == 2 && (lead & 0xE0) != 0xC0) || (length == 3 && (lead & 0xF0) != 0xE0))
            return 0;
        for (qsizetype i = end - length + 1; i < end; ++i)
            c = (c << 6) | (byte(i) & 0x3F);
        return c;
    }
    return 0;
}

char32_t characterAt(QByteArrayView text, qsizetype from, qsizetype &length)
{
    const auto byte = [&](qsizetype i) { return uchar(text.at(i)); };
    const uchar lead = byte(from);
    length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : 0;
    if (length == 0 || from + length > text.size())
        return 0;
    char32_t c = length == 1 ? lead : lead & (length == 2 ? 0x1F : 0x0F);
    for (qsizetype i = from + 1; i < from + length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (byte(i) & 0x3F);
    }
    return c;
}

// Most numbers start and end with a printable ASCII character: nothing to decode.
bool plainEnd(uchar byte)
{
    return byte > 0x20 && byte < 0x7F;
}

} // namespace

QByteArrayView trimmedUtf8(QByteArrayView text)
{
    if (text.isEmpty() || (plainEnd(uchar(text.front())) && plainEnd(uchar(text.back()))))
        return text;
    qsizetype from = 0, to = text.size(), length = 0;
    while (from < to) {
        const char32_t c = characterAt(text, from, length);
        if (c == 0 || !isTrimmedSpace(c))
            break;
        from += length;
    }
    while (to > from) {
        const char32_t c = characterBefore(text, to, length);
        if (c == 0 || !isTrimmedSpace(c))
            break;
        to -= length;
    }
    return text.sliced(from, to - from);
}

const QString &trimmedSpaces()
{
    static const QString spaces = [] {
        QString all;
        for (char32_t c = 1; c <= 0xFFFF; ++c)
            if (isTrimmedSpace(c))
                all.append(QChar(char16_t(c)));
        return all;
    }();
    return spaces;
}

} // namespace quilla
