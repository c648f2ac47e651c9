#include "DrawChooser.h"

#include "EditorParts.h"
#include "data/Sql.h"
#include "platform/ChooserBox.h"
#include "platform/WindowHelpers.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quilla {

DrawChooser::DrawChooser(Database &db, QWidget *parent)
    : QDialog(parent), TT(new QComboBox), Com{new QPushButton(QStringLiteral("取    消")),
                                              new QPushButton(QStringLiteral("确    定"))}
{
    setWindowTitle(QStringLiteral("选择抽奖设置"));
    setModal(true);

    auto *label = new QLabel(QStringLiteral("抽奖名称："));
    label->setBuddy(TT);
    TT->setMinimumWidth(240);
    TT->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    FillChooser(TT, db, QStringLiteral("奖次表"), QStringLiteral("ID"), QStringLiteral("抽奖内容"), Sql());

    auto *field = new QHBoxLayout;
    field->addWidget(label);
    field->addWidget(TT, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(field);
    layout->addWidget(new EtchedLine(this));
    layout->addLayout(ButtonRow(Com[1], Com[0]));

    Com[1]->setDefault(true);
    connect(Com[1], &QPushButton::clicked, this, [this] {
        m_chosen = TT->currentText();
        accept();
    });
    connect(Com[0], &QPushButton::clicked, this, &QDialog::reject);

    adjustSize();
    CentreInWorkArea(this);
    MakeTopmost(this);
}

} // namespace quilla
