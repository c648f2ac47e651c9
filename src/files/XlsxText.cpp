#include "XlsxText.h"

namespace quilla {

namespace {

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

// Whether text holds an escape _xHHHH_ at i.
bool escapeAt(QStringView text, qsizetype i)
{
    if (i + 6 >= text.size() || text.at(i) != u'_' || text.at(i + 1) != u'x' || text.at(i + 6) != u'_')
        return false;
    for (qsizetype k = i + 2; k < i + 6; ++k)
        if (!isHexDigit(text.at(k)))
            return false;
    return true;
}

// Characters XML 1.0 cannot hold, and the carriage return.
bool needsEscape(QStringView text, qsizetype i)
{
    const char16_t u = text.at(i).unicode();
    if (u < 0x20)
        return u != u'\t' && u != u'\n';
    if (u == 0xFFFE || u == 0xFFFF)
        return true;
    if (QChar::isHighSurrogate(u))
        return i + 1 >= text.size() || !text.at(i + 1).isLowSurrogate();
    if (QChar::isLowSurrogate(u))
        return i == 0 || !text.at(i - 1).isHighSurrogate();
    return false;
}

void appendEscape(QString &out, char16_t code)
{
    out += QStringLiteral("_x");
    out += QStringLiteral("%1").arg(uint(code), 4, 16, QChar(u'0')).toUpper();
    out += u'_';
}

} // namespace

QString xlsxEscaped(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && !needsEscape(text, i) && !escapeAt(text, i))
        ++i;
    if (i == text.size())
        return text.toString();
    QString out = text.left(i).toString();
    out.reserve(text.size() + 16);
    for (; i < text.size(); ++i) {
        if (needsEscape(text, i))
            appendEscape(out, text.at(i).unicode());
        else if (escapeAt(text, i))
            out += QStringLiteral("_x005F_"); // the underscore; the rest follows as it is
        else
            out += text.at(i);
    }
    return out;
}

QString xlsxUnescaped(const QString &text)
{
    if (!text.contains(QLatin1String("_x")))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (escapeAt(text, i)) {
            out += QChar(char16_t(QStringView(text).sliced(i + 2, 4).toUShort(nullptr, 16)));
            i += 6;
        } else {
            out += text.at(i);
        }
    }
    return out;
}

} // namespace quilla
