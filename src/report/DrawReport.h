#pragma once

#include <QString>

namespace quilla {

class Database;
class Progress;

// The record of a draw for the organisers: the draw and its settings; per prize
// in drawing order its winners with the time of the round that drew them and
// the people in play then; the deletions and redraws; and a summary. Empty
// when a read failed: a part of the record must not pass for all of it.
QString drawReportHtml(Database &db, qint64 drawId);
// Writes the record as PDF (fonts embedded), or as HTML when path ends in
// .html or .htm. False with why; nothing half written is left at path.
// The rows are read on the calling thread, the file is made on a worker while
// progress tells how far it is.
bool writeDrawReport(Database &db, qint64 drawId, const QString &path, QString &why, Progress &progress);
bool writeDrawReport(Database &db, qint64 drawId, const QString &path, QString &why);

} // namespace quilla
