#include "DrawsPanel.h"

#include "data/Database.h"
#include "engine/Maintenance.h"
#include "lists/RecordModel.h"
#include "lists/RecordView.h"

#include <QHBoxLayout>
#include <QPushButton>

namespace quilla {

DrawsPanel::DrawsPanel(Database &db, QWidget *parent) : RecordPanel(db, QStringLiteral("抽奖设置"), false, parent)
{
    constexpr auto right = Qt::AlignRight | Qt::AlignVCenter;
    using Kind = RecordColumn::Kind;
    setRecordModel(new RecordModel(db, QStringLiteral("奖次表"),
                                   {{QStringLiteral("抽奖名称"), QStringLiteral("抽奖内容")},
                                    {QStringLiteral("滚动速度"), QStringLiteral("速度"), Kind::Number, right},
                                    {QStringLiteral("定时"), QStringLiteral("定时"), Kind::Number, right},
                                    {QStringLiteral("定长"), QStringLiteral("定长"), Kind::Number, right},
                                    {QStringLiteral("屏蔽规则"), QStringLiteral("屏蔽")},
                                    {QStringLiteral("背景图"), QStringLiteral("底图")}},
                                   QStringLiteral("ID"), this),
                   true);
    view()->setEmptyText(QStringLiteral("还没有抽奖。点“<a href=\"newDraw\">新建抽奖</a>”开始，"
                                        "或<a href=\"sample\">试一试示例抽奖</a>。"));
    connect(addButton(QStringLiteral("新建抽奖"), QStringLiteral("newDraw")), &QPushButton::clicked, this,
            &DrawsPanel::newDraw);
    connect(addButton(QStringLiteral("修改设置"), QStringLiteral("editDraw")), &QPushButton::clicked, this,
            &DrawsPanel::editCurrentDraw);
    connect(addButton(QStringLiteral("删除设置"), QStringLiteral("deleteDraws")), &QPushButton::clicked, this,
            &DrawsPanel::deleteSelectedDraws);
    buttonRow()->addStretch();
    connect(view(), &RecordView::deleteRequested, this, &DrawsPanel::deleteSelectedDraws);
    connect(view(), &RecordView::rowActivated, this, [this](int row) {
        if (const qint64 key = model()->keyAt(row); key > 0)
            Q_EMIT editRequested(key);
    });
}

void DrawsPanel::editCurrentDraw()
{
    const QList<qint64> keys = view()->selectedKeys();
    if (!keys.isEmpty())
        Q_EMIT editRequested(keys.constFirst());
}

void DrawsPanel::deleteSelectedDraws()
{
    const QList<qint64> keys = view()->selectedKeys();
    if (keys.isEmpty())
        return;
    const int row = model()->rowOfKey(keys.constFirst());
    const QString question =
        deleteQuestion(keys, model()->textAt(row, 0), QStringLiteral("删除抽奖“%1”及其全部奖项、号码和结果？"),
                       QStringLiteral("删除选中的 %1 个抽奖及其全部奖项、号码和结果？"));
    if (!db().prompt().question(question, Prompt::Icon::Question))
        return;
    // A draw goes with everything that belongs to it, or not at all.
    if (!deleteDraws(db(), keys))
        return;
    model()->reload();
    Q_EMIT drawsDeleted(keys);
}

} // namespace quilla
