#pragma once

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>

class QDialog;
class QMenu;
class QLabel;
class QTimer;
class QPushButton;
class QTabWidget;

namespace quilla {

class Database;
class DatabaseActions;
class DrawEngine;
class DrawScreen;
class DrawSettingEditor;
class DrawsPanel;
class Music;
class ParticipantEntry;
class ParticipantsPanel;
class PhoneCheckInWindow;
class PresetEditor;
class PrizeEditor;
class PrizesPanel;
class Progress;
class RecordView;
class ResultsPanel;
class Workbook;

// The operator's home: the draws, a draw's prizes, participants and results on
// tabs (each a panel with its buttons and list), the help, and the start button.
// Closing it ends the program.
class ManagementWindow : public QMainWindow
{
    Q_OBJECT

  public:
    ManagementWindow(Database &db, DrawEngine &engine, Progress &progress, Music &music, QWidget *parent = nullptr);
    ~ManagementWindow() override;

    // How the draw to run is chosen: the modal chooser unless a test replaces it. It is
    // given the draw to offer first.
    std::function<QString(qint64 offered)> chooseDraw;
    // How the file to import is chosen, and how the import's modal windows run (tests replace them).
    std::function<QString()> chooseImportFile;
    std::function<int(QDialog &)> runDialog;
    // How the file to export to is chosen (the save dialog unless a test replaces it).
    std::function<QString(const QString &filter, QString *selectedFilter)> chooseExportFile;

    // The open editors, null when closed.
    DrawSettingEditor *drawSettingEditor() const;
    PrizeEditor *prizeEditor() const;
    ParticipantEntry *participantEntry() const;
    PresetEditor *presetEditor() const;
    // The draw screen while a draw runs.
    DrawScreen *drawScreen() const;
    // The file menu's care of the database: another file, backups, the standby copy, reports.
    DatabaseActions *databaseActions() const;

  public Q_SLOTS:
    // The chooser, the questions before a draw, then the draw screen (this window hides
    // until the screen closes, or stays locked beside it on another display).
    void startDraw();

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    void buildMenus();
    void fillScreenMenu();
    void refreshCurrentTab();
    // The draw last run or edited: the choosers and the start offer it first.
    void focusOn(qint64 drawId);
    void lockWhileDrawing(bool locked);
    void setEditorOpen(bool open);
    void openDrawSettingEditor(qint64 drawId);
    void openPrizeEditor(qint64 prizeId, qint64 drawId);
    void openParticipantEntry(qint64 drawId);
    void openPresetEditor();
    void drawsDeleted(const QList<qint64> &drawIds);
    void exportList(RecordView *view);
    // The import of participants: the file, for a workbook its sheet, then the range and the
    // columns; the participants tab then shows the rows.
    // Reads a file's rows as participants, or as a check-in list.
    // A path given (a file dropped on the list) takes the chooser's place.
    void importParticipants(qint64 drawId, bool checkInList = false, const QString &given = QString());
    // The sample draw, made and shown, ready to start.
    void openSampleDraw();
    // 文件 → 现场签到…: the window of the phone pages, for the draw chosen when it is not running.
    void openPhoneCheckIn();
    // The status line's word on what the draw in focus still lacks before it can start.
    void showNextStep();
    // F1: the help, at the part about the tab that was shown.
    void showHelpForTab();
    QString helpText() const;

    Database &m_db;
    DrawEngine &m_engine;
    Progress &m_progress;
    Music &m_music;
    QPushButton *m_startButton = nullptr;
    QLabel *m_nextStep = nullptr;
    QTimer *m_nextStepTimer = nullptr;
    QTabWidget *m_tabs = nullptr;
    DrawsPanel *m_draws = nullptr;
    PrizesPanel *m_prizes = nullptr;
    ParticipantsPanel *m_participants = nullptr;
    ResultsPanel *m_results = nullptr;
    QAction *m_newDrawAction = nullptr;
    QMenu *m_screenMenu = nullptr; // 抽奖屏幕: which display the draw screen opens on
    DatabaseActions *m_databaseActions = nullptr;
    QPointer<DrawSettingEditor> m_drawSettingEditor;
    QPointer<PrizeEditor> m_prizeEditor;
    QPointer<ParticipantEntry> m_participantEntry;
    qint64 m_entryDraw = 0; // the draw the open participant entry adds to
    QPointer<PresetEditor> m_presetEditor;
    QPointer<DrawScreen> m_screen;
    PhoneCheckInWindow *m_phone = nullptr;
    QAction *m_phoneAction = nullptr;
    QPointer<QWidget> m_focusBeforeEditor;
    qint64 m_focusDraw = 0;
    bool m_quitting = false;
};

} // namespace quilla
