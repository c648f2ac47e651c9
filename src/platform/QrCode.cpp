#include "QrCode.h"

#include <qrencode.h>

#include <memory>

namespace quilla {

QImage qrCodeImage(const QString &text, int scale)
{
    const QByteArray bytes = text.toUtf8();
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString8bit(bytes.constData(), 0, QR_ECLEVEL_M), &QRcode_free);
    if (!code || scale < 1)
        return {};
    constexpr int Quiet = 4;
    const int side = (code->width + 2 * Quiet) * scale;
    QImage image(side, side, QImage::Format_Grayscale8);
    image.fill(255);
    for (int y = 0; y < code->width; ++y)
        for (int x = 0; x < code->width; ++x) {
            if (!(code->data[y * code->width + x] & 1)) // bit 0: a dark module
                continue;
            for (int dy = 0; dy < scale; ++dy) {
                uchar *line = image.scanLine((y + Quiet) * scale + dy);
                std::fill_n(line + (x + Quiet) * scale, scale, uchar(0));
            }
        }
    return image;
}

} // namespace quilla
