#include "ManagementWindow.h"

#include "engine/SampleDraw.h"

#include "DrawChooser.h"
#include "DrawSettingEditor.h"
#include "DrawsPanel.h"
#include "ImportMapping.h"
#include "ParticipantEntry.h"
#include "ParticipantsPanel.h"
#ifdef QUILLA_PHONE
#include "PhoneCheckInWindow.h"
#endif
#include "PresetEditor.h"
#include "PrizeEditor.h"
#include "PrizesPanel.h"
#include "ResultsPanel.h"
#include "SheetChooser.h"
#include "data/Chooser.h"
#include "data/Database.h"
#include "engine/DrawEngine.h"
#include "engine/Maintenance.h"
#include "files/Importer.h"
#include "files/Workbook.h"
#include "lists/GridExport.h"
#include "lists/RecordView.h"
#include "platform/MessagePrompt.h"
#include "platform/ScreenChoice.h"
#include "platform/WindowHelpers.h"
#include "screen/DrawScreen.h"
#include "DatabaseActions.h"

#include <QActionGroup>
#include <QTextDocument>
#include <QTextCursor>
#include <QStatusBar>
#include <QShortcut>
#include <QTimer>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>

namespace quilla {

namespace {

enum Tab
{
    DrawsTab,
    PrizesTab,
    ParticipantsTab,
    ResultsTab,
    HelpTab
};

// The draw whose results were stored last: after a restart the results tab shows the
// party's draw, not a newer empty one.
qint64 drawOfNewestResult(Database &db)
{
    qint64 draw = 0;
    if (!db.forEachRow(Sql("SELECT CID FROM 结果表 ORDER BY ID DESC LIMIT 1"),
                       [&](const Row &row) { draw = row.number(0); }))
        return 0;
    return draw;
}

} // namespace

ManagementWindow::ManagementWindow(Database &db, DrawEngine &engine, Progress &progress, Music &music,
                                   QWidget *parent)
    : QMainWindow(parent), m_db(db), m_engine(engine), m_progress(progress), m_music(music)
{
    setWindowTitle(ApplicationTitle);
    chooseImportFile = [this] { return askImportFile(QString(), this); };
    runDialog = [](QDialog &dialog) { return dialog.exec(); };
    chooseDraw = [this](qint64 offered) {
        DrawChooser chooser(m_db, offered, this);
        chooser.exec();
        return chooser.chosenDrawText();
    };
    buildMenus();

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    auto *top = new QHBoxLayout;
    auto *title = new QLabel(QStringLiteral("Quilla抽奖"), central);
    title->setObjectName(QStringLiteral("title"));
    title->setAccessibleName(QStringLiteral("Quilla抽奖"));
    title->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    title->setStyleSheet(QStringLiteral(
        "QLabel { color: #fff3c4; font-family: '楷体_GB2312'; font-size: 30pt; font-weight: bold;"
        " padding-left: 24px; border-radius: 6px;"
        " background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #9b1b1b, stop:0.6 #c9302c,"
        " stop:1 #e8a33d); }"));
    top->addWidget(title, 1);
    m_startButton = new QPushButton(QStringLiteral("开  始\n\n抽  奖"), central);
    m_startButton->setObjectName(QStringLiteral("startDraw"));
    m_startButton->setAccessibleName(QStringLiteral("开始抽奖"));
    QFont kaiti(QStringLiteral("楷体_GB2312"));
    kaiti.setPointSizeF(14.25);
    kaiti.setBold(true);
    m_startButton->setFont(kaiti);
    m_startButton->setFixedSize(105, 81);
    QPalette palette = m_startButton->palette();
    palette.setColor(QPalette::Button, QColor(0xff, 0xe0, 0xc0));
    m_startButton->setPalette(palette);
    connect(m_startButton, &QPushButton::clicked, this, &ManagementWindow::startDraw);
    top->addWidget(m_startButton);
    layout->addLayout(top);

    m_tabs = new QTabWidget(central);
    m_tabs->setObjectName(QStringLiteral("tabs"));
    m_tabs->setAccessibleName(QStringLiteral("管理页面"));
    // The panels after the tabs, so that Tab reaches the tab bar before a panel's buttons.
    m_draws = new DrawsPanel(db, m_tabs);
    m_prizes = new PrizesPanel(db, m_tabs);
    m_participants = new ParticipantsPanel(db, progress, m_tabs);
    m_results = new ResultsPanel(db, m_tabs);
    auto *help = new QPlainTextEdit(m_tabs);
    help->setObjectName(QStringLiteral("help"));
    help->setReadOnly(true);
    help->setAccessibleName(QStringLiteral("使用帮助"));
    help->setPlainText(helpText());

    m_tabs->addTab(m_draws, QStringLiteral("抽奖设置"));
    m_tabs->addTab(m_prizes, QStringLiteral("奖项设置"));
    m_tabs->addTab(m_participants, QStringLiteral("抽奖号码"));
    m_tabs->addTab(m_results, QStringLiteral("抽奖结果"));
    m_tabs->addTab(help, QStringLiteral("帮助"));
    // The door desk's key: straight to the check-in box, whatever was shown.
    auto *checkIn = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_I), this);
    connect(checkIn, &QShortcut::activated, this, [this] {
        m_tabs->setCurrentWidget(m_participants);
        m_participants->focusCheckIn();
    });
    layout->addWidget(m_tabs, 1);
    setCentralWidget(central);
    setMinimumSize(720, 480);
    resize(1024, 680);

    connect(m_draws, &DrawsPanel::editRequested, this, &ManagementWindow::openDrawSettingEditor);
    connect(m_draws, &DrawsPanel::drawsDeleted, this, &ManagementWindow::drawsDeleted);
    connect(m_prizes, &PrizesPanel::editRequested, this, &ManagementWindow::openPrizeEditor);
    connect(m_participants, &ParticipantsPanel::importRequested, this,
            [this](qint64 drawId) { importParticipants(drawId); });
    connect(m_participants, &ParticipantsPanel::checkInListRequested, this,
            [this](qint64 drawId) { importParticipants(drawId, true); });
    connect(m_participants, &ParticipantsPanel::entryRequested, this, &ManagementWindow::openParticipantEntry);
    // Queued: the program that dragged the file waits until the drop returns, not for the import's dialogs.
    connect(
        m_participants, &ParticipantsPanel::fileDropped, this,
        [this](qint64 drawId, const QString &path) { importParticipants(drawId, false, path); }, Qt::QueuedConnection);
    connect(m_participants, &ParticipantsPanel::templateRequested, this,
            [this] { exportParticipantTemplate(m_db.prompt(), m_progress, this, chooseExportFile); });
    connect(m_draws, &RecordPanel::linkActivated, this, [this](const QString &link) {
        if (link == u"sample")
            openSampleDraw();
    });
    auto *helpKey = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(helpKey, &QShortcut::activated, this, &ManagementWindow::showHelpForTab);
    connect(m_results, &ResultsPanel::presetEditorRequested, this, &ManagementWindow::openPresetEditor);
    m_nextStepTimer = new QTimer(this);
    m_nextStepTimer->setSingleShot(true);
    m_nextStepTimer->setInterval(0);
    connect(m_nextStepTimer, &QTimer::timeout, this, &ManagementWindow::showNextStep);
    for (RecordPanel *panel : {static_cast<RecordPanel *>(m_draws), static_cast<RecordPanel *>(m_prizes),
                               static_cast<RecordPanel *>(m_participants), static_cast<RecordPanel *>(m_results)}) {
        connect(panel, &RecordPanel::exportRequested, this, &ManagementWindow::exportList);
        connect(panel, &RecordPanel::drawChosen, this, &ManagementWindow::focusOn);
        // A prize added or a list imported may be what the draw lacked.
        // Once after a burst: a long delete removes rows run by run.
        const QAbstractItemModel *rows = panel->view()->model();
        connect(rows, &QAbstractItemModel::modelReset, m_nextStepTimer, qOverload<>(&QTimer::start));
        connect(rows, &QAbstractItemModel::rowsInserted, m_nextStepTimer, qOverload<>(&QTimer::start));
        connect(rows, &QAbstractItemModel::rowsRemoved, m_nextStepTimer, qOverload<>(&QTimer::start));
    }
    connect(m_tabs, &QTabWidget::currentChanged, this, &ManagementWindow::refreshCurrentTab);

    m_focusDraw = drawOfNewestResult(db);
    m_tabs->setCurrentIndex(DrawsTab);
    refreshCurrentTab();
}

