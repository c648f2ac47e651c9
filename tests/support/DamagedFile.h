#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Spoils the page of a database file that holds needle, as a bad sector would,
// and bumps the file's change counter so that open connections read it afresh.
inline bool damagePageHolding(const QString &path, const QByteArray &needle)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = file.readAll();
    int pageSize = (quint8(bytes.at(16)) << 8) | quint8(bytes.at(17));
    if (pageSize == 1)
        pageSize = 65536;
    const qsizetype at = bytes.indexOf(needle);
    if (at < 0 || at / pageSize == 0)
        return false;
    const qsizetype page = at / pageSize * pageSize;
    for (qsizetype i = 0; i < 12; ++i)
        bytes[page + i] = '\xff'; // no page type has this header
    for (int i = 27; i >= 24 && ++bytes[i] == 0; --i) {
    }
    return file.seek(0) && file.write(bytes) == bytes.size();
}
