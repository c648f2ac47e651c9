#include "ImportMapping.h"

#include "data/Database.h"
#include "data/Settings.h"
#include "data/TextNumber.h"
#include "files/CsvReader.h"
#include "files/ExportTable.h"
#include "files/Importer.h"
#include "files/Workbook.h"
#include "grids/GridPresenter.h"
#include "platform/Grid.h"
#include "platform/WindowHelpers.h"

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

constexpr int PreviewRows = 20;
constexpr int PreviewCols = 60;
constexpr int MappingColumn = 4;
const QString Section = QStringLiteral("ImputMap");

QString setting(const char16_t *key)
{
    return ReadSetting(SettingsApplication, Section, QString::fromUtf16(key), QString());
}

int boxValue(const QLineEdit *box)
{
    const double value = std::nearbyint(LeadingNumber(box->text()));
    return int(std::clamp(value, double(INT_MIN), double(INT_MAX)));
}

} // namespace

ImportMapping::ImportMapping(Database &db, Progress &progress, qint64 drawId, const QString &file, const Workbook *book,
                   const QString &sheet, QWidget *parent)
    : QDialog(parent), m_db(db), m_progress(progress), m_drawId(drawId), m_file(file), m_book(book),
      m_sheet(sheet)
{
    setWindowTitle(QStringLiteral("导入数据映射"));
    setModal(true);

    auto *previewLabel = new QLabel(QStringLiteral("您将要导入的EXCEL表格样式："), this);
    M0 = new Grid(this);
    M0->setAccessibleName(QStringLiteral("导入数据预览"));
    previewLabel->setBuddy(M0);

    auto *range = new QHBoxLayout;
    auto *rangeLabel = new QLabel(QStringLiteral("导入行数设置："), this);
    range->addWidget(rangeLabel);
    for (int i = 0; i < 2; ++i) {
        T[i] = new QLineEdit(this);
        T[i]->setMaximumWidth(100);
        T[i]->setAccessibleName(i == 0 ? QStringLiteral("导入起始行") : QStringLiteral("导入结束行"));
    }
    rangeLabel->setBuddy(T[0]);
    range->addWidget(T[0]);
    range->addWidget(new QLabel(QStringLiteral("行至第"), this));
    range->addWidget(T[1]);
    range->addWidget(new QLabel(QStringLiteral("行"), this));
    range->addStretch();

    auto *mappingLabel = new QLabel(QStringLiteral("请按内容填入相应的对应列号："), this);
    M1 = new QTableWidget(2, 5, this);
    M1->setAccessibleName(QStringLiteral("对应列号"));
    mappingLabel->setBuddy(M1);
    M1->setHorizontalHeaderLabels({QStringLiteral("Index"), QStringLiteral("ID"), QStringLiteral("序号"),
                                   QStringLiteral("要导入内容"), QStringLiteral("对应列号")});
    M1->verticalHeader()->hide();
    M1->setColumnHidden(0, true);
    M1->setColumnHidden(1, true);
    M1->horizontalHeader()->setStretchLastSection(true);
    M1->setEditTriggers(QAbstractItemView::AllEditTriggers);
    const char16_t *items[] = {u"抽奖号", u"姓名"};
    for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < 5; ++c) {
            auto *item = new QTableWidgetItem;
            if (c != MappingColumn)
                item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            item->setTextAlignment(c >= 3 ? Qt::AlignLeft | Qt::AlignTop : Qt::AlignLeft | Qt::AlignVCenter);
            M1->setItem(r, c, item);
        }
        M1->item(r, 2)->setText(QString::number(r + 1));
        M1->item(r, 3)->setText(QString::fromUtf16(items[r]));
    }
    M1->setFixedHeight(M1->horizontalHeader()->height() + 2 * M1->rowHeight(0) + 4);

    const char16_t *captions[] = {u"确   定", u"取   消"};
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (int i = 0; i < 2; ++i) {
        Com[i] = new QPushButton(QString::fromUtf16(captions[i]), this);
        Com[i]->setAccessibleName(i == 0 ? QStringLiteral("确定") : QStringLiteral("取消"));
        Com[i]->setAutoDefault(false);
        buttons->addWidget(Com[i]);
    }
    connect(Com[0], &QPushButton::clicked, this, &ImportMapping::confirm);
    connect(Com[1], &QPushButton::clicked, this, &QDialog::reject);

    // Tab goes on to the next field instead of cycling through the cells, so that the
    // range, the mapping and the buttons can be reached from the keyboard; arrows move within a grid.
    M0->setTabKeyNavigation(false);
    M1->setTabKeyNavigation(false);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(previewLabel);
    layout->addWidget(M0, 1);
    layout->addLayout(range);
    layout->addWidget(mappingLabel);
    layout->addWidget(M1);
    layout->addLayout(buttons);
    resize(900, 600);

    preview();
    // First use: from the row after the titles to the last row of the data.
    T[0]->setText(QStringLiteral("2"));
    T[1]->setText(QString::number(m_book ? m_book->lastRow(m_sheet) : CountCsvRecords(m_file)));
    for (int i = 0; i < 2; ++i) {
        const QString stored = setting(i == 0 ? u"T(0)" : u"T(1)");
        if (!stored.isEmpty())
            T[i]->setText(stored);
    }
    M1->item(0, MappingColumn)->setText(setting(u"I(0)"));
    M1->item(1, MappingColumn)->setText(setting(u"I(1)"));
    CentreInWorkArea(this);
}

