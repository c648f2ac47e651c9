#pragma once

#include <QDialog>
#include <QString>

class QComboBox;
class QPushButton;

namespace quilla {

class Database;

// Asks which draw setting to run. Modal, so that no second draw can start meanwhile.
class DrawChooser : public QDialog
{
    Q_OBJECT

  public:
    // offered: the draw shown first (the one last run or edited); else the newest.
    explicit DrawChooser(Database &db, qint64 offered = 0, QWidget *parent = nullptr);

    // The chosen item's whole text ("key‖name"); empty when the operator
    // cancelled, closed the window or had no draw to choose.
    QString chosenDrawText() const { return m_chosen; }

  private:
    QComboBox *m_draws;
    QString m_chosen;
};

} // namespace quilla
