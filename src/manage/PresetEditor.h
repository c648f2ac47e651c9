#pragma once

#include "engine/PresetStore.h"
#include "grids/GridPresenter.h"

#include <QSet>
#include <QWidget>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace quilla {

class Database;
class Grid;
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
    qint64 ChosenDrawId() const { return m_drawId; }
    qint64 ChosenPrizeId() const { return m_prizeId; }
    // The marks differ from what was stored.
    bool MarksModified() const { return m_marksModified; }
    // Shows the stored marks again unless the operator has changed them: closing
    // the draw screen may have cleared the presets.
    void RefreshMarks();

    // The draw a draw screen is running now (0: none). Its presets were read when the
    // screen opened: changes made meanwhile count from its next opening.
    std::function<qint64()> runningDraw;

    QLabel *Label1[2];
    QComboBox *CMB[2]; // 0 draw, 1 prize
    Grid *MSF;
    QPushButton *Com[2]; // 0 confirm, 1 clear the prize's presets
    QCheckBox *Chk;

  Q_SIGNALS:
    // Emitted from the close event: delete the window later, not in the slot.
    void closed();

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

  private:
    void CMB_Click(int index);
    void showDraw(qint64 drawId);
    void showPrize(qint64 prizeId);
    void layOutGrid();
    void LoadMarks();
    bool SaveMarks();
    void clearMarks();
    void MSF_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, double x, double y);
    void Com_Click(int index);
    void storeChk();
    void noteRunningDraw();
    // The participants the grid lists with a number; known again after each fill.
    const QSet<PresetPerson> &listedPeople();

    Database &m_db;
    GridPresenter m_presenter;
    qint64 m_drawId = 0;
    qint64 m_prizeId = 0;
    bool m_marksModified = false;
    bool m_marksRead = false;        // the chosen prize's presets were read: its marks may change
    DrawParticipants m_participants; // of the draw shown
    QSet<PresetPerson> m_listed;
    bool m_listedValid = false;
    QString m_storedChk; // the text of "ReSet"/"CHK" as last read or written
    qint64 m_toldRunning = 0; // the running draw the operator was told about
};

} // namespace quilla
