#include "XmlScanner.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>

namespace quilla {

namespace {

constexpr qint64 PieceSize = 1 << 18;
constexpr qsizetype MaxTagLength = 1 << 16;
constexpr int MaxDepth = 256;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Short byte ranges compared and searched in line: the calls cost more than the work.
bool sameBytes(const char *a, const char *b, qsizetype length)
{
    for (qsizetype i = 0; i < length; ++i)
        if (a[i] != b[i])
            return false;
    return true;
}

// The local part of a qualified name, and whether it had a prefix.
QByteArrayView localPart(QByteArrayView name, bool *prefixed = nullptr)
{
    qsizetype colon = name.size();
    while (colon > 0 && name.data()[colon - 1] != ':')
        --colon;
    if (prefixed)
        *prefixed = colon > 0;
    return colon == 0 ? name : name.sliced(colon);
}

void appendUtf8(QByteArray &out, char32_t code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

} // namespace

XmlScanner::XmlScanner(QIODevice &device, qint64 limit) : m_device(device), m_limit(limit)
{
    m_open.reserve(1024);
    m_openStart.reserve(64);
}

bool XmlScanner::decode(QByteArrayView raw, QByteArray &out)
{
    qsizetype from = 0;
    for (;;) {
        const qsizetype amp = raw.indexOf('&', from);
        if (amp < 0) {
            out.append(raw.sliced(from));
            return true;
        }
        out.append(raw.sliced(from, amp - from));
        const qsizetype semi = raw.indexOf(';', amp);
        if (semi < 0 || semi - amp > 12)
            return false;
        const QByteArrayView entity = raw.sliced(amp + 1, semi - amp - 1);
        if (entity == "lt") {
            out += '<';
        } else if (entity == "gt") {
            out += '>';
        } else if (entity == "amp") {
            out += '&';
        } else if (entity == "quot") {
            out += '"';
        } else if (entity == "apos") {
            out += '\'';
        } else if (entity.startsWith('#')) {
            const bool hex = entity.size() > 1 && (entity[1] == 'x' || entity[1] == 'X');
            const QByteArrayView digits = entity.sliced(hex ? 2 : 1);
            bool ok = false;
            const uint code = digits.isEmpty() ? 0 : digits.toByteArray().toUInt(&ok, hex ? 16 : 10);
            if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
                return false;
            appendUtf8(out, char32_t(code));
        } else {
            return false; // no document type, so no other entities
        }
        from = semi + 1;
    }
}

bool XmlScanner::fill(qsizetype &keep)
{
    if (m_eof)
        return false;
    if (keep > 0) {
        std::memmove(m_buffer.data(), m_buffer.constData() + keep, size_t(m_end - keep));
        m_end -= keep;
        m_pos = std::max<qsizetype>(0, m_pos - keep);
        keep = 0;
    }
    if (m_buffer.size() < m_end + PieceSize)
        m_buffer.resize(m_end + PieceSize);
    const qint64 got = m_device.read(m_buffer.data() + m_end, PieceSize);
    if (got <= 0) {
        m_eof = true;
        m_broken = got < 0; // damaged compressed data, say
        return false;
    }
    m_total += got;
    if (m_total > m_limit) {
        m_tooLarge = true;
        m_eof = true;
        return false;
    }
    m_end += got;
    return true;
}

bool XmlScanner::ensure(qsizetype &keep, qsizetype count)
{
    while (m_end - keep < count)
        if (!fill(keep))
            return false;
    return true;
}

qsizetype XmlScanner::find(qsizetype &keep, qsizetype from, QByteArrayView marker, qsizetype maxBytes)
{
    qsizetype offset = from - keep; // where to search from, counted from keep
    for (;;) {
        const qsizetype found = QByteArrayView(m_buffer.constData(), m_end).indexOf(marker, keep + offset);
        if (found >= 0)
            return found;
        if (m_end - keep > maxBytes) {
            m_tooLarge = true;
            return -1;
        }
        // A marker cut by the end of what was read is found after the next read.
        offset = std::max(offset, m_end - keep - marker.size() + 1);
        if (!fill(keep))
            return -1;
    }
}

bool XmlScanner::skipPast(qsizetype at, qsizetype opening, QByteArrayView marker)
{
    qsizetype from = at + opening;
    for (;;) {
        const qsizetype found = QByteArrayView(m_buffer.constData(), m_end).indexOf(marker, from);
        if (found >= 0) {
            m_pos = found + marker.size();
            return true;
        }
        // Only what may be the start of a marker cut by the end of the read is kept.
        qsizetype keep = std::max(from, m_end - marker.size() + 1);
        if (!fill(keep))
            return false;
        from = keep;
    }
}

XmlScanner::Token XmlScanner::fail(bool tooLarge)
{
    m_tooLarge = m_tooLarge || tooLarge;
    m_pendingEnd = false;
    return m_token = Failed;
}

XmlScanner::Token XmlScanner::next()
{
    if (m_token == Failed || (m_token == Done && m_sawRoot))
        return m_token;
    if (m_pendingEnd) {
        m_pendingEnd = false;
        m_attributeCount = 0;
        return m_token = EndElement;
    }
    for (;;) {
        // Text between tags is passed over; mostly there is none.
        const char *lt = nullptr;
        if (m_pos < m_end)
            lt = m_buffer.constData()[m_pos] == '<'
                     ? m_buffer.constData() + m_pos
                     : static_cast<const char *>(
                           std::memchr(m_buffer.constData() + m_pos, '<', size_t(m_end - m_pos)));
        if (!lt) {
            m_pos = m_end;
            qsizetype keep = m_end;
            if (!fill(keep)) {
                if (m_tooLarge)
                    return fail();
                return m_openStart.empty() && m_sawRoot && !m_broken ? m_token = Done : fail();
            }
            continue;
        }
        qsizetype at = lt - m_buffer.constData();
        if (!ensure(at, 2))
            return fail();
        const char second = m_buffer.at(at + 1);
        if (second == '/')
            return endTag(at);
        if (second == '?') {
            if (!skipPast(at, 2, "?>"))
                return fail();
            continue;
        }
        if (second == '!') {
            ensure(at, 9); // fewer at the very end
            const QByteArrayView head = view(at, std::min<qsizetype>(9, m_end - at));
            const bool comment = head.startsWith("<!--");
            if (!comment && !head.startsWith("<![CDATA["))
                return fail(); // a document type: none in these files
            if (!skipPast(at, comment ? 4 : 9, comment ? QByteArrayView("-->") : QByteArrayView("]]>")))
                return fail();
            continue;
        }
        return startTag(at);
    }
}

XmlScanner::Token XmlScanner::startTag(qsizetype at)
{
    // Parsed in one pass; a tag cut by the end of what was read is parsed again
    // once more has been read.
    for (;;) {
        const TagParse parsed = parseStartTag(at);
        if (parsed == TagParse::Failed)
            return fail();
        if (parsed == TagParse::Parsed)
            break;
        if (m_end - at > MaxTagLength)
            return fail(true);
        if (!fill(at))
            return fail();
    }
    if (m_openStart.empty() && m_sawRoot)
        return fail(); // a second root
    m_sawRoot = true;
    if (m_pendingEnd)
        return m_token = StartElement;
    if (m_openStart.size() >= MaxDepth)
        return fail();
    m_openStart.push_back(m_open.size());
    m_open.append(m_buffer.constData() + at + 1, size_t(m_qualifiedLength));
    return m_token = StartElement;
}

XmlScanner::TagParse XmlScanner::parseStartTag(qsizetype at)
{
    const char *data = m_buffer.constData();
    qsizetype i = at + 1;
    while (i < m_end && !isBlank(data[i]) && data[i] != '>' && data[i] != '/')
        ++i;
    if (i >= m_end)
        return TagParse::Incomplete;
    const qsizetype nameEnd = i;
    if (nameEnd == at + 1)
        return TagParse::Failed;
    m_attributeCount = 0;
    for (;;) {
        while (i < m_end && isBlank(data[i]))
            ++i;
        if (i >= m_end)
            return TagParse::Incomplete;
        if (data[i] == '>' || data[i] == '/') {
            if (data[i] == '/') {
                if (i + 1 >= m_end)
                    return TagParse::Incomplete;
                if (data[i + 1] != '>')
                    return TagParse::Failed;
            }
            m_pendingEnd = data[i] == '/';
            m_pos = i + (m_pendingEnd ? 2 : 1);
            break;
        }
        const qsizetype nameStart = i;
        while (i < m_end && data[i] != '=' && !isBlank(data[i]) && data[i] != '>')
            ++i;
        const qsizetype attributeNameEnd = i;
        while (i < m_end && isBlank(data[i]))
            ++i;
        if (i + 1 >= m_end)
            return TagParse::Incomplete;
        if (data[i] != '=' || attributeNameEnd == nameStart)
            return TagParse::Failed;
        ++i;
        while (i < m_end && isBlank(data[i]))
            ++i;
        if (i >= m_end)
            return TagParse::Incomplete;
        const char quote = data[i];
        if (quote != '"' && quote != '\'')
            return TagParse::Failed;
        const qsizetype valueStart = ++i;
        while (i < m_end && data[i] != quote) {
            if (data[i] == '<')
                return TagParse::Failed;
            ++i;
        }
        if (i >= m_end)
            return TagParse::Incomplete;
        if (m_attributeCount < MaxAttributes) {
            bool prefixed = false;
            const QByteArrayView local = localPart(view(nameStart, attributeNameEnd - nameStart), &prefixed);
            m_attributes[m_attributeCount++] = {local.data() - data, local.size(), prefixed, valueStart,
                                                i - valueStart};
        }
        ++i;
    }
    m_qualifiedLength = nameEnd - at - 1;
    const QByteArrayView local = localPart(view(at + 1, m_qualifiedLength));
    m_nameAt = local.data() - data;
    m_nameLength = local.size();
    return TagParse::Parsed;
}

XmlScanner::Token XmlScanner::endTag(qsizetype at)
{
    for (qsizetype i = at + 2; i < m_end && i < at + 64; ++i)
        if (m_buffer.constData()[i] == '>')
            return closeTag(at, i);
    const qsizetype close = find(at, at, ">", MaxTagLength);
    return close < 0 ? fail() : closeTag(at, close);
}

XmlScanner::Token XmlScanner::closeTag(qsizetype at, qsizetype close)
{
    qsizetype nameEnd = close;
    while (nameEnd > at + 2 && isBlank(m_buffer.at(nameEnd - 1)))
        --nameEnd;
    const QByteArrayView qualified = view(at + 2, nameEnd - at - 2);
    if (m_openStart.empty() || qsizetype(m_open.size() - m_openStart.back()) != qualified.size() ||
        !sameBytes(m_open.data() + m_openStart.back(), qualified.data(), qualified.size()))
        return fail();
    m_open.resize(m_openStart.back());
    m_openStart.pop_back();
    const QByteArrayView local = localPart(qualified);
    m_nameAt = local.data() - m_buffer.constData();
    m_nameLength = local.size();
    m_pos = close + 1;
    return m_token = EndElement;
}

const XmlScanner::Attribute *XmlScanner::findAttribute(QByteArrayView localName, bool prefixed) const
{
    for (int i = 0; i < m_attributeCount; ++i) {
        const Attribute &a = m_attributes[i];
        if ((!prefixed || a.prefixed) && a.nameLength == localName.size() &&
            sameBytes(m_buffer.constData() + a.nameAt, localName.data(), a.nameLength))
            return &a;
    }
    return nullptr;
}

QByteArrayView XmlScanner::attribute(QByteArrayView localName, bool prefixed) const
{
    if (m_token != StartElement)
        return {};
    const Attribute *a = findAttribute(localName, prefixed);
    return a ? view(a->valueAt, a->valueLength) : QByteArrayView();
}

QString XmlScanner::attributeText(QByteArrayView localName, bool prefixed) const
{
    const QByteArrayView raw = attribute(localName, prefixed);
    if (!raw.contains('&'))
        return QString::fromUtf8(raw);
    QByteArray decoded;
    return decode(raw, decoded) ? QString::fromUtf8(decoded) : QString();
}

bool XmlScanner::readText(QByteArrayView &text, qsizetype maxBytes)
{
    text = {};
    if (m_token != StartElement)
        return false;
    if (m_pendingEnd) { // <x/>: no text
        next();
        return true;
    }
    if (readPlainText(text))
        return true;
    m_scratch.clear();
    bool scratch = false;
    qsizetype start = m_pos; // of the text not yet taken
    for (;;) {
        qsizetype lt = find(start, start, "<", maxBytes);
        if (lt < 0)
            return fail() == EndElement;
        const qsizetype length = lt - start;
        ensure(start, length + 9); // enough to tell what follows; less at the end
        lt = start + length;
        const QByteArrayView rest = view(lt, m_end - lt);
        if (rest.startsWith("</")) {
            const qsizetype close = find(start, lt, ">", maxBytes + MaxTagLength);
            if (close < 0)
                return fail() == EndElement;
            const QByteArrayView segment = view(start, length);
            const bool plain = !scratch && !segment.contains('&');
            if (!plain && !decode(segment, m_scratch))
                return fail() == EndElement;
            if (closeTag(start + length, close) != EndElement)
                return false;
            text = plain ? segment : QByteArrayView(m_scratch);
            return true;
        }
        if (!decode(view(start, length), m_scratch))
            return fail() == EndElement;
        scratch = true;
        qsizetype at = lt;
        QByteArrayView marker;
        qsizetype skip = 0;
        if (rest.startsWith("<![CDATA[")) {
            marker = "]]>";
            skip = 9;
        } else if (rest.startsWith("<!--")) {
            marker = "-->";
        } else if (rest.startsWith("<?")) {
            marker = "?>";
        } else {
            return fail() == EndElement; // an element inside the text
        }
        const qsizetype end = find(at, at, marker, maxBytes);
        if (end < 0)
            return fail() == EndElement;
        if (skip > 0)
            m_scratch.append(view(at + skip, end - at - skip));
        if (m_scratch.size() > maxBytes)
            return fail(true) == EndElement;
        start = end + marker.size();
    }
}

bool XmlScanner::readPlainText(QByteArrayView &text)
{
    const char *data = m_buffer.constData();
    qsizetype i = m_pos;
    while (i < m_end && data[i] != '<' && data[i] != '&')
        ++i;
    const size_t start = m_openStart.back();
    const qsizetype length = qsizetype(m_open.size() - start);
    if (i + 3 + length > m_end || data[i] != '<' || data[i + 1] != '/' ||
        !sameBytes(data + i + 2, m_open.data() + start, length) || data[i + 2 + length] != '>')
        return false;
    text = view(m_pos, i - m_pos);
    m_open.resize(start);
    m_openStart.pop_back();
    const QByteArrayView local = localPart(view(i + 2, length));
    m_nameAt = local.data() - data;
    m_nameLength = local.size();
    m_pos = i + 3 + length;
    m_token = EndElement;
    return true;
}

bool XmlScanner::skipElement()
{
    if (m_token != StartElement)
        return false;
    if (m_pendingEnd)
        return next() == EndElement;
    const size_t depth = m_openStart.size();
    while (next() != Failed) {
        if (m_token == EndElement && m_openStart.size() < depth)
            return true;
    }
    return false;
}

} // namespace quilla
