#pragma once

#include "Workbook.h"

#include <QHash>
#include <QList>

#include <functional>

namespace quilla {

// Texts one after another in one string, each found by where it ends: the shared
// strings of a workbook cost two bytes a character and four a string.
class StringPool
{
  public:
    qsizetype size() const { return m_ends.size(); }
    QStringView at(qsizetype index) const
    {
        const qsizetype begin = index == 0 ? 0 : m_ends.at(index - 1);
        return QStringView(m_text).sliced(begin, m_ends.at(index) - begin);
    }
    void reserve(qsizetype characters) { m_text.reserve(characters); }
    void append(QStringView text)
    {
        m_text += text;
        m_ends.append(quint32(m_text.size()));
    }
    qsizetype characters() const { return m_text.size(); }

  private:
    QString m_text;
    QList<quint32> m_ends;
};

// A workbook whose cells are read again from its file whenever they are asked for:
// only each sheet's shape is kept from the opening, so a large file costs little
// memory however many cells it has. A file changed or removed since it was opened
// reads as empty.
class StreamedWorkbook : public Workbook
{
  public:
    QStringList sheetNames() const override { return m_names; }
    QString cellText(const QString &sheet, int row, int column) const override;
    int lastRow(const QString &sheet) const override;
    bool readRows(const QString &sheet, int first, int last, const QList<int> &columns,
                  const RowVisitor &visit) const override;

    // A cell met by a scan; its text is worked out only when asked for.
    class Cell
    {
      public:
        virtual QString text() const = 0;
        // No text: an error, an empty string, a formula giving "".
        virtual bool isEmpty() const = 0;

      protected:
        ~Cell() = default;
    };
    // What the first cells of all sheets together keep at most.
    static constexpr qsizetype FirstCellsBudget = qsizetype(1) << 22;
    // Called for each cell holding a value; false stops the scan.
    using CellVisitor = std::function<bool(int row, int column, const Cell &cell)>;

    // The cells are read in blocks of this many rows and columns.
    static constexpr int WindowRows = 32;
    static constexpr int WindowColumns = 64;

    // What the opening learns of a sheet, going through all its cells once.
    class SheetShape
    {
      public:
        // To be called for each cell of the sheet in file order. A cell whose text is
        // empty is no data, whatever stored it (a formula giving "" dragged down a column).
        // charactersLeft is what the first cells of all sheets may still keep: a few
        // cells can name one long shared string many times over.
        void note(int row, int column, const Cell &cell, qsizetype &charactersLeft);

        int lastRow = 0;     // of the last cell with a text
        bool ordered = true; // rows come in order, so a scan may stop past the rows it needs
        // The texts of the first block of cells (by row and column from 0: row *
        // WindowColumns + column), which the preview asks for first; when no text
        // lies outside it, all the sheet's rows are read from here too.
        QHash<int, QString> firstCells;
        bool firstCellsKept = true; // false past the budget: the sheet is read again then
        bool textsBeyondFirstCells = false;

      private:
        int m_previousRow = 0;
    };

  protected:
    explicit StreamedWorkbook(int maxColumns) : m_maxColumns(maxColumns) {}

    void addSheet(const QString &name, const SheetShape &shape);
    // Goes through the cells of the sheet in file order, skipping what comes before
    // row from where the format allows it. False when the file can no longer be read
    // as it was when opened.
    virtual bool scan(int sheet, int from, const CellVisitor &visit) const = 0;
    // Whether the file is still the one opened: what the opening kept of it counts
    // only then.
    virtual bool unchanged() const = 0;

  private:
    int indexOf(const QString &sheet) const;
    // readRows for a sheet whose texts all lie in its first cells.
    bool readFirstCells(int index, int first, int last, const QList<int> &columns,
                        const RowVisitor &visit) const;

    int m_maxColumns;
    QStringList m_names;
    QList<SheetShape> m_shapes;
    // The block of cells asked for last, read in one scan: the import preview asks
    // for the first rows cell by cell.
    struct Window
    {
        int sheet = -1;
        int row = 0;
        int column = 0;
        QList<QString> texts;
    };
    mutable Window m_window;
};

} // namespace quilla
