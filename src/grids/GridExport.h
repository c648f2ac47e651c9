#pragma once

#include "files/ExportTable.h"

#include <QString>

#include <functional>

class QWidget;

namespace quilla {

class Grid;
class Progress;
class Prompt;

// The cells a grid shows: hidden rows (the field-spec row) and hidden columns
// (the record keys) left out; the fixed rows are the header.
ExportTable TableOfGrid(const Grid &grid);

// Chooses a file name: returns the path ("" when cancelled) for filter and the
// filter the user picked. The default is Qt's save dialog.
using SaveFileChooser = std::function<QString(const QString &filter, QString *selectedFilter)>;

// The whole export of a grid: the save dialog, the question before replacing a
// file, and the writer by the name's extension (.csv CSV, .xlsx XLSX, anything
// else XLS). True when the file was written.
bool ExportGrid(const Grid &grid, Prompt &prompt, Progress &progress, const QString &sheetName,
                QWidget *parent = nullptr, const SaveFileChooser &chooseFile = {});

} // namespace quilla