ManagementWindow::~ManagementWindow()
{
    delete m_screen;
    delete m_drawSettingEditor;
    delete m_prizeEditor;
    delete m_participantEntry;
    delete m_presetEditor;
}

DrawSettingEditor *ManagementWindow::drawSettingEditor() const
{
    return m_drawSettingEditor;
}

PrizeEditor *ManagementWindow::prizeEditor() const
{
    return m_prizeEditor;
}

ParticipantEntry *ManagementWindow::participantEntry() const
{
    return m_participantEntry;
}

PresetEditor *ManagementWindow::presetEditor() const
{
    return m_presetEditor;
}

DrawScreen *ManagementWindow::drawScreen() const
{
    return m_screen;
}

DatabaseActions *ManagementWindow::databaseActions() const
{
    return m_databaseActions;
}

void ManagementWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("文件"));
    m_newDrawAction = file->addAction(QStringLiteral("新建"), this, [this] { openDrawSettingEditor(0); });
    file->addSeparator();
    QAction *quit = file->addAction(QStringLiteral("退出"), this, &QWidget::close);
    m_databaseActions = new DatabaseActions(m_db, *this);
    m_databaseActions->addTo(file, quit);
#ifdef QUILLA_PHONE
    m_phoneAction = new QAction(QStringLiteral("现场签到…"), file);
    m_phoneAction->setObjectName(QStringLiteral("phoneCheckIn"));
    connect(m_phoneAction, &QAction::triggered, this, &ManagementWindow::openPhoneCheckIn);
    file->insertAction(quit, m_phoneAction);
    file->insertSeparator(quit);
