#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

#include "system/Gb18030.h"

#include <optional>

class QIODevice;

namespace quilla {

// Text files come from Windows tools: UTF-8 or UTF-16 with a byte-order mark,
// UTF-8 without one, or the Chinese ANSI code page (GBK, read as its superset
// GB18030). A byte-order mark decides and is dropped; otherwise text that is
// valid UTF-8 throughout is UTF-8, and anything else GB18030. A character cut
// off at the end of the text reads as U+FFFD.
QString decodeText(const QByteArray &bytes);

// One of the decoders above: Qt's for UTF, the platform's for GB18030.
class TextDecoder
{
  public:
    TextDecoder() = default;
    explicit TextDecoder(QStringConverter::Encoding utf) : m_utf(utf) {}
    static TextDecoder gb18030()
    {
        TextDecoder decoder;
        decoder.m_gb.emplace();
        return decoder;
    }
    QString operator()(QByteArrayView bytes) { return m_gb ? (*m_gb)(bytes) : m_utf(bytes); }

  private:
    QStringDecoder m_utf;
    std::optional<Gb18030Decoder> m_gb;
};

// The same choice for a file read piece by piece, so that a large file is never
// held whole. The encoding is chosen on the whole file before the first piece is
// given out: a file that turns out not to be UTF-8 late is still read right.
class TextFileReader
{
  public:
    // device: open for reading and seekable (a file).
    explicit TextFileReader(QIODevice &device);
    // Appends the next piece of text; false when nothing is left.
    bool read(QString &text);
    bool atEnd() const { return m_done; }

  private:
    void chooseEncoding();

    QIODevice &m_device;
    TextDecoder m_decoder;
    bool m_utf16 = false;
    QChar m_heldHalf;   // a high surrogate waiting for its pair
    qint64 m_bytes = 0; // given to the decoder
    bool m_chosen = false;
    bool m_done = false;
};

} // namespace quilla
