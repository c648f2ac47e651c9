#include "PixelBox.h"

#include "data/TextNumber.h"
#include "engine/ScreenSettings.h"

#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QPushButton>

#include <cmath>

namespace quilla {

PixelBox::PixelBox(int low, QWidget *parent) : QLineEdit(parent), m_low(low)
{
    auto *validator = new QIntValidator(low, FrameReach, this);
    // Plain digits whatever the locale: no group separators.
    QLocale plain = QLocale::c();
    plain.setNumberOptions(QLocale::RejectGroupSeparator);
    validator->setLocale(plain);
    setValidator(validator);
    setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("-99999")) + 16);
}

int PixelBox::value() const
{
    return int(std::lround(std::clamp(leadingNumber(text()), double(m_low), double(FrameReach))));
}

void PixelBox::setValue(int pixels)
{
    setText(QString::number(pixels));
}

QGridLayout *layOutPixelGroup(QGroupBox *group, QLabel *label0, PixelBox *box0, QLabel *label1, PixelBox *box1)
{
    auto *grid = new QGridLayout(group);
    grid->addWidget(label0, 0, 0);
    grid->addWidget(box0, 0, 1);
    grid->addWidget(label1, 1, 0);
    grid->addWidget(box1, 1, 1);
    grid->setColumnStretch(2, 1);
    return grid;
}

void layOutSettingsWindow(QWidget *dialog, QGroupBox *const (&groups)[4], std::initializer_list<QPushButton *> buttons)
{
    auto *line = new QFrame(dialog);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto *row = new QHBoxLayout;
    row->addStretch();
    for (QPushButton *button : buttons)
        row->addWidget(button);

    auto *window = new QGridLayout(dialog);
    for (int i = 0; i < 4; ++i)
        window->addWidget(groups[i], i / 2, i % 2);
    window->addWidget(line, 2, 0, 1, 2);
    window->addLayout(row, 3, 0, 1, 2);
    window->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace quilla
