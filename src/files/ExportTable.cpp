#include "ExportTable.h"

#include <cmath>

namespace quilla {

QString columnLetters(int column)
{
    if (column < 1 || column > 702)
        return {};
    const int q = int(std::floor((column - 0.5) / 26));
    const int m = column - 26 * q;
    QString letters;
    if (q > 0)
        letters += QChar(u'A' + q - 1);
    if (m > 0)
        letters += QChar(u'A' + m - 1);
    return letters;
}

} // namespace quilla
