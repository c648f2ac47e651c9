#pragma once

#include "engine/DrawEngine.h"
#include "engine/ScreenSettings.h"
#include "engine/WinnersBoard.h"
#include "screen/ScreenAppearance.h"

#include <QElapsedTimer>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <functional>

class QDialog;
class QLabel;
class QMenu;
class QTimer;

namespace quilla {

class BoardSettings;
class Database;
class ResultDeletion;
class FrameSettings;
class Music;
class NumberFrame;
class Progress;

// The full-screen window a draw runs on in front of the audience. A click
// (left press and release) or the space bar starts a round for the first prize
// with winners left; the next one stops it and stores the numbers shown. The
// command labels along the bottom switch the draw mode on and off, close the
// screen and open the deletion of results; the right button (or the menu key)
// opens the settings menu, from which the frame and board dialogs change the
// screen's look. What a draw has not styled itself gets the hall's look, sized
// from the screen: a large frame, a board at the side on a backing panel.
class DrawScreen : public QWidget, public DrawDisplay, public ScreenAppearance
{
    Q_OBJECT

  public:
    DrawScreen(Database &db, DrawEngine &engine, Progress &progress, Music &music, QWidget *parent = nullptr);
    ~DrawScreen() override;

    // Reads the draw under the progress window. False when it could not be read
    // whole (the operator has been told): the screen must not open then.
    bool load(qint64 drawId);
    // The scroll interval for a draw's speed: 501 − speed ms, 1 ms outside 1..500.
    static int scrollInterval(qint64 speed);
    // A start this soon after a stop is a double press: the stop's winners stay in sight.
    static constexpr int RestartGuardMs = 500;
    // Pages of a round too large for the frame turn by themselves this often.
    static constexpr int PageTurnMs = 4000;

    // A note for the operator beside the commands (a standby copy failing), for a few seconds.
    void showOperatorNote(const QString &text);
    static constexpr int OperatorNoteMs = 6000;
    QLabel *operatorNote() const { return m_operatorNote; }

    // The draw action of a click or the space bar: start, or stop and record.
    void drawAction();

    qint64 drawId() const { return m_drawId; }
    bool drawMode() const { return m_drawMode; }
    bool scrolling() const;
    const QList<Candidate> &picks() const { return m_picks; }
    ResultDeletion *resultDeletion() const;
    FrameSettings *frameSettings() const;
    BoardSettings *boardSettings() const;

    // ---- ScreenAppearance, for the settings dialogs
    Prompt &operatorPrompt() override;
    NumberFrame *numberFrame() override { return m_frame; }
    QLabel *textLabel(Element element) override { return m_texts[element]; }
    QString frameString() const override { return m_frameString; }
    void applyFrameLayout(const QString &text) override;
    bool storeFrameString(const QString &text) override;
    bool chooseFont(Element element, QWidget *dialogParent) override;
    void setTextColour(Element element, qint64 colour) override;
    bool saveTextStyle(Element element) override;
    void setBoardGeometry(const QRect &title) override;
    void setBoardOpaque(bool opaque) override;

    // Runs the font dialog, modal; gives its result (QDialog::Accepted or not).
    std::function<int(QDialog &)> runDialog;

  Q_SIGNALS:
    // After the screen closed: the management window shows itself again.
    void closed();
    // A round is on disk (for the standby copy).
    void roundStored();

  protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void setBoardTitle(const QString &text) override;
    void setPicksText(const QString &text) override;
    void showNote(const QString &text) override;

    void buildMenu();
    void commandClicked(QLabel *command);
    void loadAppearance();
    void setBackground(const QPixmap &picture);
    void applyStyle(QLabel *label, const TextStyle &style);
    void layOutFrame();
    void listBelowTitle();
    void placeBoard();
    void placeCommands();
    // The picture and the board's panel within area, as the frame's panel shows them too.
    void paintBackdrop(QPainter &painter, const QRect &area);
    void backdropChanged();
    // The commands' and the note's font size in pixels, from the screen's height.
    int commandPixels() const;
    void styleCommands();
    void startRound();
    void tick();
    void countdown();
    void stopRound();
    void reloadBoard();
    void refreshBoard();
    int boardCapacity() const;
    void turnPages(int step);
    void applyHallLook();
    int bottomLimit() const;
    void askToEnd();
    void playState(int state);
    void boardOptionChanged();
    void openResultDeletion();
    void openFrameSettings();
    void openBoardSettings();

    NumberFrame *m_frame = nullptr;
    QLabel *m_texts[3] = {}; // board title, board list, the numbers' text style (never shown)
    QLabel *m_drawModeCommand = nullptr;
    QLabel *m_endCommand = nullptr;
    QLabel *m_deleteResultsCommand = nullptr;
    QLabel *m_operatorNote = nullptr;
    QTimer *m_noteTimer = nullptr;
    QTimer *m_scrollTimer = nullptr;
    QTimer *m_stopTimer = nullptr; // counts a timed round's seconds down
    QTimer *m_pageTimer = nullptr; // turns the pages of a large round
    QMenu *m_settingsMenu = nullptr;
    QAction *m_frameSettingsAction = nullptr;
    QAction *m_boardSettingsAction = nullptr;
    QAction *m_hideBoardAction = nullptr;
    QAction *m_reverseBoardAction = nullptr;
    QAction *m_currentPrizeOnlyAction = nullptr;
    QAction *m_refreshAction = nullptr;
    QAction *m_exitAction = nullptr;

    Database &m_db;
    DrawEngine &m_engine;
    Progress &m_progress;
    Music &m_music;
    qint64 m_drawId = 0;
    bool m_drawMode = false;
    QList<Candidate> m_picks;
    // The prize and the number of places of the round being drawn, fixed at its start.
    qint64 m_roundPrizeId = 0;
    int m_roundCount = 0;
    qint64 m_lastPrizeId = 0;
    int m_secondsLeft = 0;
    bool m_leftPressed = false;
    BoardOptions m_board;
    WinnersBoard m_winners;
    bool m_winnersRead = false;
    bool m_boardStarted = false; // the list stays empty until the first stop
    int m_boardPage = 0;
    int m_boardPages = 1;
    QElapsedTimer m_sinceStop;
    TextStyle m_styles[3];  // what LL shows; the board's places in twips
    // What the draw has not stored follows the hall's look and the screen's size.
    bool m_hallStyle[3] = {true, true, true};
    bool m_hallBoardPlace = true;
    QString m_frameString;  // the frame string in force, as stored
    QString m_previewFrame; // the frame dialog's, while it shows one
    QPixmap m_background;
    QPixmap m_scaled;
    QPointer<ResultDeletion> m_resultDeletion;
    QPointer<FrameSettings> m_frameSettings;
    QPointer<BoardSettings> m_boardSettings;
    bool m_closing = false;
};

} // namespace quilla
