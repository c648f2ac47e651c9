#include "PrizesPanel.h"

#include "data/Database.h"
#include "engine/Maintenance.h"
#include "lists/RecordModel.h"
#include "lists/RecordView.h"

#include <QHBoxLayout>
#include <QPushButton>

namespace quilla {

PrizesPanel::PrizesPanel(Database &db, QWidget *parent) : RecordPanel(db, QStringLiteral("奖项设置"), true, parent)
{
    constexpr auto centre = Qt::AlignCenter;
    using Kind = RecordColumn::Kind;
    setRecordModel(new RecordModel(db, QStringLiteral("奖项表"),
                                   {{QStringLiteral("抽奖顺序"), QStringLiteral("顺序"), Kind::Number, centre},
                                    {QStringLiteral("奖项名称"), QStringLiteral("名称")},
                                    {QStringLiteral("奖项数量"), QStringLiteral("数量"), Kind::Number, centre},
                                    {QStringLiteral("每次抽出人数"), QStringLiteral("同时"), Kind::Number, centre},
                                    {QStringLiteral("公告显示"), QStringLiteral("显示"), Kind::Flag, centre},
                                    {QStringLiteral("可重复获奖"), QStringLiteral("重复"), Kind::Flag, centre},
                                    {QStringLiteral("奖品说明"), QStringLiteral("奖品")}},
                                   QStringLiteral("顺序, ID"), this),
                   false); // the drawing order is the only order
    view()->setEmptyText(QStringLiteral("这个抽奖还没有奖项。点“<a href=\"addPrize\">添加奖项</a>”，"
                                        "填写奖项名称、名额和每次抽出的人数。"));
    connect(addButton(QStringLiteral("添加奖项"), QStringLiteral("addPrize")), &QPushButton::clicked, this,
            &PrizesPanel::addPrize);
    connect(addButton(QStringLiteral("修改奖项"), QStringLiteral("editPrize")), &QPushButton::clicked, this,
            &PrizesPanel::editCurrentPrize);
    connect(addButton(QStringLiteral("删除奖项"), QStringLiteral("deletePrizes")), &QPushButton::clicked, this,
            &PrizesPanel::deleteSelectedPrizes);
    connect(addButton(QStringLiteral("顺序移前"), QStringLiteral("moveUp")), &QPushButton::clicked, this,
            &PrizesPanel::moveUp);
    connect(addButton(QStringLiteral("顺序移后"), QStringLiteral("moveDown")), &QPushButton::clicked, this,
            &PrizesPanel::moveDown);
    buttonRow()->addStretch();
    connect(view(), &RecordView::deleteRequested, this, &PrizesPanel::deleteSelectedPrizes);
    connect(view(), &RecordView::rowActivated, this, [this](int row) {
        if (const qint64 key = model()->keyAt(row); key > 0)
            Q_EMIT editRequested(key, chosenDraw());
    });
}

void PrizesPanel::addPrize()
{
    const qint64 draw = chosenDraw();
    if (draw < 1) {
        db().prompt().message(QStringLiteral("请选择抽奖名称后再添加奖项！"));
        return;
    }
    Q_EMIT editRequested(0, draw);
}

void PrizesPanel::editCurrentPrize()
{
    const QList<qint64> keys = view()->selectedKeys();
    if (!keys.isEmpty())
        Q_EMIT editRequested(keys.constFirst(), chosenDraw());
}

void PrizesPanel::deleteSelectedPrizes()
{
    const QList<qint64> keys = view()->selectedKeys();
    if (keys.isEmpty())
        return;
    const QString question = deleteQuestion(keys, model()->textAt(model()->rowOfKey(keys.constFirst()), 1),
                                            QStringLiteral("删除奖项“%1”及其抽奖结果和预设？"),
                                            QStringLiteral("删除选中的 %1 个奖项及其抽奖结果和预设？"));
    // One question; the prizes, their results and their presets go together.
    if (!db().prompt().question(question, Prompt::Icon::Question))
        return;
    deletePrizes(db(), keys);
    model()->reload();
}

void PrizesPanel::move(int step)
{
    const QList<qint64> selected = view()->selectedKeys();
    if (selected.size() != 1)
        return;
    model()->fetchAll();
    QList<qint64> order;
    for (int r = 0; r < model()->rowCount(); ++r)
        order.append(model()->keyAt(r));
    const qsizetype from = order.indexOf(selected.constFirst());
    const qsizetype to = from + step;
    if (from < 0 || to < 0 || to >= order.size())
        return;
    order.swapItemsAt(from, to);
    // The orders are stored as the rows then stand: 1, 2, 3 …
    if (storePrizeOrder(db(), order))
        model()->reload();
    view()->selectKey(selected.constFirst());
}

} // namespace quilla
