#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace quilla {

class Database;
class PhoneServer;

// 文件 → 现场签到…: the phone pages' server for one draw, its address as a QR code
// and as text, and how many have checked in by phone. The server runs from 开始
// until 停止 (or the program ends); closing the window leaves it running.
class PhoneCheckInWindow : public QDialog
{
    Q_OBJECT

  public:
    PhoneCheckInWindow(Database &db, QWidget *parent = nullptr);
    ~PhoneCheckInWindow() override;

    // The draw the pages serve; itemText as the draw chooser gives it. Not while running.
    void setDraw(const QString &itemText);
    bool isRunning() const;
    void start();
    void stop();
    PhoneServer &server() { return *m_server; }
    // Puts the QR code in the bottom right corner of a draw screen being opened, when
    // the operator asked for it and the server runs; it goes when the server stops.
    void showOnStage(QWidget *screen);

  Q_SIGNALS:
    // Started or stopped: the menu says whether it is on.
    void runningChanged(bool running);

  private:
    void showState();

    Database &m_db;
    PhoneServer *m_server;
    qint64 m_drawId = 0;
    QLabel *m_draw;
    QComboBox *m_addresses;
    QPushButton *m_toggle;
    QLabel *m_code;
    QLabel *m_address;
    QLabel *m_count;
    QCheckBox *m_onStage;
    QString m_failure;
};

} // namespace quilla
