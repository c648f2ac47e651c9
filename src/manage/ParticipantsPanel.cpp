#include "ParticipantsPanel.h"

#include "data/Database.h"
#include "data/TextNumber.h"
#include "engine/Maintenance.h"
#include "engine/Presence.h"
#include "lists/RecordModel.h"
#include "lists/RecordView.h"

#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quilla {

ParticipantsPanel::ParticipantsPanel(Database &db, Progress &progress, QWidget *parent)
    : RecordPanel(db, QStringLiteral("抽奖号码"), true, parent), m_progress(progress)
{
    auto *model = new RecordModel(db, QStringLiteral("号码表"),
                                  {{QStringLiteral("抽奖号码"), QStringLiteral("号码")},
                                   {QStringLiteral("姓名"), QStringLiteral("姓名"), RecordColumn::Kind::Text,
                                    Qt::AlignLeft | Qt::AlignVCenter, true},
                                   {QStringLiteral("签到"), presenceExpression(), RecordColumn::Kind::Text,
                                    Qt::AlignCenter}},
                                  QStringLiteral("ID DESC"), this);
    // A name is stored when its edit is committed; a row that could not be stored keeps
    // what was typed and its mark, and the operator hears of it once per edit.
    model->setSaver([this](qint64 key, QStringList &texts) {
        // Shown as stored: without the spaces around them.
        for (QString &text : texts)
            text = trimmedText(text);
        return m_listedDraw > 0 && updateParticipant(this->db(), m_listedDraw, key, texts.value(0), texts.value(1));
    });
    connect(model, &RecordModel::saveFailed, this, [this] {
        this->db().prompt().message(QStringLiteral("修改未能保存到数据库，请检查数据库文件！"), Prompt::Icon::Warning);
    });
    setRecordModel(model, true);
    connect(addButton(QStringLiteral("导入数据"), QStringLiteral("importParticipants")), &QPushButton::clicked,
            this, &ParticipantsPanel::importParticipants);
    connect(addButton(QStringLiteral("删除数据"), QStringLiteral("deleteParticipants")), &QPushButton::clicked,
            this, &ParticipantsPanel::deleteSelectedParticipants);
    connect(addButton(QStringLiteral("添加数据"), QStringLiteral("addParticipant")), &QPushButton::clicked, this,
            &ParticipantsPanel::enterParticipant);
    connect(addButton(QStringLiteral("去除重复"), QStringLiteral("removeDuplicates")), &QPushButton::clicked, this,
            &ParticipantsPanel::removeDuplicates);
    connect(addButton(QStringLiteral("导出模板"), QStringLiteral("exportTemplate")), &QPushButton::clicked, this,
            &ParticipantsPanel::templateRequested);
    view()->setEmptyText(QStringLiteral("还没有名单：<a href=\"importParticipants\">导入 Excel 或 CSV 文件</a>，"
                                        "或把文件拖到这里。<br>没有现成的名单？<a href=\"exportTemplate\">导出模板</a>，"
                                        "填好后导入。"));
    // A spreadsheet or CSV file dropped on the tab is imported into the draw shown.
    setAcceptDrops(true);
    buttonRow()->addStretch();
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("participantCount"));
    buttonRow()->addWidget(m_count);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &ParticipantsPanel::showCount);

    // Check-in at the door: a barcode scanner types the number and Enter.
    auto *presence = new QHBoxLayout;
    auto *boxLabel = new QLabel(QStringLiteral("签到(&Q)："), this);
    m_checkInBox = new QLineEdit(this);
    m_checkInBox->setObjectName(QStringLiteral("checkInBox"));
    m_checkInBox->setAccessibleName(QStringLiteral("签到号码"));
    m_checkInBox->setPlaceholderText(QStringLiteral("输入或扫描号码，按回车"));
    m_checkInBox->setMinimumWidth(180);
    boxLabel->setBuddy(m_checkInBox);
    connect(m_checkInBox, &QLineEdit::returnPressed, this, &ParticipantsPanel::checkInTyped);
    m_answer = new QLabel(this);
    m_answer->setObjectName(QStringLiteral("checkInAnswer"));
    QFont large = m_answer->font();
    large.setPointSizeF(large.pointSizeF() * 1.8);
    large.setBold(true);
    m_answer->setFont(large);
    m_answer->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_presenceFilter = new QComboBox(this);
    m_presenceFilter->setObjectName(QStringLiteral("presenceFilter"));
    m_presenceFilter->setAccessibleName(QStringLiteral("按签到显示"));
    m_presenceFilter->addItems({QStringLiteral("全部"), presenceText(Presence::NotCheckedIn),
                                presenceText(Presence::CheckedIn), presenceText(Presence::Absent)});
    connect(m_presenceFilter, &QComboBox::activated, this, [this] { fill(); });
    auto *filterLabel = new QLabel(QStringLiteral("显示："), this);
    filterLabel->setBuddy(m_presenceFilter);
    const auto presenceButton = [this](const QString &caption, const QString &name) {
        auto *button = new QPushButton(caption, this);
        button->setObjectName(name);
        button->setAccessibleName(caption);
        return button;
    };
    QPushButton *markIn = presenceButton(QStringLiteral("标记签到"), QStringLiteral("markCheckedIn"));
    QPushButton *restore = presenceButton(QStringLiteral("恢复在场"), QStringLiteral("restorePresence"));
    QPushButton *list = presenceButton(QStringLiteral("导入签到名单"), QStringLiteral("importCheckInList"));
    connect(markIn, &QPushButton::clicked, this, &ParticipantsPanel::checkInSelected);
    connect(restore, &QPushButton::clicked, this, &ParticipantsPanel::restoreSelected);
    connect(list, &QPushButton::clicked, this, &ParticipantsPanel::importCheckInList);
    presence->addWidget(boxLabel);
    presence->addWidget(m_checkInBox);
    presence->addWidget(m_answer, 1);
    m_checkedInCount = new QLabel(this);
    m_checkedInCount->setObjectName(QStringLiteral("checkedInCount"));
    presence->addWidget(m_checkedInCount);
    presence->addSpacing(12);
    presence->addWidget(filterLabel);
    presence->addWidget(m_presenceFilter);
    presence->addWidget(markIn);
    presence->addWidget(restore);
    presence->addWidget(list);
    static_cast<QVBoxLayout *>(layout())->insertLayout(1, presence);
    connect(view(), &RecordView::deleteRequested, this, &ParticipantsPanel::deleteSelectedParticipants);
    // A double-click on a row's number edits its name, as one on the name does.
    connect(view(), &RecordView::rowActivated, this,
            [this](int row) { view()->edit(this->model()->index(row, 1)); });
    showCount();
    // Check-ins from phones are written by another connection: the list follows them while shown.
    auto *others = new QTimer(this);
    others->setInterval(2000);
    connect(others, &QTimer::timeout, this, &ParticipantsPanel::followOtherWriters);
    others->start();
}

