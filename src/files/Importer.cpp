#include "Importer.h"

#include "CsvReader.h"
#include "TextDecoding.h"
#include "Workbook.h"
#include "data/Database.h"
#include "data/Inserter.h"
#include "data/Progress.h"
#include "data/TextNumber.h"

#include <QFile>

#include <optional>

namespace quilla {

namespace {

const QString Caption = QStringLiteral("正在读取EXCEL数据……");
const QString CsvOpenFailed = QStringLiteral("文件打开错误！");
const QString NoDraw = QStringLiteral("请先选择抽奖名称再导入数据！");
const QString NotWritten = QStringLiteral("导入失败，数据库没有改变。");

// Full-width forms (Ｂ, ３, the ideographic space) typed with a Chinese input method.
QString foldWidth(QString text)
{
    for (QChar &c : text) {
        const char16_t u = c.unicode();
        if (u >= 0xFF01 && u <= 0xFF5E)
            c = QChar(char16_t(u - 0xFEE0));
        else if (u == 0x3000)
            c = u' ';
    }
    return text;
}

// One item of a mapping entry, worked out once for all rows.
struct Item
{
    QString literal;
    int column = 0; // 0: the literal
};

class Mapping
{
  public:
    explicit Mapping(const QStringList &mapping)
    {
        for (const QString &entry : normaliseMapping(mapping)) {
            QList<Item> items;
            for (QString item : entry.split(u',')) {
                item.remove(u'\r');
                item.remove(u'\n');
                item = item.trimmed();
                if (item.startsWith(u'"') && item.endsWith(u'"')) {
                    // A lone quote is no quoted text: it gives nothing.
                    if (item.size() >= 2)
                        items.append({item.sliced(1, item.size() - 2), 0});
                } else if (const int column = columnIndex(item); column > 0) {
                    items.append({QString(), column});
                }
            }
            m_entries.append(items);
        }
    }

    // cell(column) gives the text of a column of the current row.
    template <typename Cell> QString value(int entry, const Cell &cell) const
    {
        if (entry >= m_entries.size())
            return {};
        QString value;
        for (const Item &item : m_entries.at(entry))
            value += item.column > 0 ? cell(item.column) : item.literal;
        if (value.contains(u'\n')) {
            value.replace(QStringLiteral("\r\n"), QStringLiteral("//"));
            value.replace(u'\n', QStringLiteral("//"));
        }
        return value;
    }

    // The columns the entries read, each once.
    QList<int> columns() const
    {
        QList<int> columns;
        for (const QList<Item> &items : m_entries)
            for (const Item &item : items)
                if (item.column > 0 && !columns.contains(item.column))
                    columns.append(item.column);
        return columns;
    }

  private:
    QList<QList<Item>> m_entries;
};

// Appends participant rows inside one transaction, which rolls back unless finished.
class Appender
{
  public:
    Appender(Database &db, qint64 drawId)
        : m_transaction(db), m_rows(db, QStringLiteral("号码表"),
                                    {QStringLiteral("CID"), QStringLiteral("号码"), QStringLiteral("姓名")}),
          m_drawId(drawId)
    {
    }

    bool isValid() const { return m_rows.isValid(); }
    bool append(QStringView number, QStringView name)
    {
        // Stored as the draw compares them: without spaces of any kind around them.
        m_rows.number(m_drawId);
        m_rows.text(trimmedText(number));
        m_rows.text(trimmedText(name));
        return m_rows.endRow();
    }
    bool finish() { return m_rows.finish() && m_transaction.commit(); }

  private:
    Database::Transaction m_transaction;
    Inserter m_rows;
    qint64 m_drawId;
};

// Ends the progress whichever way the import leaves.
class ProgressRun
{
  public:
    ProgressRun(Progress &progress, int total) : m_progress(progress) { m_progress.begin(Caption, total); }
    ~ProgressRun() { m_progress.end(); }
    void step() { m_progress.step(1); }

  private:
    Progress &m_progress;
};

// A row read: appended to the draw, or gathered for the caller.
bool take(std::optional<Appender> &rows, QList<QStringList> *collected, const QString &number, const QString &name)
{
    if (!collected)
        return rows->append(number, name);
    collected->append({number, name});
    return true;
}

int notWritten(Database &db)
{
    db.prompt().message(NotWritten, Prompt::Icon::Critical);
    return ImportNotWritten;
}

bool refuseNoDraw(Database &db, qint64 drawId)
{
    if (drawId >= 1)
        return false;
    db.prompt().message(NoDraw, Prompt::Icon::Warning);
    return true;
}

bool isCsvPath(const QString &path)
{
    return path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive);
}

} // namespace

int columnIndex(const QString &letters)
{
    const QString s = foldWidth(letters).trimmed().toUpper();
    if (s.isEmpty() || s.size() > 2)
        return 0;
    int n = s.back().unicode() - 64;
    if (s.size() == 2)
        n += (s.front().unicode() - 64) * 26;
    return n <= 0 ? 1 : n;
}

