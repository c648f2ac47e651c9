#pragma once

#include <QByteArray>
#include <QHash>
#include <QStringView>

#include <cstdio>
#include <cstdlib>

// Text as GB18030 bytes, from a table of the characters the tests use: Qt for Windows
// has no GB18030 codec and Wine lacks its code page, so the bytes are written out here.
// GBK's characters have the same two bytes in both.
inline QByteArray gb18030Bytes(QStringView text)
{
    static const QHash<char32_t, QByteArray> table{
        {0x4E00, "\xD2\xBB"}, // 一
        {0x4E09, "\xC8\xFD"}, // 三
        {0x4F1F, "\xCE\xB0"}, // 伟
        {0x53F7, "\xBA\xC5"}, // 号
        {0x540D, "\xC3\xFB"}, // 名
        {0x5458, "\xD4\xB1"}, // 员
        {0x54C1, "\xC6\xB7"}, // 品
        {0x56DB, "\xCB\xC4"}, // 四
        {0x5956, "\xBD\xB1"}, // 奖
        {0x59D3, "\xD0\xD5"}, // 姓
        {0x5A1C, "\xC4\xC8"}, // 娜
        {0x5BF8, "\xB4\xE7"}, // 寸
        {0x5DE5, "\xB9\xA4"}, // 工
        {0x5E8F, "\xD0\xF2"}, // 序
        {0x5F20, "\xD5\xC5"}, // 张
        {0x5F97, "\xB5\xC3"}, // 得
        {0x62BD, "\xB3\xE9"}, // 抽
        {0x660E, "\xC3\xF7"}, // 明
        {0x673A, "\xBB\xFA"}, // 机
        {0x674E, "\xC0\xEE"}, // 李
        {0x6B27, "\xC5\xB7"}, // 欧
        {0x738B, "\xCD\xF5"}, // 王
        {0x7535, "\xB5\xE7"}, // 电
        {0x7801, "\xC2\xEB"}, // 码
        {0x7B49, "\xB5\xC8"}, // 等
        {0x7F16, "\xB1\xE0"}, // 编
        {0x82B3, "\xB7\xBC"}, // 芳
        {0x83B7, "\xBB\xF1"}, // 获
        {0x89C6, "\xCA\xD3"}, // 视
        {0x90E8, "\xB2\xBF"}, // 部
        {0x95E8, "\xC3\xC5"}, // 门
        {0x9633, "\xD1\xF4"}, // 阳
        {0x9879, "\xCF\xEE"}, // 项
        {0x20000, "\x95\x32\x82\x36"}, // 𠀀
    };
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (const char32_t c : text.toUcs4()) {
        if (c < 0x80) {
            bytes += char(c);
            continue;
        }
        const auto found = table.constFind(c);
        if (found == table.cend()) {
            std::fprintf(stderr, "gb18030Bytes: U+%04X is not in the table\n", unsigned(c));
            std::abort();
        }
        bytes += *found;
    }
    return bytes;
}
