#include "ParticipantEntry.h"

#include "EditorParts.h"
#include "platform/WindowHelpers.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace quilla {

ParticipantEntry::ParticipantEntry(AddParticipant add, QWidget *parent)
    : QWidget(parent, Qt::Window), TT{new QLineEdit, new QLineEdit},
      Com{new QPushButton(QStringLiteral("确    定")), new QPushButton(QStringLiteral("取    消"))},
      m_add(std::move(add))
{
    setWindowTitle(QStringLiteral("添加名单"));

    auto *fields = new QFormLayout;
    fields->addRow(QStringLiteral("抽奖号码："), TT[0]);
    fields->addRow(QStringLiteral("相关人名："), TT[1]);
    TT[0]->setMinimumWidth(200);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(new EtchedLine(this));
    layout->addLayout(ButtonRow(Com[0], Com[1]));

    for (int i = 0; i < 2; ++i)
        connect(Com[i], &QPushButton::clicked, this, [this, i] { Com_Click(i); });

    adjustSize();
    CentreInWorkArea(this);
}

void ParticipantEntry::Com_Click(int index)
{
    if (index == 0) {
        // The owner may close or delete this window while it tells the operator something.
        const QPointer<ParticipantEntry> self(this);
        if (!m_add || !m_add(TT[0]->text(), TT[1]->text()) || !self)
            return;
    }
    close();
}

void ParticipantEntry::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    Q_EMIT closed();
}

} // namespace quilla
