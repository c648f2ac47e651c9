#include "PresetEditor.h"
#include "EditorParts.h"

#include "data/Chooser.h"
#include "data/Database.h"
#include "data/Settings.h"
#include "data/TextNumber.h"
#include "platform/ChooserBox.h"
#include "lists/RecordModel.h"
#include "lists/RecordView.h"
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

constexpr int MarkColumn = 0;
constexpr int NumberColumn = 1;
constexpr int NameColumn = 2;

const QString ClearSection = QStringLiteral("ReSet");
const QString ClearKey = QStringLiteral("CHK");

// Puts the chooser back on the item of key, without it counting as a pick.
void showKey(QComboBox *combo, qint64 key)
{
    for (int i = 0; i < combo->count(); ++i)
        if (chooserKey(combo->itemText(i)) == key) {
            combo->setCurrentIndex(i);
            return;
        }
}

} // namespace

PresetEditor::PresetEditor(Database &db, Progress &, QWidget *parent)
    : QWidget(parent, Qt::Window), m_db(db), m_drawChooser(new QComboBox), m_prizeChooser(new QComboBox),
      m_model(new RecordModel(db, QStringLiteral("号码表"),
                              {{QStringLiteral("选择"), QString(), RecordColumn::Kind::Mark, Qt::AlignCenter},
                               {QStringLiteral("抽奖号码"), QStringLiteral("号码")},
                               {QStringLiteral("姓名"), QStringLiteral("姓名")}},
                              QStringLiteral("号码 COLLATE zh, ID"), this)),
      m_participantsView(new RecordView), m_clearAfterDraw(new QCheckBox(QStringLiteral("抽完立即清除本设置")))
{
    setWindowTitle(QStringLiteral("添加抽奖结果"));
    closeOnEscape(this);

    auto *choosers = new QHBoxLayout;
    const std::pair<QComboBox *, const char16_t *> chooserNames[] = {{m_drawChooser, u"奖次选择"},
                                                                     {m_prizeChooser, u"奖项选择"}};
    for (const auto &[chooser, name] : chooserNames) {
        auto *label = new QLabel(QString::fromUtf16(name) + QStringLiteral("："));
        label->setBuddy(chooser);
        chooser->setAccessibleName(QString::fromUtf16(name));
        chooser->setMinimumWidth(161);
        chooser->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        // A chooser changes only when an entry is picked from its list.
        chooser->installEventFilter(this);
        connect(chooser, &QComboBox::activated, this, [this, chooser = chooser] { chooserPicked(chooser); });
        choosers->addWidget(label);
        choosers->addWidget(chooser);
        choosers->addSpacing(12);
    }
    m_drawChooser->setObjectName(QStringLiteral("drawChooser"));
    m_prizeChooser->setObjectName(QStringLiteral("prizeChooser"));
    choosers->addStretch();

    m_participantsView->setObjectName(QStringLiteral("participants"));
    m_participantsView->setAccessibleName(QStringLiteral("抽奖名单"));
    m_participantsView->setRecordModel(m_model, true);
    m_participantsView->setMarkColumn(MarkColumn);
    m_model->setMarks([this](qint64, const QStringList &texts) {
        return m_marked.contains({texts.value(NumberColumn), texts.value(NameColumn)});
    });
    connect(m_participantsView, &RecordView::markPressed, this, &PresetEditor::markPressed);
    connect(m_participantsView, &RecordView::markAllPressed, this, &PresetEditor::markAll);

    auto *ok = namedButton(QStringLiteral("确     定"), QStringLiteral("ok"));
    auto *clear = namedButton(QStringLiteral("清空本奖次预设"), QStringLiteral("clearPresets"));
    m_clearAfterDraw->setObjectName(QStringLiteral("clearAfterDraw"));
    m_clearAfterDraw->setAccessibleName(m_clearAfterDraw->text());
    connect(ok, &QPushButton::clicked, this, &PresetEditor::confirm);
    connect(clear, &QPushButton::clicked, this, &PresetEditor::clearPrizePresets);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_clearAfterDraw);
    buttons->addStretch();
    buttons->addWidget(clear);
    buttons->addWidget(ok);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(choosers);
    layout->addWidget(m_participantsView, 1);
    layout->addLayout(buttons);
    resize(720, 560);
    centreInWorkArea(this);

    fillCombo(m_drawChooser, m_db, QStringLiteral("奖次表"), QStringLiteral("ID"), QStringLiteral("抽奖内容"),
                Sql());
    chooserPicked(m_drawChooser);

    // Missing or empty reads as 0: the presets are cleared after the draw.
    m_storedChk = readSetting(SettingsApplication, ClearSection, ClearKey, QString());
    m_clearAfterDraw->setChecked(leadingNumber(m_storedChk) == 0);
    // Stored at once: the draw screen may close while this window stays open.
    connect(m_clearAfterDraw, &QCheckBox::toggled, this, &PresetEditor::storeClearAfterDraw);
    setTabChain({m_drawChooser, m_prizeChooser, m_participantsView, m_clearAfterDraw, clear, ok});
}

