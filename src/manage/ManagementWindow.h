#pragma once

#include "grids/GridPresenter.h"

#include <QMainWindow>
#include <QMap>
#include <QPointer>

#include <functional>
#include <memory>

class QDialog;

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QMenu;
class QPushButton;
class QTabWidget;

namespace quilla {

class ParticipantEntry;
class Workbook;
class Database;
class DrawEngine;
class Grid;
class DrawScreen;
class DrawSettingEditor;
class PrizeEditor;
class Music;
class Progress;
class PresetEditor;

// The operator's home: the draw settings, a draw's prizes, participants and
// results on tabs, each with its grid and a row of buttons, and the start
// button. Closing it ends the program.
class ManagementWindow : public QMainWindow
{
    Q_OBJECT

  public:
    ManagementWindow(Database &db, DrawEngine &engine, Progress &progress, Music &music, QWidget *parent = nullptr);
    ~ManagementWindow() override;

    // Shows the current tab's panel and refills it.
    void SST_Click(int previousTab);
    // Refills the grid of tab index (1..3) for the draw chosen in its chooser.
    void CMB_Click(int index);
    // The action of button Com(index); index is 10 × tab + k.
    void Com_Click(int index);
    // Chooser, the questions before a draw, then the draw screen (this window hides
    // until the screen closes).
    void Entr_Click();
    // Writes participant grid rows firstRow..lastRow to the database: edited rows
    // (negative key) by update, new rows (empty key) by append; saved rows carry
    // their positive key again. A row that could not be saved keeps its mark.
    void SaveParticipantRows(int firstRow, int lastRow);
    // Trades the places of two prizes in the drawing order.
    void SwapPrizeOrder(int rowA, int rowB);

    // The import of participants: the file, for a workbook its sheet (SheetChooser),
    // then the range and the columns (ImportMapping); the participants tab then shows the rows.
    void StartImport(int kind);
    void ContinueImport();

    // How the draw to run is chosen: the modal chooser unless a test replaces it.
    std::function<QString()> chooseDraw;
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
    // The in-grid name editor of the participants grid and the row it edits.
    QLineEdit *TT = nullptr;
    int EditRow = -1;
    int EditCol = -1;

    QLabel *iTit = nullptr;
    QPushButton *Entr = nullptr;
    QTabWidget *SST = nullptr;
    QWidget *Pic[5] = {};
    Grid *MSF[4] = {};
    QComboBox *CMB[4] = {}; // 1..3
    QLabel *Label1[3] = {};
    QMap<int, QPushButton *> Com;
    QLabel *LBL = nullptr;
    QPlainTextEdit *THelp = nullptr;
    QAction *M_New = nullptr;
    QAction *m_Exit = nullptr;
    QAction *M_UserHelp = nullptr;
    QMenu *M_Screen = nullptr; // 抽奖屏幕: which display the draw screen opens on

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

  private:
    void buildMenus();
    QWidget *buildTab(int tab);
    void layOutGrid(int tab);
    void fillScreenMenu();
    void lockWhileDrawing(bool locked);
    void fillChooser(int index);
    qint64 chosenDraw(int index) const;
    bool selection(int tab, int &firstRow, int &lastRow) const;
    QList<qint64> keys(const Grid &grid, int firstRow, int lastRow) const;
    void gridPressed(int index, Qt::MouseButton button, double x, double y);
    bool exportGrid(const Grid &grid);
    void startEditing();
    void editTextEdited(const QString &text);
    void closeEditor();
    bool addParticipant(const QString &number, const QString &name);
    void showParticipantCount();
    void setEditorOpen(bool open);
    void openDrawSettingEditor(qint64 id);
    void openPrizeEditor(qint64 id, qint64 drawId);
    void openPresetEditor();
    QString helpText() const;

    Database &m_db;
    DrawEngine &m_engine;
    Progress &m_progress;
    Music &m_music;
    GridPresenter m_presenter;
    int m_currentTab = 0;
    QPointer<DrawSettingEditor> m_drawSettingEditor;
    QPointer<PrizeEditor> m_prizeEditor;
    QPointer<ParticipantEntry> m_participantEntry;
    QPointer<PresetEditor> m_presetEditor;
    QPointer<DrawScreen> m_screen;
    QString m_importFile;
    QString m_importSheet;
    std::unique_ptr<Workbook> m_importBook;
    bool m_quitting = false;
    qint64 m_participantsDraw = 0; // the draw the participants grid was filled with
    qint64 m_participantTotal = 0; // participants found for it
    qint64 m_editKey = 0;          // the record the in-grid editor writes to
    bool m_editFailureShown = false;
};

} // namespace quilla
