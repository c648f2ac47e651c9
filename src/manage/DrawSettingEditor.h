#pragma once

#include <QWidget>

#include <functional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace quilla {

class Database;
class Music;

// The editor of one draw setting (a row of 奖次表): its name, scroll speed,
// timed stop, fixed length, mask, background picture and three pieces of
// music. A modeless window of its own; whoever opens it deletes it.
class DrawSettingEditor : public QWidget
{
    Q_OBJECT

  public:
    DrawSettingEditor(Database &db, Music &music, QWidget *parent = nullptr);

    // The key of the setting edited: 0 = a new one; a key > 0 loads that row.
    void setID(qint64 id);
    qint64 ID() const { return m_id; }

    // The open-file dialog: takes a filter "description|pattern|…", gives the
    // chosen path or "" when cancelled.
    std::function<QString(const QString &filter)> chooseFile;

    QGroupBox *Frame1; // 抽奖设置
    QGroupBox *Frame2; // 背景音乐
    QLabel *Label1[12];
    QLineEdit *TT[5]; // 0 background, 1 mask, 2 timed stop, 3 fixed length, 4 name
    QScrollBar *HS;   // speed
    QLabel *LBL;      // "快" at the fast end of HS
    QCheckBox *CK[2]; // timed stop, fixed length
    QLineEdit *Mus[3];
    // 0 browse picture, 1 confirm, 2 cancel, 3..5 browse music, 6..8 preview, 9 stop preview
    QPushButton *Com[10];
    QLabel *Img; // thumbnail of the background picture

  Q_SIGNALS:
    void closed(); // whenever the window closes, saved or not

  protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

  private:
    void buildLayout();
    void ID_Change();
    void CK_Click(int index);
    void Com_Click(int index);
    void TT_Change(int index);
    void TMusic_Timer();
    bool save();

    Database &m_db;
    Music &m_music;
    qint64 m_id = 0;
    bool m_centred = false;
};

} // namespace quilla
