#include "DrawScreen.h"

#include "BoardSettings.h"
#include "FrameSettings.h"
#include "NumberFrame.h"
#include "ResultDeletion.h"
#include "data/Database.h"
#include "data/Progress.h"
#include "platform/Music.h"
#include "platform/WindowHelpers.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QFontDialog>
#include <QFontInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QTimer>

namespace quilla {

namespace {

constexpr qint64 Red = 255;
constexpr double TitleToList = 30;   // twips between the board's title and its list
constexpr double ListHeight = 50000; // twips: below the bottom of any screen

// The look a draw has until its own is stored: the board in red KaiTi, the numbers in black.
TextStyle designStyle(int index)
{
    TextStyle style;
    style.FontName = QStringLiteral("楷体_GB2312");
    style.Bold = true;
    style.Size = index == 0 ? 36 : index == 1 ? 14.25 : 42;
    style.Colour = index == 2 ? 0 : Red;
    style.BackColour = 15790320; // the light grey of a dialog, where the board is edited
    // Board title and list in twips: right of the default frame, level with its top,
    // so that a frame growing with a round of several numbers never covers them, and
    // wide enough for a prize name and a winner per line.
    if (index == 0) {
        style.Left = 6480;
        style.Top = 2040;
        style.Width = 6000;
        style.Height = 720;
    }
    return style;
}

// The commands stand on a rounded pale panel with a dark rim, which shows on a
// white picture as on a dark one; their size follows the screen (in logical
// pixels, so a pixel ratio of 2 doubles it on the glass).
void setCommandLook(QLabel *label, const QString &colour, int pixels)
{
    label->setStyleSheet(QStringLiteral("QLabel { color: %1; background: rgba(255, 255, 255, 225);"
                                        " border: %2px solid rgba(0, 0, 0, 160); border-radius: %3px;"
                                        " padding: %4px %5px; }")
                             .arg(colour)
                             .arg(std::max(1, pixels / 14))
                             .arg(pixels / 2)
                             .arg(pixels / 4)
                             .arg(pixels * 2 / 3));
}

QFont fontOf(const TextStyle &style)
{
    QFont font(style.FontName);
    font.setPointSizeF(style.Size > 0 ? style.Size : 12);
    font.setBold(style.Bold);
    font.setItalic(style.Italic);
    font.setStrikeOut(style.Strikeout);
    font.setUnderline(style.Underline);
    return font;
}

// Values beyond 0x00FFFFFF are system colour codes rather than colours, which
// stored styles may hold: the interface's own colour stands in for them.
QColor backColour(qint64 colour, const QPalette &palette)
{
    return colour >= 0 && colour <= 0xFFFFFF ? colorFromBgr(colour) : palette.color(QPalette::Button);
}

// The hall's look, for what a draw has not styled itself: light KaiTi on dark
// panels, sized from the screen's height so that the back of a hall can read it.
constexpr qint64 PaleGold = 0x96E7FF; // colours as stored: 0x00BBGGRR
constexpr qint64 Gold = 0x64D7FF;
constexpr qint64 Cream = 0xE0F6FF;
constexpr double NumbersPerHeight = 1.0 / 5.5;
constexpr double TitlePerHeight = 1.0 / 16;
constexpr double ListPerHeight = 1.0 / 34;
// The smallest digits a round shrinks to (read from the back of a hall), and the board's panel.
constexpr double FloorPerHeight = 1.0 / 30;
const QColor DarkPanel(30, 0, 0, 200);
const QColor LightPanel(255, 255, 255, 225);

double pointsOf(double pixels)
{
    return pixels * 0.75; // at 96 dpi, the measure the twips assume
}

TextStyle hallStyle(int index, int screenHeight)
{
    TextStyle style = designStyle(index);
    const double perHeight = index == 0 ? TitlePerHeight : index == 1 ? ListPerHeight : NumbersPerHeight;
    style.Size = std::max(9.0, std::round(pointsOf(screenHeight * perHeight) * 4) / 4);
    style.Colour = index == 0 ? Gold : index == 1 ? Cream : PaleGold;
    return style;
}

const char16_t *const StyleColumns[3] = {u"L0", u"L1", u"L2"};

// Puts a dialog where it leaves what it edits in sight: in the middle of the
// screen, else beside the middle, else near an edge; in the middle if nowhere is clear.
void placeClearOf(QWidget *dialog, const QWidget *screen, const QList<QRect> &keepClear)
{
    dialog->adjustSize();
    centreInWorkArea(dialog);
    const QSize size = dialog->frameGeometry().size();
    const QRect area = screen->rect();
    const QPoint middle = screen->mapFromGlobal(dialog->pos());
    constexpr int margin = 40;
    const int right = area.right() - margin - size.width();
    const int bottom = area.bottom() - margin - size.height();
    const QPoint places[] = {
        middle,          {right, middle.y()}, {margin, middle.y()}, {middle.x(), bottom},
        {right, bottom}, {margin, bottom},    {right, margin},      {middle.x(), margin}};
    for (const QPoint &place : places) {
        const QRect where(place, size);
        if (std::none_of(keepClear.cbegin(), keepClear.cend(),
                         [&](const QRect &r) { return r.intersects(where); })) {
            dialog->move(screen->mapToGlobal(place));
            return;
        }
    }
}

// The winners' list reaches below the screen. Only the lines that can show are
// painted, so a board of thousands of winners costs a repaint no more than a short one.
class WinnersList : public QLabel
{
  public:
    using QLabel::QLabel;

