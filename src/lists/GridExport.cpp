#include "GridExport.h"

#include "data/Progress.h"
#include "data/Prompt.h"
#include "lists/RecordModel.h"
#include "system/FileSync.h"
#include "platform/WindowHelpers.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTableView>

#include <cmath>

namespace quilla {

namespace {

const QString Filter =
    QStringLiteral("CSV (逗号分隔)(*.csv)|*.csv|MS Excel文件  (*.xls)|*.xls|Excel 工作簿 (*.xlsx)|*.xlsx");

const QString InUseMessage = QStringLiteral("文件正被其他程序打开，请关闭后再保存");

QString askForFile(QWidget *parent, const QString &filter, QString *selectedFilter)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The program asks its own question before replacing a file.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilter(fileDialogFilter(filter));
    // A name typed with a known extension chooses that type in the list, so that the type
    // shown is the one written.
    if (auto *name = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
        QObject::connect(name, &QLineEdit::textChanged, &dialog, [&dialog](const QString &text) {
            const QString suffix = QFileInfo(text).suffix().toLower();
            for (const QString &type : dialog.nameFilters())
                if (!suffix.isEmpty() && type.endsWith(QStringLiteral("(*.") + suffix + u')') &&
                    type != dialog.selectedNameFilter())
                    dialog.selectNameFilter(type);
        });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    if (selectedFilter)
        *selectedFilter = dialog.selectedNameFilter();
    return dialog.selectedFiles().constFirst();
}

// The type chosen in the dialog decides the format, and the name ends in its extension:
// a name typed with another type's extension gets the chosen one in its place. Without
// a chosen type the name decides, and a name without an extension is CSV.
QString withExtension(const QString &path, const QString &selectedFilter)
{
    static const QRegularExpression pattern(QStringLiteral("\\*\\.(\\w+)"));
    const QRegularExpressionMatch match = pattern.match(selectedFilter);
    const QString suffix = QFileInfo(path).suffix();
    if (!match.hasMatch())
        return suffix.isEmpty() ? path + QStringLiteral(".csv") : path;
    const QString wanted = match.captured(1);
    if (suffix.compare(wanted, Qt::CaseInsensitive) == 0)
        return path;
    const QString typed = suffix.toLower();
    if (typed == u"csv" || typed == u"xls" || typed == u"xlsx")
        return path.left(path.size() - suffix.size()) + wanted;
    return path + u'.' + wanted;
}

// What the writer changed, a line each, after the count: the operator must not take
// the file for a full copy of the list when it is not one.
QString doneMessage(qsizetype rows, const ExportNotes &notes)
{
    QString text = QStringLiteral("已导出 %1 条").arg(rows);
    if (notes.cutCells > 0)
        text += QStringLiteral("\n有 %1 个单元格的文字超过 32767 个字符，只保存了前 32767 个字符。")
                    .arg(notes.cutCells);
    if (notes.replacedCharacters > 0)
        text += QStringLiteral("\n有 %1 个无法保存的字符已换成“\uFFFD”。").arg(notes.replacedCharacters);
    if (notes.formulaCells > 0)
        text += QStringLiteral(
                    "\n有 %1 个以 = + - @ 开头的单元格前面加了单引号（'），以免表格软件把它当作公式运行。")
                    .arg(notes.formulaCells);
    return text;
}

} // namespace

ExportTable tableOfView(const QTableView &view)
{
    ExportTable table;
    QAbstractItemModel *model = view.model();
    if (!model)
        return table;
    if (auto *records = qobject_cast<RecordModel *>(model))
        records->fetchAll();
    else
        while (model->canFetchMore({}))
            model->fetchMore({});
    QList<int> columns;
    QStringList titles{QStringLiteral("序号")};
    table.widths.append(std::nearbyint(view.verticalHeader()->width() * twipsPerPixel()));
    for (int c = 0; c < model->columnCount(); ++c)
        if (!view.isColumnHidden(c)) {
            columns.append(c);
            titles.append(model->headerData(c, Qt::Horizontal).toString());
            table.widths.append(std::nearbyint(view.columnWidth(c) * twipsPerPixel()));
        }
    table.rows.append(titles);
    table.headerRows = 1;
    const int rows = model->rowCount();
    table.rows.reserve(rows + 1);
    for (int r = 0; r < rows; ++r) {
        QStringList cells;
        cells.reserve(columns.size() + 1);
        cells.append(QString::number(r + 1));
        for (const int c : std::as_const(columns))
            cells.append(model->index(r, c).data().toString());
        table.rows.append(cells);
    }
    return table;
}

namespace {

// The file to write: chosen, given the type's extension, and allowed to replace one
// that is there. "" when the operator stopped.
QString chooseTarget(Prompt &prompt, QWidget *parent, const SaveFileChooser &chooseFile)
{
    QString selectedFilter;
    const QString chosen =
        chooseFile ? chooseFile(Filter, &selectedFilter) : askForFile(parent, Filter, &selectedFilter);
    if (chosen.isEmpty())
        return {};
    const QString path = withExtension(chosen, selectedFilter);
    const QFileInfo target(path);
    if (target.exists()) {
        if (!prompt.question(QStringLiteral("该文件已存在，是否覆盖？")))
            return {};
        if (heldOpenElsewhere(path)) {
            prompt.message(InUseMessage);
            return {};
        }
        // The old file is replaced only by a complete new one, so it must be replaceable.
        if (!target.isFile() || !target.isWritable() || !QFileInfo(target.absolutePath()).isWritable()) {
            prompt.message(QStringLiteral("该文件无法覆盖，请确认该文件没被其他软件打开！"));
            return {};
        }
    }
    return path;
}

// Writes table by the name's extension and says what was written.
bool writeTable(const ExportTable &table, const QString &path, const QString &sheetName, Prompt &prompt,
                Progress &progress)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    ExportNotes notes;
    const ExportFailure failure = suffix == u"csv"    ? writeCsv(table, path, progress, &notes)
                                  : suffix == u"xlsx" ? writeXlsx(table, path, sheetName, progress, &notes)
                                                      : writeXls(table, path, sheetName, progress, &notes);
    switch (failure) {
    case ExportFailure::None:
        prompt.message(doneMessage(table.rows.size() - table.headerRows, notes));
        return true;
    case ExportFailure::TooLarge:
        prompt.message(QStringLiteral("表格的行数或列数超过了这种文件格式的上限，请改存为.xlsx或CSV文件！"));
        return false;
    case ExportFailure::CannotWrite:
        break;
    }
    // It may have been opened elsewhere while the rows were written; the old file stays.
    prompt.message(heldOpenElsewhere(path) ? InUseMessage : QStringLiteral("文件保存出错！"));
    return false;
}

} // namespace

