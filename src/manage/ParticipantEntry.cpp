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
    : QWidget(parent, Qt::Window), m_number(new QLineEdit), m_name(new QLineEdit), m_add(std::move(add))
{
    setWindowTitle(QStringLiteral("添加名单"));
    closeOnEscape(this);
    m_number->setObjectName(QStringLiteral("number"));
    m_number->setAccessibleName(QStringLiteral("抽奖号码"));
    m_name->setObjectName(QStringLiteral("name"));
    m_name->setAccessibleName(QStringLiteral("相关人名"));
    auto *ok = namedButton(QStringLiteral("确    定"), QStringLiteral("add"));
    auto *cancel = namedButton(QStringLiteral("取    消"), QStringLiteral("cancel"));

    auto *fields = new QFormLayout;
    fields->addRow(QStringLiteral("抽奖号码："), m_number);
    fields->addRow(QStringLiteral("相关人名："), m_name);
    m_number->setMinimumWidth(200);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(new EtchedLine(this));
    layout->addLayout(buttonRow(ok, cancel));

    connect(ok, &QPushButton::clicked, this, &ParticipantEntry::add);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);

    adjustSize();
    centreInWorkArea(this);
}

void ParticipantEntry::add()
{
    // The owner may close or delete this window while it tells the operator something.
    const QPointer<ParticipantEntry> self(this);
    if (!m_add || !m_add(m_number->text(), m_name->text()) || !self)
        return;
    close();
}

void ParticipantEntry::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    Q_EMIT closed();
}

} // namespace quilla