#endif
    m_databaseActions->reportProgress = &m_progress;
    m_databaseActions->chooseReportDraw = [this] {
        const QString chosen = chooseDraw ? chooseDraw(m_focusDraw) : QString();
        return chosen.isEmpty() ? qint64(0) : chooserKey(chosen);
    };
    connect(m_databaseActions, &DatabaseActions::databaseSwitched, this, [this] {
        // Another file: what was chosen belonged to the old one.
#ifdef QUILLA_PHONE
        if (m_phone)
            m_phone->stop();
#endif
        m_focusDraw = drawOfNewestResult(m_db);
        m_draws->refresh();
        if (auto *help = findChild<QPlainTextEdit *>(QStringLiteral("help")))
            help->setPlainText(helpText());
        refreshCurrentTab();
    });
    m_screenMenu = menuBar()->addMenu(QStringLiteral("抽奖屏幕"));
    m_screenMenu->setObjectName(QStringLiteral("screenMenu"));
    connect(m_screenMenu, &QMenu::aboutToShow, this, &ManagementWindow::fillScreenMenu);
    fillScreenMenu();
    QMenu *help = menuBar()->addMenu(QStringLiteral("帮助"));
    help->addAction(QStringLiteral("使用帮助"), this, [this] { m_tabs->setCurrentIndex(HelpTab); });
    help->addAction(QStringLiteral("示例抽奖"), this, &ManagementWindow::openSampleDraw);
}

