#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <string>
#include <vector>

class QIODevice;

namespace quilla {

// A small pull reader for the XML parts of .xlsx files, several times faster than
// QXmlStreamReader on their millions of little elements. It reads UTF-8 from a
// device in pieces, so a part is never held whole, and gives up past a number of
// bytes. It checks what these files need: tags nested and closed, entities known,
// no document type (so no entity expansion). Names are matched without their prefix.
class XmlScanner
{
  public:
    enum Token
    {
        StartElement,
        EndElement,
        Done,   // the document ended with every element closed
        Failed, // malformed, cut short, or past the limit (tooLarge())
    };

    XmlScanner(QIODevice &device, qint64 limit);

    // The next start or end tag; text, comments and processing instructions between
    // tags are passed over.
    Token next();
    Token token() const { return m_token; }
    // The local name of the element started or ended.
    QByteArrayView name() const { return view(m_nameAt, m_nameLength); }
    // Whether that name is this one: compared in line, as it is done for every element.
    template <qsizetype N> bool named(const char (&local)[N]) const
    {
        if (m_nameLength != N - 1)
            return false;
        const char *name = m_buffer.constData() + m_nameAt;
        for (qsizetype i = 0; i < N - 1; ++i)
            if (name[i] != local[i])
                return false;
        return true;
    }
    // The raw value of the start tag's attribute with this local name, entities not
    // resolved; prefixed: only an attribute with a prefix (r:id) counts.
    QByteArrayView attribute(QByteArrayView localName, bool prefixed = false) const;
    // The same with its entities resolved.
    QString attributeText(QByteArrayView localName, bool prefixed = false) const;

    // The text of the element just started, through its end tag, as UTF-8 that lasts
    // until the next call; false (Failed) when it holds an element or is malformed,
    // and when it is longer than maxBytes (tooLarge()).
    bool readText(QByteArrayView &text, qsizetype maxBytes);
    // Passes over the rest of the element just started, through its end tag.
    bool skipElement();
    bool tooLarge() const { return m_tooLarge; }
    // Bytes read from the device so far.
    qint64 bytesRead() const { return m_total; }

    // Entities of text resolved into out; false for an unknown or malformed one.
    static bool decode(QByteArrayView raw, QByteArray &out);

  private:
    struct Attribute
    {
        qsizetype nameAt;
        qsizetype nameLength; // local name
        bool prefixed;
        qsizetype valueAt;
        qsizetype valueLength;
    };

    QByteArrayView view(qsizetype at, qsizetype length) const
    {
        return QByteArrayView(m_buffer.constData() + at, length);
    }
    // Reads more, keeping the bytes from keep on: they move to the start, and keep
    // with them. False at the end.
    bool fill(qsizetype &keep);
    // Makes count bytes from keep on available; false when the document ends before.
    bool ensure(qsizetype &keep, qsizetype count);
    // Where marker first appears from from on, keeping the bytes from keep on; -1
    // when it never does, or not within maxBytes from keep (tooLarge()).
    qsizetype find(qsizetype &keep, qsizetype from, QByteArrayView marker, qsizetype maxBytes);
    // Passes over the markup at at (comment, CDATA, processing instruction) through
    // marker, searched for after its opening: it goes by as it is read, so however
    // long it is, it holds no more memory than a piece of the part.
    bool skipPast(qsizetype at, qsizetype opening, QByteArrayView marker);
    Token fail(bool tooLarge = false);
    enum class TagParse
    {
        Parsed,
        Incomplete, // cut by the end of what was read
        Failed,
    };
    Token startTag(qsizetype at);
    TagParse parseStartTag(qsizetype at);
    Token endTag(qsizetype at);
    // readText for the usual text: no markup or references, its end tag right after,
    // all in the buffer. False when the text is not such; nothing is read then.
    bool readPlainText(QByteArrayView &text);
    // The end tag from at to the '>' at close, both in the buffer.
    Token closeTag(qsizetype at, qsizetype close);
    const Attribute *findAttribute(QByteArrayView localName, bool prefixed) const;

    QIODevice &m_device;
    qint64 m_limit;
    qint64 m_total = 0;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    qsizetype m_end = 0;
    bool m_eof = false;
    bool m_broken = false;
    Token m_token = Done;
    bool m_pendingEnd = false; // after <x/>: its end comes next
    qsizetype m_nameAt = 0;
    qsizetype m_nameLength = 0;
    static constexpr int MaxAttributes = 32; // more are not looked at
    Attribute m_attributes[MaxAttributes];
    int m_attributeCount = 0;
    qsizetype m_qualifiedLength = 0;
    std::string m_open;              // qualified names of the open elements, one after another
    std::vector<size_t> m_openStart; // where each starts in m_open
    QByteArray m_scratch;
    bool m_tooLarge = false;
    bool m_sawRoot = false;
};

} // namespace quilla
