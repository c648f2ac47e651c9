#include "EditorParts.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace quilla {

EtchedLine::EtchedLine(QWidget *parent) : QWidget(parent), Line1{new QWidget(this), new QWidget(this)}
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const QPalette::ColorRole roles[] = {QPalette::Dark, QPalette::Light};
    for (int i = 0; i < 2; ++i) {
        Line1[i]->setFixedHeight(1);
        Line1[i]->setAutoFillBackground(true);
        Line1[i]->setBackgroundRole(roles[i]);
        layout->addWidget(Line1[i]);
    }
}

QHBoxLayout *ButtonRow(QPushButton *confirm, QPushButton *cancel)
{
    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(confirm);
    row->addWidget(cancel);
    return row;
}

} // namespace quilla
