#include "SheetChooser.h"

#include "grids/GridPresenter.h"
#include "platform/Grid.h"
#include "platform/WindowHelpers.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quilla {

namespace {

constexpr int MarkColumn = 1;
constexpr int NameColumn = 2;

} // namespace

SheetChooser::SheetChooser(const QStringList &sheetNames, int mode, QWidget *parent) : QDialog(parent), m_mode(mode)
{
    setWindowTitle(QStringLiteral("选择要导入数据所在的工作表"));
    setModal(true);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    Label1 = new QLabel(QStringLiteral("请在要导入数据所在的表格行打“√”"), this);
    SHL = new Grid(this);
    SHL->setAccessibleName(QStringLiteral("工作表"));
    {
        Grid::Batch batch(*SHL);
        SHL->setCols(3);
        SHL->setRows(int(sheetNames.size()) + 1);
        SHL->setFixedRows(1);
        SHL->setFixedCols(0);
        const char16_t *titles[] = {u"No.", u"选择", u"工作表名称"};
        const double widths[] = {500, 600, 4400};
        for (int c = 0; c < 3; ++c) {
            SHL->setTextMatrix(0, c, QString::fromUtf16(titles[c]));
            SHL->setColWidth(c, widths[c]);
            SHL->setColAlignment(c, c == MarkColumn ? 4 : 1);
        }
        for (int i = 0; i < sheetNames.size(); ++i) {
            SHL->setTextMatrix(i + 1, 0, QString::number(i + 1));
            SHL->setTextMatrix(i + 1, NameColumn, sheetNames.at(i));
        }
        if (!sheetNames.isEmpty())
            SHL->setTextMatrix(1, MarkColumn, Mark);
    }
    connect(SHL, &Grid::mousePressed, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers, double x, double y) {
                if (button == Qt::LeftButton)
                    pressed(x, y);
            });

    const char16_t *captions[] = {u"确   定", u"取   消"};
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (int i = 0; i < 2; ++i) {
        IMG[i] = new QPushButton(QString::fromUtf16(captions[i]), this);
        IMG[i]->setAccessibleName(i == 0 ? QStringLiteral("确定") : QStringLiteral("取消"));
        buttons->addWidget(IMG[i]);
    }
    IMG[0]->setDefault(true);
    connect(IMG[0], &QPushButton::clicked, this, [this] {
        QStringList marked;
        for (int r = SHL->FixedRows(); r < SHL->Rows(); ++r)
            if (!SHL->TextMatrix(r, MarkColumn).isEmpty())
                marked.append(SHL->TextMatrix(r, NameColumn));
        m_chosen = marked.join(QChar(0x2016));
        accept();
    });
    connect(IMG[1], &QPushButton::clicked, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(SHL, 1);
    layout->addLayout(buttons);
    resize(ToPixels(600 + 500 + 4400) + 60, 320);
    CentreInWorkArea(this);
}

void SheetChooser::pressed(double x, double y)
{
    const auto [row, col] = SHL->HitTest(x, y);
    if (row >= SHL->Rows())
        return;
    if (row < SHL->FixedRows()) {
        // Several sheets: the title marks them all, or clears them all.
        if (m_mode > 1 && col == MarkColumn && SHL->Rows() > 1) {
            const QString value = SHL->TextMatrix(1, MarkColumn).isEmpty() ? Mark : QString();
            for (int r = 1; r < SHL->Rows(); ++r)
                SHL->setTextMatrix(r, MarkColumn, value);
        }
        return;
    }
    if (!SHL->TextMatrix(row, MarkColumn).isEmpty()) {
        SHL->setTextMatrix(row, MarkColumn, QString());
        return;
    }
    if (m_mode == 1)
        for (int r = 1; r < SHL->Rows(); ++r)
            SHL->setTextMatrix(r, MarkColumn, QString());
    SHL->setTextMatrix(row, MarkColumn, Mark);
}

} // namespace quilla
