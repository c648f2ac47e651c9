#include "RecordPanel.h"

#include "data/Chooser.h"
#include "data/Sql.h"
#include "lists/RecordModel.h"
#include "lists/RecordView.h"
#include "platform/ChooserBox.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace quilla {

namespace {

void paintButton(QPushButton *button)
{
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button, QColor(0xff, 0xe0, 0xc0));
    button->setPalette(palette);
}

} // namespace

QString deleteQuestion(const QList<qint64> &keys, const QString &oneName, const QString &one,
                       const QString &many)
{
    return keys.size() == 1 ? one.arg(oneName) : many.arg(keys.size());
}

RecordPanel::RecordPanel(Database &db, const QString &caption, bool withDrawChooser, QWidget *parent)
    : QWidget(parent), m_db(db)
{
    auto *layout = new QVBoxLayout(this);
    m_buttons = new QHBoxLayout;
    if (withDrawChooser) {
        auto *label = new QLabel(QStringLiteral("抽奖名称："), this);
        m_chooser = new QComboBox(this);
        m_chooser->setObjectName(QStringLiteral("drawChooser"));
        m_chooser->setAccessibleName(QStringLiteral("抽奖名称"));
        m_chooser->setMinimumWidth(160);
        m_chooser->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        label->setBuddy(m_chooser);
        // Only the operator's choice refills the list, never the chooser being refilled.
        connect(m_chooser, &QComboBox::activated, this, [this] {
            fill();
            Q_EMIT drawChosen(chosenDraw());
        });
        m_buttons->addWidget(label);
        m_buttons->addWidget(m_chooser);
        m_buttons->addSpacing(12);
    }
    layout->addLayout(m_buttons);
    m_view = new RecordView(this);
    m_view->setObjectName(QStringLiteral("records"));
    m_view->setAccessibleName(caption);
    layout->addWidget(m_view, 1);
    connect(m_view, &RecordView::menuRequested, this, &RecordPanel::showMenu);
    // The empty list's links name the button that takes the next step, or ask the window.
    connect(m_view, &RecordView::emptyLinkActivated, this, [this](const QString &link) {
        if (auto *button = findChild<QPushButton *>(link))
            button->click();
        else
            Q_EMIT linkActivated(link);
    });
}

QPushButton *RecordPanel::addButton(const QString &caption, const QString &objectName)
{
    auto *button = new QPushButton(caption, this);
    button->setObjectName(objectName);
    button->setAccessibleName(caption);
    button->setMinimumWidth(73);
    paintButton(button);
    m_buttons->addWidget(button);
    setTabOrder(button, m_view); // Tab visits the buttons before the list, as they are seen
    return button;
}

void RecordPanel::setRecordModel(RecordModel *model, bool sortable)
{
    m_model = model;
    m_view->setRecordModel(model, sortable);
}

qint64 RecordPanel::chosenDraw() const
{
    return m_chooser ? chooserKey(m_chooser->currentText()) : 0;
}

void RecordPanel::fillChooser(qint64 wanted)
{
    if (!m_chooser)
        return;
    // The draw wanted stays chosen while it exists; else the newest.
    fillCombo(m_chooser, m_db, QStringLiteral("奖次表"), QStringLiteral("ID"), QStringLiteral("抽奖内容"), Sql());
    for (int i = 0; i < m_chooser->count(); ++i)
        if (wanted > 0 && chooserKey(m_chooser->itemText(i)) == wanted) {
            m_chooser->setCurrentIndex(i);
            break;
        }
    if (m_chooser->count() == 0)
        m_chooser->setCurrentIndex(-1);
}

void RecordPanel::refresh()
{
    fillChooser(chosenDraw());
    fill();
}

void RecordPanel::showDraw(qint64 drawId)
{
    fillChooser(drawId);
    fill();
}

void RecordPanel::fill()
{
    if (!m_model)
        return;
    if (!m_chooser) {
        m_model->setFilter(Sql("TRUE"));
        return;
    }
    const qint64 draw = chosenDraw();
    m_model->setFilter(draw > 0 ? Sql("CID=") + Sql::number(draw) : Sql());
}

void RecordPanel::showMenu(const QPoint &at)
{
    // The "导出" pop-up shows its entries directly.
    QMenu menu(QStringLiteral("导出"), this);
    menu.addAction(QStringLiteral("导出表格"), this, [this] { Q_EMIT exportRequested(m_view); });
    menu.exec(at);
}

} // namespace quilla
