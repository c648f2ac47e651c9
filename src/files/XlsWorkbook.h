#pragma once

#include "Workbook.h"

#include <QByteArray>
#include <QHash>

#include <memory>
#include <vector>

namespace quilla {

// An .xls workbook (BIFF8 inside a compound file), read whole when opened.
class XlsWorkbook : public Workbook
{
  public:
    // The Workbook stream of the file; false when it is not BIFF8.
    bool load(const QByteArray &workbookStream);

    QStringList sheetNames() const override { return m_names; }
    QString cellText(const QString &sheet, int row, int column) const override;
    int lastRow(const QString &sheet) const override;

  private:
    struct Sheet
    {
        QHash<quint32, QString> cells; // (row << 8 | column), both from 0
        int lastRow = 0;
    };
    const Sheet *findSheet(const QString &name) const;

    QStringList m_names;
    std::vector<Sheet> m_sheets;
};

// The workbook in the bytes of an .xls file; error is NotAWorkbook when they are no
// compound file, hold no Workbook (or Book) stream, or that stream is not BIFF8.
std::unique_ptr<Workbook> OpenXlsWorkbook(const QByteArray &bytes, int &error);

} // namespace quilla
