#include "WindowHelpers.h"

#include <QPushButton>

#include "data/TextNumber.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace quilla {

double twipsPerPixel()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

int toPixels(double twips)
{
    return int(std::lround(twips / twipsPerPixel()));
}

double toTwips(int pixels)
{
    return pixels * twipsPerPixel();
}

QColor colorFromBgr(qint64 bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

qint64 bgrFromColor(const QColor &color)
{
    return qint64(color.red()) | (qint64(color.green()) << 8) | (qint64(color.blue()) << 16);
}

QString fileDialogFilter(const QString &filter)
{
    const QString source =
        filter.isEmpty()
            ? QStringLiteral("Microsoft Office Excel 工作簿(*.xls *.xlsx)|*.xls;*.xlsx|CSV (逗号分隔)(*.csv)|*.csv")
            : filter;
    const QStringList parts = source.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString &description = parts.at(i);
        // "Excel 工作簿(*.xls)" already ends with its patterns, as Qt wants them.
        const qsizetype open = description.lastIndexOf(u'(');
        if (description.endsWith(u')') && open >= 0 && description.indexOf(u'*', open) > open)
            filters.append(description);
        else
            filters.append(description + QStringLiteral(" (") + QString(parts.at(i + 1)).replace(u';', u' ') +
                           u')');
    }
    if (parts.size() % 2 == 1 && !parts.last().isEmpty())
        filters.append(parts.last());
    return filters.join(QStringLiteral(";;"));
}

QString askImportFile(const QString &filter, QWidget *parent)
{
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilter(fileDialogFilter(filter));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

qint64 askColor(qint64 start, QWidget *parent)
{
    QColorDialog dialog(colorFromBgr(start), parent);
    if (dialog.exec() != QDialog::Accepted)
        return -1;
    return bgrFromColor(dialog.selectedColor());
}

void parseStoredValue(bool &target, const QString &text)
{
    target = !text.trimmed().isEmpty();
}

void parseStoredValue(double &target, const QString &text)
{
    target = leadingNumber(text);
}

void parseStoredValue(qint64 &target, const QString &text)
{
    target = qint64(std::nearbyint(leadingNumber(text)));
}

void centreInWorkArea(QWidget *window)
{
    if (!window)
        return;
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect full = screen->geometry();
    const QRect work = screen->availableGeometry();
    const QSize size = window->frameGeometry().size();
    const int taskBar = full.bottom() - work.bottom();
    // A window larger than a small display keeps its title bar and left edge on it.
    window->move(std::max(work.left(), full.left() + (full.width() - size.width()) / 2),
                 std::max(work.top(), full.top() + (full.height() - size.height() - taskBar) / 2));
}

void setTabChain(std::initializer_list<QWidget *> controls)
{
    QWidget *previous = nullptr;
    for (QWidget *control : controls) {
        if (previous)
            QWidget::setTabOrder(previous, control);
        previous = control;
    }
}

void makeTopmost(QWidget *window)
{
    if (!window)
        return;
    const bool visible = window->isVisible();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (visible)
        window->show(); // changing the flags hides a window
}

QPushButton *namedButton(const QString &caption, const QString &objectName, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(objectName);
    button->setAccessibleName(QString(caption).remove(u' '));
    return button;
}

} // namespace quilla
