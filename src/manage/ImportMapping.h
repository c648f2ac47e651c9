#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace quilla {

class Database;
class Progress;
class Workbook;

// Where the participants are in the chosen file: a preview of its first rows, the
// range of rows to import and the columns (or quoted texts) that make up the
// number and the name. Confirming imports; the first row and the mapping are kept
// for the next time, the range ends at the file's last row unless changed. Modal.
class ImportMapping : public QDialog
{
    Q_OBJECT

  public:
    // book and sheet for a workbook; book null for a CSV file.
    ImportMapping(Database &db, Progress &progress, qint64 drawId, const QString &file, const Workbook *book,
                  const QString &sheet, QWidget *parent = nullptr);

    // 0 after a successful import, else the importer's error code (-1 before confirming).
    int importResult() const { return m_result; }
    // Reads a check-in list instead: the rows' numbers (and names) are checked in,
    // nothing is added to the draw.
    void readCheckInList();

    void done(int code) override;

  private Q_SLOTS:
    void confirm();

  private:
    void preview();
    void followTitles();
    void commitTyping();
    QString mappingText(int row) const;
    void checkIn(int first, int last, const QStringList &mapping);

    Database &m_db;
    Progress &m_progress;
    qint64 m_drawId;
    QString m_file;
    const Workbook *m_book;
    QString m_sheet;
    int m_fileRows = 0;
    int m_result = -1;
    bool m_checkInList = false;
    QTableWidget *m_preview;
    QLineEdit *m_firstRow;
    QLineEdit *m_lastRow;
    QTableWidget *m_mapping; // a row each for the number and the name, the column letters beside
};

} // namespace quilla
