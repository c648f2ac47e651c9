#include "ExportTable.h"
#include "platform/Gb18030.h"
#include "platform/ReplacingFile.h"

#include "data/Progress.h"

namespace quilla {

namespace {

const QString CsvCaption = QStringLiteral("正在导出数据至CSV格式文件……");

// Quotes doubled; quoted when a separator, quote or line break is inside. A lone
// CR or LF is quoted as well: bare, it would split the row for every reader.
void appendField(QString &line, const QString &cell)
{
    const bool quoted =
        cell.contains(u',') || cell.contains(u'"') || cell.contains(u'\r') || cell.contains(u'\n');
    if (!quoted) {
        line += cell;
        return;
    }
    line += u'"';
    for (const QChar c : cell) {
        if (c == u'"')
            line += u'"';
        line += c;
    }
    line += u'"';
}

} // namespace

ExportFailure WriteCsv(const ExportTable &table, const QString &path, Progress &progress)
{
    progress.begin(CsvCaption, int(table.rows.size()));
    // The old file stays until the new one is complete.
    ReplacingFile out(path);
    if (!out.open()) {
        progress.end();
        return ExportFailure::CannotWrite;
    }
    QFile &file = out.device();
    // GB18030: the same bytes as GBK for every GBK character, and nothing lost beyond it.
    Gb18030Encoder encoder;
    QString block;
    bool written = true;
    for (const QStringList &row : table.rows) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (i > 0)
                block += u',';
            appendField(block, row.at(i));
        }
        block += QStringLiteral("\r\n");
        // Encoding in blocks keeps a large table from being held twice.
        if (block.size() >= (1 << 18)) {
            const QByteArray bytes = encoder(block);
            written = written && file.write(bytes) == bytes.size();
            block.clear();
        }
        progress.step(1);
    }
    const QByteArray bytes = encoder(block);
    written = written && file.write(bytes) == bytes.size();
    written = written && out.commit();
    progress.end();
    return written ? ExportFailure::None : ExportFailure::CannotWrite;
}

} // namespace quilla
