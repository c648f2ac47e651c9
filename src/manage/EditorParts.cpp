#include "EditorParts.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace quilla {

EtchedLine::EtchedLine(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // A shadow line over a highlight line.
    for (const QPalette::ColorRole role : {QPalette::Dark, QPalette::Light}) {
        auto *line = new QWidget(this);
        line->setFixedHeight(1);
        line->setAutoFillBackground(true);
        line->setBackgroundRole(role);
        layout->addWidget(line);
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