void ParticipantsPanel::followOtherWriters()
{
    // data_version moves only when another connection commits.
    const qint64 version = db().storedStamp().second;
    if (version == m_othersVersion || !isVisible() || m_listedDraw < 1 ||
        view()->isEditing())
        return;
    m_othersVersion = version;
    showPresenceChanged();
}

void ParticipantsPanel::fill()
{
    view()->commitEditing(); // to the draw it belongs to
    const qint64 draw = chosenDraw();
    // A read-only file of an older version has no presence to show.
    const bool stored = db().hasColumn(QStringLiteral("号码表"), QStringLiteral("签到"));
    model()->setColumnExpression(2, stored ? presenceExpression() : QStringLiteral("'未签到'"));
    Sql filter = draw > 0 ? Sql("CID=") + Sql::number(draw) : Sql();
    if (draw > 0 && stored && m_presenceFilter->currentIndex() > 0)
        filter += Sql(" AND 签到=") + Sql::number(m_presenceFilter->currentIndex() - 1);
    model()->setFilter(filter);
    if (draw != m_listedDraw)
        m_answer->clear();
    m_listedDraw = draw;
    m_countStamp = {-1, -1};
    m_othersVersion = db().storedStamp().second;
    showCount();
}

void ParticipantsPanel::showCount()
{
    if (m_listedDraw > 0 && m_countStamp != db().storedStamp()) {
        m_checkedIn = std::max<qint64>(checkedInCount(db(), m_listedDraw), 0);
        m_countStamp = db().storedStamp();
    }
    const QString text =
        QStringLiteral("共有记录：") + QString::number(model()->totalCount()) + QStringLiteral("条");
    m_count->setText(text);
    m_count->setAccessibleName(text);
    const QString checkedIn = m_listedDraw > 0 ? QStringLiteral("已签到：%1").arg(m_checkedIn) : QString();
    m_checkedInCount->setText(checkedIn);
    m_checkedInCount->setAccessibleName(checkedIn);
}

namespace {

// The file a drag brings, when it is one the import reads.
QString droppedFile(const QMimeData *data)
{
    if (!data || !data->hasUrls() || data->urls().size() != 1 || !data->urls().constFirst().isLocalFile())
        return {};
    const QString path = data->urls().constFirst().toLocalFile();
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == u"csv" || suffix == u"xls" || suffix == u"xlsx" ? path : QString();
}

} // namespace

