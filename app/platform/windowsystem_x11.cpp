// The crosshair window on an X11 display (also under XWayland): its real
// place read from the server, requests that wait for the window manager's
// answer, shapes for drawing and for input, translucency where a compositor
// draws windows, and floating where the window manager has no above state.
#include "windowsystem_backends.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPlatformSurfaceEvent>
#include <QThread>
#include <QWidget>
#include <QWindow>

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace zx {

namespace {

// How long a move or resize may take the window manager; it runs out only
// when the request is refused outright.
constexpr int AnswerTimeoutMilliseconds = 100;
constexpr int PollMicroseconds = 500;
constexpr int SteadyReads = 3;

template <typename Reply> using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

template <typename Reply> ReplyPtr<Reply> own(Reply *reply)
{
    return ReplyPtr<Reply>(reply, &std::free);
}

class X11WindowSystem final : public QObject, public WindowSystem {
public:
    explicit X11WindowSystem(xcb_connection_t *connection)
        : m_connection(connection)
        // Qt works on the display's first screen, as every display of today has one.
        , m_root(xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root)
        , m_frameExtents(atom("_NET_FRAME_EXTENTS"))
    {
    }

    void prepare(QWidget &window) override
    {
        // A compositor owns the screen's compositing-manager selection; every
        // Wayland compositor does for XWayland. Without one, transparent pixels
        // would show black: the shape alone does the work there.
        auto owner = own(xcb_get_selection_owner_reply(
            m_connection, xcb_get_selection_owner(m_connection, atom("_NET_WM_CM_S0")), nullptr));
        m_translucent = owner && owner->owner != XCB_WINDOW_NONE;
        if (m_translucent)
            window.setAttribute(Qt::WA_TranslucentBackground);
        // A window manager without the above state (a tiling one) keeps
        // utility windows floating above the tiled ones. The type must be on
        // the window before it is mapped, and Qt may re-create the native
        // window when it shows it.
        m_floats = !supported("_NET_WM_STATE_ABOVE");
        m_window = &window;
        qApp->installEventFilter(this);
    }

    bool translucent() const override { return m_translucent; }

    void setAbove(QWidget &window, bool above) override
    {
        // Without an above state the window's type keeps it afloat; a change
        // of Qt's flag would rewrite that type to a normal window's before it
        // is first mapped, and it would be tiled.
        if (!m_floats) {
            setAboveThroughQt(window, above);
        } else if (above && window.isVisible()) {
            window.windowHandle()->raise();
        }
    }

    WindowPlace place(const QWidget &window) const override
    {
        const xcb_window_t id = nativeId(window);
        if (id == XCB_WINDOW_NONE)
            return { window.frameGeometry(), window.geometry() };
        auto geometry
            = own(xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, id), nullptr));
        auto origin = own(xcb_translate_coordinates_reply(
            m_connection, xcb_translate_coordinates(m_connection, id, m_root, 0, 0), nullptr));
        if (!geometry || !origin)
            return { window.frameGeometry(), window.geometry() };
        const QRect inside(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
        return { inside.marginsAdded(frameExtents(id)), inside };
    }

    void requestPlace(QWidget &window, const QRect &outer) override
    {
        QWindow *handle = window.windowHandle();
        const WindowPlace before = place(window);
        if (handle == nullptr || before.outer == outer)
            return;
        QRect inside = outer.marginsRemoved(before.frame());
        inside.setSize(inside.size().expandedTo(QSize(1, 1)));
        // Through QWindow, not QWidget: the widget remembers what it asked for
        // and skips a request that equals it, even when the window manager
        // put the window elsewhere.
        handle->setGeometry(inside);
        xcb_flush(m_connection);
        // The window manager decides where the window goes. Ask the server,
        // without running the event loop: keys that come meanwhile must wait
        // their turn, or they would be read with the modifiers of later ones.
        QElapsedTimer clock;
        clock.start();
        QRect last = before.outer;
        int steady = 0;
        while (clock.elapsed() < AnswerTimeoutMilliseconds) {
            const QRect now = place(window).outer;
            if (now == outer)
                break;
            // Put somewhere else (a constrained place) and staying there.
            steady = now != before.outer && now == last ? steady + 1 : 0;
            if (steady >= SteadyReads)
                break;
            last = now;
            QThread::usleep(PollMicroseconds);
        }
    }

    void setShape(QWidget &window, const QRegion &opaque) override
    {
        const xcb_window_t id = nativeId(window);
        m_shape = opaque;
        if (id == XCB_WINDOW_NONE)
            return; // shaped as soon as it is created, before it is mapped
        if (m_translucent) {
            // X draws only inside the bounding shape, and a compositor that
            // ignores the shape would show whatever was drawn outside it
            // before (the splash, bands where they were). So the window
            // loses its shape while it is painted afresh, transparent where
            // it is see-through, and gets the new one after.
            xcb_shape_mask(m_connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, id, 0, 0, XCB_PIXMAP_NONE);
            window.repaint();
        } else if (!opaque.isEmpty()) {
            // Qt keeps its own copy of the visible part for painting; an empty
            // region means "no mask" to it, so that case is X's alone. A
            // translucent window keeps none: Qt paints only inside its mask,
            // and the see-through parts must be painted transparent.
            window.setMask(opaque);
        }
        applyShape(id, opaque);
    }

    void sync() override
    {
        // Any request with a reply is a round trip: the server has handled
        // all earlier requests once the reply arrives.
        std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }

private:
    // The window's native handle as it is now: the widget's own record of it
    // can outlive a native window that Qt has since re-created. None before
    // the window is first shown: asking for one would create it too early.
    static xcb_window_t nativeId(const QWidget &window)
    {
        const QWindow *handle = window.windowHandle();
        if (handle == nullptr || handle->handle() == nullptr)
            return XCB_WINDOW_NONE;
        return static_cast<xcb_window_t>(handle->winId());
    }

    // A native window that Qt has just created, not yet mapped: what the
    // window manager and the compositor decide at the window's first showing
    // (its kind, whether it is shaped) must be on it now.
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::PlatformSurface || m_window == nullptr
            || watched != m_window->windowHandle()
            || static_cast<QPlatformSurfaceEvent *>(event)->surfaceEventType()
                != QPlatformSurfaceEvent::SurfaceCreated)
            return false;
        const auto id = static_cast<xcb_window_t>(m_window->windowHandle()->winId());
        if (m_floats) {
            const xcb_atom_t types[]
                = { atom("_NET_WM_WINDOW_TYPE_UTILITY"), atom("_NET_WM_WINDOW_TYPE_NORMAL") };
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, id, atom("_NET_WM_WINDOW_TYPE"),
                XCB_ATOM_ATOM, 32, 2, types);
        }
        applyShape(id, m_shape);
        return false;
    }

    // The bounding shape (what shows) and the input shape (what takes clicks)
    // with the same holes: X intersects the two, but some compositors look at
    // one of them alone.
    void applyShape(xcb_window_t id, const QRegion &opaque)
    {
        std::vector<xcb_rectangle_t> rects;
        for (const QRect &r : opaque) {
            rects.push_back({ static_cast<int16_t>(r.x()), static_cast<int16_t>(r.y()),
                static_cast<uint16_t>(r.width()), static_cast<uint16_t>(r.height()) });
        }
        for (const xcb_shape_kind_t kind : { XCB_SHAPE_SK_BOUNDING, XCB_SHAPE_SK_INPUT }) {
            xcb_shape_rectangles(m_connection, XCB_SHAPE_SO_SET, kind, XCB_CLIP_ORDERING_UNSORTED, id, 0, 0,
                static_cast<uint32_t>(rects.size()), rects.data());
        }
        xcb_flush(m_connection);
    }

    // Whether the window manager announces a feature in _NET_SUPPORTED.
    bool supported(const char *name) const
    {
        auto reply = own(xcb_get_property_reply(m_connection,
            xcb_get_property(m_connection, 0, m_root, atom("_NET_SUPPORTED"), XCB_ATOM_ATOM, 0, 1024),
            nullptr));
        if (!reply || reply->format != 32)
            return true; // no window manager to ask: nothing to work around
        const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply.get()));
        const xcb_atom_t wanted = atom(name);
        const int count = xcb_get_property_value_length(reply.get()) / 4;
        return std::find(atoms, atoms + count, wanted) != atoms + count;
    }

    xcb_atom_t atom(const char *name) const
    {
        auto reply = own(xcb_intern_atom_reply(m_connection,
            xcb_intern_atom(m_connection, 0, static_cast<uint16_t>(strlen(name)), name), nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    // The frame the window manager put around the window; none before it
    // has framed it, or without one.
    QMargins frameExtents(xcb_window_t id) const
    {
        auto reply = own(xcb_get_property_reply(m_connection,
            xcb_get_property(m_connection, 0, id, m_frameExtents, XCB_ATOM_CARDINAL, 0, 4), nullptr));
        if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) != 16)
            return {};
        const auto *v = static_cast<const uint32_t *>(xcb_get_property_value(reply.get()));
        // left, right, top, bottom
        return { int(v[0]), int(v[2]), int(v[1]), int(v[3]) };
    }

    xcb_connection_t *m_connection;
    xcb_window_t m_root;
    bool m_translucent = false;
    bool m_floats = false; // made a utility window, which a tiling manager floats
    QWidget *m_window = nullptr; // the prepared window, while it lives
    QRegion m_shape; // its last shape, for a native window Qt re-creates
    xcb_atom_t m_frameExtents;
};

} // namespace

std::unique_ptr<WindowSystem> makeX11WindowSystem()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (x11 == nullptr || x11->connection() == nullptr)
        return nullptr;
    return std::make_unique<X11WindowSystem>(x11->connection());
}

} // namespace zx
