#include "PresetEditor.h"

#include "data/Chooser.h"
#include "data/Database.h"
#include "data/Settings.h"
#include "data/TextNumber.h"
#include "platform/ChooserBox.h"
#include "platform/Grid.h"
#include "platform/WindowHelpers.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>

namespace quilla {

namespace {

constexpr int MarkColumn = 3;
constexpr int NumberColumn = 4;
constexpr int NameColumn = 5;

const QString ClearSection = QStringLiteral("ReSet");
const QString ClearKey = QStringLiteral("CHK");

// Puts the chooser back on the item of key, without it counting as a pick.
void showKey(QComboBox *combo, qint64 key)
{
    for (int i = 0; i < combo->count(); ++i)
        if (ChooserKey(combo->itemText(i)) == key) {
            combo->setCurrentIndex(i);
            return;
        }
}

} // namespace

PresetEditor::PresetEditor(Database &db, Progress &progress, QWidget *parent)
    : QWidget(parent, Qt::Window), Label1{new QLabel(QStringLiteral("奖次选择：")),
                                          new QLabel(QStringLiteral("奖项选择："))},
      CMB{new QComboBox, new QComboBox},
      MSF(new Grid), Com{new QPushButton(QStringLiteral("确     定")),
                         new QPushButton(QStringLiteral("清空本奖次预设"))},
      Chk(new QCheckBox(QStringLiteral("抽完立即清除本设置"))), m_db(db), m_presenter(db, progress, this)
{
    setWindowTitle(QStringLiteral("添加抽奖结果"));

    const char16_t *const chooserNames[] = {u"奖次选择", u"奖项选择"};
    auto *choosers = new QHBoxLayout;
    for (int i = 0; i < 2; ++i) {
        Label1[i]->setBuddy(CMB[i]);
        CMB[i]->setAccessibleName(QString::fromUtf16(chooserNames[i]));
        CMB[i]->setMinimumWidth(ToPixels(2415));
        CMB[i]->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        // A chooser changes only when an entry is picked from its list.
        CMB[i]->installEventFilter(this);
        connect(CMB[i], &QComboBox::activated, this, [this, i] { CMB_Click(i); });
        choosers->addWidget(Label1[i]);
        choosers->addWidget(CMB[i]);
        choosers->addSpacing(12);
    }
    choosers->addStretch();

    MSF->setAccessibleName(QStringLiteral("抽奖名单"));
    connect(MSF, &Grid::mousePressed, this, &PresetEditor::MSF_MouseDown);

    Com[0]->setAccessibleName(QStringLiteral("确定"));
    Com[1]->setAccessibleName(Com[1]->text());
    Chk->setAccessibleName(Chk->text());
    for (int i = 0; i < 2; ++i)
        connect(Com[i], &QPushButton::clicked, this, [this, i] { Com_Click(i); });
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Chk);
    buttons->addStretch();
    buttons->addWidget(Com[1]);
    buttons->addWidget(Com[0]);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(choosers);
    layout->addWidget(MSF, 1);
    layout->addLayout(buttons);
    resize(720, 560);
    CentreInWorkArea(this);

    layOutGrid();
    FillChooser(CMB[0], m_db, QStringLiteral("奖次表"), QStringLiteral("ID"), QStringLiteral("抽奖内容"),
                Sql());
    CMB_Click(0);

    // Missing or empty reads as 0: the presets are cleared after the draw.
    m_storedChk = ReadSetting(SettingsApplication, ClearSection, ClearKey, QString());
    Chk->setChecked(LeadingNumber(m_storedChk) == 0);
    // Stored at once: the draw screen may close while this window stays open.
    connect(Chk, &QCheckBox::toggled, this, &PresetEditor::storeChk);
    SetTabChain({CMB[0], CMB[1], MSF, Chk, Com[1], Com[0]});
}

void PresetEditor::layOutGrid()
{
    GridPresenter::SetGridHeadings(*MSF, {"ID", "CID", "", "", "号码", "姓名"},
                                   {"ID", "CID", RowNumberTitle, "选择", "抽奖号码", "姓名"});
    MSF->setTag(QStringLiteral("号码表"));
    MSF->setFixedCols(3);
    MSF->setColAlignment(MarkColumn, 0);
    m_listedValid = false;
}

// ---------------------------------------------------------------- choosers