// The displays as they are now: one may have been plugged in since the last look.
void ManagementWindow::fillScreenMenu()
{
    m_screenMenu->clear();
    auto *group = new QActionGroup(m_screenMenu);
    const QString remembered = rememberedDrawScreen();
    bool known = false;
    const auto add = [&](const QString &caption, const QString &name) {
        QAction *action = m_screenMenu->addAction(caption);
        action->setCheckable(true);
        action->setData(name);
        group->addAction(action);
        if (name == remembered) {
            action->setChecked(true);
            known = true;
        }
        connect(action, &QAction::triggered, this, [this, name] {
            if (!rememberDrawScreen(name))
                m_db.prompt().message(QStringLiteral("抽奖屏幕的选择未能保存！"), Prompt::Icon::Warning);
        });
    };
    add(QStringLiteral("自动（有多个屏幕时使用管理窗口以外的屏幕）"), QString());
    m_screenMenu->addSeparator();
    for (QScreen *screen : QGuiApplication::screens())
        add(screenLabel(screen), screen->name());
    if (!known) // remembered but not connected now: the automatic choice applies
        group->actions().constFirst()->setChecked(true);
}

QString ManagementWindow::helpText() const
{
    return QStringLiteral("Quilla抽奖 使用帮助\n\n"
                          "一、准备抽奖\n"
                          "1. 在“抽奖设置”页点“新建抽奖”，填写抽奖名称、滚动速度、定时、号码长度、屏蔽规则，"
                          "并可选择背景图片和三段背景音乐（等待、抽奖、中奖）。\n"
                          "2. 在“奖项设置”页选择抽奖名称，点“添加奖项”，填写奖项名称、数量、一次抽出的人数、"
                          "是否显示在公告中、获奖者能否再次参与抽奖以及奖品说明。"
                          "用“顺序移前”“顺序移后”调整抽奖的先后。\n"
                          "3. 在“抽奖号码”页选择抽奖名称，点“添加数据”逐个添加参加抽奖的号码和姓名；"
                          "双击表格中的姓名（或选中后直接输入）可以修改，按回车键后立即保存。"
                          "“去除重复”删除号码和姓名都相同的多余记录。\n"
                          "4. 名单较多时点“导入数据”，选择 CSV、XLS 或 XLSX 文件（CSV 可以是 UTF-8 或 GBK/GB18030 编码）。"
                          "Excel 文件有多个工作表时先选择工作表。在“导入数据映射”窗口中，上方预览显示文件的内容，"
                          "行号在左、列字母（A、B、C…）在上：在“对应列号”中填写号码和姓名所在的列字母，"
                          "在“导入起始行”“导入结束行”中填写要导入的行（通常从第 2 行开始，跳过标题行；"
                          "结束行默认为文件的最后一行），确定后一次导入，完成后显示“已导入 N 条”。\n\n"
                          "二、开始抽奖\n"
                          "点右上角的“开始抽奖”，选择要进行的抽奖。"
                          "如果已有抽奖结果，程序会询问是保留原结果继续抽，还是删除后重新抽。\n"
                          "在抽奖屏幕上点右下角的“开始抽奖”进入抽奖状态，之后每点一下鼠标（或按空格键）"
                          "开始或停止一轮，停下时中奖号码立即保存并列入获奖名单。"
                          "在抽奖屏幕上点鼠标右键打开设置菜单：“号码框设置”调整号码框的位置、大小、底色和号码的字体颜色，"
                          "“公告板设置”调整获奖名单的位置和字体，修改立即显示在屏幕上并随本抽奖保存。\n"
                          "抽奖屏幕的操作：\n"
                          "· 鼠标左键或空格键：开始、停止一轮；刚停下的半秒内再按不会开始新的一轮，以免连按盖住中奖号码。\n"
                          "· 一轮抽出的人数较多时，号码框分行分列显示全部中奖号码，字号自动缩小；"
                          "一屏放不下时每隔几秒自动翻页，也可以用方向键或 PageUp/PageDown 翻页，获奖名单同时翻页。\n"
                          "· 鼠标右键、菜单键或 Shift+F10：打开设置菜单（号码框设置、公告板设置、公告板隐藏、"
                          "公告板反序、只显示当前奖项名单、屏幕刷新、退出抽奖）。\n"
                          "· 左下角“取消结果”或 Delete 键：打开本抽奖的结果列表（最近一轮在最前），勾选后按回车，"
                          "删除的名额会重新抽取。选“中奖人不在场”时此人在本次抽奖中不再抽到；"
                          "选“仅取消结果”时此人重新放回抽奖。\n"
                          "签到：在“抽奖号码”页的“签到”框输入或扫描号码后按回车即签到；也可以导入签到名单，"
                          "或选中后“标记签到”“恢复在场”。抽奖设置中勾选“只抽取已签到的人”后，每一轮只在已签到的人中抽取。\n"
                          "· 右下角“结束抽奖”或 Esc 键（会先询问“结束抽奖？”）：关闭抽奖屏幕，回到管理窗口；"
                          "滚动中的一轮不保存。\n"
                          "· 没有设置号码框和公告板的抽奖使用适合会场的默认样式：号码框居中放大，获奖名单在右侧深色底板上。"
                          "电脑没有声音设备时，开始前会提示本次不播放音乐。\n"
                          "接有投影仪等第二个屏幕时，抽奖屏幕显示在管理窗口以外的屏幕上，管理窗口留在本机屏幕上"
                          "（抽奖期间不能修改）；也可以在“抽奖屏幕”菜单中指定使用哪个屏幕。\n\n"
                          "三、查看结果\n"
                          "在“抽奖结果”页选择抽奖名称即可查看各奖项的获奖名单；"
                          "选中若干行后点“删除数据”可以删除这些结果，以便重新抽取。"
                          "点“导出数据”（或在表格中按右键选“导出表格”）把当前表格保存为 CSV、XLS 或 XLSX 文件，"
                          "完成后显示“已导出 N 条”。\n\n"
                          "表格操作：点列标题按该列排序，再点一次反向排序；点“序号”标题重新调整列宽；在表格中按右键、菜单键或Shift+F10打开“导出表格”菜单；"
                          "拖动标题之间的分隔线可以改变列宽；按住鼠标拖动可以选中多行。\n\n"
                          "四、记录与备份（“文件”菜单）\n"
                          "“抽奖报告…”把一个抽奖的设置、各奖项的获奖名单（含抽奖时间和当时在场人数）、"
                          "删除与重新抽奖的记录和摘要保存为 PDF 或网页，可以打印或发送。\n"
                          "“备份数据库…”在程序运行时把数据库完整地复制一份。"
                          "“打开数据库…”改用另一个数据库文件（例如备用电脑上打开U盘里的自动备份）。\n"
                          "“自动备份…”选择一个文件夹（例如U盘）：每抽完一轮、以及修改数据后每隔最多10秒，"
                          "程序都会在后台把数据库复制到那里；文件夹不可用时状态栏会提示，抽奖不受影响。"
                          "主电脑出故障时，在备用电脑上用“打开数据库…”打开这份复制，即可从最后一轮继续抽奖。\n\n"
                          "所有修改都会立即保存到数据库文件：\n") +
           QDir::toNativeSeparators(m_db.path()) +
           (m_db.isReadOnly() ? QStringLiteral("（只读，修改无法保存）") : QString()) +
           QStringLiteral("\n\n安装在系统中的程序（或程序目录不能写入时），数据库保存在每个用户自己的数据目录中，"
                          "而不是程序目录中；直接从程序目录运行时，数据库就在程序旁边。"
                          "备份或复制抽奖数据时，请复制上面这个文件。");
}