  protected:
    void paintEvent(QPaintEvent *) override
    {
        const QString &all = text();
        const int reach = parentWidget() ? std::min(height(), parentWidget()->height() - y()) : height();
        const int lines = std::max(0, reach) / std::max(1, fontMetrics().lineSpacing()) + 2;
        qsizetype end = -1;
        for (int i = 0; i < lines && end < all.size(); ++i) {
            end = all.indexOf(u'\n', end + 1);
            if (end < 0)
                end = all.size();
        }
        QPainter painter(this);
        style()->drawItemText(&painter, contentsRect(), int(alignment()) | Qt::TextForceLeftToRight,
                              palette(), isEnabled(), all.left(end), foregroundRole());
    }
};

} // namespace

DrawScreen::DrawScreen(Database &db, DrawEngine &engine, Progress &progress, Music &music, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_db(db), m_engine(engine), m_progress(progress),
      m_music(music)
{
    setWindowTitle(QStringLiteral("Quilla抽奖软件操作界面"));
    setAccessibleName(windowTitle());
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);

    m_frame = new NumberFrame(this);
    m_frame->setObjectName(QStringLiteral("numberFrame"));
    for (int i = 0; i < 3; ++i) {
        m_texts[i] = i == 1 ? new WinnersList(this) : new QLabel(this);
        // Names come from imported files: never read as markup.
        m_texts[i]->setTextFormat(Qt::PlainText);
        m_texts[i]->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    m_texts[0]->setObjectName(QStringLiteral("boardTitle"));
    m_texts[1]->setObjectName(QStringLiteral("boardList"));
    m_texts[2]->setObjectName(QStringLiteral("numberStyle"));
    m_texts[0]->setText(QStringLiteral("获奖名单"));
    m_texts[0]->setAlignment(Qt::AlignCenter);
    m_texts[0]->setAccessibleName(QStringLiteral("公告板标题"));
    m_texts[1]->setText(QStringLiteral("  "));
    m_texts[1]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_texts[1]->setAccessibleName(QStringLiteral("获奖名单"));
    m_texts[2]->setText(QStringLiteral("00000000000"));
    m_texts[2]->hide(); // holds the numbers' style; the frame paints them
    m_frame->setNumbers(m_texts[2]->text());
    // The frame keeps its panel over the picture and the board's panel, painted once.
    m_frame->setBackdropPainter([this](QPainter &painter, const QRect &area) {
        painter.translate(-area.topLeft());
        paintBackdrop(painter, area);
    });
    // The numbers matter more than the board: where the two meet, the frame covers the board.
    m_frame->raise();

    // The commands along the bottom: draw mode on and off, end the draw, delete results.
    const auto command = [this](const QString &text, const QString &objectName) {
        auto *label = new QLabel(text, this);
        label->setObjectName(objectName);
        label->setAccessibleName(text);
        label->setCursor(Qt::PointingHandCursor);
        label->installEventFilter(this);
        return label;
    };
    m_drawModeCommand = command(QStringLiteral("开始抽奖"), QStringLiteral("drawMode"));
    m_endCommand = command(QStringLiteral("结束抽奖"), QStringLiteral("endDraw"));
    m_deleteResultsCommand = command(QStringLiteral("取消结果"), QStringLiteral("deleteResults"));
    QFont song(QStringLiteral("宋体"));
    song.setBold(true);
    m_drawModeCommand->setFont(song);

    // A short word for the operator, in the row of the commands: never over the numbers or the board.
    m_operatorNote = new QLabel(this);
    m_operatorNote->setObjectName(QStringLiteral("operatorNote"));
    m_operatorNote->setTextFormat(Qt::PlainText);
    m_operatorNote->hide();
    m_noteTimer = new QTimer(this);
    m_noteTimer->setSingleShot(true);
    m_noteTimer->setInterval(OperatorNoteMs);
    connect(m_noteTimer, &QTimer::timeout, m_operatorNote, &QWidget::hide);

    m_scrollTimer = new QTimer(this);
    m_scrollTimer->setObjectName(QStringLiteral("scrollTimer"));
    m_scrollTimer->setTimerType(Qt::PreciseTimer);
    connect(m_scrollTimer, &QTimer::timeout, this, &DrawScreen::tick);
    m_stopTimer = new QTimer(this);
    m_stopTimer->setObjectName(QStringLiteral("stopTimer"));
    m_stopTimer->setInterval(1000);
    connect(m_stopTimer, &QTimer::timeout, this, &DrawScreen::countdown);
    m_pageTimer = new QTimer(this);
    m_pageTimer->setObjectName(QStringLiteral("pageTimer"));
    m_pageTimer->setInterval(PageTurnMs);
    connect(m_pageTimer, &QTimer::timeout, this, [this] { turnPages(1); });

    runDialog = [](QDialog &dialog) { return dialog.exec(); };
    buildMenu();
    for (int i = 0; i < 3; ++i)
        m_styles[i] = designStyle(i);
    listBelowTitle();
    styleCommands();
    setBackground(QPixmap(QStringLiteral(":/screen/DefaultBackground.jpg")));
}

int DrawScreen::commandPixels() const
{
    // 20 px at 1080 lines, 40 at 2160; never below what a small screen reads.
    return std::max(13, int(std::lround(height() / 54.0)));
}

void DrawScreen::styleCommands()
{
    const int pixels = commandPixels();
    for (QLabel *label : {m_drawModeCommand, m_endCommand, m_deleteResultsCommand, m_operatorNote}) {
        QFont font = label->font();
        font.setPixelSize(pixels);
        font.setBold(label == m_drawModeCommand ? !m_drawMode : label == m_operatorNote);
        label->setFont(font);
    }
    setCommandLook(m_drawModeCommand, m_drawMode ? QStringLiteral("black") : QStringLiteral("#c00000"), pixels);
    for (QLabel *label : {m_endCommand, m_deleteResultsCommand})
        setCommandLook(label, QStringLiteral("black"), pixels);
    m_operatorNote->setStyleSheet(QStringLiteral("QLabel { color: white; background: rgba(150, 0, 0, 225);"
                                                 " border: %1px solid rgba(255, 255, 255, 170); border-radius: %2px;"
                                                 " padding: %3px %4px; }")
                                      .arg(std::max(1, pixels / 14))
                                      .arg(pixels / 2)
                                      .arg(pixels / 4)
                                      .arg(pixels * 2 / 3));
    for (QLabel *label : {m_drawModeCommand, m_endCommand, m_deleteResultsCommand, m_operatorNote})
        label->adjustSize();
    placeCommands();
}

DrawScreen::~DrawScreen()
{
    if (m_engine.display() == this)
        m_engine.setDisplay(nullptr);
    delete m_resultDeletion;
}

void DrawScreen::buildMenu()
{
    m_settingsMenu = new QMenu(QStringLiteral("设置"), this);
    m_frameSettingsAction = m_settingsMenu->addAction(QStringLiteral("号码框设置"));
    m_boardSettingsAction = m_settingsMenu->addAction(QStringLiteral("公告板设置"));
    connect(m_frameSettingsAction, &QAction::triggered, this, &DrawScreen::openFrameSettings);
    connect(m_boardSettingsAction, &QAction::triggered, this, &DrawScreen::openBoardSettings);
    m_settingsMenu->addSeparator();
    m_hideBoardAction = m_settingsMenu->addAction(QStringLiteral("公告板隐藏"));
    m_reverseBoardAction = m_settingsMenu->addAction(QStringLiteral("公告板反序"));
    m_currentPrizeOnlyAction = m_settingsMenu->addAction(QStringLiteral("只显示当前奖项名单"));
    for (QAction *option : {m_hideBoardAction, m_reverseBoardAction, m_currentPrizeOnlyAction}) {
        option->setCheckable(true);
        connect(option, &QAction::triggered, this, &DrawScreen::boardOptionChanged);
    }
    m_settingsMenu->addSeparator();
    m_refreshAction = m_settingsMenu->addAction(QStringLiteral("屏幕刷新"), this, &DrawScreen::backdropChanged);
    m_exitAction = m_settingsMenu->addAction(QStringLiteral("退出抽奖"), this, &QWidget::close);
    // How tests and tools find the entries.
    m_settingsMenu->setObjectName(QStringLiteral("settingsMenu"));
    const std::pair<QAction *, const char *> names[] = {
        {m_frameSettingsAction, "frameSettings"}, {m_boardSettingsAction, "boardSettings"},
        {m_hideBoardAction, "hideBoard"},         {m_reverseBoardAction, "reverseBoard"},
        {m_currentPrizeOnlyAction, "currentPrizeOnly"}, {m_refreshAction, "refresh"},
        {m_exitAction, "exit"}};
    for (const auto &[action, name] : names)
        action->setObjectName(QString::fromLatin1(name));
}

int DrawScreen::scrollInterval(qint64 speed)
{
    return speed > 500 || speed < 1 ? 1 : int(501 - speed);
}

bool DrawScreen::scrolling() const
{
    return m_scrollTimer->isActive();
}

ResultDeletion *DrawScreen::resultDeletion() const
{
    return m_resultDeletion;
}

FrameSettings *DrawScreen::frameSettings() const
{
    return m_frameSettings;
}

BoardSettings *DrawScreen::boardSettings() const
{
    return m_boardSettings;
}

// ---------------------------------------------------------------- loading

bool DrawScreen::load(qint64 drawId)
{
    // The draw is fixed for the whole opening, whatever else sets the engine's current draw.
    m_drawId = drawId;
    m_drawMode = false;
    m_engine.CurrentDraw.Id = drawId;
    m_engine.setDisplay(this);
    m_progress.begin(QStringLiteral("正在读取抽奖数据..."), 5);
    const bool read = m_engine.loadDraw([this](int step) {
        if (step == 1) {
            m_progress.step(1);
            loadAppearance();
        }
        m_progress.step(1);
    });
    m_progress.step(1);
    m_progress.end();
    if (!read)
        return false;
    m_boardStarted = false;
    m_boardPage = 0;
    m_sinceStop.invalidate();
    reloadBoard();
    const DrawSetting &draw = m_engine.CurrentDraw;
    const QStringList tunes{draw.Music1, draw.Music2, draw.Music3};
    const bool musical = std::any_of(tunes.cbegin(), tunes.cend(), [](const QString &t) { return !t.isEmpty(); });
    if (musical && !m_music.hasSoundOutput() && m_music.takeSilenceNotice())
        m_db.prompt().message(QStringLiteral("没有可用的声音设备，本次抽奖不播放音乐。"));
    m_music.prepareTunes(musical ? tunes : QStringList());
    m_pageTimer->start();
    playState(1);
    return true;
}

void DrawScreen::loadAppearance()
{
    const QString path = m_engine.CurrentDraw.Background;
    if (!path.isEmpty()) {
        QPixmap picture;
        if (QFileInfo(path).isFile() && picture.load(path))
            setBackground(picture);
        else
            m_db.prompt().message(QStringLiteral("找不到背景图片：“") + path + QStringLiteral("”"));
    }
    m_frameString = readScreenSetting(m_db, m_drawId, QStringLiteral("FRM")).trimmed();
    m_previewFrame.clear();
    const bool ownFrame = parseFrame(m_frameString).has_value();
    for (int i = 0; i < 3; ++i) {
        m_styles[i] = designStyle(i);
        const StyleApplied applied = applyTextStyle(
            readScreenSetting(m_db, m_drawId, QString::fromUtf16(StyleColumns[i])), m_styles[i], i < 2);
        // A draw's own frame keeps the numbers' design look it was made with.
        m_hallStyle[i] = applied == StyleApplied::Nothing && (i < 2 || !ownFrame);
        if (i == 0)
            m_hallBoardPlace = applied != StyleApplied::Everything;
        if (i == 1 && applied != StyleApplied::Everything)
            listBelowTitle();
    }

    // Each opening reads its own draw's board options; missing ones are the initial states.
    m_board = parseBoard(readScreenSetting(m_db, m_drawId, QStringLiteral("BRD")));
    m_hideBoardAction->setChecked(m_board.Hidden);
    m_reverseBoardAction->setChecked(m_board.Reverse);
    m_currentPrizeOnlyAction->setChecked(m_board.OneAward);
    m_texts[0]->setVisible(!m_board.Hidden);
    m_texts[1]->setVisible(!m_board.Hidden);

    applyHallLook();
}

void DrawScreen::applyStyle(QLabel *label, const TextStyle &style)
{
    if (label == m_texts[BoardList])
        backdropChanged(); // the board's panel follows the list's colour
    label->setFont(fontOf(style));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colorFromBgr(style.Colour));
    label->setPalette(palette);
}

void DrawScreen::setBackground(const QPixmap &picture)
{
    m_background = picture;
    m_scaled = QPixmap();
    backdropChanged();
}

// ---------------------------------------------------------------- geometry and painting

void DrawScreen::layOutFrame()
{
    const std::optional<FrameLayout> layout =
        parseFrame(m_previewFrame.isEmpty() ? m_frameString : m_previewFrame);
    const int w = width(), h = height();
    // The hall's frame: large, left of the board, in the middle of the height.
    m_frame->applyLayout(layout ? *layout
                                : FrameLayout{int(w * 0.03), int(h * 0.1), int(w * 0.58), int(h * 0.74),
                                              PaleGold, false, false});
    m_frame->setPanel(!layout);
    m_frame->setFitLimits(int(std::ceil(h * FloorPerHeight)), std::max(1, bottomLimit() - m_frame->y()));
}

int DrawScreen::bottomLimit() const
{
    // Clear of the commands along the bottom, which must stay easy to find.
    return std::max(1, height() - 3 * m_drawModeCommand->height() - height() / 60);
}

// Sizes and places what follows the hall's look from the screen's size.
void DrawScreen::applyHallLook()
{
    const int h = height();
    for (int i = 0; i < 3; ++i) {
        if (m_hallStyle[i]) {
            const TextStyle hall = hallStyle(i, h);
            m_styles[i].FontName = hall.FontName;
            m_styles[i].Bold = hall.Bold;
            m_styles[i].Size = hall.Size;
            m_styles[i].Colour = hall.Colour;
        }
        applyStyle(m_texts[i], m_styles[i]);
    }
    if (m_hallBoardPlace) {
        // At the right, beside the frame, from near the top to above the commands.
        TextStyle &title = m_styles[BoardTitle];
        title.Left = toTwips(int(width() * 0.64));
        title.Top = toTwips(int(h * 0.08));
        title.Width = toTwips(int(width() * 0.33));
        title.Height = toTwips(int(QFontMetrics(fontOf(title)).height() * 1.3));
        listBelowTitle();
    }
    m_frame->setTextFont(fontOf(m_styles[Numbers]));
    m_frame->setTextColour(colorFromBgr(m_styles[Numbers].Colour));
    layOutFrame();
    placeBoard();
    refreshBoard();
    update();
}

void DrawScreen::listBelowTitle()
{
    const TextStyle &title = m_styles[0];
    TextStyle &list = m_styles[1];
    list.Left = title.Left;
    list.Width = title.Width;
    list.Top = title.Top + title.Height + TitleToList;
    list.Height = ListHeight;
}

void DrawScreen::placeBoard()
{
    backdropChanged(); // the board's panel moves with it
    for (int i : {0, 1}) {
        const TextStyle &style = m_styles[i];
        m_texts[i]->setGeometry(toPixels(style.Left), toPixels(style.Top), std::max(1, toPixels(style.Width)),
                           std::max(1, toPixels(style.Height)));
    }
}

void DrawScreen::placeCommands()
{
    const int margin = std::max(toPixels(30), commandPixels() / 2);
    const int gap = commandPixels();
    const int top = height() - m_drawModeCommand->height() - margin;
    m_deleteResultsCommand->move(margin, top);
    m_endCommand->move(width() - m_endCommand->width() - margin, top);
    m_drawModeCommand->move(m_endCommand->x() - m_drawModeCommand->width() - gap, top);
    if (m_operatorNote) {
        const int right = m_drawModeCommand->x() - gap;
        m_operatorNote->move(std::max(m_deleteResultsCommand->geometry().right() + gap,
                                      right - m_operatorNote->width()),
                             top + (m_drawModeCommand->height() - m_operatorNote->height()) / 2);
    }
}

void DrawScreen::showOperatorNote(const QString &text)
{
    m_operatorNote->setText(text);
    m_operatorNote->setAccessibleName(text);
    m_operatorNote->adjustSize();
    placeCommands();
    m_operatorNote->show();
    m_operatorNote->raise();
    m_noteTimer->start();
}

void DrawScreen::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_scaled = QPixmap();
    styleCommands();
    applyHallLook();
    backdropChanged();
}

