#pragma once

#include "Workbook.h"

#include <QHash>
#include <QList>

namespace quilla {

// An .xlsx workbook (Office Open XML in a zip). Every sheet is read and indexed when
// the file opens, so cellText is a look-up and a damaged part shows at once.
class XlsxWorkbook : public Workbook
{
  public:
    QStringList sheetNames() const override { return m_names; }
    QString cellText(const QString &sheet, int row, int column) const override;
    int lastRow(const QString &sheet) const override;

  private:
    friend std::unique_ptr<Workbook> OpenXlsxWorkbook(const QString &path, int &error);

    struct Cell
    {
        quint64 key; // row and column, see cellKey
        QString text;
    };
    // Cells sorted by key, and where each row's cells start and end. A hash of rows
    // rather than of cells: building one of 650 000 cells took longer than the reading.
    struct Sheet
    {
        QList<Cell> cells; // empty texts are not kept
        QHash<int, QPair<qsizetype, qsizetype>> rows;
        int lastRow = 0;
        void index();
        QString text(int row, int column) const;
    };
    static quint64 cellKey(int row, int column) { return quint64(row) << 16 | quint64(column); }

    QStringList m_names;
    QHash<QString, int> m_indexOf; // sheet name -> index in m_sheets
    QList<Sheet> m_sheets;
};

// Opens the .xlsx at path. error becomes WorkbookOpened, CannotOpenFile (missing or
// unreadable) or NotAWorkbook (not a zip, no xl/workbook.xml, or a damaged part);
// the result is null unless the workbook opened.
std::unique_ptr<Workbook> OpenXlsxWorkbook(const QString &path, int &error);

} // namespace quilla