void ImportMapping::preview()
{
    {
        Grid::Batch batch(*M0);
        M0->setCols(PreviewCols);
        M0->setRows(PreviewRows);
        M0->setFixedRows(1);
        M0->setFixedCols(1);
        M0->setColWidth(0, 300);
        for (int c = 1; c < PreviewCols; ++c)
            M0->setTextMatrix(0, c, ColumnLetters(c));
        for (int r = 1; r < PreviewRows; ++r)
            M0->setTextMatrix(r, 0, QString::number(r));
        if (m_book) {
            for (int r = 1; r < PreviewRows; ++r)
                for (int c = 1; c < PreviewCols; ++c)
                    M0->setTextMatrix(r, c, m_book->cellText(m_sheet, r, c));
        } else {
            // Only the rows shown are read, however long the file.
            const QList<QStringList> rows = PreviewCsv(m_file, PreviewRows - 1);
            for (int r = 0; r < rows.size() && r + 1 < PreviewRows; ++r)
                for (int c = 0; c < rows.at(r).size() && c + 1 < PreviewCols; ++c)
                    M0->setTextMatrix(r + 1, c + 1, rows.at(r).at(c));
        }
    }
    GridPresenter(m_db, m_progress, this).FitColumnWidths(this, *M0, 1, false);
    // Empty columns still show their letters, so that the operator can name them.
    const QFontMetrics metrics(font());
    for (int c = 1; c < PreviewCols; ++c)
        M0->setColWidth(c,
                        std::max(M0->ColWidth(c), ToTwips(metrics.horizontalAdvance(ColumnLetters(c)) + 8)));
    M0->setColWidth(0, 300);
}

// An entry still being typed counts, whichever cell it is in and wherever the focus went.
void ImportMapping::commitTyping()
{
    for (QLineEdit *editor : M1->viewport()->findChildren<QLineEdit *>())
        if (editor->isVisible()) {
            Q_EMIT M1->itemDelegate()->commitData(editor);
            Q_EMIT M1->itemDelegate()->closeEditor(editor);
        }
}

void ImportMapping::confirm()
{
    commitTyping();
    if (boxValue(T[1]) < 1) {
        m_db.prompt().message(QStringLiteral("请输入要导入的行数！"));
        return;
    }
    int first = boxValue(T[0]);
    int last = boxValue(T[1]);
    if (first > last)
        std::swap(first, last);
    first = std::max(first, 1);
    const QStringList mapping{M1->item(0, MappingColumn)->text(), M1->item(1, MappingColumn)->text()};
    m_result = m_book ? ImportWorkbookRows(m_db, m_progress, m_drawId, *m_book, m_sheet, first, last, mapping)
                      : ImportCsvRows(m_db, m_progress, m_drawId, m_file, first, last, mapping);
    if (m_result == 0)
        accept();
}

void ImportMapping::done(int code)
{
    // The range and the mapping are kept however the window closes.
    commitTyping();
    WriteSetting(SettingsApplication, Section, QStringLiteral("T(0)"), T[0]->text());
    WriteSetting(SettingsApplication, Section, QStringLiteral("T(1)"), T[1]->text());
    WriteSetting(SettingsApplication, Section, QStringLiteral("I(0)"), M1->item(0, MappingColumn)->text());
    WriteSetting(SettingsApplication, Section, QStringLiteral("I(1)"), M1->item(1, MappingColumn)->text());
    QDialog::done(code);
}

} // namespace quilla
