#include "ResultDeletion.h"

#include "data/Database.h"
#include "grids/GridPresenter.h"
#include "platform/Grid.h"
#include "platform/WindowHelpers.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace quilla {

namespace {

constexpr int MarkColumn = 3;

} // namespace

ResultDeletion::ResultDeletion(Database &db, Progress &progress, qint64 drawId, QWidget *parent)
    : QWidget(parent, Qt::Window), MSF(new Grid),
      Label1(new QLabel(QStringLiteral("请在要重新抽奖的所在行打“√”"))),
      Com{new QPushButton(QStringLiteral("确    定")), new QPushButton(QStringLiteral("取    消"))}, m_db(db)
{
    setWindowTitle(QStringLiteral("删除无效获奖"));
    MSF->setAccessibleName(QStringLiteral("获奖记录"));
    Com[0]->setAccessibleName(QStringLiteral("确定"));
    Com[1]->setAccessibleName(QStringLiteral("取消"));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Com[0]);
    buttons->addWidget(Com[1]);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(MSF, 1);
    layout->addLayout(buttons);

    for (int i = 0; i < 2; ++i)
        connect(Com[i], &QPushButton::clicked, this, [this, i] { Com_Click(i); });
    connect(MSF, &Grid::mousePressed, this, &ResultDeletion::MSF_MouseDown);

    resize(640, 420);
    CentreInWorkArea(this);

    GridPresenter::SetGridHeadings(
        *MSF, {"ID", "CID", "", "", "WID:奖项表:ID:名称", "WID:奖项表:ID:奖品", "号码", "姓名"},
        {"ID", "CID", "序号", "选择", "获得奖项", "奖品", "抽奖号码", "姓名"});
    MSF->setTag(QStringLiteral("结果表"));
    MSF->setFixedCols(3);
    // A prize's winners in the order they were drawn.
    GridPresenter(db, progress, this).FillGrid(*MSF, Sql("CID=") + Sql::number(drawId), Sql("WID,ID"), false);
    MSF->setColAlignment(MarkColumn, 4);
}

void ResultDeletion::MSF_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, double x, double y)
{
    // Titles do not sort this list: a press there ticks or clears every row.
    if (button != Qt::LeftButton)
        return;
    const int shift = (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
                      (modifiers & Qt::AltModifier ? 4 : 0);
    GridPresenter::CheckColumnClick(*MSF, shift, x, y, true);
}

void ResultDeletion::Com_Click(int index)
{
    if (index == 1) {
        close();
        return;
    }
    QList<qint64> ids;
    for (int r = MSF->FixedRows(); r < MSF->Rows(); ++r)
        if (!MSF->TextMatrix(r, MarkColumn).isEmpty())
            ids.append(MSF->TextMatrix(r, 0).toLongLong());
    if (ids.isEmpty()) {
        close();
        return;
    }
    // One click on the title ticks every row, so the operator sees how many go.
    if (!m_db.prompt().question(QStringLiteral("您确定要删除选中的") + QString::number(ids.size()) +
                                    QStringLiteral("条获奖记录，让这些奖项重新抽奖吗？"),
                                Prompt::Icon::Question))
        return;
    if (!deleteResults(ids)) {
        m_db.prompt().message(QStringLiteral("删除记录失败，数据库没有改变。"), Prompt::Icon::Warning);
        return;
    }
    const QPointer<ResultDeletion> self(this);
    Q_EMIT deleted();
    if (self)
        close();
}

// All ticked results go, or none: a part deleted would leave the board and the
// remaining counts matching neither the ticks nor the file.
bool ResultDeletion::deleteResults(const QList<qint64> &ids)
{
    Database::Transaction transaction(m_db);
    if (!m_db.isOpen())
        return false;
    for (const qint64 id : ids)
        if (!m_db.ExecuteSql(Sql("DELETE * FROM 结果表 WHERE ID=") + Sql::number(id)))
            return false;
    return transaction.commit();
}

void ResultDeletion::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    Q_EMIT closed();
}

} // namespace quilla
