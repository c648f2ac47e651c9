#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace quilla {

class TextFileReader;

// Reads the records of CSV text one by one, in one pass.
//
// Fields are separated by ','. A double quote opens or closes a quoted section
// anywhere in a field (ab"c,d"e is the one field abc,de); two quotes in a row are
// one literal quote, inside a section or outside it, so a field written "" holds
// a quote character. Outside a section CR LF, a lone CR and a lone LF each end a
// record; inside one each becomes "//" and the record goes on. Text that ends
// inside a section ends the record there with what was read. An empty line is a
// record of one empty field.
class CsvReader
{
  public:
    explicit CsvReader(QStringView text);
    // Reads the text as the source gives it out.
    explicit CsvReader(TextFileReader &source);

    // The next record's fields; false when the text has no more records.
    bool next(QStringList &fields);
    // Whether the record just read was an empty line.
    bool wasEmptyLine() const { return m_emptyLine; }

  private:
    // Makes count characters from the current position available when the text has them.
    bool has(qsizetype count);

    TextFileReader *m_source = nullptr;
    QString m_buffer; // what the source gave out and is not read yet
    QStringView m_text;
    qsizetype m_pos = 0;
    bool m_emptyLine = false;
};

// The number of records of a CSV file, without decoding it (quotes and line
// ends are ASCII bytes that no GBK or UTF-8 sequence contains); 0 when unreadable.
int CountCsvRecords(const QString &path);

} // namespace quilla
