#include "ParticipantsPanel.h"

#include "data/Database.h"
#include "data/TextNumber.h"
#include "engine/Maintenance.h"
#include "grids/RecordModel.h"
#include "grids/RecordView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace quilla {

ParticipantsPanel::ParticipantsPanel(Database &db, Progress &progress, QWidget *parent)
    : RecordPanel(db, QStringLiteral("抽奖号码"), true, parent), m_progress(progress)
{
    auto *model = new RecordModel(db, QStringLiteral("号码表"),
                                  {{QStringLiteral("抽奖号码"), QStringLiteral("号码")},
                                   {QStringLiteral("姓名"), QStringLiteral("姓名"), RecordColumn::Kind::Text,
                                    Qt::AlignLeft | Qt::AlignVCenter, true}},
                                  QStringLiteral("ID DESC"), this);
    // A name is stored when its edit is committed; a row that could not be stored keeps
    // what was typed and its mark, and the operator hears of it once per edit.
    model->setSaver([this](qint64 key, QStringList &texts) {
        // Shown as stored: without the spaces around them.
        for (QString &text : texts)
            text = trimmedText(text);
        return m_listedDraw > 0 && UpdateParticipant(this->db(), m_listedDraw, key, texts.value(0), texts.value(1));
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
    buttonRow()->addStretch();
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("participantCount"));
    buttonRow()->addWidget(m_count);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &ParticipantsPanel::showCount);
    connect(view(), &RecordView::deleteRequested, this, &ParticipantsPanel::deleteSelectedParticipants);
    // A double-click on a row's number edits its name, as one on the name does.
    connect(view(), &RecordView::rowActivated, this,
            [this](int row) { view()->edit(this->model()->index(row, 1)); });
    showCount();
}

void ParticipantsPanel::fill()
{
    view()->commitEditing(); // to the draw it belongs to
    RecordPanel::fill();
    m_listedDraw = chosenDraw();
    showCount();
}

void ParticipantsPanel::showCount()
{
    const QString text =
        QStringLiteral("共有记录：") + QString::number(model()->totalCount()) + QStringLiteral("条");
    m_count->setText(text);
    m_count->setAccessibleName(text);
}

bool ParticipantsPanel::addParticipant(qint64 drawId, const QString &number, const QString &name)
{
    // The draw may have been deleted since the entry window opened.
    if (drawId < 1 || db().CountRows(QStringLiteral("奖次表"), Sql("ID=") + Sql::number(drawId)) != 1) {
        db().prompt().message(QStringLiteral("请在“抽奖号码”页选择抽奖名称后再添加名单！"));
        return false;
    }
    const qint64 id = AppendParticipant(db(), drawId, number, name);
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
    const QString question = DeleteQuestion(
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
    const qint64 removed = RemoveDuplicateParticipants(db(), m_progress, draw);
    fill();
    if (removed >= 0)
        db().prompt().message(QStringLiteral("已删除 %1 条重复项").arg(removed));
}

} // namespace quilla
