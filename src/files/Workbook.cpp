#include "Workbook.h"

#include <QDate>

#include <cmath>

namespace quilla {

QString NumberText(double value)
{
    if (value == 0 || !std::isfinite(value))
        return QStringLiteral("0");
    // 15 significant digits: what a spreadsheet shows, and no binary noise (0.1 + 0.2 is 0.3).
    return QString::number(value, 'g', 15);
}

QString DateText(double serial)
{
    return QDate(1899, 12, 30).addDays(qint64(std::floor(serial))).toString(QStringLiteral("yyyy-MM-dd"));
}

} // namespace quilla
