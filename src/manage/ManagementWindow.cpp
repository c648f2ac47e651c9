#include "ManagementWindow.h"

#include "DrawChooser.h"
#include "DrawSettingEditor.h"
#include "ImportMapping.h"
#include "ParticipantEntry.h"
#include "PresetEditor.h"
#include "PrizeEditor.h"
#include "SheetChooser.h"
#include "data/Chooser.h"
#include "data/Database.h"
#include "engine/DrawEngine.h"
#include "engine/Maintenance.h"
#include "files/Importer.h"
#include "files/Workbook.h"
#include "grids/GridExport.h"
#include "platform/ChooserBox.h"
#include "platform/Grid.h"
#include "platform/MessagePrompt.h"
#include "platform/ScreenChoice.h"
#include "platform/WindowHelpers.h"
#include "screen/DrawScreen.h"

#include <QAbstractButton>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace quilla {

namespace {

// The buttons of each tab, left to right: index and caption.
struct Button
{
    int index;
    const char16_t *caption;
};
const QList<QList<Button>> TabButtons = {
    {{0, u"新建抽奖"}, {1, u"修改设置"}, {2, u"删除设置"}},
    {{10, u"添加奖项"}, {11, u"修改奖项"}, {12, u"删除奖项"}, {13, u"顺序移前"}, {14, u"顺序移后"}},
    {{20, u"导入数据"}, {23, u"删除数据"}, {24, u"添加数据"}, {21, u"去除重复"}, {22, u"检查号长"}},
    {{30, u"删除数据"}, {31, u"导出数据"}, {32, u"刷新数据"}},
};

const char16_t *const TabCaptions[] = {u"抽奖设置", u"奖项设置", u"抽奖号码", u"抽奖结果", u"帮助"};
const char16_t *const GridTables[] = {u"奖次表", u"奖项表", u"号码表", u"结果表"};

// Field specs and titles of the four grids.
const QList<QStringList> GridSpecs = {
    {"ID", "", "抽奖内容", "速度", "定时", "定长", "屏蔽", "底图"},
    {"ID", "顺序", "名称", "数量", "同时", "显示", "重复", "奖品"},
    {"ID", "", "号码", "姓名"},
    {"ID", "CID", "", "WID:奖项表:ID:名称", "WID:奖项表:ID:奖品", "号码", "姓名"},
};
const QList<QStringList> GridTitles = {
    {"", "序号", "抽奖名称", "滚动速度", "定时", "定长", "屏蔽规则", "背景图"},
    {"", "抽奖顺序", "奖项名称", "奖项数量", "每次抽出人数", "公告显示", "可重复获奖", "奖品说明"},
    {"ID", "序号", "抽奖号码", "姓名"},
    {"ID", "CID", "序号", "获得奖项", "奖品", "抽奖号码", "姓名"},
};

// A record key as a grid cell holds it: "17", or "-17" for a row edited and not yet saved.
qint64 keyOf(const QString &cell)
{
    return ChooserKey(cell.startsWith(u'-') ? cell.mid(1) : cell);
}

// The buttons' colour, 0x00BBGGRR.
constexpr qint64 ButtonColour = 0x00C0E0FF;

void paintButton(QPushButton *button)
{
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button, ColorFromBgr(ButtonColour));
    button->setPalette(palette);
}

} // namespace

