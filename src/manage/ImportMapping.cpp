#include "ImportMapping.h"

#include "data/Database.h"
#include "data/Settings.h"
#include "data/TextNumber.h"
#include "engine/Presence.h"
#include "files/CsvReader.h"
#include "files/ExportTable.h"
#include "files/Importer.h"
#include "files/Workbook.h"
#include "platform/WindowHelpers.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

namespace quilla {

namespace {

constexpr int PreviewRows = 19;
constexpr int PreviewCols = 59;
const QString Section = QStringLiteral("ImputMap");

QString setting(const char16_t *key)
{
    return readSetting(SettingsApplication, Section, QString::fromUtf16(key), QString());
}

int boxValue(const QLineEdit *box)
{
    const double value = std::nearbyint(leadingNumber(box->text()));
    return int(std::clamp(value, double(INT_MIN), double(INT_MAX)));
}

} // namespace

ImportMapping::ImportMapping(Database &db, Progress &progress, qint64 drawId, const QString &file,
                             const Workbook *book, const QString &sheet, QWidget *parent)
    : QDialog(parent), m_db(db), m_progress(progress), m_drawId(drawId), m_file(file), m_book(book),
      m_sheet(sheet), m_preview(new QTableWidget(PreviewRows, PreviewCols, this)), m_firstRow(new QLineEdit(this)),
      m_lastRow(new QLineEdit(this)), m_mapping(new QTableWidget(2, 2, this))
{
    setWindowTitle(QStringLiteral("导入数据映射"));
    setModal(true);

    auto *previewLabel = new QLabel(QStringLiteral("您将要导入的EXCEL表格样式："), this);
    m_preview->setObjectName(QStringLiteral("preview"));
    m_preview->setAccessibleName(QStringLiteral("导入数据预览"));
    m_preview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    previewLabel->setBuddy(m_preview);

    m_fileRows = m_book ? m_book->lastRow(m_sheet) : countCsvRecords(m_file);
    auto *range = new QHBoxLayout;
    auto *rangeLabel = new QLabel(QStringLiteral("导入行数设置："), this);
    range->addWidget(rangeLabel);
    m_firstRow->setObjectName(QStringLiteral("firstRow"));
    m_firstRow->setAccessibleName(QStringLiteral("导入起始行"));
    m_lastRow->setObjectName(QStringLiteral("lastRow"));
    m_lastRow->setAccessibleName(QStringLiteral("导入结束行"));
    for (QLineEdit *box : {m_firstRow, m_lastRow})
        box->setMaximumWidth(100);
    rangeLabel->setBuddy(m_firstRow);
    range->addWidget(m_firstRow);
    range->addWidget(new QLabel(QStringLiteral("行至第"), this));
    range->addWidget(m_lastRow);
    range->addWidget(new QLabel(QStringLiteral("行"), this));
    // What the file holds, so that a range from another file shows as one.
    auto *rows = new QLabel(QStringLiteral("（文件共有%1行）").arg(m_fileRows), this);
    rows->setObjectName(QStringLiteral("fileRows"));
    rows->setAccessibleName(rows->text());
    range->addWidget(rows);
    range->addStretch();

    auto *mappingLabel = new QLabel(QStringLiteral("请按内容填入相应的对应列号："), this);
    m_mapping->setObjectName(QStringLiteral("mapping"));
    m_mapping->setAccessibleName(QStringLiteral("对应列号"));
    mappingLabel->setBuddy(m_mapping);
    m_mapping->setHorizontalHeaderLabels({QStringLiteral("要导入内容"), QStringLiteral("对应列号")});
    m_mapping->horizontalHeader()->setStretchLastSection(true);
    m_mapping->setEditTriggers(QAbstractItemView::AllEditTriggers);
    const char16_t *contents[] = {u"抽奖号", u"姓名"};
    for (int r = 0; r < 2; ++r) {
        auto *content = new QTableWidgetItem(QString::fromUtf16(contents[r]));
        content->setFlags(content->flags() & ~Qt::ItemIsEditable);
        m_mapping->setItem(r, 0, content);
        m_mapping->setItem(r, 1, new QTableWidgetItem);
    }
    m_mapping->setCurrentCell(0, 1);
    m_mapping->setFixedHeight(m_mapping->horizontalHeader()->height() + 2 * m_mapping->rowHeight(0) + 4);

    auto *ok = namedButton(QStringLiteral("确   定"), QStringLiteral("ok"), this);
    auto *cancel = namedButton(QStringLiteral("取   消"), QStringLiteral("cancel"), this);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton *button : {ok, cancel}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    connect(ok, &QPushButton::clicked, this, &ImportMapping::confirm);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    // Tab goes on to the next field instead of cycling through the cells, so that the
    // range, the mapping and the buttons can be reached from the keyboard; arrows move within a grid.
    m_preview->setTabKeyNavigation(false);
    m_mapping->setTabKeyNavigation(false);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(previewLabel);
    layout->addWidget(m_preview, 1);
    layout->addLayout(range);
    layout->addWidget(mappingLabel);
    layout->addWidget(m_mapping);
    layout->addLayout(buttons);
    resize(900, 600);

    preview();
    // The first row as last time (else the row after the titles); the range ends at the
    // file's last row, whatever the last file had.
    const QString first = setting(u"T(0)");
    m_firstRow->setText(first.isEmpty() ? QStringLiteral("2") : first);
    m_lastRow->setText(QString::number(m_fileRows));
    // First use: the number in column A, the name in B.
    const QString number = setting(u"I(0)");
    const QString name = setting(u"I(1)");
    const bool firstUse = number.isEmpty() && name.isEmpty();
    m_mapping->item(0, 1)->setText(firstUse ? QStringLiteral("A") : number);
    m_mapping->item(1, 1)->setText(firstUse ? QStringLiteral("B") : name);
    followTitles();
    centreInWorkArea(this);
}

// A first row with the template's titles says where the number and the name are,
// whatever was used last time; the rows start below it.
void ImportMapping::followTitles()
{
    // Only the template's own titles: a mapping kept from last time (a name made of two
    // columns, say) may be meant for files with other titles.
    static const QStringList numberTitles{QStringLiteral("抽奖号码")};
    static const QStringList nameTitles{QStringLiteral("姓名")};
    int numberColumn = -1;
    int nameColumn = -1;
    for (int c = 0; c < PreviewCols; ++c) {
        const QTableWidgetItem *title = m_preview->item(0, c);
        const QString text = title ? title->text().trimmed() : QString();
        if (numberColumn < 0 && numberTitles.contains(text))
            numberColumn = c;
        else if (nameColumn < 0 && nameTitles.contains(text))
            nameColumn = c;
    }
    // Both, or it may be a row of people that happens to hold such a word.
    if (numberColumn < 0 || nameColumn < 0)
        return;
    m_firstRow->setText(QStringLiteral("2"));
    m_mapping->item(0, 1)->setText(columnLetters(numberColumn + 1));
    m_mapping->item(1, 1)->setText(columnLetters(nameColumn + 1));
}

void ImportMapping::preview()
{
    QStringList letters;
    for (int c = 1; c <= PreviewCols; ++c)
        letters.append(columnLetters(c));
    m_preview->setHorizontalHeaderLabels(letters);
    const auto show = [this](int row, int column, const QString &text) {
        if (!text.isEmpty())
            m_preview->setItem(row, column, new QTableWidgetItem(text));
    };
    if (m_book) {
        for (int r = 0; r < PreviewRows; ++r)
            for (int c = 0; c < PreviewCols; ++c)
                show(r, c, m_book->cellText(m_sheet, r + 1, c + 1));
    } else {
        // Only the rows shown are read, however long the file.
        const QList<QStringList> rows = previewCsv(m_file, PreviewRows);
        for (int r = 0; r < rows.size() && r < PreviewRows; ++r)
            for (int c = 0; c < rows.at(r).size() && c < PreviewCols; ++c)
                show(r, c, rows.at(r).at(c));
    }
    // Empty columns still show their letters, so that the operator can name them.
    m_preview->resizeColumnsToContents();
    for (int c = 0; c < PreviewCols; ++c)
        m_preview->setColumnWidth(c, std::min(m_preview->columnWidth(c), 300));
}

// An entry still being typed counts, whichever cell it is in and wherever the focus went.
void ImportMapping::commitTyping()
{
    for (QLineEdit *editor : m_mapping->viewport()->findChildren<QLineEdit *>())
        if (editor->isVisible()) {
            Q_EMIT m_mapping->itemDelegate()->commitData(editor);
            Q_EMIT m_mapping->itemDelegate()->closeEditor(editor);
        }
}

QString ImportMapping::mappingText(int row) const
{
    return m_mapping->item(row, 1)->text();
}

void ImportMapping::confirm()
{
    commitTyping();
    if (boxValue(m_lastRow) < 1) {
        m_db.prompt().message(QStringLiteral("请输入要导入的行数！"));
        return;
    }
    // Without a column for either, every participant would come in blank.
    if (mappingText(0).trimmed().isEmpty() && mappingText(1).trimmed().isEmpty()) {
        m_db.prompt().message(QStringLiteral("请填入抽奖号或姓名所在的列号！"));
        return;
    }
    int first = boxValue(m_firstRow);
    int last = boxValue(m_lastRow);
    if (first > last)
        std::swap(first, last);
    first = std::max(first, 1);
    if (last < m_fileRows &&
        !m_db.prompt().question(QStringLiteral("文件共有%1行，导入到第%2行为止，后面的%3行不会导入。是否继续？")
                                    .arg(m_fileRows)
                                    .arg(last)
                                    .arg(m_fileRows - last),
                                Prompt::Icon::Question))
        return;
    const QStringList mapping{mappingText(0), mappingText(1)};
    if (m_checkInList) {
        checkIn(first, last, mapping);
        return;
    }
    const Sql ofDraw = Sql("CID=") + Sql::number(m_drawId);
    const qint64 before = m_db.countRows(QStringLiteral("号码表"), ofDraw);
    m_result = m_book ? importWorkbookRows(m_db, m_progress, m_drawId, *m_book, m_sheet, first, last, mapping)
                      : importCsvRows(m_db, m_progress, m_drawId, m_file, first, last, mapping);
    if (m_result != 0)
        return;
    m_db.prompt().message(
        QStringLiteral("已导入 %1 条").arg(m_db.countRows(QStringLiteral("号码表"), ofDraw) - before));
    accept();
}

void ImportMapping::readCheckInList()
{
    m_checkInList = true;
    setWindowTitle(QStringLiteral("导入签到名单"));
}

void ImportMapping::checkIn(int first, int last, const QStringList &mapping)
{
    QList<QStringList> rows;
    m_result = m_book ? importWorkbookRows(m_db, m_progress, m_drawId, *m_book, m_sheet, first, last, mapping, &rows)
                      : importCsvRows(m_db, m_progress, m_drawId, m_file, first, last, mapping, &rows);
    if (m_result != 0)
        return;
    const ListCheckIn done = checkInList(m_db, m_drawId, rows);
    if (!done.stored) {
        m_result = -1;
        m_db.prompt().message(QStringLiteral("签到名单未能保存到数据库，数据库没有改变。"), Prompt::Icon::Warning);
        return;
    }
    QString text = QStringLiteral("已签到 %1 人，未找到 %2 个号码").arg(done.checkedIn).arg(done.notFound.size());
    if (done.alreadyIn > 0)
        text += QStringLiteral("（另有 %1 人此前已签到）").arg(done.alreadyIn);
    if (!done.notFound.isEmpty()) {
        // All of them go to the clipboard, to be pasted where they can be checked.
        QGuiApplication::clipboard()->setText(done.notFound.join(u'\n'));
        constexpr qsizetype Shown = 30;
        text += QStringLiteral("：\n") + done.notFound.mid(0, Shown).join(QStringLiteral("、")) +
                (done.notFound.size() > Shown ? QStringLiteral(" 等") : QString()) +
                QStringLiteral("\n\n未找到的号码已全部复制到剪贴板。");
    }
    m_db.prompt().message(text);
    accept();
}

void ImportMapping::done(int code)
{
    // The range and the mapping are kept however the window closes.
    commitTyping();
    writeSetting(SettingsApplication, Section, QStringLiteral("T(0)"), m_firstRow->text());
    writeSetting(SettingsApplication, Section, QStringLiteral("T(1)"), m_lastRow->text());
    writeSetting(SettingsApplication, Section, QStringLiteral("I(0)"), mappingText(0));
    writeSetting(SettingsApplication, Section, QStringLiteral("I(1)"), mappingText(1));
    QDialog::done(code);
}

} // namespace quilla