void DrawScreen::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    paintBackdrop(painter, event->rect());
}

void DrawScreen::paintBackdrop(QPainter &painter, const QRect &area)
{
    // The stretched picture is made once per size.
    if (m_scaled.size() != size() && !m_background.isNull())
        m_scaled = m_background.scaled(size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (m_scaled.isNull())
        painter.fillRect(area, Qt::white);
    else
        painter.drawPixmap(area, m_scaled, area);
    // The hall's board stands on a panel that keeps it readable over any picture.
    if (m_hallStyle[BoardList] && !m_board.Hidden) {
        const QRect title = m_texts[BoardTitle]->geometry();
        const int pad = std::max(toPixels(120), height() / 50);
        const QRect panel(title.left() - pad, title.top() - pad / 2, title.width() + 2 * pad,
                          bottomLimit() - title.top() + pad);
        if (panel.intersects(area)) {
            painter.save();
            painter.setClipRect(area);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(Qt::NoPen);
            painter.setBrush(colorFromBgr(m_styles[BoardList].Colour).lightnessF() > 0.5 ? DarkPanel
                                                                                        : LightPanel);
            painter.drawRoundedRect(panel, pad, pad);
            painter.restore();
        }
    }
}

void DrawScreen::backdropChanged()
{
    m_frame->backdropChanged();
    update();
}

// ---------------------------------------------------------------- operator input

void DrawScreen::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_leftPressed = true;
        return;
    }
    m_leftPressed = false;
    m_settingsMenu->popup(event->globalPosition().toPoint());
}