ManagementWindow::ManagementWindow(Database &db, DrawEngine &engine, Progress &progress, Music &music, QWidget *parent)
    : QMainWindow(parent), m_db(db), m_engine(engine), m_progress(progress), m_music(music),
      m_presenter(db, progress, this)
{
    setWindowTitle(ApplicationTitle);
    chooseImportFile = [this] { return ChooseImportFile(QString(), this); };
    runDialog = [](QDialog &dialog) { return dialog.exec(); };
    chooseDraw = [this] {
        DrawChooser chooser(m_db, this);
        chooser.exec();
        return chooser.ChosenDrawText();
    };
    buildMenus();

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    auto *top = new QHBoxLayout;
    iTit = new QLabel(QStringLiteral("Quilla抽奖"), central);
    iTit->setObjectName(QStringLiteral("iTit"));
    iTit->setAccessibleName(QStringLiteral("Quilla抽奖"));
    iTit->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    iTit->setStyleSheet(QStringLiteral(
        "QLabel { color: #fff3c4; font-family: '楷体_GB2312'; font-size: 30pt; font-weight: bold;"
        " padding-left: 24px; border-radius: 6px;"
        " background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #9b1b1b, stop:0.6 #c9302c,"
        " stop:1 #e8a33d); }"));
    top->addWidget(iTit, 1);
    Entr = new QPushButton(QStringLiteral("开  始\n\n抽  奖"), central);
    Entr->setAccessibleName(QStringLiteral("开始抽奖"));
    QFont kaiti(QStringLiteral("楷体_GB2312"));
    kaiti.setPointSizeF(14.25);
    kaiti.setBold(true);
    Entr->setFont(kaiti);
    Entr->setFixedSize(ToPixels(1575), ToPixels(1215));
    paintButton(Entr);
    connect(Entr, &QPushButton::clicked, this, &ManagementWindow::Entr_Click);
    top->addWidget(Entr);
    layout->addLayout(top);

    SST = new QTabWidget(central);
    SST->setAccessibleName(QStringLiteral("管理页面"));
    for (int tab = 0; tab < 5; ++tab)
        SST->addTab(buildTab(tab), QString::fromUtf16(TabCaptions[tab]));
    layout->addWidget(SST, 1);
    setCentralWidget(central);
    setMinimumSize(720, 480);
    resize(1024, 680);

    // The in-grid editor of the participants' names: a line edit over the cell,
    // bound to the record it was opened on.
    TT = new QLineEdit(MSF[2]->viewport());
    TT->setAccessibleName(QStringLiteral("姓名"));
    TT->hide();
    TT->installEventFilter(this);
    connect(TT, &QLineEdit::textEdited, this, &ManagementWindow::editTextEdited);
    for (QScrollBar *bar : {MSF[2]->verticalScrollBar(), MSF[2]->horizontalScrollBar()})
        connect(bar, &QScrollBar::valueChanged, this, &ManagementWindow::closeEditor);

    connect(SST, &QTabWidget::currentChanged, this, [this](int) {
        const int previous = m_currentTab;
        m_currentTab = SST->currentIndex();
        SST_Click(previous);
    });
    SST->setCurrentIndex(0);
    SST_Click(0);
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

void ManagementWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("文件"));
    M_New = file->addAction(QStringLiteral("新建"), this, [this] { Com_Click(0); });
    file->addSeparator();
    m_Exit = file->addAction(QStringLiteral("退出"), this, &QWidget::close);
    M_Screen = menuBar()->addMenu(QStringLiteral("抽奖屏幕"));
    connect(M_Screen, &QMenu::aboutToShow, this, &ManagementWindow::fillScreenMenu);
    fillScreenMenu();
    QMenu *help = menuBar()->addMenu(QStringLiteral("帮助"));
    M_UserHelp = help->addAction(QStringLiteral("使用帮助"), this, [this] { SST->setCurrentIndex(4); });
}

// The displays as they are now: one may have been plugged in since the last look.
void ManagementWindow::fillScreenMenu()
{
    M_Screen->clear();
    auto *group = new QActionGroup(M_Screen);
    const QString remembered = RememberedDrawScreen();
    bool known = false;
    const auto add = [&](const QString &caption, const QString &name) {
        QAction *action = M_Screen->addAction(caption);
        action->setCheckable(true);
        action->setData(name);
        group->addAction(action);
        if (name == remembered) {
            action->setChecked(true);
            known = true;
        }
        connect(action, &QAction::triggered, this, [this, name] {
            if (!RememberDrawScreen(name))
                m_db.prompt().message(QStringLiteral("抽奖屏幕的选择未能保存！"), Prompt::Icon::Warning);
        });
    };
    add(QStringLiteral("自动（有多个屏幕时使用管理窗口以外的屏幕）"), QString());
    M_Screen->addSeparator();
    for (QScreen *screen : QGuiApplication::screens())
        add(ScreenLabel(screen), screen->name());
    if (!known) // remembered but not connected now: the automatic choice applies
        group->actions().constFirst()->setChecked(true);
}

