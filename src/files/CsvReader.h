#pragma once

#include <QList>
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
//
// A record is held as one text and where its fields end, so a line of many empty
// fields costs a few bytes per field, and fields past the widest sheet are not
// kept at all. A record longer than MaxRecordLength stops the reading: failed().
class CsvReader
{
  public:
    static constexpr qsizetype MaxRecordLength = qsizetype(1) << 24; // characters
    static constexpr int MaxFields = 16384;                          // a spreadsheet's columns

    explicit CsvReader(QStringView text);
    // Reads the text as the source gives it out.
    explicit CsvReader(TextFileReader &source);

    // Reads the next record; false when the text has no more, or on failure.
    bool next();
    // The same, giving the record's fields.
    bool next(QStringList &fields);
    // Passes over the next record without keeping its text: the count of records
    // comes from the same rules as the reading.
    bool skip();

    // The fields of the record just read, from 0; past the kept ones "".
    QStringView field(int index) const;
    QStringList fields() const;
    // Whether the record just read was an empty line.
    bool wasEmptyLine() const { return m_emptyLine; }
    // Whether the reading stopped at a record longer than MaxRecordLength.
    bool failed() const { return m_failed; }

  private:
    template <bool Keep> bool read();
    // Makes count characters from the current position available when the text has them.
    bool has(qsizetype count);

    TextFileReader *m_source = nullptr;
    QString m_buffer; // what the source gave out and is not read yet
    QStringView m_text;
    qsizetype m_pos = 0;
    QString m_record;        // the fields' texts one after another
    QList<qsizetype> m_ends; // where each kept field ends in m_record
    bool m_emptyLine = false;
    bool m_failed = false;
};

// The number of records of a CSV file as the reader reads them; 0 when the file
// cannot be read, or has a record too long to read.
int countCsvRecords(const QString &path);

} // namespace quilla