void DrawScreen::mouseReleaseEvent(QMouseEvent *event)
{
    // One click, one action: the press and the release of the left button.
    if (event->button() == Qt::LeftButton && m_leftPressed) {
        m_leftPressed = false;
        drawAction();
    }
}

void DrawScreen::mouseDoubleClickEvent(QMouseEvent *)
{
    // The second press of a double click is not a second click: it must not stop
    // the round the first one started.
    m_leftPressed = false;
}

void DrawScreen::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Space:
        if (!event->isAutoRepeat()) // a held key is one press
            drawAction();
        return;
    case Qt::Key_Escape:
        askToEnd();
        return;
    case Qt::Key_Delete:
        openResultDeletion();
        return;
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_PageUp:
        turnPages(-1);
        return;
    case Qt::Key_Right:
    case Qt::Key_Down:
    case Qt::Key_PageDown:
        turnPages(1);
        return;
    case Qt::Key_Menu:
        m_settingsMenu->popup(mapToGlobal(rect().center()));
        return;
    case Qt::Key_F10:
        if (event->modifiers() & Qt::ShiftModifier) {
            m_settingsMenu->popup(mapToGlobal(rect().center()));
            return;
        }
        break;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}

void DrawScreen::askToEnd()
{
    if (m_db.prompt().question(QStringLiteral("结束抽奖？"), Prompt::Icon::Question))
        close();
}

