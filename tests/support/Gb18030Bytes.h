#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdio>
#include <cstdlib>

// Text as GB18030 bytes, from a table of the characters the tests use: Qt for Windows
// has no GB18030 codec and Wine lacks its code page, so the bytes are written out here.
// GBK's characters have the same two bytes in both.
inline QByteArray gb18030Bytes(QStringView text)
{
    static const QString twoByte =
        QStringLiteral("一三伟号名员品四奖姓娜寸工序张得抽明机李欧王电码等编芳获视部门阳项");
    static const QByteArray twoByteBytes =
        "\xD2\xBB\xC8\xFD\xCE\xB0\xBA\xC5\xC3\xFB\xD4\xB1\xC6\xB7\xCB\xC4\xBD\xB1\xD0\xD5\xC4\xC8\xB4\xE7\xB9"
        "\xA4\xD0\xF2\xD5\xC5\xB5\xC3"
        "\xB3\xE9\xC3\xF7\xBB\xFA\xC0\xEE\xC5\xB7\xCD\xF5\xB5\xE7\xC2\xEB\xB5\xC8\xB1\xE0\xB7\xBC\xBB\xF1\xCA"
        "\xD3\xB2\xBF\xC3\xC5\xD1\xF4\xCF\xEE";
    QByteArray bytes;
    for (const char32_t c : text.toUcs4()) {
        const qsizetype at = c < 0x10000 ? twoByte.indexOf(QChar(char16_t(c))) : -1;
        if (c < 0x80)
            bytes += char(c);
        else if (c == 0x20000)
            bytes += "\x95\x32\x82\x36"; // beyond the BMP: four bytes
        else if (at >= 0)
            bytes += twoByteBytes.mid(2 * at, 2);
        else {
            std::fprintf(stderr, "gb18030Bytes: U+%04X is not in the table\n", unsigned(c));
            std::abort();
        }
    }
    return bytes;
}
