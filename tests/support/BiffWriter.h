#pragma once

// Just enough of an .xls writer to build test files byte by byte: records are
// written as given, so a test decides where CONTINUE records cut its strings.

#include "files/CompoundFile.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstring>
#include <utility>

namespace biff {

inline QByteArray u8(quint8 v)
{
    return QByteArray(1, char(v));
}

inline QByteArray u16(quint16 v)
{
    const char bytes[2] = {char(v & 0xFF), char(v >> 8)};
    return QByteArray(bytes, 2);
}

inline QByteArray u32(quint32 v)
{
    return u16(quint16(v)) + u16(quint16(v >> 16));
}

inline QByteArray f64(double v)
{
    QByteArray bytes(8, '\0');
    std::memcpy(bytes.data(), &v, 8); // little-endian hosts only, like the tests' machines
    return bytes;
}

inline void put32(QByteArray &bytes, qsizetype at, quint32 v)
{
    bytes.replace(at, 4, u32(v));
}

// The characters alone: one byte each (Latin-1) or UTF-16 code units.
inline QByteArray chars(const QString &text, bool wide)
{
    if (!wide)
        return text.toLatin1();
    QByteArray bytes;
    for (QChar c : text)
        bytes += u16(c.unicode());
    return bytes;
}

// Length, option byte and characters.
inline QByteArray string(const QString &text, bool wide, bool shortLength = false)
{
    return (shortLength ? u8(quint8(text.size())) : u16(quint16(text.size()))) + u8(wide ? 1 : 0) +
           chars(text, wide);
}

inline QByteArray record(quint16 id, const QByteArray &data)
{
    return u16(id) + u16(quint16(data.size())) + data;
}

// The first piece under id, each further one in a CONTINUE record.
inline QByteArray continued(quint16 id, const QList<QByteArray> &pieces)
{
    QByteArray out = record(id, pieces.value(0));
    for (qsizetype i = 1; i < pieces.size(); ++i)
        out += record(0x003C, pieces[i]);
    return out;
}

inline QByteArray cell(quint16 row, quint16 column, quint16 xf)
{
    return u16(row) + u16(column) + u16(xf);
}

inline QByteArray number(quint16 row, quint16 column, double value, quint16 xf = 15)
{
    return record(0x0203, cell(row, column, xf) + f64(value));
}

inline QByteArray rk(quint16 row, quint16 column, quint32 rk, quint16 xf = 15)
{
    return record(0x027E, cell(row, column, xf) + u32(rk));
}

inline QByteArray mulRk(quint16 row, quint16 firstColumn, const QList<quint32> &rks, quint16 xf = 15)
{
    QByteArray data = u16(row) + u16(firstColumn);
    for (quint32 value : rks)
        data += u16(xf) + u32(value);
    return record(0x00BD, data + u16(quint16(firstColumn + rks.size() - 1)));
}

inline QByteArray labelSst(quint16 row, quint16 column, quint32 index, quint16 xf = 15)
{
    return record(0x00FD, cell(row, column, xf) + u32(index));
}

inline QByteArray label(quint16 row, quint16 column, const QString &text, bool wide)
{
    return record(0x0204, cell(row, column, 15) + string(text, wide));
}

inline QByteArray boolErr(quint16 row, quint16 column, quint8 value, bool error)
{
    return record(0x0205, cell(row, column, 15) + u8(value) + u8(error ? 1 : 0));
}

inline QByteArray blank(quint16 row, quint16 column)
{
    return record(0x0201, cell(row, column, 15));
}

// A formula "=1" (or a reference to a shared formula) with the given cached value bytes.
inline QByteArray formula(quint16 row, quint16 column, const QByteArray &value, bool shared = false)
{
    const QByteArray tokens =
        shared ? QByteArray(u8(0x01) + u16(row) + u16(column)) : QByteArray(u8(0x1E) + u16(1));
    return record(0x0006, cell(row, column, 15) + value + u16(shared ? 0x0008 : 0) + u32(0) +
                              u16(quint16(tokens.size())) + tokens);
}

// The cached value of a formula that is not a number: 0 text, 1 boolean, 2 error, 3 empty text.
inline QByteArray special(quint8 type, quint8 value = 0)
{
    return u8(type) + u8(0) + u8(value) + u8(0) + u16(0) + u16(0xFFFF);
}

inline QByteArray sharedFormula(quint16 firstRow, quint16 lastRow, quint8 column)
{
    const QByteArray tokens = u8(0x1E) + u16(2);
    return record(0x04BC, u16(firstRow) + u16(lastRow) + u8(column) + u8(column) + u8(0) + u8(1) +
                              u16(quint16(tokens.size())) + tokens);
}

inline QByteArray stringResult(const QString &text, bool wide = true)
{
    return record(0x0207, string(text, wide));
}

inline QByteArray bof(quint16 type, quint16 version = 0x0600)
{
    return record(0x0809, u16(version) + u16(type) + u16(0x0DBB) + u16(0x07CC) + u32(0) + u32(0x0006));
}

inline QByteArray eof()
{
    return record(0x000A, {});
}

inline QByteArray xf(quint16 format)
{
    return record(0x00E0, u16(0) + u16(format) + QByteArray(16, '\0'));
}

inline QByteArray format(quint16 id, const QString &text)
{
    return record(0x041E, u16(id) + string(text, true));
}

struct Sheet
{
    QString name;
    QByteArray records; // the cells, between the sheet's BOF and EOF
};

// A workbook stream: globals (16 style XFs, then extraGlobals, which may add
// FORMAT, XF and SST records), one BOUNDSHEET per sheet, then the sheets.
inline QByteArray workbook(const QList<Sheet> &sheets, const QByteArray &extraGlobals = {},
                           quint16 version = 0x0600)
{
    QByteArray globals = bof(0x0005, version);
    for (int i = 0; i < 16; ++i)
        globals += xf(0);
    globals += extraGlobals;
    QList<qsizetype> offsetAt;
    for (const Sheet &sheet : sheets) {
        offsetAt.append(globals.size() + 4);
        globals += record(0x0085, u32(0) + u8(0) + u8(0) + string(sheet.name, true, true));
    }
    globals += eof();
    QByteArray stream = globals;
    for (qsizetype i = 0; i < sheets.size(); ++i) {
        put32(stream, offsetAt[i], quint32(stream.size()));
        stream += bof(0x0010) + sheets[i].records + eof();
    }
    return stream;
}

// A compound file holding the streams under its root; streams under 4096 bytes
// go into the mini stream, as readers expect.
inline QByteArray compoundFile(const QList<std::pair<QString, QByteArray>> &streams, int sectorSize = 512)
{
    using namespace quilla::cfb;
    const quint32 perSector = quint32(sectorSize / 4);
    QList<QByteArray> sectorsOut; // content sectors in order
    QList<quint32> fat;           // next of each content sector
    auto addChain = [&](const QByteArray &data) -> quint32 {
        if (data.isEmpty())
            return EndOfChain;
        const quint32 first = quint32(sectorsOut.size());
        for (qsizetype at = 0; at < data.size(); at += sectorSize) {
            QByteArray sector = data.mid(at, sectorSize);
            sector.resize(sectorSize, '\0');
            sectorsOut.append(sector);
            fat.append(quint32(sectorsOut.size()));
        }
        fat.back() = EndOfChain;
        return first;
    };

    QByteArray mini;
    QByteArray miniFat;
    QList<quint32> starts;
    for (const auto &[name, data] : streams) {
        if (data.size() < qsizetype(MiniStreamCutoff)) {
            const quint32 first = quint32(mini.size() / MiniSectorSize);
            const quint32 count = quint32((data.size() + MiniSectorSize - 1) / MiniSectorSize);
            for (quint32 i = 0; i < count; ++i)
                miniFat += u32(i + 1 == count ? EndOfChain : first + i + 1);
            QByteArray padded = data;
            padded.resize(qsizetype(count) * MiniSectorSize, '\0');
            mini += padded;
            starts.append(count ? first : EndOfChain);
        } else {
            starts.append(addChain(data));
        }
    }
    const quint32 miniStart = addChain(mini);
    const quint32 miniFatStart = addChain(miniFat);
    const quint32 miniFatSectors = quint32((miniFat.size() + sectorSize - 1) / sectorSize);

    auto entry = [](const QString &name, quint8 type, quint32 right, quint32 child, quint32 start,
                    quint64 size) {
        QByteArray e(DirectoryEntrySize, '\0');
        const QByteArray utf16 = chars(name, true);
        e.replace(0, utf16.size(), utf16);
        e.replace(EntryNameLengthAt, 2, u16(quint16(utf16.size() + 2)));
        e[EntryTypeAt] = char(type);
        e[EntryColorAt] = 1;
        put32(e, EntryLeftAt, NoStream);
        put32(e, EntryRightAt, right);
        put32(e, EntryChildAt, child);
        put32(e, EntryStartSectorAt, start);
        put32(e, EntrySizeAt, quint32(size));
        put32(e, EntrySizeAt + 4, quint32(size >> 32));
        return e;
    };
    QByteArray directory = entry(QStringLiteral("Root Entry"), RootEntry, NoStream,
                                 streams.isEmpty() ? NoStream : 1, miniStart, quint64(mini.size()));
    for (qsizetype i = 0; i < streams.size(); ++i)
        directory += entry(streams[i].first, StreamEntry, i + 1 < streams.size() ? quint32(i + 2) : NoStream,
                           NoStream, starts[i], quint64(streams[i].second.size()));
    const quint32 directoryStart = addChain(directory);
    const quint32 directorySectors = quint32((directory.size() + sectorSize - 1) / sectorSize);

    // FAT and DIFAT sectors go last; their count depends on itself.
    const quint32 content = quint32(sectorsOut.size());
    quint32 fatSectors = 1;
    quint32 difatSectors = 0;
    for (;;) {
        difatSectors = fatSectors > 109 ? (fatSectors - 109 + perSector - 2) / (perSector - 1) : 0;
        if ((content + fatSectors + difatSectors) <= fatSectors * perSector)
            break;
        ++fatSectors;
    }
    for (quint32 i = 0; i < fatSectors; ++i)
        fat.append(FatSector);
    for (quint32 i = 0; i < difatSectors; ++i)
        fat.append(DifatSector);
    while (quint32(fat.size()) < fatSectors * perSector)
        fat.append(FreeSector);

    QByteArray header(HeaderSize, '\0');
    header.replace(0, 8, QByteArray(Signature, 8));
    header.replace(0x18, 2, u16(0x003E));
    header.replace(MajorVersionAt, 2, u16(sectorSize == 512 ? MajorVersion3 : MajorVersion4));
    header.replace(ByteOrderAt, 2, u16(ByteOrderMark));
    header.replace(SectorShiftAt, 2, u16(sectorSize == 512 ? 9 : 12));
    header.replace(MiniSectorShiftAt, 2, u16(6));
    if (sectorSize != 512)
        put32(header, 0x28, directorySectors);
    put32(header, FatSectorCountAt, fatSectors);
    put32(header, FirstDirectorySectorAt, directoryStart);
    put32(header, MiniStreamCutoffAt, MiniStreamCutoff);
    put32(header, FirstMiniFatSectorAt, miniFatStart);
    put32(header, MiniFatSectorCountAt, miniFatSectors);
    put32(header, FirstDifatSectorAt, difatSectors ? content + fatSectors : EndOfChain);
    put32(header, DifatSectorCountAt, difatSectors);
    for (quint32 i = 0; i < 109; ++i)
        put32(header, HeaderDifatAt + 4 * i, i < fatSectors ? content + i : FreeSector);
    header.resize(sectorSize, '\0');

    QByteArray out = header;
    for (const QByteArray &sector : sectorsOut)
        out += sector;
    QByteArray fatBytes;
    for (quint32 next : fat)
        fatBytes += u32(next);
    out += fatBytes;
    for (quint32 d = 0; d < difatSectors; ++d) {
        QByteArray sector;
        for (quint32 i = 0; i < perSector - 1; ++i) {
            const quint32 index = 109 + d * (perSector - 1) + i;
            sector += u32(index < fatSectors ? content + index : FreeSector);
        }
        sector += u32(d + 1 < difatSectors ? content + fatSectors + d + 1 : EndOfChain);
        out += sector;
    }
    return out;
}

} // namespace biff
