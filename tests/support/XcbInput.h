#pragma once

#include <QGuiApplication>
#include <QWidget>

#ifndef Q_OS_WIN
#include <xcb/xcb.h>

#include <cstdlib>
#endif

// A left click sent through the X server to widget's window, so that it waits in
// the program's input queue as a user's click does until the program next takes
// input (QTest's clicks are handled at once instead). False when not on X.
inline bool queueXcbClick([[maybe_unused]] QWidget *widget)
{
#ifdef Q_OS_WIN
    return false; // no X server: the tests that need one skip
#else
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection) // the offscreen platform has the interface, without a connection
        return false;
    const QPoint local = widget->mapTo(widget->window(), widget->rect().center());
    const QPoint global = widget->mapToGlobal(widget->rect().center());
    const auto window = xcb_window_t(widget->window()->winId());
    for (const uint8_t type : {uint8_t(XCB_BUTTON_PRESS), uint8_t(XCB_BUTTON_RELEASE)}) {
        xcb_button_press_event_t event{};
        event.response_type = type;
        event.detail = 1;
        event.root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        event.event = window;
        event.root_x = int16_t(global.x());
        event.root_y = int16_t(global.y());
        event.event_x = int16_t(local.x());
        event.event_y = int16_t(local.y());
        event.state = type == XCB_BUTTON_RELEASE ? XCB_BUTTON_MASK_1 : 0;
        event.same_screen = 1;
        xcb_send_event(connection, false, window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char *>(&event));
    }
    // Once the server answers, it has sent both events back to us.
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    return true;
#endif
}
