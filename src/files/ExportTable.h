#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace quilla {

class Progress;

// What an export writes: the cells a grid shows (hidden rows and columns left
// out), its header rows first, and the shown columns' widths.
struct ExportTable
{
    QList<QStringList> rows;
    int headerRows = 0;   // the first rows that are titles: filled and bold in a workbook
    QList<double> widths; // per column, in twips
};

// Why a writer did not write; the old file, if any, is left as it was.
enum class ExportFailure
{
    None,
    CannotWrite, // the file or its folder cannot be written, or the write failed
    TooLarge,    // more rows or columns than the format holds
};

// What a writer changed so that the file holds the table and opens safely; the
// export tells the operator.
struct ExportNotes
{
    int cutCells = 0;           // longer than a cell of the format holds: cut at its limit
    int replacedCharacters = 0; // the file's encoding has no place for them (half a surrogate pair)
    int formulaCells = 0;       // would run as formulas in a spreadsheet program: written as text
};

// The spreadsheet name of column n (1..702): 1 A, 26 Z, 27 AA, 52 AZ, 53 BA, 702 ZZ.
QString columnLetters(int column);

// Each writer builds the whole file under a temporary name beside path and
// puts it in place only when complete; notes, when given, says what it changed.
ExportFailure writeCsv(const ExportTable &table, const QString &path, Progress &progress,
                       ExportNotes *notes = nullptr);
ExportFailure writeXls(const ExportTable &table, const QString &path, const QString &sheetName,
                       Progress &progress, ExportNotes *notes = nullptr);
ExportFailure writeXlsx(const ExportTable &table, const QString &path, const QString &sheetName,
                        Progress &progress, ExportNotes *notes = nullptr);

} // namespace quilla
