#pragma once

#include <QString>
#include <QStringView>

namespace quilla {

// Texts in .xlsx parts escape the characters XML cannot hold as _xHHHH_ (the code in
// hexadecimal), and so does a carriage return, which XML readers would turn into a
// line feed. An underscore that would start such an escape is itself written _x005F_.
QString xlsxEscaped(QStringView text);
QString xlsxUnescaped(const QString &text);

} // namespace quilla
