#pragma once

#include <QFile>
#include <QString>

namespace quilla {

// What it takes for a written file, or a new name, to survive a power cut. On a
// failure the system's reason is left for qt_error_string().

// Writes the file's data to the disk; false when the disk says it failed.
bool syncFile(QFile &file);
// Makes a rename or removal in the folder lasting. False only when the disk says the
// write failed: a folder that cannot be opened, or a system that has no folder
// sync (Windows), is no failure.
bool syncFolder(const QString &folder);
// Renames from to to, replacing a file there, which passes its permissions on.
bool moveOver(const QString &from, const QString &to);
// Whether files can be made in the folder by this user.
bool canWriteIn(const QString &folder);
// Whether another program holds the file open in a way that keeps it from being
// replaced (Excel or WPS with the workbook open, on Windows). Linux never keeps an
// open file from being replaced: always false there.
bool heldOpenElsewhere(const QString &path);
// Whether two paths name one file on disk (the same device and file number), however
// they are spelt: a symlink, a second hard link, a folder reached twice. False when
// either is missing.
bool sameFile(const QString &a, const QString &b);

} // namespace quilla