QWidget *ManagementWindow::buildTab(int tab)
{
    auto *panel = new QWidget;
    Pic[tab] = panel;
    auto *layout = new QVBoxLayout(panel);
    if (tab == 4) {
        THelp = new QPlainTextEdit(panel);
        THelp->setReadOnly(true);
        THelp->setAccessibleName(QStringLiteral("使用帮助"));
        THelp->setPlainText(helpText());
        layout->addWidget(THelp);
        return panel;
    }
    auto *row = new QHBoxLayout;
    if (tab >= 1) {
        Label1[tab - 1] = new QLabel(QStringLiteral("抽奖名称："), panel);
        CMB[tab] = new QComboBox(panel);
        CMB[tab]->setMinimumWidth(ToPixels(2415));
        CMB[tab]->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        Label1[tab - 1]->setBuddy(CMB[tab]);
        CMB[tab]->setAccessibleName(QStringLiteral("抽奖名称"));
        // Only the operator's choice refills the grid, never the chooser being refilled.
        connect(CMB[tab], &QComboBox::activated, this, [this, tab] { CMB_Click(tab); });
        row->addWidget(Label1[tab - 1]);
        row->addWidget(CMB[tab]);
        row->addSpacing(12);
    }
    for (const Button &button : TabButtons.at(tab)) {
        auto *push = new QPushButton(QString::fromUtf16(button.caption), panel);
        push->setAccessibleName(push->text());
        push->setMinimumWidth(ToPixels(1095));
        paintButton(push);
        Com.insert(button.index, push);
        connect(push, &QPushButton::clicked, this, [this, index = button.index] { Com_Click(index); });
        row->addWidget(push);
    }
    if (tab == 2)
        Com.value(22)->hide(); // kept for its place in the numbering, never offered
    row->addStretch();
    if (tab == 2) {
        LBL = new QLabel(QStringLiteral("共有记录"), panel);
        LBL->setAccessibleName(QStringLiteral("记录数"));
        row->addWidget(LBL);
    }
    layout->addLayout(row);

    Grid *grid = new Grid(panel);
    MSF[tab] = grid;
    grid->setAccessibleName(QString::fromUtf16(TabCaptions[tab]));
    layout->addWidget(grid, 1);
    connect(grid, &Grid::mousePressed, this,
            [this, tab](Qt::MouseButton button, Qt::KeyboardModifiers, double x, double y) {
                gridPressed(tab, button, x, y);
            });
    connect(grid, &QAbstractItemView::doubleClicked, this, [this, tab] {
        if (tab == 0)
            Com_Click(1);
        else if (tab == 1)
            Com_Click(11);
    });
    if (tab == 2)
        connect(grid, &QAbstractItemView::clicked, this, &ManagementWindow::startEditing);
    if (tab == 3)
        panel->installEventFilter(this);
    return panel;
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
                          "点表格中的姓名可以直接修改，输入的内容立即保存。"
                          "“去除重复”删除号码和姓名都相同的多余记录。\n\n"
                          "二、开始抽奖\n"
                          "点右上角的“开始抽奖”，选择要进行的抽奖。"
                          "如果已有抽奖结果，程序会询问是保留原结果继续抽，还是删除后重新抽。\n"
                          "在抽奖屏幕上点右下角的“开始抽奖”进入抽奖状态，之后每点一下鼠标（或按空格键）"
                          "开始或停止一轮，停下时中奖号码立即保存并列入获奖名单。"
                          "在抽奖屏幕上点鼠标右键打开设置菜单：“号码框设置”调整号码框的位置、大小、底色和号码的字体颜色，"
                          "“公告板设置”调整获奖名单的位置和字体，修改立即显示在屏幕上并随本抽奖保存。\n"
                          "接有投影仪等第二个屏幕时，抽奖屏幕显示在管理窗口以外的屏幕上，管理窗口留在本机屏幕上"
                          "（抽奖期间不能修改）；也可以在“抽奖屏幕”菜单中指定使用哪个屏幕。\n\n"
                          "三、查看结果\n"
                          "在“抽奖结果”页选择抽奖名称即可查看各奖项的获奖名单；"
                          "选中若干行后点“删除数据”可以删除这些结果，以便重新抽取。\n\n"
                          "表格操作：点列标题按该列排序，再点一次反向排序；点“序号”标题重新调整列宽；"
                          "拖动标题之间的分隔线可以改变列宽；按住鼠标拖动可以选中多行。\n\n"
                          "所有修改都会立即保存到数据库文件：\n") +
           QDir::toNativeSeparators(m_db.path()) +
           (m_db.isReadOnly() ? QStringLiteral("（只读，修改无法保存）") : QString()) +
           QStringLiteral("\n\n安装在系统中的程序（或程序目录不能写入时），数据库保存在每个用户自己的数据目录中，"
                          "而不是程序目录中；直接从程序目录运行时，数据库就在程序旁边。"
                          "备份或复制抽奖数据时，请复制上面这个文件。");
}

