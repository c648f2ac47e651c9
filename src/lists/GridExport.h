#pragma once

#include "files/ExportTable.h"

#include <QString>

#include <functional>

class QTableView;
class QWidget;

namespace quilla {

class Progress;
class Prompt;

// The rows a list holds, all of them read: a title row ("序号" and the shown columns'
// titles), then each row's number and shown cells.
ExportTable tableOfView(const QTableView &view);

// Chooses a file name: returns the path ("" when cancelled) for filter and the
// filter the user picked. The default is Qt's save dialog.
using SaveFileChooser = std::function<QString(const QString &filter, QString *selectedFilter)>;

// The whole export of a list: the save dialog, the question before replacing a
// file, the writer by the name's extension (.csv CSV, .xlsx XLSX, anything else
// XLS), and a word on what was written. True when the file was written.
bool exportView(const QTableView &view, Prompt &prompt, Progress &progress, const QString &sheetName,
                QWidget *parent = nullptr, const SaveFileChooser &chooseFile = {});
// A participant list to fill in: the titles 抽奖号码 and 姓名 and two example rows,
// which the import maps by their titles.
bool exportParticipantTemplate(Prompt &prompt, Progress &progress, QWidget *parent = nullptr,
                               const SaveFileChooser &chooseFile = {});

} // namespace quilla