// ---------------------------------------------------------------- tabs

void ManagementWindow::refreshCurrentTab()
{
    showNextStep();
    switch (m_tabs->currentIndex()) {
    case DrawsTab:
        m_draws->refresh();
        break;
    case PrizesTab:
        m_prizes->showDraw(m_focusDraw > 0 ? m_focusDraw : m_prizes->chosenDraw());
        break;
    case ParticipantsTab:
        m_participants->showDraw(m_focusDraw > 0 ? m_focusDraw : m_participants->chosenDraw());
        break;
    case ResultsTab:
        m_results->showDraw(m_focusDraw > 0 ? m_focusDraw : m_results->chosenDraw());
        break;
    default:
        break;
    }
}

void ManagementWindow::focusOn(qint64 drawId)
{
    if (drawId > 0)
        m_focusDraw = drawId;
    showNextStep();
}

void ManagementWindow::showNextStep()
{
    if (!m_nextStep) {
        m_nextStep = new QLabel(this);
        m_nextStep->setObjectName(QStringLiteral("nextStep"));
        m_nextStep->setContentsMargins(24, 0, 0, 0); // apart from the database's path
        statusBar()->addWidget(m_nextStep);
    }
    QString text;
    const QString name =
        m_focusDraw > 0 ? m_db.lookupValue(QStringLiteral("奖次表"), m_focusDraw, QStringLiteral("ID"),
                                           QStringLiteral("抽奖内容"))
                              .toString()
                        : QString();
    if (m_focusDraw > 0 && m_db.countRows(QStringLiteral("奖次表"), Sql("ID=") + Sql::number(m_focusDraw)) == 1) {
        const QStringList missing = missingBeforeStart(m_db, m_focusDraw);
        text = missing.isEmpty() ? QStringLiteral("抽奖“%1”可以开始抽奖").arg(name)
                                 : QStringLiteral("抽奖“%1”还缺：%2").arg(name, missing.join(u'、'));
    }
    m_nextStep->setText(text);
    m_nextStep->setAccessibleName(text);
}