// ---------------------------------------------------------------- tabs

void ManagementWindow::layOutGrid(int tab)
{
    Grid &grid = *MSF[tab];
    if (tab == 2)
        closeEditor();
    GridPresenter::SetGridHeadings(grid, GridSpecs.at(tab), GridTitles.at(tab));
    grid.setTag(QString::fromUtf16(GridTables[tab]));
    if (tab == 3)
        grid.setFixedCols(3);
}

void ManagementWindow::SST_Click(int)
{
    const int tab = SST->currentIndex();
    if (tab == 0) {
        layOutGrid(0);
        m_presenter.FillGrid(*MSF[0], Sql(), Sql("ID"), false);
        for (int c = 3; c <= 5; ++c)
            MSF[0]->setColAlignment(c, 8);
    } else if (tab >= 1 && tab <= 3) {
        layOutGrid(tab);
        if (tab == 1)
            for (int c = 3; c <= 6; ++c)
                MSF[1]->setColAlignment(c, 4);
        fillChooser(tab);
        CMB_Click(tab);
    }
}

void ManagementWindow::fillChooser(int index)
{
    // The draw chosen before stays chosen while it exists; else the newest.
    const qint64 chosen = chosenDraw(index);
    FillChooser(CMB[index], m_db, QStringLiteral("奖次表"), QStringLiteral("ID"), QStringLiteral("抽奖内容"),
                Sql());
    for (int i = 0; i < CMB[index]->count(); ++i)
        if (chosen > 0 && ChooserKey(CMB[index]->itemText(i)) == chosen) {
            CMB[index]->setCurrentIndex(i);
            break;
        }
}

qint64 ManagementWindow::chosenDraw(int index) const
{
    return index >= 1 && index <= 3 ? ChooserKey(CMB[index]->currentText()) : 0;
}

void ManagementWindow::CMB_Click(int index)
{
    const Sql filter = Sql("CID=") + Sql::number(chosenDraw(index));
    switch (index) {
    case 1:
        m_presenter.FillGrid(*MSF[1], filter, Sql("顺序"), false);
        break;
    case 2:
        closeEditor();
        m_participantsDraw = chosenDraw(2);
        m_participantTotal = m_presenter.FillGrid(*MSF[2], filter, Sql("ID DESC"), false);
        showParticipantCount();
        break;
    case 3:
        m_presenter.FillGrid(*MSF[3], filter, Sql("WID"), false);
        break;
    default:
        break;
    }
}

void ManagementWindow::showParticipantCount()
{
    LBL->setText(QStringLiteral("共有记录：") + QString::number(m_participantTotal) + QStringLiteral("条"));
}

// ---------------------------------------------------------------- buttons