// ---------------------------------------------------------------- choosers

void PresetEditor::chooserPicked(QComboBox *chooser)
{
    const qint64 draw = chooserKey(m_drawChooser->currentText());
    const qint64 prize = chooserKey(m_prizeChooser->currentText());
    const bool drawPicked = chooser == m_drawChooser;
    if (drawPicked ? draw == m_drawId : prize == m_prizeId)
        return; // the entry already shown: its marks stay as they are
    // The marks shown so far are stored before others replace them; when they cannot
    // be, they stay on screen with the choice that goes with them.
    if (!saveMarks()) {
        showKey(m_drawChooser, m_drawId);
        showKey(m_prizeChooser, m_prizeId);
        return;
    }
    if (drawPicked)
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
    m_marked.clear();
    m_anchorRow = -1;
    m_participants.clear();
    m_prizeChooser->clear();
    m_model->setFilter(drawId > 0 ? Sql("CID=") + Sql::number(drawId) : Sql());
    if (drawId < 1)
        return;
    fillCombo(m_prizeChooser, m_db, QStringLiteral("奖项表"), QStringLiteral("ID"), QStringLiteral("名称"),
                Sql("CID=") + Sql::number(drawId));
    // Who is in the draw, for telling the presets of people gone from the others.
    m_participants.read(m_db, drawId);
    showPrize(chooserKey(m_prizeChooser->currentText()));
}

void PresetEditor::showPrize(qint64 prizeId)
{
    m_prizeId = prizeId;
    m_marksModified = false;
    loadMarks();
}

// ---------------------------------------------------------------- marks

PresetPerson PresetEditor::personAt(int row) const
{
    const QStringList &texts = m_model->textsAt(row);
    return {texts.value(NumberColumn), texts.value(NameColumn)};
}

void PresetEditor::loadMarks()
{
    QList<StoredPreset> presets;
    const bool read = m_drawId > 0 && m_prizeId > 0 && loadPrizePresets(m_db, m_drawId, m_prizeId, presets);
    m_marked.clear();
    m_anchorRow = -1;
    // Nothing read: no marks, and none can be set for lack of a base to change.
    m_marksRead = read;
    if (read) {
        QList<StoredPreset> gone;
        for (const StoredPreset &preset : std::as_const(presets)) {
            if (m_participants.mayContain(m_drawId, preset.Person))
                m_marked.insert(preset.Person);
            else
                gone.append(preset);
        }
        // A preset whose participant left the draw names nobody the draw could pick.
        removeOrphanPresets(m_db, m_drawId, gone, m_participants);
    }
    m_model->marksChanged();
}

