#include "PixelBox.h"

#include "data/TextNumber.h"
#include "engine/ScreenSettings.h"

#include <QIntValidator>

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
    return int(std::lround(std::clamp(LeadingNumber(text()), double(m_low), double(FrameReach))));
}

void PixelBox::setValue(int pixels)
{
    setText(QString::number(pixels));
}

} // namespace quilla