bool ManagementWindow::selection(int tab, int &firstRow, int &lastRow) const
{
    if (tab < 0 || tab > 3)
        return false;
    const Grid &grid = *MSF[tab];
    if (grid.FixedRows() >= grid.Rows() || grid.Row() < grid.FixedRows())
        return false;
    firstRow = std::min(grid.Row(), grid.RowSel());
    lastRow = std::max(grid.Row(), grid.RowSel());
    firstRow = std::max(firstRow, grid.FixedRows());
    return true;
}

QList<qint64> ManagementWindow::keys(const Grid &grid, int firstRow, int lastRow) const
{
    QList<qint64> ids;
    for (int r = firstRow; r <= lastRow; ++r)
        ids.append(keyOf(grid.TextMatrix(r, 0)));
    return ids;
}

void ManagementWindow::Com_Click(int index)
{
    int r1 = 0, r2 = 0;
    const bool valid = selection(index / 10, r1, r2);
    Prompt &prompt = m_db.prompt();
    switch (index) {
    case 0:
        openDrawSettingEditor(0);
        break;
    case 1:
        if (valid)
            openDrawSettingEditor(ChooserKey(MSF[0]->TextMatrix(MSF[0]->Row(), 0)));
        break;
    case 2:
        if (!valid ||
            !prompt.question(QStringLiteral("您确认要删除抽奖内容：第") + QString::number(r1 - 1) +
                             QStringLiteral("行至第") + QString::number(r2 - 1) + QStringLiteral("行？")))
            break;
        // A draw goes with everything that belongs to it, or not at all.
        if (DeleteDraws(m_db, keys(*MSF[0], r1, r2)))
            m_presenter.DeleteGridRows(*MSF[0], r1, r2, false, false);
        break;
    case 10: {
        const qint64 draw = chosenDraw(1);
        if (draw < 1) {
            prompt.message(QStringLiteral("请选择抽奖名称后再添加奖项！"));
            break;
        }
        openPrizeEditor(0, draw);
        break;
    }
    case 11:
        if (valid)
            openPrizeEditor(ChooserKey(MSF[1]->TextMatrix(MSF[1]->Row(), 0)), 0);
        break;
    case 12:
        // One question; the prizes, their results and their presets go together.
        if (!valid ||
            !prompt.question(QStringLiteral("您确认要删除奖项内容：第") + QString::number(r1 - 1) +
                             QStringLiteral("行至第") + QString::number(r2 - 1) + QStringLiteral("行？")))
            break;
        DeletePrizes(m_db, keys(*MSF[1], r1, r2));
        CMB_Click(1);
        break;
    case 13:
        SwapPrizeOrder(MSF[1]->Row(), MSF[1]->Row() - 1);
        break;
    case 14:
        SwapPrizeOrder(MSF[1]->Row(), MSF[1]->Row() + 1);
        break;
    case 20:
        closeEditor();
        StartImport(1);
        ContinueImport();
        break;
    case 21: {
        const qint64 draw = chosenDraw(2);
        if (draw < 1)
            break;
        closeEditor();
        RemoveDuplicateParticipants(m_db, m_progress, draw);
        CMB_Click(2);
        break;
    }
    case 23:
        if (valid) {
            closeEditor();
            if (m_presenter.DeleteGridRows(*MSF[2], r1, r2, true, true)) {
                m_participantTotal -= r2 - r1 + 1;
                showParticipantCount();
            }
        }
        break;
    case 24:
        if (!m_participantEntry) {
            m_participantEntry = new ParticipantEntry(
                [this](const QString &number, const QString &name) { return addParticipant(number, name); },
                this);
            m_participantEntry->setWindowFlag(Qt::Window);
            connect(m_participantEntry, &ParticipantEntry::closed, m_participantEntry, &QObject::deleteLater);
        }
        m_participantEntry->show();
        m_participantEntry->raise();
        m_participantEntry->activateWindow();
        break;
    case 30:
        if (valid)
            m_presenter.DeleteGridRows(*MSF[3], r1, r2, true, true);
        break;
    case 32:
        CMB_Click(3);
        break;
    case 31:
        exportGrid(*MSF[3]);
        break;
    default: // 22 does nothing
        break;
    }
}

