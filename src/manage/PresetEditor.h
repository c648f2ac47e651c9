#pragma once

#include "engine/PresetStore.h"

#include <QSet>
#include <QWidget>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace quilla {

class Database;
class RecordModel;
class RecordView;
class Progress;

// The preset editor: for one prize of one draw, the participants who are to win
// it, ticked in the list of the draw's participants and stored in 预设表; and the
// choice whether a draw's presets are cleared once its draw screen closes. A
// modeless window of its own, which can stay open while a draw runs: the draw it
// shows is its own choice, never the draw being run. Its owner deletes it once
// it has closed.
class PresetEditor : public QWidget
{
    Q_OBJECT

  public:
    PresetEditor(Database &db, Progress &progress, QWidget *parent = nullptr);

    // The draw whose participants are listed, and the prize whose marks they show (0: none).
    qint64 chosenDrawId() const { return m_drawId; }
    qint64 chosenPrizeId() const { return m_prizeId; }
    // The marks differ from what was stored.
    bool marksModified() const { return m_marksModified; }
    // Shows the stored marks again unless the operator has changed them: closing
    // the draw screen may have cleared the presets.
    void refreshMarks();

    // The draw a draw screen is running now (0: none). Its presets were read when the
    // screen opened: changes made meanwhile count from its next opening.
    std::function<qint64()> runningDraw;

  Q_SIGNALS:
    // Emitted from the close event: delete the window later, not in the slot.
    void closed();

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

  private Q_SLOTS:
    void confirm();
    void clearPrizePresets();
    void storeClearAfterDraw();

  private:
    void chooserPicked(QComboBox *chooser);
    void showDraw(qint64 drawId);
    void showPrize(qint64 prizeId);
    void loadMarks();
    bool saveMarks();
    void markPressed(int row, bool extend);
    void markAll();
    // Tells the operator of those just marked who won already and so will not be preset.
    void warnOutOfPlay(const QSet<PresetPerson> &before);
    void noteRunningDraw();
    PresetPerson personAt(int row) const;

    Database &m_db;
    QComboBox *m_drawChooser;
    QComboBox *m_prizeChooser;
    RecordModel *m_model;
    RecordView *m_participantsView;
    QCheckBox *m_clearAfterDraw;
    qint64 m_drawId = 0;
    qint64 m_prizeId = 0;
    QSet<PresetPerson> m_marked;
    int m_anchorRow = -1;            // the row of the last mark, where a Shift-press extends from
    bool m_marksModified = false;
    bool m_marksRead = false;        // the chosen prize's presets were read: its marks may change
    DrawParticipants m_participants; // of the draw shown
    QString m_storedChk; // the text of "ReSet"/"CHK" as last read or written
    qint64 m_toldRunning = 0; // the running draw the operator was told about
};

} // namespace quilla