void PresetEditor::CMB_Click(int index)
{
    const qint64 draw = ChooserKey(CMB[0]->currentText());
    const qint64 prize = ChooserKey(CMB[1]->currentText());
    if (index == 0 ? draw == m_drawId : prize == m_prizeId)
        return; // the entry already shown: its marks stay as they are
    // The marks shown so far are stored before others replace them; when they cannot
    // be, they stay on screen with the choice that goes with them.
    if (!SaveMarks()) {
        showKey(CMB[0], m_drawId);
        showKey(CMB[1], m_prizeId);
        return;
    }
    if (index == 0)
        showDraw(draw);
    else
        showPrize(prize);
}

void PresetEditor::showDraw(qint64 drawId)
{
    m_drawId = drawId;
    m_prizeId = 0;
    m_marksModified = false;
    m_marksRead = false;
    m_participants.clear();
    CMB[1]->clear();
    layOutGrid();
    if (drawId < 1)
        return;
    FillChooser(CMB[1], m_db, QStringLiteral("奖项表"), QStringLiteral("ID"), QStringLiteral("名称"),
                Sql("CID=") + Sql::number(drawId));
    m_presenter.FillGrid(*MSF, Sql("CID=") + Sql::number(drawId), Sql("号码"), false);
    m_listedValid = false;
    // Who is in the draw, for telling the presets of people beyond the row cap from orphans.
    m_participants.read(m_db, drawId);
    showPrize(ChooserKey(CMB[1]->currentText()));
}

void PresetEditor::showPrize(qint64 prizeId)
{
    m_prizeId = prizeId;
    m_marksModified = false;
    LoadMarks();
}

// ---------------------------------------------------------------- marks

const QSet<PresetPerson> &PresetEditor::listedPeople()
{
    if (!m_listedValid) {
        m_listed.clear();
        m_listed.reserve(MSF->Rows() - MSF->FixedRows());
        for (int r = MSF->FixedRows(); r < MSF->Rows(); ++r) {
            QString number = MSF->TextMatrix(r, NumberColumn);
            if (!number.isEmpty())
                m_listed.insert({std::move(number), MSF->TextMatrix(r, NameColumn)});
        }
        m_listedValid = true;
    }
    return m_listed;
}

void PresetEditor::clearMarks()
{
    Grid::Batch batch(*MSF);
    for (int r = MSF->FixedRows(); r < MSF->Rows(); ++r)
        MSF->setTextMatrix(r, MarkColumn, QString());
}

void PresetEditor::LoadMarks()
{
    // Read before the grid is touched: a failed read shows a message, and the grid
    // must be whole while it is up.
    QList<StoredPreset> presets;
    const bool read = m_drawId > 0 && m_prizeId > 0 && LoadPrizePresets(m_db, m_drawId, m_prizeId, presets);
    // One pass over the rows marks the first row of each preset's participant.
    QSet<PresetPerson> wanted;
    for (const StoredPreset &preset : std::as_const(presets))
        wanted.insert(preset.Person);
    {
        Grid::Batch batch(*MSF);
        for (int r = MSF->FixedRows(); r < MSF->Rows(); ++r) {
            const QString number = MSF->TextMatrix(r, NumberColumn);
            const bool mark = !number.isEmpty() && wanted.remove({number, MSF->TextMatrix(r, NameColumn)});
            MSF->setTextMatrix(r, MarkColumn, mark ? Mark : QString());
        }
    }
    // Nothing read: no marks, and none can be set for lack of a base to change.
    m_marksRead = read;
    if (!read)
        return;
    // Not listed need not mean gone: the list may be cut at its row cap.
    QList<StoredPreset> unlisted;
    for (const StoredPreset &preset : std::as_const(presets))
        if (wanted.contains(preset.Person))
            unlisted.append(preset);
    RemoveOrphanPresets(m_db, m_drawId, unlisted, m_participants);
}

bool PresetEditor::SaveMarks()
{
    if (!m_marksModified)
        return true;
    if (!PrizeOfDrawExists(m_db, m_drawId, m_prizeId)) {
        // Deleted in the management window meanwhile: nothing to store the marks for.
        m_db.prompt().message(QStringLiteral("这个奖项已被删除，它的预设项无法保存。"), Prompt::Icon::Warning);
        m_marksModified = false;
        const qint64 draw = m_drawId;
        FillChooser(CMB[0], m_db, QStringLiteral("奖次表"), QStringLiteral("ID"), QStringLiteral("抽奖内容"),
                    Sql());
        showKey(CMB[0], draw); // stays on the first draw when this one went too
        showDraw(ChooserKey(CMB[0]->currentText()));
        return false;
    }
    QList<PresetPerson> marked;
    for (int r = MSF->FixedRows(); r < MSF->Rows(); ++r)
        if (!MSF->TextMatrix(r, MarkColumn).isEmpty() && !MSF->TextMatrix(r, NumberColumn).isEmpty())
            marked.append({MSF->TextMatrix(r, NumberColumn), MSF->TextMatrix(r, NameColumn)});
    const QSet<PresetPerson> &listed = listedPeople();
    if (!SavePrizePresets(
            m_db, m_drawId, m_prizeId,
            [&listed](const PresetPerson &person) { return listed.contains(person); }, marked))
        return false;
    m_marksModified = false;
    noteRunningDraw();
    return true;
}