void ManagementWindow::SwapPrizeOrder(int rowA, int rowB)
{
    Grid &grid = *MSF[1];
    const auto inData = [&](int row) { return row >= grid.FixedRows() && row < grid.Rows(); };
    if (!inData(rowA) || !inData(rowB))
        return;
    const auto swapRows = [&] {
        Grid::Batch batch(grid);
        for (int c = 0; c < grid.Cols(); ++c) {
            if (c == 1)
                continue;
            const QString a = grid.TextMatrix(rowA, c);
            grid.setTextMatrix(rowA, c, grid.TextMatrix(rowB, c));
            grid.setTextMatrix(rowB, c, a);
        }
    };
    swapRows();
    if (!StorePrizeOrder(m_db, keys(grid, grid.FixedRows(), grid.Rows() - 1))) {
        swapRows(); // the grid shows what is stored
        return;
    }
    // The orders are stored as the rows now stand: 1, 2, 3 …
    for (int r = grid.FixedRows(); r < grid.Rows(); ++r)
        grid.setTextMatrix(r, 1, QString::number(r - grid.FixedRows() + 1));
    grid.setRow(rowB);
    grid.setCol(2);
    grid.setRowSel(rowB);
    grid.setColSel(grid.Cols() - 1);
}

// ---------------------------------------------------------------- editors

void ManagementWindow::setEditorOpen(bool open)
{
    // While an editor is open nothing may change what it edits or start a draw.
    SST->setEnabled(!open);
    M_New->setEnabled(!open);
    Entr->setEnabled(!open);
}

void ManagementWindow::openDrawSettingEditor(qint64 id)
{
    if (m_drawSettingEditor)
        return;
    m_drawSettingEditor = new DrawSettingEditor(m_db, m_music, this);
    m_drawSettingEditor->setWindowFlag(Qt::Window);
    connect(m_drawSettingEditor, &DrawSettingEditor::closed, this, [this] {
        if (m_drawSettingEditor)
            m_drawSettingEditor->deleteLater();
        setEditorOpen(false);
        SST_Click(SST->currentIndex());
    });
    setEditorOpen(true);
    m_drawSettingEditor->show();
    if (id > 0)
        m_drawSettingEditor->setID(id);
}

