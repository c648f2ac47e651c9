#include "TextDecoding.h"

#include <QIODevice>

#include <utility>

namespace quilla {

namespace {

constexpr qint64 ChunkSize = 1 << 20;

enum class Kind
{
    Utf8,
    Utf16LE,
    Utf16BE,
    Ansi,
};

// A byte-order mark at the start: its encoding and length; 0 when there is none.
int byBom(QByteArrayView head, Kind &kind)
{
    if (head.startsWith("\xEF\xBB\xBF")) {
        kind = Kind::Utf8;
        return 3;
    }
    if (head.startsWith("\xFF\xFE")) {
        kind = Kind::Utf16LE;
        return 2;
    }
    if (head.startsWith("\xFE\xFF")) {
        kind = Kind::Utf16BE;
        return 2;
    }
    return 0;
}

TextDecoder decoderFor(Kind kind)
{
    switch (kind) {
    case Kind::Utf8:
        return TextDecoder(QStringDecoder::Utf8);
    case Kind::Utf16LE:
        return TextDecoder(QStringDecoder::Utf16LE);
    case Kind::Utf16BE:
        return TextDecoder(QStringDecoder::Utf16BE);
    case Kind::Ansi:
        break;
    }
    // GBK's superset.
    return TextDecoder::gb18030();
}

// Whether the decoder still holds the start of a character at the end of the text.
// The decoders have no call for this, so a line feed (which never continues a
// character) pushes out what is held; anything besides it is the cut character.
bool holdsCutCharacter(TextDecoder &decoder, bool utf16, qint64 bytes)
{
    if (utf16)
        return bytes % 2 != 0;
    QString tail = decoder(QByteArrayView("\n"));
    if (tail.endsWith(u'\n'))
        tail.chop(1);
    return !tail.isEmpty();
}

// Whether the bytes are UTF-8 throughout; a character cut off at the very end
// does not count against it.
class Utf8Check
{
  public:
    void add(QByteArrayView bytes)
    {
        // The decoder works only when its result is taken.
        const QString text = m_decoder(bytes);
        m_valid = m_valid && !m_decoder.hasError();
    }
    bool valid() const { return m_valid; }

  private:
    QStringDecoder m_decoder{QStringDecoder::Utf8};
    bool m_valid = true;
};

} // namespace

QString decodeText(const QByteArray &bytes)
{
    Kind kind = Kind::Ansi;
    int skip = byBom(bytes, kind);
    if (skip == 0) {
        Utf8Check check;
        check.add(bytes);
        kind = check.valid() ? Kind::Utf8 : Kind::Ansi;
    }
    TextDecoder decoder = decoderFor(kind);
    const QByteArrayView body = QByteArrayView(bytes).sliced(skip);
    QString text = decoder(body);
    const bool utf16 = kind == Kind::Utf16LE || kind == Kind::Utf16BE;
    bool cut = holdsCutCharacter(decoder, utf16, body.size());
    // UTF-16 gives out the first half of a pair at once.
    if (utf16 && !text.isEmpty() && text.back().isHighSurrogate()) {
        text.chop(1);
        cut = true;
    }
    if (cut)
        text += QChar::ReplacementCharacter;
    return text;
}

TextFileReader::TextFileReader(QIODevice &device) : m_device(device) {}

void TextFileReader::chooseEncoding()
{
    m_chosen = true;
    Kind kind = Kind::Ansi;
    if (const int skip = byBom(m_device.peek(3), kind); skip > 0) {
        m_device.read(skip);
    } else {
        // Bad GBK bytes decode without complaint, so UTF-8 is tried first, on the
        // whole file; GBK text usually fails within the first piece.
        const qint64 start = m_device.pos();
        Utf8Check check;
        while (check.valid()) {
            const QByteArray piece = m_device.read(ChunkSize);
            if (piece.isEmpty())
                break;
            check.add(piece);
        }
        m_device.seek(start);
        kind = check.valid() ? Kind::Utf8 : Kind::Ansi;
    }
    m_decoder = decoderFor(kind);
    m_utf16 = kind == Kind::Utf16LE || kind == Kind::Utf16BE;
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
        if (!holdsCutCharacter(m_decoder, m_utf16, m_bytes) && m_heldHalf.isNull())
            return false;
        text += QChar::ReplacementCharacter;
        return true;
    }
    m_bytes += piece.size();
    QString decoded = m_decoder(piece);
    if (!m_heldHalf.isNull())
        decoded.prepend(std::exchange(m_heldHalf, QChar()));
    // UTF-16 gives out the first half of a pair at once: it waits for the second here.
    if (m_utf16 && !decoded.isEmpty() && decoded.back().isHighSurrogate()) {
        m_heldHalf = decoded.back();
        decoded.chop(1);
    }
    text += decoded;
    return true;
}

} // namespace quilla