void PresetEditor::noteRunningDraw()
{
    const qint64 running = runningDraw ? runningDraw() : 0;
    if (running < 1 || running != m_drawId || running == m_toldRunning)
        return;
    m_toldRunning = running;
    m_db.prompt().message(QStringLiteral("这个抽奖正在进行：预设项的修改要到下次打开抽奖屏幕时才生效。"));
}

void PresetEditor::RefreshMarks()
{
    if (!m_marksModified)
        LoadMarks();
}

void PresetEditor::MSF_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, double x, double y)
{
    if (button != Qt::LeftButton)
        return;
    if (GridPresenter::HitTestCell(*MSF, x, y).first < MSF->FixedRows()) {
        m_presenter.GridHeaderClick(this, *MSF, x, y);
        return;
    }
    // Marks belong to a prize whose stored presets were read.
    if (m_prizeId < 1 || !m_marksRead)
        return;
    const int shift = (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
                      (modifiers & Qt::AltModifier ? 4 : 0);
    QList<bool> before;
    before.reserve(MSF->Rows());
    for (int r = MSF->FixedRows(); r < MSF->Rows(); ++r)
        before.append(!MSF->TextMatrix(r, MarkColumn).isEmpty());
    if (!GridPresenter::CheckColumnClick(*MSF, shift, x, y, true))
        return;
    // A row without a number names nobody the draw could pick: its mark goes again,
    // and a click that only touched such rows changed nothing worth asking about.
    Grid::Batch batch(*MSF);
    for (int r = MSF->FixedRows(); r < MSF->Rows(); ++r) {
        const bool marked = !MSF->TextMatrix(r, MarkColumn).isEmpty();
        if (MSF->TextMatrix(r, NumberColumn).isEmpty()) {
            if (marked)
                MSF->setTextMatrix(r, MarkColumn, QString());
        } else if (marked != before.value(r - MSF->FixedRows())) {
            m_marksModified = true;
        }
    }
}

// ---------------------------------------------------------------- buttons

void PresetEditor::Com_Click(int index)
{
    if (index == 1) {
        if (m_drawId < 1 || m_prizeId < 1 || !ClearPrizePresets(m_db, m_drawId, m_prizeId))
            return;
        clearMarks();
        m_marksModified = false;
        m_marksRead = true; // none stored now
        noteRunningDraw();
        return;
    }
    if (m_marksModified &&
        m_db.prompt().question(QStringLiteral("预设项已修改，是否要保存？"), Prompt::Icon::Question,
                               Prompt::Default::Yes) &&
        !SaveMarks())
        return; // not stored: the marks stay for another try
    close();
}

void PresetEditor::storeChk()
{
    const QString wanted = Chk->isChecked() ? QStringLiteral("0") : QStringLiteral("1");
    if (wanted == m_storedChk)
        return;
    if (!WriteSetting(SettingsApplication, ClearSection, ClearKey, wanted)) {
        m_db.prompt().message(QStringLiteral("“抽完立即清除本设置”未能保存，请检查用户设置文件！"),
                              Prompt::Icon::Warning);
        return;
    }
    m_storedChk = wanted;
}

bool PresetEditor::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == CMB[0] || watched == CMB[1]) {
        if (event->type() == QEvent::Wheel)
            return true;
        if (event->type() == QEvent::KeyPress) {
            // Keys move the focus or open the list; none changes the choice.
            const auto *key = static_cast<QKeyEvent *>(event);
            const bool alt = key->modifiers() & Qt::AltModifier;
            switch (key->key()) {
            case Qt::Key_Tab:
            case Qt::Key_Backtab:
            case Qt::Key_F4:
            case Qt::Key_Space:
                return false;
            case Qt::Key_Down:
            case Qt::Key_Up:
                return !alt;
            default:
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void PresetEditor::closeEvent(QCloseEvent *event)
{
    storeChk();
    QWidget::closeEvent(event);
    Q_EMIT closed();
}

} // namespace quilla
