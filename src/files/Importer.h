#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace quilla {

class Database;
class Progress;
class Workbook;

// What an import returns besides 0 (done) and the workbook codes (5 the file
// cannot be opened, 9 no such sheet). The operator has been told already.
enum ImportError
{
    ImportDone = 0,
    ImportNoDraw = -1,     // no draw chosen: nothing written
    ImportNotWritten = -2, // a write or the commit failed: nothing written
};

// The column a mapping item names: "A" = 1, "AA" = 27, "ZZ" = 702. Blanks around
// and case do not matter, full-width letters count as their ASCII forms. Three or
// more characters give 0 (no column); a digit or other non-letter gives 1;
// an empty item gives 0.
int columnIndex(const QString &letters);

// Mapping entries as typed: Chinese quotes and commas become ASCII ones, blanks
// around go, and one leading and one trailing "," are dropped.
QStringList normaliseMapping(const QStringList &mapping);

// The message for an import's failure code.
QString importErrorMessage(int code);

// Mapping: entry 0 makes the participant's 号码, entry 1 the 姓名. An entry is a
// list of items separated by ","; the value is the items' texts joined: a quoted
// item ("…") gives its text, column letters the text of that column of the row.
// A line feed in a value shows as "//".
//
// Both importers append one row of 号码表 per input row first..last (from 1) for
// drawId, all in one transaction: every row or none. They return 0 or an
// ImportError / workbook code, after showing the failure through db.prompt().
// Given collected, they write nothing and gather the rows' (number, name) there.

// Rows are records of the CSV file: a record whose quoted text spans lines is one
// row. An empty line counts as a row but adds nothing. A record too long to read
// (CsvReader::MaxRecordLength) refuses the whole file: TooLargeToRead.
int importCsvRows(Database &db, Progress &progress, qint64 drawId, const QString &path, int first, int last,
                  const QStringList &mapping, QList<QStringList> *collected = nullptr);
// Rows are sheet rows, read a row at a time and only the mapped columns, up to the
// last one holding a text; blank rows before it are imported as empty participants.
// A file changed since the book was opened imports nothing: CannotOpenFile.
int importWorkbookRows(Database &db, Progress &progress, qint64 drawId, const Workbook &book,
                       const QString &sheet, int first, int last, const QStringList &mapping,
                       QList<QStringList> *collected = nullptr);

// The first rows records of a CSV file, each as its fields from column A; an
// empty line gives an empty list. Nothing when the file cannot be read.
QList<QStringList> previewCsv(const QString &path, int rows);

} // namespace quilla