// Both the frame and the board page through a round too large for them; the
// timer waits its full time again after a turn by hand.
void DrawScreen::turnPages(int step)
{
    m_frame->turnPage(step);
    if (m_boardPages > 1) {
        m_boardPage = ((m_boardPage + step) % m_boardPages + m_boardPages) % m_boardPages;
        refreshBoard();
    }
    if (m_pageTimer->isActive())
        m_pageTimer->start();
}

bool DrawScreen::eventFilter(QObject *watched, QEvent *event)
{
    auto *command = qobject_cast<QLabel *>(watched);
    if (command && (command == m_drawModeCommand || command == m_endCommand || command == m_deleteResultsCommand)) {
        if (event->type() == QEvent::MouseButtonPress) {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() != Qt::LeftButton)
                m_settingsMenu->popup(mouse->globalPosition().toPoint());
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease) {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() == Qt::LeftButton && command->rect().contains(mouse->position().toPoint()))
                commandClicked(command);
            return true;
        }
        if (event->type() == QEvent::MouseButtonDblClick)
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void DrawScreen::commandClicked(QLabel *command)
{
    if (command == m_endCommand) {
        close();
    } else if (command == m_deleteResultsCommand) {
        openResultDeletion();
    } else if (command == m_drawModeCommand) {
        m_drawMode = !m_drawMode;
        m_drawModeCommand->setText(m_drawMode ? QStringLiteral("暂停抽奖") : QStringLiteral("开始抽奖"));
        m_drawModeCommand->setAccessibleName(m_drawModeCommand->text());
        styleCommands();
    }
}