void ParticipantsPanel::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void ParticipantsPanel::dropEvent(QDropEvent *event)
{
    const QString path = droppedFile(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    Q_EMIT fileDropped(chosenDraw(), path);
}

void ParticipantsPanel::focusCheckIn()
{
    m_checkInBox->setFocus(Qt::ShortcutFocusReason);
    m_checkInBox->selectAll();
}

void ParticipantsPanel::showAnswer(const QString &text, bool good)
{
    m_answer->setText(text);
    m_answer->setAccessibleName(text);
    m_answer->setStyleSheet(good ? QStringLiteral("color: #006400;") : QStringLiteral("color: #b00000;"));
}

void ParticipantsPanel::showPresenceChanged()
{
    // Filtered by presence, rows come and go; else only their texts change.
    if (m_presenceFilter->currentIndex() > 0)
        model()->reload();
    else
        model()->refreshTexts();
    showCount();
}

void ParticipantsPanel::checkInTyped()
{
    const QString typed = m_checkInBox->text();
    m_checkInBox->clear();
    const qint64 draw = chosenDraw();
    if (draw < 1 || trimmedText(typed).isEmpty())
        return;
    // The count moves by one unless someone else changed the file meanwhile.
    const bool counted = m_countStamp == db().storedStamp();
    const DoorCheckIn done = checkInAtDoor(db(), draw, typed);
    if (done.outcome != DoorCheckIn::Outcome::CheckedIn) {
        showAnswer(done.answer(), false);
        return;
    }
    if (counted) {
        ++m_checkedIn;
        m_countStamp = db().storedStamp();
    }
    showPresenceChanged();
    showAnswer(done.answer() + QStringLiteral(" · 第 %1 人").arg(m_checkedIn), true);
}

void ParticipantsPanel::setPresenceOfSelection(int presence, const QString &done)
{
    view()->commitEditing();
    const QList<qint64> keys = view()->selectedKeys();
    if (keys.isEmpty() || m_listedDraw < 1)
        return;
    const qint64 changed = setPresence(db(), m_listedDraw, keys, Presence(presence),
                                       presence == int(Presence::CheckedIn) ? SetInList : QStringLiteral("恢复在场"));
    if (changed < 0) {
        db().prompt().message(QStringLiteral("签到未能保存到数据库，数据库没有改变。"), Prompt::Icon::Warning);
        return;
    }
    showPresenceChanged();
    showAnswer(done.arg(changed), true);
}

void ParticipantsPanel::checkInSelected()
{
    setPresenceOfSelection(int(Presence::CheckedIn), QStringLiteral("已标记签到 %1 人"));
}

void ParticipantsPanel::restoreSelected()
{
    setPresenceOfSelection(int(Presence::NotCheckedIn), QStringLiteral("已恢复在场 %1 人"));
}

bool ParticipantsPanel::addParticipant(qint64 drawId, const QString &number, const QString &name)
{
    // The draw may have been deleted since the entry window opened.
    if (drawId < 1 || db().countRows(QStringLiteral("奖次表"), Sql("ID=") + Sql::number(drawId)) != 1) {
        db().prompt().message(QStringLiteral("请在“抽奖号码”页选择抽奖名称后再添加名单！"));
        return false;
    }
    const qint64 id = appendParticipant(db(), drawId, number, name);
    if (id <= 0) {
        db().prompt().message(QStringLiteral("添加的名单未能保存到数据库，请检查数据库文件！"), Prompt::Icon::Warning);
        return false;
    }
    if (drawId == m_listedDraw) {
        model()->reload();
        showCount();
        view()->selectKey(id);
    }
    return true;
}

void ParticipantsPanel::deleteSelectedParticipants()
{
    view()->commitEditing();
    const QList<qint64> keys = view()->selectedKeys();
    if (keys.isEmpty())
        return;
    const int row = model()->rowOfKey(keys.constFirst());
    const QString question = deleteQuestion(
        keys, model()->textAt(row, 0) + u' ' + model()->textAt(row, 1), QStringLiteral("删除号码“%1”？"),
        QStringLiteral("删除选中的 %1 条号码？"));
    if (!db().prompt().question(question, Prompt::Icon::Question))
        return;
    view()->clearSelection();
    model()->removeRecords(keys);
    showCount();
}

void ParticipantsPanel::removeDuplicates()
{
    const qint64 draw = chosenDraw();
    if (draw < 1)
        return;
    const qint64 removed = removeDuplicateParticipants(db(), m_progress, draw);
    fill();
    if (removed >= 0)
        db().prompt().message(QStringLiteral("已删除 %1 条重复项").arg(removed));
}

} // namespace quilla
