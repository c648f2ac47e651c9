#pragma once

#include <QtGlobal>

namespace quilla {

class Database;

// The name of the draw that shows a newcomer the program; it says it is a sample.
inline constexpr const char16_t SampleDrawName[] = u"示例抽奖";

// A draw to try the program with: three prizes and 200 made-up people (names put
// together from common characters, not taken from anyone), in one transaction.
// Returns its id, or 0 when it could not be stored (the file is as it was).
qint64 createSampleDraw(Database &db);

} // namespace quilla
