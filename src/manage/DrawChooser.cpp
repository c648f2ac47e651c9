#include "DrawChooser.h"

#include "EditorParts.h"
#include "data/Chooser.h"
#include "data/Sql.h"
#include "platform/ChooserBox.h"
#include "platform/WindowHelpers.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quilla {

DrawChooser::DrawChooser(Database &db, qint64 offered, QWidget *parent) : QDialog(parent), m_draws(new QComboBox)
{
    setWindowTitle(QStringLiteral("选择抽奖设置"));
    setModal(true);
    auto *cancel = namedButton(QStringLiteral("取    消"), QStringLiteral("cancel"));
    auto *ok = namedButton(QStringLiteral("确    定"), QStringLiteral("ok"));
    auto *label = new QLabel(QStringLiteral("抽奖名称："));
    label->setBuddy(m_draws);
    m_draws->setObjectName(QStringLiteral("draws"));
    m_draws->setAccessibleName(QStringLiteral("抽奖名称"));
    m_draws->setMinimumWidth(240);
    m_draws->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    fillCombo(m_draws, db, QStringLiteral("奖次表"), QStringLiteral("ID"), QStringLiteral("抽奖内容"), Sql());
    for (int i = 0; i < m_draws->count(); ++i)
        if (offered > 0 && chooserKey(m_draws->itemText(i)) == offered)
            m_draws->setCurrentIndex(i);
    auto *field = new QHBoxLayout;
    field->addWidget(label);
    field->addWidget(m_draws, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(field);
    layout->addWidget(new EtchedLine(this));
    layout->addLayout(buttonRow(ok, cancel));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] {
        m_chosen = m_draws->currentText();
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    adjustSize();
    centreInWorkArea(this);
    makeTopmost(this);
}

} // namespace quilla
