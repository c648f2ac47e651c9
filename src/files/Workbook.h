#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace quilla {

// A spreadsheet file opened for reading: its sheet names, and the text of its cells.
class Workbook
{
  public:
    virtual ~Workbook() = default;
    virtual QStringList sheetNames() const = 0;
    bool hasSheet(const QString &sheet) const { return sheetNames().contains(sheet); }
    // The text of cell (row, column) of the named sheet, both from 1; "" for an empty
    // cell, a cell past the data or an unknown sheet. Numbers give their shortest
    // decimal text (up to 15 significant digits), dates yyyy-MM-dd, booleans TRUE or
    // FALSE, a formula its cached result ("" for an error).
    virtual QString cellText(const QString &sheet, int row, int column) const = 0;
    // The last row that holds a text (formatting, or a formula giving "", does not
    // count); 0 when none.
    virtual int lastRow(const QString &sheet) const = 0;

    // visit(row, texts) for each row first..last (up to the last row with a text), in
    // order, blank rows too; texts[i] is the cell of columns[i]. Stops when visit
    // returns false. False when the sheet could not be read: the caller drops what
    // it was given, as a part of the rows must never pass for all of them.
    using RowVisitor = std::function<bool(int row, const QStringList &texts)>;
    virtual bool readRows(const QString &sheet, int first, int last, const QList<int> &columns,
                          const RowVisitor &visit) const;
};

// Why a workbook could not be opened, as the import reports it.
enum WorkbookError
{
    WorkbookOpened = 0,
    CannotOpenFile = 5, // missing or unreadable
    TooLargeToRead = 7, // past what is read: a cell's text, a record, the inflated size
    SheetNotFound = 9,  // reported by the callers that look a sheet up
    NotAWorkbook = 438, // neither an .xls nor an .xlsx inside (a renamed CSV or text file)
};

struct OpenedWorkbook
{
    std::unique_ptr<Workbook> book;
    int error = CannotOpenFile;
};

// Opens an .xls (compound file with a BIFF8 workbook) or an .xlsx (zip). The
// contents must match the name's extension; other names go by the contents.
OpenedWorkbook openWorkbook(const QString &path);

// The text of a number cell: shortest decimal with up to 15 significant digits
// (13812345678, 12.5, 1001, 0.3 for 0.1 + 0.2).
QString numberToText(double value);
// The text of a number cell formatted as a date: yyyy-MM-dd, counted from 1899-12-30.
QString dateText(double serial);

} // namespace quilla