bool exportView(const QTableView &view, Prompt &prompt, Progress &progress, const QString &sheetName,
                QWidget *parent, const SaveFileChooser &chooseFile)
{
    if (!view.model() || view.model()->columnCount() == 0) {
        prompt.message(QStringLiteral("表格中没有数据！"));
        return false;
    }
    const QString path = chooseTarget(prompt, parent, chooseFile);
    if (path.isEmpty())
        return false;
    // The rows not yet read are read first, under the progress window when there are any.
    const auto *records = qobject_cast<const RecordModel *>(view.model());
    const bool reading = records ? records->needsReading() : view.model()->canFetchMore({});
    if (reading)
        progress.begin(QStringLiteral("正在读取记录..."), 1);
    const ExportTable table = tableOfView(view);
    if (reading)
        progress.end();
    return writeTable(table, path, sheetName, prompt, progress);
}

bool exportParticipantTemplate(Prompt &prompt, Progress &progress, QWidget *parent, const SaveFileChooser &chooseFile)
{
    const QString path = chooseTarget(prompt, parent, chooseFile);
    if (path.isEmpty())
        return false;
    // The titles the import recognises, and two rows to write over.
    ExportTable table;
    table.rows = {{QStringLiteral("抽奖号码"), QStringLiteral("姓名")},
                  {QStringLiteral("1001"), QStringLiteral("张三")},
                  {QStringLiteral("1002"), QStringLiteral("李四")}};
    table.headerRows = 1;
    table.widths = {1800, 1800};
    return writeTable(table, path, QStringLiteral("名单"), prompt, progress);
}

} // namespace quilla
