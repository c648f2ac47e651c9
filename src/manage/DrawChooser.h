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
    explicit DrawChooser(Database &db, QWidget *parent = nullptr);

    // The chosen item's whole text ("key‖name"); empty when the operator
    // cancelled, closed the window or had no draw to choose.
    QString ChosenDrawText() const { return m_chosen; }

    QComboBox *TT;
    QPushButton *Com[2]; // Com[1] accepts, Com[0] cancels

  private:
    QString m_chosen;
};

} // namespace quilla
