#include "Workbook.h"

#include "XlsWorkbook.h"
#include "XlsxWorkbook.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace quilla {

bool Workbook::readRows(const QString &sheet, int first, int last, const QList<int> &columns,
                        const RowVisitor &visit) const
{
    if (!hasSheet(sheet))
        return false;
    last = std::min(last, lastRow(sheet));
    QStringList texts(columns.size());
    for (int row = std::max(first, 1); row <= last; ++row) {
        for (qsizetype i = 0; i < columns.size(); ++i)
            texts[i] = cellText(sheet, row, columns.at(i));
        if (!visit(row, texts))
            break;
    }
    return true;
}

OpenedWorkbook openWorkbook(const QString &path)
{
    OpenedWorkbook opened;
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        opened.error = CannotOpenFile;
        return opened;
    }
    // The contents must be what the name says: an .xlsx renamed .xls, or a CSV
    // renamed either, is not taken for a workbook.
    const QByteArray start = file.peek(8);
    const bool zip = start.startsWith("PK\x03\x04");
    const bool compound = start == QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (zip && suffix != u"xls") {
        file.close();
        opened.book = openXlsxWorkbook(path, opened.error);
    } else if (compound && suffix != u"xlsx") {
        file.close();
        opened.book = openXlsWorkbook(path, opened.error);
    } else {
        opened.error = NotAWorkbook;
    }
    if (!opened.book && opened.error == WorkbookOpened)
        opened.error = NotAWorkbook;
    return opened;
}

QString numberToText(double value)
{
    if (value == 0 || !std::isfinite(value))
        return QStringLiteral("0");
    // 15 significant digits: what a spreadsheet shows, and no binary noise (0.1 + 0.2 is 0.3).
    return QString::number(value, 'g', 15);
}

QString dateText(double serial)
{
    return QDate(1899, 12, 30).addDays(qint64(std::floor(serial))).toString(QStringLiteral("yyyy-MM-dd"));
}

} // namespace quilla
