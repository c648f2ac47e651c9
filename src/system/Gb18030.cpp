#include "Gb18030.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace quilla {

namespace {

// Where the last whole character ends: GB18030 has one byte below 0x80, else a lead
// byte and either one more byte, or a digit, a byte and a digit.
qsizetype wholeCharacters(QByteArrayView bytes)
{
    qsizetype i = 0;
    while (i < bytes.size()) {
        const quint8 lead = quint8(bytes[i]);
        if (lead < 0x81 || lead == 0xFF) {
            ++i;
            continue;
        }
        if (i + 1 >= bytes.size())
            break;
        const quint8 second = quint8(bytes[i + 1]);
        const qsizetype length = second >= 0x30 && second <= 0x39 ? 4 : 2;
        if (i + length > bytes.size())
            break;
        i += length;
    }
    return i;
}

// The first half of a pair waits for the second.
qsizetype wholeUnits(QStringView text)
{
    return !text.isEmpty() && text.back().isHighSurrogate() ? text.size() - 1 : text.size();
}

#ifdef Q_OS_WIN
// Wine (8.0) lacks 54936; its GBK (936) has every character a GBK file holds, the
// same two bytes for each, and only what lies beyond GBK is lost there.
UINT gb18030CodePage()
{
    static const UINT page = MultiByteToWideChar(54936, 0, "a", 1, nullptr, 0) > 0 ? 54936 : 936;
    return page;
}
#endif

} // namespace

QString Gb18030Decoder::operator()(QByteArrayView bytes)
{
    m_held.append(bytes.data(), bytes.size());
    const qsizetype whole = wholeCharacters(m_held);
    QString text;
    if (whole > 0) {
#ifdef Q_OS_WIN
        const int length = MultiByteToWideChar(gb18030CodePage(), 0, m_held.constData(), int(whole), nullptr, 0);
        text.resize(length);
        MultiByteToWideChar(gb18030CodePage(), 0, m_held.constData(), int(whole),
                            reinterpret_cast<wchar_t *>(text.data()), length);
#else
        text = m_decoder(QByteArrayView(m_held).first(whole));
#endif
    }
    m_held.remove(0, whole);
    return text;
}

QByteArray Gb18030Encoder::operator()(QStringView text)
{
    m_held.append(text);
    const qsizetype whole = wholeUnits(m_held);
    QByteArray bytes;
    if (whole > 0) {
#ifdef Q_OS_WIN
        const auto *wide = reinterpret_cast<const wchar_t *>(m_held.constData());
        const int length =
            WideCharToMultiByte(gb18030CodePage(), 0, wide, int(whole), nullptr, 0, nullptr, nullptr);
        bytes.resize(length);
        WideCharToMultiByte(gb18030CodePage(), 0, wide, int(whole), bytes.data(), length, nullptr, nullptr);
#else
        bytes = m_encoder(QStringView(m_held).first(whole));
#endif
    }
    m_held.remove(0, whole);
    return bytes;
}

} // namespace quilla
