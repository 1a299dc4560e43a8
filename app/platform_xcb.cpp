// The only file that speaks X11: Qt has no call for an empty window shape or
// for a round trip to the X server.
#include "platform.h"

#include <QGuiApplication>
#include <QWindow>

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace zx::platform {

namespace {

xcb_connection_t *connection()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

} // namespace

bool setEmptyShape(QWindow *window)
{
    xcb_connection_t *c = connection();
    if (c == nullptr || window == nullptr)
        return false;
    xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_UNSORTED,
        static_cast<xcb_window_t>(window->winId()), 0, 0, 0, nullptr);
    xcb_flush(c);
    return true;
}

void syncWithDisplay()
{
    xcb_connection_t *c = connection();
    if (c == nullptr)
        return;
    // Any request with a reply is a round trip: the server has handled all
    // earlier requests once the reply arrives.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

} // namespace zx::platform
