#pragma once

#include <QImage>
#include <QString>

namespace quilla {

// text as a QR code (error correction M), black modules on white with the quiet
// zone of four modules around, each module scale pixels wide. A null image
// when the text does not fit in a QR code.
QImage qrCodeImage(const QString &text, int scale);

} // namespace quilla
