#pragma once

#include <QStringView>

namespace quilla {

// The numeric value of the number a text starts with (after blanks): "12abc"
// gives 12, "-3.5e2x" gives -350, text without a leading number gives 0.
double LeadingNumber(QStringView text);

} // namespace quilla
