#include "SheetChooser.h"

#include "platform/WindowHelpers.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace quilla {

namespace {

constexpr int MarkColumn = 0;
constexpr int NameColumn = 1;
const QString Mark = QStringLiteral("√");

} // namespace

SheetChooser::SheetChooser(const QStringList &sheetNames, int mode, QWidget *parent)
    : QDialog(parent), m_mode(mode), m_sheets(new QTableWidget(int(sheetNames.size()), 2, this))
{
    setWindowTitle(QStringLiteral("选择要导入数据所在的工作表"));
    setModal(true);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    auto *label = new QLabel(QStringLiteral("请在要导入数据所在的表格行打“√”"), this);
    label->setBuddy(m_sheets);
    m_sheets->setObjectName(QStringLiteral("sheets"));
    m_sheets->setAccessibleName(QStringLiteral("工作表"));
    m_sheets->setHorizontalHeaderLabels({QStringLiteral("选择"), QStringLiteral("工作表名称")});
    m_sheets->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_sheets->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_sheets->setSelectionMode(QAbstractItemView::SingleSelection);
    m_sheets->setColumnWidth(MarkColumn, 40);
    m_sheets->horizontalHeader()->setStretchLastSection(true);
    for (int i = 0; i < sheetNames.size(); ++i) {
        auto *mark = new QTableWidgetItem;
        mark->setTextAlignment(Qt::AlignCenter);
        m_sheets->setItem(i, MarkColumn, mark);
        m_sheets->setItem(i, NameColumn, new QTableWidgetItem(sheetNames.at(i)));
    }
    if (!sheetNames.isEmpty()) {
        setMarked(0, true);
        m_sheets->setCurrentCell(0, NameColumn);
    }
    m_sheets->installEventFilter(this);
    connect(m_sheets, &QTableWidget::cellClicked, this, [this](int row) { toggle(row); });
    connect(m_sheets->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        if (column == MarkColumn)
            toggleAll();
    });

    auto *ok = namedButton(QStringLiteral("确   定"), QStringLiteral("ok"), this);
    auto *cancel = namedButton(QStringLiteral("取   消"), QStringLiteral("cancel"), this);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] {
        QStringList chosen;
        for (int r = 0; r < m_sheets->rowCount(); ++r)
            if (marked(r))
                chosen.append(m_sheets->item(r, NameColumn)->text());
        m_chosen = chosen.join(QChar(0x2016));
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_sheets, 1);
    layout->addLayout(buttons);
    resize(430, 320);
    centreInWorkArea(this);
}

bool SheetChooser::marked(int row) const
{
    return !m_sheets->item(row, MarkColumn)->text().isEmpty();
}

void SheetChooser::setMarked(int row, bool mark)
{
    m_sheets->item(row, MarkColumn)->setText(mark ? Mark : QString());
}

void SheetChooser::toggle(int row)
{
    if (row < 0 || row >= m_sheets->rowCount())
        return;
    if (marked(row)) {
        setMarked(row, false);
        return;
    }
    if (m_mode == 1)
        for (int r = 0; r < m_sheets->rowCount(); ++r)
            setMarked(r, false);
    setMarked(row, true);
}

void SheetChooser::toggleAll()
{
    // Several sheets: the title marks them all, or clears them all.
    if (m_mode <= 1 || m_sheets->rowCount() == 0)
        return;
    const bool mark = !marked(0);
    for (int r = 0; r < m_sheets->rowCount(); ++r)
        setMarked(r, mark);
}

bool SheetChooser::eventFilter(QObject *watched, QEvent *event)
{
    // The space bar marks the sheet the keyboard is on, as a press does.
    if (watched == m_sheets && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Space) {
        toggle(m_sheets->currentRow());
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace quilla
