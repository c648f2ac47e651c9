#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace quilla {

class Database;
class Grid;
class Progress;
class Workbook;

// Where the participants are in the chosen file: a preview of its first rows, the
// range of rows to import and the columns (or quoted texts) that make up the
// number and the name. Confirming imports; the range and the mapping are kept
// for the next time. Modal.
class ImportMapping : public QDialog
{
    Q_OBJECT

  public:
    // book and sheet for a workbook; book null for a CSV file.
    ImportMapping(Database &db, Progress &progress, qint64 drawId, const QString &file, const Workbook *book,
             const QString &sheet, QWidget *parent = nullptr);

    // 0 after a successful import, else the importer's error code (-1 before confirming).
    int importResult() const { return m_result; }

    Grid *M0 = nullptr;
    QTableWidget *M1 = nullptr;
    QLineEdit *T[2] = {};
    QPushButton *Com[2] = {};

    void done(int code) override;

  private:
    void preview();
    void confirm();
    void commitTyping();

    Database &m_db;
    Progress &m_progress;
    qint64 m_drawId;
    QString m_file;
    const Workbook *m_book;
    QString m_sheet;
    int m_result = -1;
};

} // namespace quilla
