#pragma once

#include <QList>
#include <QString>

class QScreen;
class QWidget;

namespace quilla {

// Which display the draw screen opens on. With a projector beside the laptop the
// audience should see the draw while the operator keeps the management window;
// the operator may also name a display, remembered per user by its name.

// "name（width×height）", as the menu lists a display.
QString screenLabel(const QScreen *screen);
// The remembered display's name; "" lets the program choose.
QString rememberedDrawScreen();
bool rememberDrawScreen(const QString &name);
// The remembered display when it is connected; otherwise, with two or more, one
// that is not the management window's (the first in the system's order); with
// one, that one.
QScreen *drawScreenFor(const QScreen *management, const QString &remembered);

// Keeps a full-screen window full screen when its display goes away (a projector
// unplugged mid-draw): it moves to a remaining display and fills it. Only the
// window's place changes; whatever runs in it runs on.
void followRemainingScreens(QWidget *window);

} // namespace quilla