QStringList normaliseMapping(const QStringList &mapping)
{
    QStringList cleaned;
    cleaned.reserve(mapping.size());
    for (QString entry : mapping) {
        entry.replace(u'”', u'"').replace(u'“', u'"').replace(u'，', u',');
        entry = entry.trimmed();
        if (entry.startsWith(u','))
            entry.remove(0, 1);
        if (entry.endsWith(u','))
            entry.chop(1);
        cleaned.append(entry);
    }
    return cleaned;
}

QString importErrorMessage(int code)
{
    switch (code) {
    case CannotOpenFile:
        return QStringLiteral("无法打开Excel文件，请检查后重新输入文件名及路径！");
    case SheetNotFound:
        return QStringLiteral("输入表格名称有误，无法打开表格，请重新输入！");
    case NotAWorkbook:
        return QStringLiteral("文件类型不对，请选择Excel文档！");
    case 1004:
        return QStringLiteral("输入表格列号超界，请重新输入！");
    case TooLargeToRead:
        return QStringLiteral("文件过大或内容过长，无法读取！");
    default:
        return QStringLiteral("未知错误，错误号：") + QString::number(code) +
               QStringLiteral("　请检查输入值！");
    }
}

int importCsvRows(Database &db, Progress &progress, qint64 drawId, const QString &path, int first, int last,
                  const QStringList &mapping, QList<QStringList> *collected)
{
    if (refuseNoDraw(db, drawId))
        return ImportNoDraw;
    QFile file(path);
    if (!isCsvPath(path) || !file.open(QIODevice::ReadOnly)) {
        db.prompt().message(CsvOpenFailed, Prompt::Icon::Critical);
        return CannotOpenFile;
    }
    first = qMax(first, 1);
    if (last < first)
        return ImportDone;

    TextFileReader text(file);
    CsvReader reader(text);
    const auto tooLarge = [&db] {
        db.prompt().message(importErrorMessage(TooLargeToRead), Prompt::Icon::Critical);
        return int(TooLargeToRead);
    };
    // Records, not lines: a quoted line break before the range does not shift it.
    for (int row = 1; row < first; ++row)
        if (!reader.skip())
            return reader.failed() ? tooLarge() : ImportDone;

    std::optional<Appender> rows;
    if (!collected && !rows.emplace(db, drawId).isValid())
        return notWritten(db);
    const Mapping map(mapping);
    const auto cell = [&reader](int column) { return reader.field(column - 1).toString(); };
    ProgressRun run(progress, last - first + 1);
    for (qint64 row = first; row <= last && reader.next(); ++row) {
        if (!reader.wasEmptyLine() && !take(rows, collected, map.value(0, cell), map.value(1, cell)))
            return notWritten(db);
        run.step();
    }
    // A record too long to read: nothing of the file is taken.
    if (reader.failed())
        return tooLarge();
    if (rows && !rows->finish())
        return notWritten(db);
    return ImportDone;
}

int importWorkbookRows(Database &db, Progress &progress, qint64 drawId, const Workbook &book,
                       const QString &sheet, int first, int last, const QStringList &mapping,
                       QList<QStringList> *collected)
{
    if (refuseNoDraw(db, drawId))
        return ImportNoDraw;
    if (!book.hasSheet(sheet)) {
        db.prompt().message(importErrorMessage(SheetNotFound), Prompt::Icon::Critical);
        return SheetNotFound;
    }
    first = qMax(first, 1);
    // Rows past the data would only add empty participants.
    last = qMin(last, book.lastRow(sheet));
    if (last < first)
        return ImportDone;

    std::optional<Appender> rows;
    if (!collected && !rows.emplace(db, drawId).isValid())
        return notWritten(db);
    const Mapping map(mapping);
    // Only the mapped columns are read, a row at a time.
    const QList<int> columns = map.columns();
    ProgressRun run(progress, last - first + 1);
    bool appended = true;
    const bool read = book.readRows(sheet, first, last, columns, [&](int, const QStringList &texts) {
        const auto cell = [&](int column) { return texts.at(columns.indexOf(column)); };
        appended = take(rows, collected, map.value(0, cell), map.value(1, cell));
        run.step();
        return appended;
    });
    if (!appended)
        return notWritten(db);
    // A file that changed since it was opened: nothing of it is taken.
    if (!read) {
        db.prompt().message(importErrorMessage(CannotOpenFile), Prompt::Icon::Critical);
        return CannotOpenFile;
    }
    if (rows && !rows->finish())
        return notWritten(db);
    return ImportDone;
}

QList<QStringList> previewCsv(const QString &path, int rows)
{
    QList<QStringList> preview;
    QFile file(path);
    if (!isCsvPath(path) || !file.open(QIODevice::ReadOnly))
        return preview;
    TextFileReader text(file);
    CsvReader reader(text);
    while (preview.size() < rows && reader.next())
        preview.append(reader.wasEmptyLine() ? QStringList() : reader.fields());
    if (reader.failed())
        preview.clear();
    return preview;
}

} // namespace quilla
