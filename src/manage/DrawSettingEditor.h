#pragma once

#include <QWidget>

#include <array>
#include <functional>

class QCheckBox;
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

  Q_SIGNALS:
    void closed(); // whenever the window closes, saved or not

  protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

  private Q_SLOTS:
    void browseBackground();
    void browseMusic(int piece);
    void listen(int piece);
    void stopListening();
    void saveAndClose();
    void showThumbnail();
    void musicStatusChanged();

  private:
    void buildLayout();
    void load();
    // An unticked box means "none", so its field is locked at 0 and stores 0.
    static void lockUnlessTicked(QCheckBox *box, QLineEdit *field);
    bool save();

    Database &m_db;
    Music &m_music;
    qint64 m_id = 0;
    bool m_centred = false;
    // The speed as stored; kept as it is unless the operator moves the bar, since the bar
    // cannot show every stored value.
    qint64 m_storedSpeed = -1;
    bool m_speedMoved = false;

    QLineEdit *m_name;
    QScrollBar *m_speed;
    QCheckBox *m_timedStop;
    QLineEdit *m_stopSeconds;
    QCheckBox *m_fixedLength;
    QLineEdit *m_length;
    QCheckBox *m_checkedInOnly;
    QLineEdit *m_mask;
    QLineEdit *m_background;
    QPushButton *m_browseBackground;
    QLabel *m_thumbnail;
    std::array<QLineEdit *, 3> m_musicFiles;    // waiting, drawing, winning
    std::array<QPushButton *, 3> m_browseMusic; // beside each music file
    std::array<QPushButton *, 3> m_listen;
    QPushButton *m_stopMusic;
    QPushButton *m_ok;
    QPushButton *m_cancel;
};

} // namespace quilla
