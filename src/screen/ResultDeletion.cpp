#include "ResultDeletion.h"

#include "engine/Presence.h"

#include "data/Database.h"
#include "lists/RecordModel.h"
#include "lists/RecordView.h"
#include "platform/WindowHelpers.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quilla {

ResultDeletion::ResultDeletion(Database &db, Progress &, qint64 drawId, QWidget *parent)
    : QWidget(parent, Qt::Window), m_db(db),
      m_model(new RecordModel(
          db, QStringLiteral("结果表"),
          {{QStringLiteral("选择"), QString(), RecordColumn::Kind::Mark, Qt::AlignCenter},
           {QStringLiteral("获得奖项"), QStringLiteral("(SELECT 名称 FROM 奖项表 WHERE 奖项表.ID=结果表.WID)")},
           {QStringLiteral("奖品"), QStringLiteral("(SELECT 奖品 FROM 奖项表 WHERE 奖项表.ID=结果表.WID)")},
           {QStringLiteral("抽奖号码"), QStringLiteral("号码")},
           {QStringLiteral("姓名"), QStringLiteral("姓名")}},
          QStringLiteral("ID DESC"), this)),
      m_results(new RecordView), m_absent(new QRadioButton(AbsentChoice)),
      m_mistake(new QRadioButton(MistakeChoice))
{
    setWindowTitle(QStringLiteral("删除无效获奖"));
    auto *label = new QLabel(QStringLiteral("请在要重新抽奖的所在行打“√”"));
    label->setBuddy(m_results);
    m_results->setObjectName(QStringLiteral("results"));
    m_results->setAccessibleName(QStringLiteral("获奖记录"));
    // Titles do not sort this list: the mark's title ticks or clears every row.
    m_results->setRecordModel(m_model, false);
    m_results->setMarkColumn(0);
    m_model->setMarks([this](qint64 key, const QStringList &) { return m_marked.contains(key); });
    connect(m_results, &RecordView::markPressed, this, &ResultDeletion::markPressed);
    connect(m_results, &RecordView::markAllPressed, this, &ResultDeletion::markAll);

    auto *ok = namedButton(QStringLiteral("确    定"), QStringLiteral("ok"));
    auto *cancel = namedButton(QStringLiteral("取    消"), QStringLiteral("cancel"));
    connect(ok, &QPushButton::clicked, this, &ResultDeletion::deleteMarked);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    // One reason for all ticked rows; most often the winner is not in the hall.
    m_absent->setObjectName(QStringLiteral("absent"));
    m_absent->setAccessibleName(AbsentChoice);
    m_mistake->setObjectName(QStringLiteral("mistake"));
    m_mistake->setAccessibleName(MistakeChoice);
    m_absent->setChecked(true);
    auto *reasons = new QVBoxLayout;
    reasons->addWidget(m_absent);
    reasons->addWidget(m_mistake);
    auto *buttons = new QHBoxLayout;
    buttons->addLayout(reasons);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_results, 1);
    layout->addLayout(buttons);

    ok->setDefault(true);
    resize(640, 460);
    centreInWorkArea(this);
    // The last round first: the usual case is one tick and Enter.
    m_model->setFilter(Sql("CID=") + Sql::number(drawId));
    // Space ticks the top row at once.
    if (m_model->rowCount() > 0)
        m_results->setCurrentIndex(m_model->index(0, 0));
    m_results->setFocus();
}

void ResultDeletion::markPressed(int row, bool extend)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    if (extend && m_anchorRow >= 0 && m_anchorRow < m_model->rowCount()) {
        // The range takes the anchor's mark.
        const bool mark = m_marked.contains(m_model->keyAt(m_anchorRow));
        for (int r = std::min(m_anchorRow, row); r <= std::max(m_anchorRow, row); ++r) {
            if (mark)
                m_marked.insert(m_model->keyAt(r));
            else
                m_marked.remove(m_model->keyAt(r));
        }
    } else {
        m_anchorRow = row;
        const qint64 key = m_model->keyAt(row);
        if (!m_marked.remove(key))
            m_marked.insert(key);
    }
    m_model->marksChanged();
}

void ResultDeletion::markAll()
{
    if (m_model->rowCount() == 0)
        return;
    m_model->fetchAll();
    const bool mark = !m_marked.contains(m_model->keyAt(0));
    for (int r = 0; r < m_model->rowCount(); ++r) {
        if (mark)
            m_marked.insert(m_model->keyAt(r));
        else
            m_marked.remove(m_model->keyAt(r));
    }
    m_model->marksChanged();
}

void ResultDeletion::deleteMarked()
{
    QList<qint64> ids(m_marked.cbegin(), m_marked.cend());
    std::sort(ids.begin(), ids.end());
    if (ids.isEmpty()) {
        close();
        return;
    }
    // One click on the title ticks every row, so the operator sees how many go.
    const bool absent = m_absent->isChecked();
    if (!m_db.prompt().question(QStringLiteral("您确定要删除选中的") + QString::number(ids.size()) +
                                    QStringLiteral("条获奖记录，让这些奖项重新抽奖吗？"),
                                Prompt::Icon::Question))
        return;
    if (!cancelResults(m_db, ids, absent)) {
        m_db.prompt().message(QStringLiteral("删除记录失败，数据库没有改变。"), Prompt::Icon::Warning);
        return;
    }
    const QPointer<ResultDeletion> self(this);
    Q_EMIT deleted();
    if (self)
        close();
}

void ResultDeletion::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        deleteMarked();
        return;
    case Qt::Key_Escape:
        close();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void ResultDeletion::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    Q_EMIT closed();
}

} // namespace quilla