// ---------------------------------------------------------------- rounds

void DrawScreen::drawAction()
{
    if (!m_scrollTimer->isActive()) {
        if (m_sinceStop.isValid() && m_sinceStop.elapsed() < RestartGuardMs)
            return;
        if (!m_drawMode) {
            m_db.prompt().message(QStringLiteral("请点击屏幕右下角“开始抽奖”，进入抽奖操作！"));
            return;
        }
        startRound();
        return;
    }
    if (m_stopTimer->isActive()) // a timed round stops by itself
        return;
    stopRound();
}

void DrawScreen::startRound()
{
    m_engine.CurrentDraw.Id = m_drawId;
    // The round's first numbers are shown at once: a stop at any moment records what was seen.
    const qsizetype current = m_engine.startRound(m_picks);
    if (current <= 0) // the engine has told the operator why
        return;
    m_roundPrizeId = m_engine.prizes().at(current).PrizeId;
    m_roundCount = m_engine.roundCount();
    m_frame->newRound();
    m_scrollTimer->setInterval(scrollInterval(m_engine.CurrentDraw.Speed));
    if (m_engine.CurrentDraw.AutoStop > 0) {
        m_secondsLeft = int(std::min<qint64>(m_engine.CurrentDraw.AutoStop, INT_MAX));
        m_stopTimer->start();
    }
    m_scrollTimer->start();
    playState(2);
}

void DrawScreen::tick()
{
    if (m_roundPrizeId == 0 || m_roundCount < 1) {
        // Nothing to draw for: the round ends here, unrecorded, with one message.
        m_scrollTimer->stop();
        m_stopTimer->stop();
        m_music.stopMusic();
        m_db.prompt().message(QStringLiteral("已经没有需要抽奖的奖项！"));
        return;
    }
    if (!m_frame->wantsNumbers()) // picks between two frames would never be seen
        return;
    m_engine.pickRound(m_picks, m_roundCount);
    m_engine.showPicks(m_picks);
}

void DrawScreen::countdown()
{
    if (--m_secondsLeft > 0)
        return;
    m_stopTimer->stop();
    drawAction();
}

void DrawScreen::stopRound()
{
    m_scrollTimer->stop();
    m_stopTimer->stop();
    const qint64 prizeId = m_roundPrizeId;
    m_roundPrizeId = 0;
    if (prizeId == 0) {
        playState(3);
        return;
    }
    // Stored before anything else happens; the frame then shows exactly what was
    // stored, at once, and only then come the music and the board.
    const bool stored = m_engine.recordRound(m_drawId, prizeId, m_picks);
    m_sinceStop.start();
    m_frame->showStopped();
    m_pageTimer->start(); // the first page stays its full time
    if (!stored) { // no winning tune for a round the file does not hold
        m_music.stopMusic();
        return;
    }
    playState(3);
    m_lastPrizeId = prizeId;
    m_boardStarted = true;
    m_boardPage = 0;
    if (!m_winnersRead || !m_winners.addRound(prizeId, m_picks))
        reloadBoard();
    refreshBoard();
    Q_EMIT roundStored();
}

void DrawScreen::reloadBoard()
{
    m_winnersRead =
        m_winners.load(m_db, m_drawId, [this](const QString &number) { return m_engine.displayNumber(number); });
}

