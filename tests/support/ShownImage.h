#pragma once

#include <QBackingStore>
#include <QImage>
#include <QWidget>
#include <qpa/qplatformbackingstore.h>

// What a window holds as last painted, read from its backing store (what goes to the
// screen) rather than grabbed from the display: the suite runs test programs side by
// side on one display, and a grab shows whichever of their windows lies on top.
inline QImage shownImage(QWidget *widget)
{
    QBackingStore *store = widget->window()->backingStore();
    return store && store->handle() ? store->handle()->toImage().copy() : QImage();
}
