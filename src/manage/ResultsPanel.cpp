#include "ResultsPanel.h"

#include "engine/Presence.h"
#include "screen/ResultDeletion.h"

#include "data/Database.h"
#include "lists/RecordModel.h"
#include "lists/RecordView.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>

namespace quilla {

ResultsPanel::ResultsPanel(Database &db, QWidget *parent) : RecordPanel(db, QStringLiteral("抽奖结果"), true, parent)
{
    setRecordModel(
        new RecordModel(db, QStringLiteral("结果表"),
                        {{QStringLiteral("获得奖项"), QStringLiteral("(SELECT 名称 FROM 奖项表 WHERE 奖项表.ID=结果表.WID)")},
                         {QStringLiteral("奖品"), QStringLiteral("(SELECT 奖品 FROM 奖项表 WHERE 奖项表.ID=结果表.WID)")},
                         {QStringLiteral("抽奖号码"), QStringLiteral("号码")},
                         {QStringLiteral("姓名"), QStringLiteral("姓名")}},
                        QStringLiteral("WID, ID"), this),
        true);
    view()->setEmptyText(QStringLiteral("还没有抽奖结果。"));
    connect(addButton(QStringLiteral("删除数据"), QStringLiteral("deleteResults")), &QPushButton::clicked, this,
            &ResultsPanel::deleteSelectedResults);
    connect(addButton(QStringLiteral("导出数据"), QStringLiteral("exportResults")), &QPushButton::clicked, this,
            &ResultsPanel::exportResults);
    connect(addButton(QStringLiteral("刷新数据"), QStringLiteral("refreshResults")), &QPushButton::clicked, this,
            &ResultsPanel::refresh);
    buttonRow()->addStretch();
    connect(view(), &RecordView::deleteRequested, this, &ResultsPanel::deleteSelectedResults);
}

void ResultsPanel::deleteSelectedResults()
{
    const QList<qint64> keys = view()->selectedKeys();
    if (keys.isEmpty())
        return;
    const int row = model()->rowOfKey(keys.constFirst());
    const QString question =
        deleteQuestion(keys, model()->textAt(row, 0) + u' ' + model()->textAt(row, 2) + u' ' + model()->textAt(row, 3),
                       QStringLiteral("删除抽奖结果“%1”？"), QStringLiteral("删除选中的 %1 条抽奖结果？"));
    // Why they go decides whether the winners may be drawn again.
    const int reason = db().prompt().choose(question, {AbsentChoice, MistakeChoice});
    if (reason < 0)
        return;
    view()->clearSelection();
    model()->removeRecords(keys, [&] { return beforeCancellingResults(db(), keys, reason == 0); });
}

void ResultsPanel::mousePressEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    if (event->button() != Qt::LeftButton && at.y() < 8 && at.x() > width() - 16) {
        QMenu menu(QStringLiteral("设置结果"), this);
        menu.addAction(QStringLiteral("预设置结果"), this, &ResultsPanel::presetEditorRequested);
        menu.exec(event->globalPosition().toPoint());
        return;
    }
    RecordPanel::mousePressEvent(event);
}

} // namespace quilla
