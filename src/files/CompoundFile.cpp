#include "CompoundFile.h"

#include <QBuffer>
#include <QFile>

#include <algorithm>
#include <cstring>

namespace quilla {

using namespace cfb;

namespace {

quint16 le16(const char *p)
{
    return quint16(quint8(p[0]) | quint8(p[1]) << 8);
}

quint32 le32(const char *p)
{
    return quint32(le16(p)) | quint32(le16(p + 2)) << 16;
}

} // namespace

bool CompoundFile::hasSignature(const QByteArray &bytes)
{
    return bytes.size() >= HeaderSize && std::memcmp(bytes.constData(), Signature, sizeof Signature) == 0;
}

bool CompoundFile::open(const QByteArray &bytes)
{
    auto buffer = std::make_shared<QBuffer>();
    buffer->setData(bytes);
    buffer->open(QIODevice::ReadOnly);
    return openDevice(std::move(buffer));
}

bool CompoundFile::openFile(const QString &path)
{
    auto file = std::make_shared<QFile>(path);
    if (!file->open(QIODevice::ReadOnly)) {
        *this = CompoundFile();
        m_fileError = true;
        return false;
    }
    return openDevice(std::move(file));
}

bool CompoundFile::openDevice(std::shared_ptr<QIODevice> device)
{
    *this = CompoundFile();
    m_device = std::move(device);
    m_size = m_device->size();
    m_open = parse();
    if (!m_open)
        *this = CompoundFile();
    return m_open;
}

bool CompoundFile::readAt(qint64 at, char *out, qint64 length) const
{
    // A file cut short reads as if padded with zero bytes.
    const qint64 available = std::max<qint64>(0, std::min(length, m_size - at));
    if (available > 0 && (!m_device->seek(at) || m_device->read(out, available) != available))
        return false;
    std::memset(out + available, 0, size_t(length - available));
    return true;
}

bool CompoundFile::readSector(quint32 sector, QByteArray &out) const
{
    const qint64 at = (qint64(sector) + 1) * m_sectorSize;
    if (sector >= m_sectorCount || at >= m_size)
        return false;
    const qsizetype old = out.size();
    out.resize(old + m_sectorSize);
    return readAt(at, out.data() + old, m_sectorSize);
}

// Follows a chain through table, gathering at most limit sectors. A number outside
// the table or a sector met twice means the file is damaged: without the second
// check a looping chain would never end.
bool CompoundFile::chain(quint32 start, const std::vector<quint32> &table, quint64 limit,
                         std::vector<quint32> &out) const
{
    out.clear();
    std::vector<bool> seen(table.size());
    quint32 sector = start;
    while (sector != EndOfChain && out.size() < limit) {
        if (sector >= table.size() || seen[sector])
            return false;
        seen[sector] = true;
        out.push_back(sector);
        sector = table[sector];
    }
    return true;
}

bool CompoundFile::regularChain(quint32 start, quint64 size, std::vector<quint32> &sectors) const
{
    if (size > quint64(m_size))
        return false;
    const quint64 needed = (size + m_sectorSize - 1) / m_sectorSize;
    return chain(start, m_fat, needed, sectors) && sectors.size() >= needed;
}

bool CompoundFile::readRegular(quint32 start, quint64 size, QByteArray &out) const
{
    out.clear();
    std::vector<quint32> sectors;
    if (!regularChain(start, size, sectors))
        return false;
    out.reserve(qsizetype(sectors.size() * m_sectorSize));
    for (quint32 sector : sectors)
        if (!readSector(sector, out))
            return false;
    out.truncate(qsizetype(size));
    return true;
}

bool CompoundFile::readMini(quint32 start, quint64 size, QByteArray &out) const
{
    out.clear();
    if (size > quint64(m_miniStream.size()))
        return false;
    const quint64 needed = (size + MiniSectorSize - 1) / MiniSectorSize;
    std::vector<quint32> sectors;
    if (!chain(start, m_miniFat, needed, sectors) || sectors.size() < needed)
        return false;
    out.reserve(qsizetype(needed * MiniSectorSize));
    for (quint32 sector : sectors) {
        const qint64 at = qint64(sector) * MiniSectorSize;
        if (at + MiniSectorSize > m_miniStream.size())
            return false;
        out.append(m_miniStream.constData() + at, MiniSectorSize);
    }
    out.truncate(qsizetype(size));
    return true;
}

bool CompoundFile::parse()
{
    QByteArray head(HeaderSize, '\0');
    if (m_size < HeaderSize || !readAt(0, head.data(), HeaderSize) || !hasSignature(head) ||
        le16(head.constData() + ByteOrderAt) != ByteOrderMark)
        return false;
    const char *header = head.constData();
    const quint16 shift = le16(header + SectorShiftAt);
    if ((shift != 9 && shift != 12) || le16(header + MiniSectorShiftAt) != 6)
        return false;
    m_sectorSize = 1 << shift;
    if (m_size <= m_sectorSize || (m_size - m_sectorSize) / m_sectorSize >= 0xFFFFFFF0)
        return false;
    m_sectorCount = quint32((m_size - m_sectorSize + m_sectorSize - 1) / m_sectorSize);
    const bool version3 = le16(header + MajorVersionAt) == MajorVersion3;

    // Where the FAT lies: 109 sectors named in the header, the rest in a chain of
    // DIFAT sectors whose last entry points to the next one.
    std::vector<quint32> fatSectors;
    for (int i = 0; i < HeaderDifatCount; ++i) {
        const quint32 sector = le32(header + HeaderDifatAt + 4 * i);
        if (sector <= MaxRegularSector)
            fatSectors.push_back(sector);
    }
    std::vector<bool> seenDifat(m_sectorCount);
    const int perDifat = m_sectorSize / 4 - 1;
    for (quint32 sector = le32(header + FirstDifatSectorAt); sector <= MaxRegularSector;) {
        if (sector >= m_sectorCount || seenDifat[sector])
            return false;
        seenDifat[sector] = true;
        QByteArray difat;
        if (!readSector(sector, difat))
            return false;
        for (int i = 0; i < perDifat; ++i) {
            const quint32 fatSector = le32(difat.constData() + 4 * i);
            if (fatSector <= MaxRegularSector)
                fatSectors.push_back(fatSector);
        }
        sector = le32(difat.constData() + 4 * perDifat);
    }
    if (fatSectors.empty() || fatSectors.size() > m_sectorCount)
        return false;

    QByteArray fatBytes;
    fatBytes.reserve(qsizetype(fatSectors.size()) * m_sectorSize);
    for (quint32 sector : fatSectors)
        if (!readSector(sector, fatBytes))
            return false;
    // Entries for sectors past the end of the file could only lead outside it.
    const qsizetype fatEntries = std::min<qsizetype>(fatBytes.size() / 4, m_sectorCount);
    m_fat.resize(fatEntries);
    for (qsizetype i = 0; i < fatEntries; ++i)
        m_fat[i] = le32(fatBytes.constData() + 4 * i);

    std::vector<quint32> sectors;
    if (!chain(le32(header + FirstDirectorySectorAt), m_fat, m_fat.size(), sectors) || sectors.empty())
        return false;
    QByteArray directory;
    for (quint32 sector : sectors)
        if (!readSector(sector, directory))
            return false;
    for (qsizetype at = 0; at + DirectoryEntrySize <= directory.size(); at += DirectoryEntrySize) {
        const char *raw = directory.constData() + at;
        DirectoryEntry entry;
        const int nameBytes = std::min<int>(le16(raw + EntryNameLengthAt), 64);
        QString name;
        for (int i = 0; i + 1 < nameBytes; i += 2) {
            const char16_t unit = le16(raw + i);
            if (unit == 0)
                break;
            name.append(QChar(unit));
        }
        entry.name = name;
        entry.type = quint8(raw[EntryTypeAt]);
        entry.left = le32(raw + EntryLeftAt);
        entry.right = le32(raw + EntryRightAt);
        entry.child = le32(raw + EntryChildAt);
        entry.startSector = le32(raw + EntryStartSectorAt);
        // Version 3 files may leave garbage in the upper half of the size.
        entry.size = le32(raw + EntrySizeAt);
        if (!version3)
            entry.size |= quint64(le32(raw + EntrySizeAt + 4)) << 32;
        m_entries.push_back(entry);
    }
    if (m_entries.empty() || m_entries.front().type != RootEntry)
        return false;

    // The mini stream and its FAT are only needed for small streams; if they are
    // damaged, only those streams fail to read.
    const quint32 miniFatStart = le32(header + FirstMiniFatSectorAt);
    QByteArray miniFatBytes;
    if (miniFatStart <= MaxRegularSector && chain(miniFatStart, m_fat, m_fat.size(), sectors)) {
        bool good = true;
        for (quint32 sector : sectors)
            good = good && readSector(sector, miniFatBytes);
        if (good) {
            m_miniFat.resize(miniFatBytes.size() / 4);
            for (size_t i = 0; i < m_miniFat.size(); ++i)
                m_miniFat[i] = le32(miniFatBytes.constData() + 4 * i);
        }
    }
    const DirectoryEntry &root = m_entries.front();
    if (!m_miniFat.empty() && !readRegular(root.startSector, root.size, m_miniStream))
        m_miniStream.clear();

    // The root's children form a tree through left and right siblings; a damaged
    // tree must not send the walk round in circles.
    std::vector<bool> seen(m_entries.size());
    std::vector<quint32> pending{root.child};
    while (!pending.empty()) {
        const quint32 index = pending.back();
        pending.pop_back();
        if (index >= m_entries.size() || seen[index])
            continue;
        seen[index] = true;
        if (m_entries[index].type == StreamEntry)
            m_topStreams.push_back(int(index));
        pending.push_back(m_entries[index].left);
        pending.push_back(m_entries[index].right);
    }
    std::sort(m_topStreams.begin(), m_topStreams.end());
    return true;
}

QStringList CompoundFile::streamNames() const
{
    QStringList names;
    for (int index : m_topStreams)
        names.append(m_entries[index].name);
    return names;
}

int CompoundFile::findStream(const QString &name) const
{
    for (int index : m_topStreams)
        if (m_entries[index].name.compare(name, Qt::CaseInsensitive) == 0)
            return index;
    return -1;
}

std::unique_ptr<CompoundStream> CompoundFile::openStream(const QString &name) const
{
    const int index = findStream(name);
    if (index < 0)
        return nullptr;
    const DirectoryEntry &entry = m_entries[index];
    auto stream = std::unique_ptr<CompoundStream>(new CompoundStream);
    if (entry.size < m_miniCutoff) {
        // A small stream lives in the mini stream: it is read whole.
        if (!readMini(entry.startSector, entry.size, stream->m_held))
            return nullptr;
        stream->m_size = qint64(entry.size);
    } else {
        if (!regularChain(entry.startSector, entry.size, stream->m_sectors))
            return nullptr;
        stream->m_file = this;
        stream->m_size = qint64(entry.size);
    }
    stream->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    return stream;
}

QByteArray CompoundFile::stream(const QString &name, bool *ok) const
{
    QByteArray out;
    const int index = findStream(name);
    bool good = false;
    if (index >= 0) {
        const DirectoryEntry &entry = m_entries[index];
        good = entry.size < m_miniCutoff ? readMini(entry.startSector, entry.size, out)
                                         : readRegular(entry.startSector, entry.size, out);
    }
    if (!good)
        out.clear();
    if (ok)
        *ok = good;
    return out;
}

qint64 CompoundStream::readData(char *data, qint64 maxSize)
{
    const qint64 at = pos();
    const qint64 length = std::max<qint64>(0, std::min(maxSize, m_size - at));
    if (!m_file) {
        std::memcpy(data, m_held.constData() + at, size_t(length));
        return length;
    }
    const int sectorSize = m_file->m_sectorSize;
    qint64 done = 0;
    while (done < length) {
        // One read for each run of sectors that lie one after another in the file.
        const qint64 offset = at + done;
        size_t index = size_t(offset / sectorSize);
        const qint64 first = m_sectors[index];
        qint64 run = sectorSize - offset % sectorSize;
        while (run < length - done && index + 1 < m_sectors.size() &&
               m_sectors[index + 1] == m_sectors[index] + 1) {
            ++index;
            run += sectorSize;
        }
        run = std::min(run, length - done);
        const qint64 fileAt = (first + 1) * sectorSize + offset % sectorSize;
        if (!m_file->readAt(fileAt, data + done, run))
            return -1;
        done += run;
    }
    return done;
}

} // namespace quilla