void ManagementWindow::openSampleDraw()
{
    const qint64 draw = createSampleDraw(m_db);
    if (draw <= 0) {
        m_db.prompt().message(QStringLiteral("示例抽奖未能保存到数据库，请检查数据库文件！"), Prompt::Icon::Warning);
        return;
    }
    focusOn(draw);
    m_tabs->setCurrentIndex(DrawsTab);
    m_draws->refresh();
    m_draws->view()->selectKey(draw);
    m_startButton->setFocus();
}

void ManagementWindow::showHelpForTab()
{
    // Each tab's part of the help begins with its heading.
    static const QStringList parts{QStringLiteral("1. 在“抽奖设置”页"), QStringLiteral("2. 在“奖项设置”页"),
                                   QStringLiteral("3. 在“抽奖号码”页"), QStringLiteral("三、查看结果"),
                                   QStringLiteral("Quilla抽奖 使用帮助")};
    const int tab = m_tabs->currentIndex();
    auto *help = findChild<QPlainTextEdit *>(QStringLiteral("help"));
    m_tabs->setCurrentIndex(HelpTab);
    if (!help)
        return;
    QTextCursor at = help->document()->find(parts.value(tab, parts.last()));
    if (at.isNull())
        return;
    // The part's heading at the top.
    help->moveCursor(QTextCursor::End);
    help->setTextCursor(at);
    help->ensureCursorVisible();
    help->setFocus();
}

void ManagementWindow::drawsDeleted(const QList<qint64> &drawIds)
{
    if (drawIds.contains(m_focusDraw))
        m_focusDraw = 0;
    // Its draw is gone: there is nothing left to add to.
    if (m_participantEntry && drawIds.contains(m_entryDraw))
        m_participantEntry->close();
}

// ---------------------------------------------------------------- editors

void ManagementWindow::setEditorOpen(bool open)
{
    if (open)
        m_focusBeforeEditor = QApplication::focusWidget();
    // While an editor is open nothing may change what it edits or start a draw.
    m_tabs->setEnabled(!open);
    m_newDrawAction->setEnabled(!open);
    m_startButton->setEnabled(!open);
    // The keyboard goes back to where the operator opened the editor from.
    if (!open && m_focusBeforeEditor)
        m_focusBeforeEditor->setFocus();
}

void ManagementWindow::openDrawSettingEditor(qint64 drawId)
{
    if (m_drawSettingEditor)
        return;
    m_drawSettingEditor = new DrawSettingEditor(m_db, m_music, this);
    m_drawSettingEditor->setWindowFlag(Qt::Window);
    connect(m_drawSettingEditor, &DrawSettingEditor::closed, this, [this] {
        if (m_drawSettingEditor) {
            focusOn(m_drawSettingEditor->ID());
            m_drawSettingEditor->deleteLater();
        }
        setEditorOpen(false);
        refreshCurrentTab();
    });
    setEditorOpen(true);
    m_drawSettingEditor->show();
    if (drawId > 0)
        m_drawSettingEditor->setID(drawId);
}

