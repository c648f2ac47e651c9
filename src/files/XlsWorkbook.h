#pragma once

#include "StreamedWorkbook.h"

#include <QByteArray>
#include <QDateTime>

#include <memory>
#include <vector>

class QIODevice;

namespace quilla {

class CompoundFile;

// An .xls workbook (BIFF8 inside a compound file). Opening reads the shared strings
// and formats, and goes through every sheet once to learn its last row and where its
// rows start; cells are read again when asked for, from the rows asked for on.
class XlsWorkbook : public StreamedWorkbook
{
  public:
    // A file past this is refused as too large to read (TooLargeToRead).
    static constexpr qsizetype MaxSharedCharacters = qsizetype(1) << 27;

    XlsWorkbook();
    ~XlsWorkbook() override;
    // The Workbook stream of a file, held in memory; false when it is not BIFF8.
    bool load(const QByteArray &workbookStream);

    struct Globals; // the shared strings and formats the cells refer to

  protected:
    bool scan(int sheet, int from, const CellVisitor &visit) const override;
    bool unchanged() const override;

  private:
    friend std::unique_ptr<Workbook> openXlsWorkbook(const QString &path, int &error);
    friend std::unique_ptr<Workbook> openXlsWorkbook(const QByteArray &bytes, int &error);
    // The stream read through the device; error is set when not BIFF8.
    bool load(std::unique_ptr<QIODevice> stream, int &error);

    std::shared_ptr<CompoundFile> m_file; // what m_stream reads from, when it is a file
    std::unique_ptr<QIODevice> m_stream;
    QString m_path; // the file, checked for changes before each read
    qint64 m_fileSize = 0;
    QDateTime m_modified;

    std::unique_ptr<Globals> m_globals;
    struct Sheet
    {
        quint32 offset = 0;         // of its BOF in the stream
        std::vector<qint64> blocks; // where each block of rows starts, when the rows come in order
    };
    std::vector<Sheet> m_sheets;
};

// The workbook in the bytes of an .xls file; error is NotAWorkbook when they are no
// compound file, hold no Workbook (or Book) stream, or that stream is not BIFF8.
std::unique_ptr<Workbook> openXlsWorkbook(const QByteArray &bytes, int &error);
// The same read from the file piece by piece, never whole; error is CannotOpenFile
// when it cannot be read, and TooLargeToRead past the limit above.
std::unique_ptr<Workbook> openXlsWorkbook(const QString &path, int &error);

} // namespace quilla