int DrawScreen::boardCapacity() const
{
    const int spacing = std::max(1, QFontMetrics(m_texts[BoardList]->font()).lineSpacing());
    return std::max(1, (bottomLimit() - m_texts[BoardList]->y()) / spacing);
}

// Shows the lines of the board that fit: from the top, or, when the last round
// reaches below the board, that round a page at a time.
void DrawScreen::refreshBoard()
{
    if (!m_boardStarted)
        return;
    const WinnersBoard::Options options{m_board.Reverse, m_board.OneAward, m_lastPrizeId};
    const QString title = m_winners.title(options);
    if (title.isEmpty()) {
        m_texts[BoardList]->setText(QString());
        m_boardPages = 1;
        return;
    }
    m_texts[BoardTitle]->setText(title);
    const int capacity = boardCapacity();
    const auto [from, end] = m_winners.lastRound(options);
    qsizetype first = 0;
    m_boardPages = 1;
    if (end > capacity) {
        // From the line before the round: its prize's heading, or the winner before it.
        const qsizetype start = std::max<qsizetype>(0, from - 1);
        m_boardPages = int((end - start + capacity - 1) / capacity);
        m_boardPage = std::min(m_boardPage, m_boardPages - 1);
        first = start + qsizetype(m_boardPage) * capacity;
    }
    m_texts[BoardList]->setText(m_winners.lines(options, first, capacity).join(u'\n'));
}

void DrawScreen::setBoardTitle(const QString &text)
{
    m_texts[0]->setText(text);
}

void DrawScreen::showNote(const QString &text)
{
    showOperatorNote(text);
}

void DrawScreen::setPicksText(const QString &text)
{
    // m_texts(2) only carries the numbers' style; the frame holds and paints the text.
    m_frame->setNumbers(text);
}

// ---------------------------------------------------------------- music, menu, closing

void DrawScreen::playState(int state)
{
    // One attempt per change: waiting and drawing music loop in the player, the
    // winning music plays once, and each change silences what played before.
    m_music.playTune(state - 1, state != 3);
}

void DrawScreen::boardOptionChanged()
{
    m_board.Hidden = m_hideBoardAction->isChecked();
    m_board.Reverse = m_reverseBoardAction->isChecked();
    m_board.OneAward = m_currentPrizeOnlyAction->isChecked();
    m_texts[0]->setVisible(!m_board.Hidden);
    m_texts[1]->setVisible(!m_board.Hidden);
    m_boardPage = 0;
    refreshBoard();
    backdropChanged();
    if (!writeScreenSetting(m_db, m_drawId, QStringLiteral("BRD"), formatBoard(m_board)))
        m_db.prompt().message(QStringLiteral("公告板设置未能保存到数据库，请检查数据库文件！"),
                              Prompt::Icon::Warning);
}

void DrawScreen::openResultDeletion()
{
    if (!m_resultDeletion) {
        m_resultDeletion = new ResultDeletion(m_db, m_progress, m_drawId, this);
        m_resultDeletion->setWindowFlag(Qt::Window);
        connect(m_resultDeletion, &ResultDeletion::deleted, this, [this] {
            // The freed places are drawn again; the board lists what is stored now.
            m_engine.CurrentDraw.Id = m_drawId;
            const qsizetype current = m_engine.loadPrizeTable();
            if (current > 0)
                m_lastPrizeId = m_engine.prizes().at(current).PrizeId;
            m_boardStarted = true;
            m_boardPage = 0;
            reloadBoard();
            refreshBoard();
        });
        connect(m_resultDeletion, &ResultDeletion::closed, m_resultDeletion, &QObject::deleteLater);
    }
    m_resultDeletion->show();
    m_resultDeletion->raise();
    m_resultDeletion->activateWindow();
}

void DrawScreen::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // Coming to the front the screen lays its frame out again: from the frame
    // dialog's preview while there is one, else from the string in force.
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        layOutFrame();
}

void DrawScreen::closeEvent(QCloseEvent *event)
{
    // However the screen is closed: an unfinished round is dropped, nothing is recorded.
    if (m_closing) {
        event->accept();
        return;
    }
    m_closing = true;
    m_scrollTimer->stop();
    m_stopTimer->stop();
    m_pageTimer->stop();
    m_roundPrizeId = 0;
    m_music.stopMusic();
    m_music.prepareTunes({});
    if (m_frameSettings)
        m_frameSettings->closeWithScreen();
    if (m_boardSettings)
        m_boardSettings->accept(); // stores the board's styles
    if (m_resultDeletion)
        m_resultDeletion->close();
    m_engine.clearPresetsAfterDraw(m_drawId);
    if (m_engine.display() == this)
        m_engine.setDisplay(nullptr);
    event->accept();
    Q_EMIT closed();
}

// ---------------------------------------------------------------- appearance, for the settings dialogs

Prompt &DrawScreen::operatorPrompt()
{
    return m_db.prompt();
}

void DrawScreen::applyFrameLayout(const QString &text)
{
    m_previewFrame = text;
    layOutFrame();
}

