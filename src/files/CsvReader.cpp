#include "CsvReader.h"

#include "TextDecoding.h"

#include <QFile>

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

QStringView CsvReader::field(int index) const
{
    if (index < 0 || index >= m_ends.size())
        return {};
    const qsizetype begin = index == 0 ? 0 : m_ends.at(index - 1);
    return QStringView(m_record).sliced(begin, m_ends.at(index) - begin);
}

QStringList CsvReader::fields() const
{
    QStringList list;
    list.reserve(m_ends.size());
    for (int i = 0; i < m_ends.size(); ++i)
        list.append(field(i).toString());
    return list;
}

bool CsvReader::next()
{
    return read<true>();
}

bool CsvReader::next(QStringList &fields)
{
    const bool read = next();
    fields = read ? this->fields() : QStringList();
    return read;
}

bool CsvReader::skip()
{
    return read<false>();
}

template <bool Keep> bool CsvReader::read()
{
    m_record.clear();
    m_ends.clear();
    if (m_failed || !has(1))
        return false;
    m_emptyLine = m_text[m_pos] == u'\r' || m_text[m_pos] == u'\n';
    qsizetype length = 0; // of the record's text, kept or not
    const auto append = [&](QStringView text) {
        length += text.size();
        if constexpr (Keep)
            m_record += text;
    };
    const auto endField = [&] {
        if (Keep && m_ends.size() < MaxFields)
            m_ends.append(m_record.size());
    };
    const auto tooLong = [&] {
        if (length <= MaxRecordLength)
            return false;
        m_failed = true;
        m_record.clear();
        m_ends.clear();
        return true;
    };
    bool quoted = false;
    while (has(1)) {
        if (tooLong())
            return false;
        const QChar c = m_text[m_pos];
        if (c == u'"') {
            if (has(2) && m_text[m_pos + 1] == u'"') {
                append(u"\"");
                m_pos += 2;
            } else {
                quoted = !quoted;
                ++m_pos;
            }
        } else if (c == u',') {
            ++m_pos;
            if (quoted)
                append(u",");
            else
                endField();
        } else if (c == u'\r' || c == u'\n') {
            const bool crLf = c == u'\r' && has(2) && m_text[m_pos + 1] == u'\n';
            m_pos += crLf ? 2 : 1;
            if (!quoted) {
                endField();
                return true;
            }
            append(u"//");
        } else {
            const qsizetype start = m_pos;
            while (m_pos < m_text.size() && !isSpecial(m_text[m_pos]))
                ++m_pos;
            append(m_text.sliced(start, m_pos - start));
        }
    }
    // The text ended: the last line had no line end, or a quoted section never closed.
    if (tooLong())
        return false;
    endField();
    return true;
}

int countCsvRecords(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    TextFileReader text(file);
    CsvReader reader(text);
    qint64 records = 0;
    while (reader.skip())
        ++records;
    return reader.failed() ? 0 : int(std::min<qint64>(records, INT_MAX));
}

} // namespace quilla
