#pragma once

#include "StreamedWorkbook.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace quilla {

// An .xlsx workbook (Office Open XML in a zip). Opening reads every part once,
// streamed from the zip, to check it and to learn each sheet's last row; cells are
// read again when asked for.
class XlsxWorkbook : public StreamedWorkbook
{
  public:
    // A file past these is refused as too large to read (TooLargeToRead).
    static constexpr qint64 MaxInflated = qint64(1) << 30;               // bytes of all parts
    static constexpr qsizetype MaxSharedStrings = qsizetype(1) << 22;    // 4 Mi strings
    static constexpr qsizetype MaxSharedCharacters = qsizetype(1) << 25; // 32 Mi characters
    static constexpr int MaxCellText = 32767;                            // a spreadsheet cell's limit

  protected:
    bool scan(int sheet, int from, const CellVisitor &visit) const override;
    bool unchanged() const override;

  private:
    XlsxWorkbook();
    friend std::unique_ptr<Workbook> openXlsxWorkbook(const QString &path, int &error);

    struct SheetPart
    {
        QString entry;       // in the zip; empty for a sheet without cells (a chart)
        qint64 inflated = 0; // its size when read at the opening
    };

    QString m_path;
    qint64 m_fileSize = 0;
    QDateTime m_modified;
    QList<SheetPart> m_parts;
    StringPool m_strings;
    QList<bool> m_dateStyles; // per cell style: whether it shows numbers as dates
    double m_dateOffset = 0;  // 1462 for workbooks counted from 1904
};

// Opens the .xlsx at path. error becomes WorkbookOpened, CannotOpenFile (missing or
// unreadable), NotAWorkbook (not a zip, no xl/workbook.xml, a damaged part, a row or
// column past the format's limits) or TooLargeToRead (past the limits above, or a
// cell's text longer than a cell holds); the result is null unless the workbook opened.
std::unique_ptr<Workbook> openXlsxWorkbook(const QString &path, int &error);

} // namespace quilla