void ManagementWindow::openPrizeEditor(qint64 prizeId, qint64 drawId)
{
    if (m_prizeEditor)
        return;
    m_prizeEditor = new PrizeEditor(m_db, this);
    m_prizeEditor->setWindowFlag(Qt::Window);
    connect(m_prizeEditor, &PrizeEditor::saved, m_prizes, &RecordPanel::refresh);
    connect(m_prizeEditor, &PrizeEditor::closed, this, [this] {
        if (m_prizeEditor)
            m_prizeEditor->deleteLater();
        setEditorOpen(false);
    });
    setEditorOpen(true);
    m_prizeEditor->show();
    if (prizeId > 0) {
        m_prizeEditor->setID(prizeId);
    } else {
        m_prizeEditor->setCID(drawId);
        m_prizeEditor->setOrd(QString::number(nextPrizeOrder(m_db, drawId)));
    }
}

void ManagementWindow::openParticipantEntry(qint64 drawId)
{
    if (drawId < 1) {
        m_db.prompt().message(QStringLiteral("请在“抽奖号码”页选择抽奖名称后再添加名单！"));
        return;
    }
    if (m_participantEntry && m_entryDraw != drawId)
        m_participantEntry->close(); // one entry window, for the draw now listed
    if (!m_participantEntry) {
        m_entryDraw = drawId;
        m_participantEntry = new ParticipantEntry(
            [this, drawId](const QString &number, const QString &name) {
                return m_participants->addParticipant(drawId, number, name);
            },
            this);
        m_participantEntry->setWindowFlag(Qt::Window);
        connect(m_participantEntry, &ParticipantEntry::closed, m_participantEntry, &QObject::deleteLater);
    }
    m_participantEntry->show();
    m_participantEntry->raise();
    m_participantEntry->activateWindow();
}

void ManagementWindow::openPresetEditor()
{
    // One preset editor; it neither locks this window nor waits for a draw to end.
    if (!m_presetEditor) {
        m_presetEditor = new PresetEditor(m_db, m_progress, this);
        m_presetEditor->runningDraw = [this] { return m_screen ? m_engine.CurrentDraw.Id : qint64(0); };
        connect(m_presetEditor, &PresetEditor::closed, m_presetEditor, &QObject::deleteLater);
    }
    m_presetEditor->show();
    m_presetEditor->raise();
    m_presetEditor->activateWindow();
}

// ---------------------------------------------------------------- export and import

void ManagementWindow::exportList(RecordView *view)
{
    view->commitEditing();
    exportView(*view, m_db.prompt(), m_progress, ApplicationTitle, this, chooseExportFile);
}

void ManagementWindow::importParticipants(qint64 drawId, bool checkInList, const QString &given)
{
    const QString path = !given.isEmpty() ? given : chooseImportFile ? chooseImportFile() : QString();
    if (path.isEmpty())
        return;
    // The path keeps its case; only the extension is compared without it.
    const QString suffix = QFileInfo(path).suffix().toLower();
    std::unique_ptr<Workbook> book;
    QString sheet;
    if (suffix != u"csv") {
        if (suffix != u"xls" && suffix != u"xlsx") {
            m_db.prompt().message(QStringLiteral("您选择的文件格式不支持导入，请选择CSV或XLS文件！"));
            return;
        }
        OpenedWorkbook opened = openWorkbook(path);
        if (!opened.book) {
            m_db.prompt().message(importErrorMessage(opened.error));
            return;
        }
        book = std::move(opened.book);
        SheetChooser sheets(book->sheetNames(), 1, this);
        if (runDialog(sheets) != QDialog::Accepted || sheets.importSheet().isEmpty())
            return;
        sheet = sheets.importSheet();
    }
    if (drawId < 1) {
        // Rows of no draw would be listed nowhere.
        m_db.prompt().message(QStringLiteral("请先在“抽奖号码”页选择抽奖名称，再导入数据！"));
        return;
    }
    ImportMapping mapping(m_db, m_progress, drawId, path, book.get(), sheet, this);
    if (checkInList)
        mapping.readCheckInList();
    runDialog(mapping);
    if (mapping.importResult() == 0)
        m_participants->showDraw(drawId); // the rows just imported (or checked in) show
}