bool PresetEditor::saveMarks()
{
    if (!m_marksModified)
        return true;
    if (!prizeOfDrawExists(m_db, m_drawId, m_prizeId)) {
        // Deleted in the management window meanwhile: nothing to store the marks for.
        m_db.prompt().message(QStringLiteral("这个奖项已被删除，它的预设项无法保存。"), Prompt::Icon::Warning);
        m_marksModified = false;
        const qint64 draw = m_drawId;
        fillCombo(m_drawChooser, m_db, QStringLiteral("奖次表"), QStringLiteral("ID"),
                    QStringLiteral("抽奖内容"), Sql());
        showKey(m_drawChooser, draw); // stays on the first draw when this one went too
        showDraw(chooserKey(m_drawChooser->currentText()));
        return false;
    }
    // In the order of the numbers, as the list shows them first.
    QList<PresetPerson> marked(m_marked.cbegin(), m_marked.cend());
    std::sort(marked.begin(), marked.end(), [](const PresetPerson &a, const PresetPerson &b) {
        return a.Code != b.Code ? a.Code < b.Code : a.Name < b.Name;
    });
    const DrawParticipants &listed = m_participants;
    const qint64 draw = m_drawId;
    if (!savePrizePresets(
            m_db, m_drawId, m_prizeId,
            [&listed, draw](const PresetPerson &person) { return listed.mayContain(draw, person); }, marked))
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

void PresetEditor::refreshMarks()
{
    if (!m_marksModified)
        loadMarks();
}

void PresetEditor::warnOutOfPlay(const QSet<PresetPerson> &before)
{
    QList<PresetPerson> added;
    for (const PresetPerson &person : std::as_const(m_marked))
        if (!before.contains(person))
            added.append(person);
    QList<PresetPerson> out;
    if (added.isEmpty() || !peopleOutOfPlay(m_db, m_drawId, added, out) || out.isEmpty())
        return;
    // Stored as marked all the same: the results may yet be deleted and drawn again.
    m_db.prompt().message(QStringLiteral("以下预设中奖人已经中奖，抽奖时不会再预设：") + peopleText(out),
                          Prompt::Icon::Warning);
}

void PresetEditor::markPressed(int row, bool extend)
{
    // Marks belong to a prize whose stored presets were read.
    if (m_prizeId < 1 || !m_marksRead || row < 0 || row >= m_model->rowCount())
        return;
    const QSet<PresetPerson> before = m_marked;
    // A row without a number names nobody the draw could pick.
    const auto markable = [this](int r) { return !personAt(r).Code.isEmpty(); };
    if (extend && m_anchorRow >= 0 && m_anchorRow < m_model->rowCount()) {
        // The range takes the anchor's mark: tick a row, Shift-press another, and the
        // rows between are ticked too.
        const bool mark = m_marked.contains(personAt(m_anchorRow));
        for (int r = std::min(m_anchorRow, row); r <= std::max(m_anchorRow, row); ++r) {
            if (!markable(r) || m_marked.contains(personAt(r)) == mark)
                continue;
            if (mark)
                m_marked.insert(personAt(r));
            else
                m_marked.remove(personAt(r));
            m_marksModified = true;
        }
    } else {
        m_anchorRow = row;
        if (!markable(row))
            return;
        const PresetPerson person = personAt(row);
        if (!m_marked.remove(person))
            m_marked.insert(person);
        m_marksModified = true;
    }
    m_model->marksChanged();
    warnOutOfPlay(before);
}

void PresetEditor::markAll()
{
    if (m_prizeId < 1 || !m_marksRead || m_model->rowCount() == 0)
        return;
    m_model->fetchAll();
    const QSet<PresetPerson> before = m_marked;
    const bool mark = !m_marked.contains(personAt(0));
    for (int r = 0; r < m_model->rowCount(); ++r) {
        const PresetPerson person = personAt(r);
        if (person.Code.isEmpty() || m_marked.contains(person) == mark)
            continue;
        if (mark)
            m_marked.insert(person);
        else
            m_marked.remove(person);
        m_marksModified = true;
    }
    m_model->marksChanged();
    warnOutOfPlay(before);
}

// ---------------------------------------------------------------- buttons

void PresetEditor::clearPrizePresets()
{
    if (m_drawId < 1 || m_prizeId < 1 || !deletePrizePresets(m_db, m_drawId, m_prizeId))
        return;
    m_marked.clear();
    m_model->marksChanged();
    m_marksModified = false;
    m_marksRead = true; // none stored now
    noteRunningDraw();
}

void PresetEditor::confirm()
{
    // 确定 is the operator's answer already: the marks are saved without a second question.
    if (m_marksModified && !saveMarks())
        return; // not stored: the marks stay for another try
    close();
}

void PresetEditor::storeClearAfterDraw()
{
    const QString wanted = m_clearAfterDraw->isChecked() ? QStringLiteral("0") : QStringLiteral("1");
    if (wanted == m_storedChk)
        return;
    if (!writeSetting(SettingsApplication, ClearSection, ClearKey, wanted)) {
        m_db.prompt().message(QStringLiteral("“抽完立即清除本设置”未能保存，请检查用户设置文件！"),
                              Prompt::Icon::Warning);
        return;
    }
    m_storedChk = wanted;
}

bool PresetEditor::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_drawChooser || watched == m_prizeChooser) {
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
    storeClearAfterDraw();
    QWidget::closeEvent(event);
    Q_EMIT closed();
}

} // namespace quilla
