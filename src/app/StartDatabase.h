#pragma once

#include <QString>

namespace quilla {

class Prompt;

// Which database the program opens at start. Beside the program unless it is installed
// or its folder is read-only, as Database::choosePath decides. A copy run from a
// read-only folder (a zip on a share or a disc) says so, keeps its draws in a folder of
// its own under the user's, apart from an installed copy's, and offers the file beside
// it: copied there, or opened read-only.
QString chooseStartDatabase(Prompt &prompt, const QString &programFolder, const QString &userFolder);

} // namespace quilla