void ManagementWindow::openPrizeEditor(qint64 id, qint64 drawId)
{
    if (m_prizeEditor)
        return;
    m_prizeEditor = new PrizeEditor(m_db, this);
    m_prizeEditor->setWindowFlag(Qt::Window);
    connect(m_prizeEditor, &PrizeEditor::saved, this, [this] { CMB_Click(1); });
    connect(m_prizeEditor, &PrizeEditor::closed, this, [this] {
        if (m_prizeEditor)
            m_prizeEditor->deleteLater();
        setEditorOpen(false);
    });
    setEditorOpen(true);
    m_prizeEditor->show();
    if (id > 0) {
        m_prizeEditor->setID(id);
    } else {
        m_prizeEditor->setCID(drawId);
        m_prizeEditor->setOrd(QString::number(NextPrizeOrder(m_db, drawId)));
    }
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

bool ManagementWindow::addParticipant(const QString &number, const QString &name)
{
    if (m_participantsDraw < 1) {
        m_db.prompt().message(QStringLiteral("请在“抽奖号码”页选择抽奖名称后再添加名单！"));
        return false;
    }
    closeEditor();
    Grid &grid = *MSF[2];
    const int r = grid.Rows();
    grid.setRows(r + 1);
    grid.setTextMatrix(r, 1, QString::number(grid.Rows() - grid.FixedRows()));
    grid.setTextMatrix(r, 2, number);
    grid.setTextMatrix(r, 3, name);
    SaveParticipantRows(r, r);
    if (grid.TextMatrix(r, 0).isEmpty()) {
        grid.setRows(r); // not stored: not listed either
        return false;
    }
    ++m_participantTotal;
    showParticipantCount();
    grid.setTopRow(r);
    return true;
}

// ---------------------------------------------------------------- participants

void ManagementWindow::SaveParticipantRows(int firstRow, int lastRow)
{
    Grid &grid = *MSF[2];
    const qint64 draw = m_participantsDraw;
    if (grid.Rows() == grid.FixedRows() || lastRow < firstRow || draw <= 0)
        return;
    for (int r = std::max(firstRow, grid.FixedRows()); r <= lastRow && r < grid.Rows(); ++r) {
        const qint64 key = keyOf(grid.TextMatrix(r, 0));
        const bool edited = grid.TextMatrix(r, 0).startsWith(u'-');
        if (edited) {
            if (UpdateParticipant(m_db, draw, key, grid.TextMatrix(r, 2), grid.TextMatrix(r, 3))) {
                grid.setTextMatrix(r, 0, QString::number(key));
            } else if (!m_editFailureShown) {
                // Said once per edit of a row; the row keeps its mark until it is saved.
                m_editFailureShown = true;
                m_db.prompt().message(QStringLiteral("修改未能保存到数据库，请检查数据库文件！"),
                                      Prompt::Icon::Warning);
            }
        } else if (key == 0) {
            const qint64 id = AppendParticipant(m_db, draw, grid.TextMatrix(r, 2), grid.TextMatrix(r, 3));
            if (id > 0)
                grid.setTextMatrix(r, 0, QString::number(id));
            else
                m_db.prompt().message(QStringLiteral("添加的名单未能保存到数据库，请检查数据库文件！"),
                                      Prompt::Icon::Warning);
        }
    }
}

void ManagementWindow::startEditing()
{
    closeEditor();
    Grid &grid = *MSF[2];
    const int row = grid.Row();
    const int col = grid.Col();
    if (row < grid.FixedRows() || row >= grid.Rows() || col < 3)
        return;
    EditRow = row;
    EditCol = col;
    m_editKey = keyOf(grid.TextMatrix(row, 0));
    m_editFailureShown = false;
    const QModelIndex index = grid.model()->index(row - grid.FixedRows(), col);
    TT->setGeometry(grid.visualRect(index));
    TT->setText(grid.TextMatrix(row, col));
    TT->show();
    TT->setFocus();
}

void ManagementWindow::editTextEdited(const QString &text)
{
    Grid &grid = *MSF[2];
    // Written only while the row still holds the record the editor was opened on.
    if (EditRow < grid.FixedRows() || EditRow >= grid.Rows() || m_editKey <= 0 ||
        keyOf(grid.TextMatrix(EditRow, 0)) != m_editKey) {
        closeEditor();
        return;
    }
    grid.setTextMatrix(EditRow, EditCol, text);
    grid.setTextMatrix(EditRow, 0, QString::number(-m_editKey));
    SaveParticipantRows(EditRow, EditRow);
}

void ManagementWindow::closeEditor()
{
    if (!TT || !TT->isVisible())
        return;
    TT->hide();
    EditRow = EditCol = -1;
    m_editKey = 0;
    m_editFailureShown = false;
}

// ---------------------------------------------------------------- export

bool ManagementWindow::exportGrid(const Grid &grid)
{
    closeEditor();
    return ExportGrid(grid, m_db.prompt(), m_progress, ApplicationTitle, this, chooseExportFile);
}

// ---------------------------------------------------------------- import

void ManagementWindow::StartImport(int kind)
{
    m_importFile.clear();
    m_importSheet.clear();
    m_importBook.reset();
    const QString path = chooseImportFile ? chooseImportFile() : QString();
    if (path.isEmpty())
        return;
    // The path keeps its case; only the extension is compared without it.
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"csv") {
        m_importFile = path;
        return;
    }
    if (suffix != u"xls" && suffix != u"xlsx") {
        m_db.prompt().message(QStringLiteral("您选择的文件格式不支持导入，请选择CSV或XLS文件！"));
        return;
    }
    OpenedWorkbook opened = OpenWorkbook(path);
    if (!opened.book) {
        m_db.prompt().message(ImportErrorMessage(opened.error));
        return;
    }
    m_importFile = path;
    m_importBook = std::move(opened.book);
    SheetChooser sheets(m_importBook->sheetNames(), kind, this);
    if (runDialog(sheets) == QDialog::Accepted)
        m_importSheet = sheets.ImportSheet();
}

