#include "CsvReader.h"

#include "TextDecoding.h"

#include <QFile>
#include <QStringDecoder>

#include <algorithm>
#include <cstring>

namespace quilla {

namespace {

bool isSpecial(QChar c)
{
    const char16_t u = c.unicode();
    return u == u'"' || u == u',' || u == u'\r' || u == u'\n';
}

} // namespace

CsvReader::CsvReader(QStringView text) : m_text(text) {}

CsvReader::CsvReader(TextFileReader &source) : m_source(&source) {}

bool CsvReader::has(qsizetype count)
{
    while (m_pos + count > m_text.size()) {
        if (!m_source)
            return false;
        // Keep only the unread rest, so the buffer stays about one piece long.
        m_buffer.remove(0, m_pos);
        m_pos = 0;
        const bool more = m_source->read(m_buffer);
        m_text = m_buffer;
        if (!more)
            return m_pos + count <= m_text.size();
    }
    return true;
}

bool CsvReader::next(QStringList &fields)
{
    fields.clear();
    if (!has(1))
        return false;
    m_emptyLine = m_text[m_pos] == u'\r' || m_text[m_pos] == u'\n';
    QString field;
    bool quoted = false;
    while (has(1)) {
        const QChar c = m_text[m_pos];
        if (c == u'"') {
            if (has(2) && m_text[m_pos + 1] == u'"') {
                field += u'"';
                m_pos += 2;
            } else {
                quoted = !quoted;
                ++m_pos;
            }
        } else if (c == u',') {
            ++m_pos;
            if (quoted) {
                field += u',';
            } else {
                fields.append(field);
                field.clear();
            }
        } else if (c == u'\r' || c == u'\n') {
            const bool crLf = c == u'\r' && has(2) && m_text[m_pos + 1] == u'\n';
            m_pos += crLf ? 2 : 1;
            if (!quoted) {
                fields.append(field);
                return true;
            }
            field += QStringLiteral("//");
        } else {
            const qsizetype start = m_pos;
            while (m_pos < m_text.size() && !isSpecial(m_text[m_pos]))
                ++m_pos;
            field += m_text.sliced(start, m_pos - start);
        }
    }
    // The text ended: the last line had no line end, or a quoted section never closed.
    fields.append(field);
    return true;
}

// Records of a CSV file, counted without decoding it: quotes and line ends are
// ASCII bytes that no GBK or UTF-8 sequence contains.
int CountCsvRecords(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray start = file.peek(2);
    if (start.startsWith("\xFF\xFE") || start.startsWith("\xFE\xFF")) {
        const QString text = QStringDecoder(QStringDecoder::Utf16)(file.readAll());
        return int(text.count(u'\n') + (text.endsWith(u'\n') ? 0 : 1));
    }
    qint64 records = 0;
    bool quoted = false;
    char previous = '\n';
    QByteArray chunk;
    while (!(chunk = file.read(1 << 20)).isEmpty()) {
        const char *begin = chunk.constData();
        const char *end = begin + chunk.size();
        if (!quoted && !std::memchr(begin, '"', size_t(chunk.size()))) {
            // Most chunks hold no quote: count the line ends in one sweep.
            const qint64 lf = std::count(begin, end, '\n');
            const qint64 cr = std::count(begin, end, '\r');
            qint64 crlf = chunk.count("\r\n");
            if (previous == '\r' && *begin == '\n')
                ++crlf;
            records += lf + cr - crlf;
        } else {
            for (const char *p = begin; p != end; ++p) {
                const char c = *p;
                if (c == '"')
                    quoted = !quoted;
                else if (!quoted && (c == '\n' || c == '\r') && !(c == '\n' && previous == '\r'))
                    ++records;
                previous = c;
            }
        }
        previous = end[-1];
    }
    if (previous != '\n' && previous != '\r')
        ++records; // the last record has no line end
    return int(std::min<qint64>(records, INT_MAX));
}

} // namespace quilla
