#pragma once

#include <initializer_list>

#include <QColor>
#include <QString>

class QPushButton;
class QWidget;

namespace quilla {

// ---- units: window geometry is kept in twips (1/1440 inch)
// Twips per pixel on the primary screen: 15 at 96 dpi.
double twipsPerPixel();
int toPixels(double twips);
double toTwips(int pixels);

// ---- colours are whole numbers 0x00BBGGRR (red = 255)
QColor colorFromBgr(qint64 bgr);
qint64 bgrFromColor(const QColor &color);

// ---- dialogs
// The open-file dialog. filter: "description|pattern|description|pattern…";
// empty gives the spreadsheet and CSV filter. Cancelling gives "".
QString askImportFile(const QString &filter = QString(), QWidget *parent = nullptr);
// The filter in Qt's form ("description (pattern);;…").
QString fileDialogFilter(const QString &filter);
// The colour dialog preset to start (0x00BBGGRR); −1 when cancelled.
qint64 askColor(qint64 start, QWidget *parent = nullptr);

// ---- stored values
// A boolean is true when the text is not blank; a number is the text's leading number.
void parseStoredValue(bool &target, const QString &text);
void parseStoredValue(double &target, const QString &text);
void parseStoredValue(qint64 &target, const QString &text);

// ---- windows
// Centres window horizontally on its screen and vertically in the area above the task bar.
void centreInWorkArea(QWidget *window);
// Keeps window above the program's other windows, without moving it.
void makeTopmost(QWidget *window);
// Tab visits the controls in the order given: the order they are seen in, not made in.
void setTabChain(std::initializer_list<QWidget *> controls);
// A button found by objectName; a screen reader says its caption without the blanks
// that space the characters out for the eye ("确    定" is read "确定").
QPushButton *namedButton(const QString &caption, const QString &objectName, QWidget *parent = nullptr);

} // namespace quilla