namespace quilla {

namespace {

constexpr int WriterSectorSize = 512;

void put16(QByteArray &bytes, qsizetype at, quint16 v)
{
    bytes[at] = char(v & 0xFF);
    bytes[at + 1] = char(v >> 8);
}

void put32(QByteArray &bytes, qsizetype at, quint32 v)
{
    put16(bytes, at, quint16(v));
    put16(bytes, at + 2, quint16(v >> 16));
}

// Directory names compare by length first, then by upper-case characters.
bool entryNameLess(const QString &a, const QString &b)
{
    if (a.size() != b.size())
        return a.size() < b.size();
    return a.toUpper() < b.toUpper();
}

QByteArray directoryEntry(const QString &name, quint8 type, quint32 left, quint32 right, quint32 child,
                          quint32 start, quint32 size)
{
    QByteArray e(cfb::DirectoryEntrySize, '\0');
    const QString shortName = name.left(31); // 32 units with the terminating zero
    for (qsizetype i = 0; i < shortName.size(); ++i)
        put16(e, 2 * i, shortName[i].unicode());
    put16(e, cfb::EntryNameLengthAt, quint16(2 * (shortName.size() + 1)));
    e[cfb::EntryTypeAt] = char(type);
    e[cfb::EntryColorAt] = 1; // black
    put32(e, cfb::EntryLeftAt, left);
    put32(e, cfb::EntryRightAt, right);
    put32(e, cfb::EntryChildAt, child);
    put32(e, cfb::EntryStartSectorAt, start);
    put32(e, cfb::EntrySizeAt, size);
    return e;
}

} // namespace

QByteArray buildCompoundFile(const QList<std::pair<QString, QByteArray>> &streams)
{
    using namespace cfb;
    constexpr quint32 perFatSector = WriterSectorSize / 4;
    auto sectorsFor = [](qsizetype bytes) {
        return quint32((bytes + WriterSectorSize - 1) / WriterSectorSize);
    };

    // Streams first, each in consecutive sectors, then the directory.
    QList<quint32> starts;
    QList<quint32> sizes;
    quint32 next = 0;
    for (const auto &stream : streams) {
        const quint32 size = std::max<quint32>(quint32(stream.second.size()), MiniStreamCutoff);
        starts.append(next);
        sizes.append(size);
        next += sectorsFor(size);
    }
    const quint32 directoryStart = next;
    const quint32 directorySectors = sectorsFor(qsizetype(streams.size() + 1) * DirectoryEntrySize);
    const quint32 content = directoryStart + directorySectors;

    // The FAT describes its own sectors and the DIFAT's, so its size depends on itself.
    quint32 fatSectors = 1;
    quint32 difatSectors = 0;
    for (;;) {
        difatSectors = fatSectors > quint32(HeaderDifatCount)
                           ? (fatSectors - HeaderDifatCount + perFatSector - 2) / (perFatSector - 1)
                           : 0;
        if (content + fatSectors + difatSectors <= fatSectors * perFatSector)
            break;
        ++fatSectors;
    }
    const quint32 fatStart = content;
    const quint32 difatStart = content + fatSectors;
    const quint32 total = difatStart + difatSectors;

    QByteArray out(qsizetype(total + 1) * WriterSectorSize, '\0');

    out.replace(0, sizeof Signature, QByteArray(Signature, sizeof Signature));
    put16(out, 0x18, 0x003E); // minor version
    put16(out, MajorVersionAt, MajorVersion3);
    put16(out, ByteOrderAt, ByteOrderMark);
    put16(out, SectorShiftAt, 9);
    put16(out, MiniSectorShiftAt, 6);
    put32(out, FatSectorCountAt, fatSectors);
    put32(out, FirstDirectorySectorAt, directoryStart);
    put32(out, MiniStreamCutoffAt, MiniStreamCutoff);
    put32(out, FirstMiniFatSectorAt, EndOfChain);
    put32(out, MiniFatSectorCountAt, 0);
    put32(out, FirstDifatSectorAt, difatSectors ? difatStart : EndOfChain);
    put32(out, DifatSectorCountAt, difatSectors);
    for (int i = 0; i < HeaderDifatCount; ++i)
        put32(out, HeaderDifatAt + 4 * i, quint32(i) < fatSectors ? fatStart + i : FreeSector);

    auto sectorAt = [](quint32 sector) { return qsizetype(sector + 1) * WriterSectorSize; };
    for (qsizetype i = 0; i < streams.size(); ++i) {
        const QByteArray &data = streams[i].second;
        std::memcpy(out.data() + sectorAt(starts[i]), data.constData(), size_t(data.size()));
    }

    // The streams hang from the root as a balanced tree in name order.
    std::vector<int> order(streams.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    std::sort(order.begin(), order.end(),
              [&](int a, int b) { return entryNameLess(streams[a].first, streams[b].first); });
    std::vector<quint32> left(streams.size(), NoStream);
    std::vector<quint32> right(streams.size(), NoStream);
    // Directory id of stream i is i + 1; the root is 0.
    auto build = [&](auto &&self, int from, int to) -> quint32 {
        if (from >= to)
            return NoStream;
        const int middle = (from + to) / 2;
        const int index = order[middle];
        left[index] = self(self, from, middle);
        right[index] = self(self, middle + 1, to);
        return quint32(index + 1);
    };
    const quint32 top = build(build, 0, int(order.size()));
    QByteArray directory =
        directoryEntry(QStringLiteral("Root Entry"), RootEntry, NoStream, NoStream, top, EndOfChain, 0);
    for (qsizetype i = 0; i < streams.size(); ++i)
        directory +=
            directoryEntry(streams[i].first, StreamEntry, left[i], right[i], NoStream, starts[i], sizes[i]);
    while (directory.size() < qsizetype(directorySectors) * WriterSectorSize)
        directory += directoryEntry(QString(), UnusedEntry, NoStream, NoStream, NoStream, 0, 0);
    std::memcpy(out.data() + sectorAt(directoryStart), directory.constData(), size_t(directory.size()));

    // Chains of consecutive sectors, then the FAT's and DIFAT's own marks; the
    // rest of the last FAT sector stays free.
    const qsizetype fatAt = sectorAt(fatStart);
    for (quint32 s = 0; s < fatSectors * perFatSector; ++s)
        put32(out, fatAt + 4 * qsizetype(s), FreeSector);
    auto markChain = [&](quint32 start, quint32 count) {
        for (quint32 s = start; s < start + count; ++s)
            put32(out, fatAt + 4 * qsizetype(s), s + 1 == start + count ? EndOfChain : s + 1);
    };
    for (qsizetype i = 0; i < streams.size(); ++i)
        markChain(starts[i], sectorsFor(sizes[i]));
    markChain(directoryStart, directorySectors);
    for (quint32 s = 0; s < fatSectors; ++s)
        put32(out, fatAt + 4 * qsizetype(fatStart + s), FatSector);
    for (quint32 s = 0; s < difatSectors; ++s)
        put32(out, fatAt + 4 * qsizetype(difatStart + s), DifatSector);

    // Each DIFAT sector names the next 127 FAT sectors and links to the next one.
    for (quint32 d = 0; d < difatSectors; ++d) {
        const qsizetype at = sectorAt(difatStart + d);
        for (quint32 i = 0; i < perFatSector - 1; ++i) {
            const quint32 index = HeaderDifatCount + d * (perFatSector - 1) + i;
            put32(out, at + 4 * qsizetype(i), index < fatSectors ? fatStart + index : FreeSector);
        }
        put32(out, at + 4 * qsizetype(perFatSector - 1),
              d + 1 < difatSectors ? difatStart + d + 1 : EndOfChain);
    }
    return out;
}

} // namespace quilla