void ManagementWindow::ContinueImport()
{
    const bool csv = QFileInfo(m_importFile).suffix().compare(u"csv", Qt::CaseInsensitive) == 0;
    if (m_importFile.isEmpty() || (!csv && m_importSheet.isEmpty()))
        return;
    const qint64 draw = chosenDraw(2);
    if (draw < 1) {
        // Rows of no draw would be listed nowhere.
        m_db.prompt().message(QStringLiteral("请先在“抽奖号码”页选择抽奖名称，再导入数据！"));
        return;
    }
    ImportMapping mapping(m_db, m_progress, draw, m_importFile, csv ? nullptr : m_importBook.get(), m_importSheet,
                     this);
    runDialog(mapping);
    if (mapping.importResult() == 0)
        CMB_Click(2); // the chosen draw stays chosen: the rows just imported show
}

// ---------------------------------------------------------------- mouse and start

void ManagementWindow::gridPressed(int index, Qt::MouseButton button, double x, double y)
{
    Grid *grid = MSF[index];
    if (index == 2)
        closeEditor(); // a sort or a refit moves the rows under it
    if (button != Qt::LeftButton) {
        // The "导出" pop-up shows its entries directly.
        QMenu menu(QStringLiteral("导出"), this);
        menu.addAction(QStringLiteral("导出表格"), this, [this, grid] { exportGrid(*grid); });
        menu.exec(grid->mapToGlobal(QPoint(ToPixels(x), ToPixels(y))));
        return;
    }
    if (index != 1) // the prize grid keeps its drawing order
        m_presenter.GridHeaderClick(this, *grid, x, y);
}

bool ManagementWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == TT) {
        if (event->type() == QEvent::FocusOut) {
            closeEditor();
        } else if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
                closeEditor();
                return true;
            }
        }
    } else if (watched == Pic[3] && event->type() == QEvent::MouseButtonPress) {
        // The unmarked top right corner of the results panel.
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const QPoint at = mouse->position().toPoint();
        if (mouse->button() != Qt::LeftButton && at.y() < ToPixels(60) + 4 &&
            at.x() > Pic[3]->width() - ToPixels(180) - 4) {
            QMenu menu(QStringLiteral("设置结果"), this);
            menu.addAction(QStringLiteral("预设置结果"), this, &ManagementWindow::openPresetEditor);
            menu.exec(mouse->globalPosition().toPoint());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void ManagementWindow::Entr_Click()
{
    const QString chosen = chooseDraw ? chooseDraw() : QString();
    if (chosen.isEmpty())
        return;
    m_engine.CurrentDraw.Id = ChooserKey(chosen);
    if (!m_engine.ConfirmDrawStart(m_engine.CurrentDraw.Id))
        return;
    auto *screen = new DrawScreen(m_db, m_engine, m_progress, m_music);
    if (!screen->Load(m_engine.CurrentDraw.Id)) {
        delete screen; // not read whole: no draw on part of it
        return;
    }
    m_screen = screen;
    connect(screen, &DrawScreen::closed, this, [this] {
        if (m_screen)
            m_screen->deleteLater();
        if (m_quitting)
            return;
        lockWhileDrawing(false);
        // The screen may have cleared the draw's presets.
        if (m_presetEditor)
            m_presetEditor->RefreshMarks();
        show();
        SST_Click(SST->currentIndex());
    });
    // With a second display the audience sees the draw there while this window
    // stays on the operator's, locked against changes until the draw ends.
    QScreen *target = DrawScreenFor(this->screen(), RememberedDrawScreen());
    screen->setScreen(target);
    screen->setGeometry(target->geometry());
    screen->showFullScreen();
    FollowRemainingScreens(screen);
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

DrawScreen *ManagementWindow::drawScreen() const
{
    return m_screen;
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