// ---------------------------------------------------------------- check-in by phone

void ManagementWindow::openPhoneCheckIn()
{
#ifdef QUILLA_PHONE
    if (!m_phone) {
        m_phone = new PhoneCheckInWindow(m_db, this);
        m_phone->setObjectName(QStringLiteral("phoneCheckInWindow"));
        connect(m_phone, &PhoneCheckInWindow::runningChanged, this, [this](bool running) {
            m_phoneAction->setText(running ? QStringLiteral("现场签到…（进行中）") : QStringLiteral("现场签到…"));
        });
    }
    if (!m_phone->isRunning()) {
        const QString chosen = chooseDraw ? chooseDraw(m_focusDraw) : QString();
        if (chosen.isEmpty())
            return;
        focusOn(chooserKey(chosen));
        m_phone->setDraw(chosen);
    }
    m_phone->show();
    m_phone->raise();
    m_phone->activateWindow();
#endif
}

// ---------------------------------------------------------------- start

void ManagementWindow::startDraw()
{
    const QString chosen = chooseDraw ? chooseDraw(m_focusDraw) : QString();
    if (chosen.isEmpty())
        return;
    const qint64 drawId = chooserKey(chosen);
    focusOn(drawId);
    m_engine.CurrentDraw.Id = drawId;
    if (!m_engine.confirmDrawStart(drawId))
        return;
    auto *screen = new DrawScreen(m_db, m_engine, m_progress, m_music);
    if (!screen->load(drawId)) {
        delete screen; // not read whole: no draw on part of it
        return;
    }
    m_screen = screen;
    connect(screen, &DrawScreen::roundStored, m_databaseActions, &DatabaseActions::roundStored);
    connect(m_databaseActions, &DatabaseActions::standbyFalling, screen, &DrawScreen::showOperatorNote);
    connect(screen, &DrawScreen::closed, this, [this] {
        if (m_screen)
            m_screen->deleteLater();
        if (m_quitting)
            return;
        lockWhileDrawing(false);
        // The screen may have cleared the draw's presets.
        if (m_presetEditor)
            m_presetEditor->refreshMarks();
        show();
        refreshCurrentTab();
    });
    // With a second display the audience sees the draw there while this window
    // stays on the operator's, locked against changes until the draw ends.
    QScreen *target = drawScreenFor(this->screen(), rememberedDrawScreen());
    screen->setScreen(target);
    screen->setGeometry(target->geometry());
    screen->showFullScreen();
#ifdef QUILLA_PHONE
    if (m_phone) {
        m_phone->showOnStage(screen);
        if (target == this->screen())
            m_phone->hide(); // it would stand in front of the draw; the server goes on
    }
#endif
    followRemainingScreens(screen);
    screen->activateWindow();
    screen->setFocus();
    if (target == this->screen())
        hide();
    else
        lockWhileDrawing(true);
}

void ManagementWindow::lockWhileDrawing(bool locked)
{
    centralWidget()->setEnabled(!locked);
    menuBar()->setEnabled(!locked);
}

void ManagementWindow::closeEvent(QCloseEvent *event)
{
    // With the draw screen on the projector this window stays open beside it; a
    // stray close must not end the draw in front of the audience.
    if (m_screen && m_screen->isVisible() && isVisible()) {
        event->ignore();
        m_db.prompt().message(QStringLiteral("正在抽奖，请先在抽奖屏幕上结束抽奖，再关闭本窗口。"));
        return;
    }
    // Everything is stored as it is made: closing ends the program, editors included.
    m_quitting = true;
    event->accept();
    QApplication::closeAllWindows();
}

} // namespace quilla
