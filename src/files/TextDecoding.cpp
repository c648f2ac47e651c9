#include "TextDecoding.h"

#include <QIODevice>

namespace quilla {

namespace {

constexpr qint64 ChunkSize = 1 << 20;

struct Choice
{
    QStringDecoder decoder;
    int bomLength = 0;
};

// A byte-order mark at the start, or nothing.
bool byBom(QByteArrayView head, Choice &choice)
{
    if (head.startsWith("\xEF\xBB\xBF")) {
        choice = {QStringDecoder(QStringDecoder::Utf8), 3};
        return true;
    }
    if (head.startsWith("\xFF\xFE")) {
        choice = {QStringDecoder(QStringDecoder::Utf16LE), 2};
        return true;
    }
    if (head.startsWith("\xFE\xFF")) {
        choice = {QStringDecoder(QStringDecoder::Utf16BE), 2};
        return true;
    }
    return false;
}

QStringDecoder ansiDecoder()
{
    // GBK's superset; its decoder comes from ICU and is known by this name only.
    return QStringDecoder("GB18030");
}

} // namespace

QString DecodeText(const QByteArray &bytes)
{
    Choice choice;
    if (byBom(bytes, choice))
        return choice.decoder(QByteArrayView(bytes).sliced(choice.bomLength));
    // Stateless: a sequence cut off at the end counts as an error too.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder ansi = ansiDecoder();
    return ansi(bytes);
}

TextFileReader::TextFileReader(QIODevice &device) : m_device(device) {}

void TextFileReader::chooseEncoding()
{
    m_chosen = true;
    Choice choice;
    if (byBom(m_device.peek(3), choice)) {
        m_device.read(choice.bomLength);
        m_decoder = std::move(choice.decoder);
        return;
    }
    // Bad GBK bytes decode without complaint, so UTF-8 is tried first, on the
    // whole file; GBK text usually fails within the first piece.
    const qint64 start = m_device.pos();
    QStringDecoder utf8(QStringDecoder::Utf8);
    bool valid = true;
    while (valid) {
        const QByteArray piece = m_device.read(ChunkSize);
        if (piece.isEmpty())
            break;
        // The decoder works only when its result is taken.
        const QString text = utf8(piece);
        valid = !utf8.hasError();
    }
    // A sequence cut off at the end only shows as an error when something follows it.
    if (valid) {
        const QString text = utf8(QByteArrayView("\n"));
        valid = !utf8.hasError();
    }
    m_device.seek(start);
    m_decoder = valid ? QStringDecoder(QStringDecoder::Utf8) : ansiDecoder();
}

bool TextFileReader::read(QString &text)
{
    if (m_done)
        return false;
    if (!m_chosen)
        chooseEncoding();
    const QByteArray piece = m_device.read(ChunkSize);
    if (piece.isEmpty()) {
        m_done = true;
        return false;
    }
    text += m_decoder(piece);
    return true;
}

} // namespace quilla
