#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <QIODevice>
#include <QList>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace quilla {

// The layout of an OLE2 compound file (the container of .xls files), shared by
// the reader below and any writer.
namespace cfb {

inline constexpr char Signature[8] = {'\xD0', '\xCF', '\x11', '\xE0', '\xA1', '\xB1', '\x1A', '\xE1'};
inline constexpr int HeaderSize = 512;
inline constexpr int HeaderDifatCount = 109;
inline constexpr int DirectoryEntrySize = 128;
inline constexpr int MiniSectorSize = 64;
inline constexpr quint32 MiniStreamCutoff = 4096;
inline constexpr quint16 ByteOrderMark = 0xFFFE;
inline constexpr quint16 MajorVersion3 = 3; // 512-byte sectors
inline constexpr quint16 MajorVersion4 = 4; // 4096-byte sectors

// Sector numbers with a meaning of their own.
inline constexpr quint32 MaxRegularSector = 0xFFFFFFFA;
inline constexpr quint32 DifatSector = 0xFFFFFFFC;
inline constexpr quint32 FatSector = 0xFFFFFFFD;
inline constexpr quint32 EndOfChain = 0xFFFFFFFE;
inline constexpr quint32 FreeSector = 0xFFFFFFFF;
inline constexpr quint32 NoStream = 0xFFFFFFFF;

// Header field offsets.
inline constexpr int MajorVersionAt = 0x1A;
inline constexpr int ByteOrderAt = 0x1C;
inline constexpr int SectorShiftAt = 0x1E;
inline constexpr int MiniSectorShiftAt = 0x20;
inline constexpr int FatSectorCountAt = 0x2C;
inline constexpr int FirstDirectorySectorAt = 0x30;
inline constexpr int MiniStreamCutoffAt = 0x38;
inline constexpr int FirstMiniFatSectorAt = 0x3C;
inline constexpr int MiniFatSectorCountAt = 0x40;
inline constexpr int FirstDifatSectorAt = 0x44;
inline constexpr int DifatSectorCountAt = 0x48;
inline constexpr int HeaderDifatAt = 0x4C;

// Directory entry field offsets.
inline constexpr int EntryNameLengthAt = 0x40;
inline constexpr int EntryTypeAt = 0x42;
inline constexpr int EntryColorAt = 0x43;
inline constexpr int EntryLeftAt = 0x44;
inline constexpr int EntryRightAt = 0x48;
inline constexpr int EntryChildAt = 0x4C;
inline constexpr int EntryStartSectorAt = 0x74;
inline constexpr int EntrySizeAt = 0x78;

enum EntryType : quint8
{
    UnusedEntry = 0,
    StorageEntry = 1,
    StreamEntry = 2,
    RootEntry = 5,
};

struct DirectoryEntry
{
    QString name;
    quint8 type = UnusedEntry;
    quint32 left = NoStream;
    quint32 right = NoStream;
    quint32 child = NoStream;
    quint32 startSector = EndOfChain;
    quint64 size = 0;
};

} // namespace cfb

class CompoundFile;

// One stream of a compound file, read through the file piece by piece. It lasts as
// long as the CompoundFile it came from.
class CompoundStream : public QIODevice
{
  public:
    qint64 size() const override { return m_size; }
    bool isSequential() const override { return false; }

  protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

  private:
    friend class CompoundFile;
    CompoundStream() = default;

    const CompoundFile *m_file = nullptr; // null: the stream is held in m_held
    std::vector<quint32> m_sectors;
    QByteArray m_held;
    qint64 m_size = 0;
};

// Reads the streams of a compound file through a device, never holding the file
// whole. A damaged file makes open() fail or a stream unreadable; every sector number
// and size is checked first.
class CompoundFile
{
  public:
    static bool hasSignature(const QByteArray &bytes);

    bool open(const QByteArray &bytes);
    // false also when the file cannot be read; fileError() tells the two apart.
    bool openFile(const QString &path);
    // device: open for reading, seekable; kept for reading the streams.
    bool openDevice(std::shared_ptr<QIODevice> device);
    bool fileError() const { return m_fileError; }
    bool isOpen() const { return m_open; }

    // The streams directly under the root storage, in directory order.
    QStringList streamNames() const;
    // The named stream (compared case-insensitively, as the format does); ok false
    // when missing or when its sector chain is damaged.
    QByteArray stream(const QString &name, bool *ok = nullptr) const;
    // The same read piece by piece; null when missing or damaged.
    std::unique_ptr<CompoundStream> openStream(const QString &name) const;

  private:
    friend class CompoundStream;
    bool readAt(qint64 at, char *out, qint64 length) const;
    bool readSector(quint32 sector, QByteArray &out) const;
    bool regularChain(quint32 start, quint64 size, std::vector<quint32> &sectors) const;
    bool chain(quint32 start, const std::vector<quint32> &table, quint64 limit,
               std::vector<quint32> &out) const;
    bool readRegular(quint32 start, quint64 size, QByteArray &out) const;
    bool readMini(quint32 start, quint64 size, QByteArray &out) const;
    int findStream(const QString &name) const;
    bool parse();

    std::shared_ptr<QIODevice> m_device;
    qint64 m_size = 0;
    int m_sectorSize = 512;
    quint32 m_sectorCount = 0;
    quint32 m_miniCutoff = cfb::MiniStreamCutoff;
    std::vector<quint32> m_fat;
    std::vector<quint32> m_miniFat;
    std::vector<cfb::DirectoryEntry> m_entries;
    std::vector<int> m_topStreams; // indices into m_entries
    QByteArray m_miniStream;
    bool m_open = false;
    bool m_fileError = false;
};

// A version 3 compound file (512-byte sectors) holding the streams under its root.
// Streams shorter than the mini-stream cutoff are padded with zero bytes up to it,
// so every stream lives in regular sectors and no mini stream is needed; BIFF
// readers stop at the last EOF record and never see the padding.
QByteArray buildCompoundFile(const QList<std::pair<QString, QByteArray>> &streams);

} // namespace quilla