bool DrawScreen::storeFrameString(const QString &text)
{
    const QString value = text.trimmed();
    if (!writeScreenSetting(m_db, m_drawId, QStringLiteral("FRM"), value))
        return false;
    m_frameString = value;
    m_previewFrame.clear();
    layOutFrame();
    return true;
}

bool DrawScreen::chooseFont(Element element, QWidget *dialogParent)
{
    TextStyle &style = m_styles[element];
    const QFont start = fontOf(style);
    // Preset with the face the stored name stands for: the dialog lists installed faces only.
    QFont preset = start;
    preset.setFamilies({QFontInfo(start).family()});
    QFontDialog dialog(preset, dialogParent);
    dialog.setWindowTitle(QStringLiteral("字体"));
    const QFont offered = dialog.currentFont();
    if (runDialog(dialog) != QDialog::Accepted)
        return false;
    // What the operator left as offered keeps its stored form: the dialog knows
    // whole sizes and the styles a face comes in only (14.25 stays 14.25,
    // 楷体_GB2312 stays so named, a bold drawn from a regular face stays bold).
    const QFont chosen = dialog.currentFont();
    if (chosen.family() != offered.family())
        style.FontName = chosen.family();
    if (chosen.pointSizeF() != offered.pointSizeF() && chosen.pointSizeF() > 0)
        style.Size = chosen.pointSizeF();
    if (chosen.bold() != offered.bold())
        style.Bold = chosen.bold();
    if (chosen.italic() != offered.italic())
        style.Italic = chosen.italic();
    m_hallStyle[element] = false;
    style.Strikeout = chosen.strikeOut();
    style.Underline = chosen.underline();
    applyStyle(m_texts[element], style);
    if (element == Numbers)
        m_frame->setTextFont(fontOf(style));
    return true;
}

void DrawScreen::setTextColour(Element element, qint64 colour)
{
    m_hallStyle[element] = false;
    m_styles[element].Colour = colour;
    applyStyle(m_texts[element], m_styles[element]);
    if (element == Numbers)
        m_frame->setTextColour(colorFromBgr(colour));
}

bool DrawScreen::saveTextStyle(Element element)
{
    TextStyle style = m_styles[element];
    if (element == Numbers) {
        // The numbers' place is where the frame paints them, in the frame's pixels.
        const QRect text = m_frame->textRect();
        style.Left = text.x();
        style.Top = text.y();
        style.Width = text.width();
        style.Height = text.height();
    }
    return writeScreenSetting(m_db, m_drawId, QString::fromUtf16(StyleColumns[element]),
                              formatTextStyle(style));
}

void DrawScreen::setBoardGeometry(const QRect &title)
{
    TextStyle &style = m_styles[BoardTitle];
    style.Left = toTwips(title.x());
    style.Top = toTwips(title.y());
    style.Width = toTwips(title.width());
    style.Height = toTwips(title.height());
    m_hallBoardPlace = false;
    listBelowTitle();
    placeBoard();
    refreshBoard();
}

void DrawScreen::setBoardOpaque(bool opaque)
{
    for (int i : {0, 1}) {
        QPalette palette = m_texts[i]->palette();
        palette.setColor(QPalette::Window, backColour(m_styles[i].BackColour, palette));
        m_texts[i]->setPalette(palette);
        m_texts[i]->setAutoFillBackground(opaque);
    }
}

void DrawScreen::openFrameSettings()
{
    if (!m_frameSettings) {
        auto *dialog = new FrameSettings(*this, this);
        connect(dialog, &QDialog::finished, this, [this, dialog] {
            if (m_frameSettings == dialog)
                m_frameSettings = nullptr;
            dialog->deleteLater();
        });
        QList<QRect> keepClear{m_frame->geometry()};
        if (m_boardSettings)
            keepClear.append(
                QRect(mapFromGlobal(m_boardSettings->frameGeometry().topLeft()), m_boardSettings->frameGeometry().size()));
        placeClearOf(dialog, this, keepClear);
        m_frameSettings = dialog;
    }
    m_frameSettings->show();
    m_frameSettings->raise();
    m_frameSettings->activateWindow();
}

void DrawScreen::openBoardSettings()
{
    if (!m_boardSettings) {
        auto *dialog = new BoardSettings(*this, this);
        connect(dialog, &QDialog::finished, this, [this, dialog] {
            if (m_boardSettings == dialog)
                m_boardSettings = nullptr;
            dialog->deleteLater();
        });
        QList<QRect> keepClear{m_texts[0]->geometry(), m_texts[1]->geometry() & rect(), m_frame->geometry()};
        if (m_frameSettings)
            keepClear.append(
                QRect(mapFromGlobal(m_frameSettings->frameGeometry().topLeft()), m_frameSettings->frameGeometry().size()));
        placeClearOf(dialog, this, keepClear);
        m_boardSettings = dialog;
    }
    m_boardSettings->show();
    m_boardSettings->raise();
    m_boardSettings->activateWindow();
}

} // namespace quilla
