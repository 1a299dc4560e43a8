// The crosshair window on an X11 display (also under XWayland): its real
// place as the server reports it, requests that wait for the window manager's
// answer, shapes for drawing and for input (on the window and on the window
// manager's frame around it), translucency while a compositor draws windows,
// and floating where the window manager has no above state.
#include "windowsystem_backends.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace zx {

namespace {

// How long a move or resize may take a busy window manager to answer. Without
// a connection to hear its answers, a quiet moment of this length counts as one.
constexpr int AnswerTimeoutMilliseconds = 1000;
constexpr int GuessTimeoutMilliseconds = 100;
constexpr int PollMicroseconds = 500;
constexpr int SteadyReads = 3;
// How long a window manager may take to take a new window on, before the
// window gets its bounding shape all the same.
constexpr int TakeOnMilliseconds = 500;

template <typename Reply> using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

template <typename Reply> ReplyPtr<Reply> own(Reply *reply)
{
    return ReplyPtr<Reply>(reply, &std::free);
}

std::vector<xcb_rectangle_t> toRectangles(const QRegion &region)
{
    std::vector<xcb_rectangle_t> rects;
    for (const QRect &r : region) {
        rects.push_back({ static_cast<int16_t>(r.x()), static_cast<int16_t>(r.y()),
            static_cast<uint16_t>(r.width()), static_cast<uint16_t>(r.height()) });
    }
    return rects;
}

class X11WindowSystem final : public WindowSystem, private QAbstractNativeEventFilter {
public:
    explicit X11WindowSystem(xcb_connection_t *connection)
        : m_connection(connection)
        // Qt works on the display's first screen, as every display of today has one.
        , m_root(xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root)
        , m_frameExtents(atom("_NET_FRAME_EXTENTS"))
        , m_compositorSelection(atom("_NET_WM_CM_S0"))
        , m_answers(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_answers) != 0) {
            xcb_disconnect(m_answers);
            m_answers = nullptr;
        }
        // A compositor may start or stop while the program runs (a desktop's
        // switch, a full-screen game suspending it): the server tells of every
        // new owner of its selection.
        const xcb_query_extension_reply_t *xfixes = xcb_get_extension_data(m_connection, &xcb_xfixes_id);
        if (xfixes != nullptr && xfixes->present != 0) {
            std::free(xcb_xfixes_query_version_reply(
                m_connection, xcb_xfixes_query_version(m_connection, 5, 0), nullptr));
            m_selectionNotify = xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY;
            xcb_xfixes_select_selection_input(m_connection, m_root, m_compositorSelection,
                XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER
                    | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY
                    | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
        }
        m_composited = compositorRuns();
        QCoreApplication::instance()->installNativeEventFilter(this);
    }

    ~X11WindowSystem() override
    {
        if (QCoreApplication::instance() != nullptr)
            QCoreApplication::instance()->removeNativeEventFilter(this);
        if (m_answers != nullptr)
            xcb_disconnect(m_answers);
    }

    X11WindowSystem(const X11WindowSystem &) = delete;
    X11WindowSystem &operator=(const X11WindowSystem &) = delete;

    void prepare(QWidget &window) override
    {
        // A window with alpha can follow the compositor both ways: while one
        // runs, its transparent pixels show what lies below; while none does,
        // they would show black, and the bounding shape keeps them off the
        // screen. A display without such a visual gets the shape alone.
        m_translucent = hasAlphaVisual();
        if (m_translucent)
            window.setAttribute(Qt::WA_TranslucentBackground);
        // A window manager without the above state (a tiling one) keeps
        // utility windows floating above the tiled ones; Qt gives a tool
        // window that type. Closing it still ends the program.
        if (!supported("_NET_WM_STATE_ABOVE")) {
            window.setWindowFlag(Qt::Tool);
            window.setAttribute(Qt::WA_QuitOnClose);
        }
    }

    bool translucent() const override { return m_translucent; }

    void setAbove(QWidget &window, bool above) override { setAboveThroughQt(window, above); }
    std::string whyNotOnTop(const QWidget &) const override { return {}; }
    bool canKeepOnTopItself() const override { return false; }
    std::string keepOnTopItself(QWidget &) override { return {}; }
    QMargins ownFrame(const QWidget &) const override { return m_own; }

    WindowPlace place(const QWidget &window) const override
    {
        const xcb_window_t id = nativeId(window);
        if (id == XCB_WINDOW_NONE)
            return { window.frameGeometry(), window.geometry() };
        // The last answer holds until an event says the window, a frame
        // around it or the frame's extents changed.
        if (m_answers != nullptr) {
            watch(id);
            takeEvents(id);
            if (m_placeKnown)
                return m_place;
        }
        xcb_connection_t *c = m_answers != nullptr ? m_answers : m_connection;
        // One round trip: every question goes out before the first answer is awaited.
        const auto geometryCookie = xcb_get_geometry(c, id);
        const auto originCookie = xcb_translate_coordinates(c, id, m_root, 0, 0);
        const auto extentsCookie = xcb_get_property(c, 0, id, m_frameExtents, XCB_ATOM_CARDINAL, 0, 4);
        auto geometry = own(xcb_get_geometry_reply(c, geometryCookie, nullptr));
        auto origin = own(xcb_translate_coordinates_reply(c, originCookie, nullptr));
        const QMargins frame = frameExtents(own(xcb_get_property_reply(c, extentsCookie, nullptr)).get());
        if (!geometry || !origin)
            return { window.frameGeometry(), window.geometry() };
        const QRect inside(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
        // The program's own frame lies inside the native window.
        const WindowPlace now = m_own.isNull() ? WindowPlace { inside.marginsAdded(frame), inside }
                                               : WindowPlace { inside, inside.marginsRemoved(m_own) };
        if (m_answers != nullptr) {
            // Events that came with the answers but from before the questions
            // are in them already.
            m_place = now;
            m_placeKnown = true;
            m_askedAt = static_cast<std::uint16_t>(geometryCookie.sequence);
            takeEvents(id);
        }
        return now;
    }

    void requestPlace(QWidget &window, const QRect &outer) override
    {
        QWindow *handle = window.windowHandle();
        const xcb_window_t id = nativeId(window);
        if (id == XCB_WINDOW_NONE)
            return; // placed once it is shown
        const bool hearing = listenForAnswers(id);
        const WindowPlace before = place(window);
        if (before.outer == outer)
            return;
        QRect inside = outer.marginsRemoved(before.frame() - m_own);
        inside.setSize(inside.size().expandedTo(QSize(1, 1)));
        // Through QWindow, not QWidget: the widget remembers what it asked for
        // and skips a request that equals it, even when the window manager
        // put the window elsewhere.
        handle->setGeometry(inside);
        xcb_flush(m_connection);
        // The window manager decides where the window goes. Ask the server,
        // without running the event loop: keys that come meanwhile must wait
        // their turn, or they would be read with the modifiers of later ones.
        // A window manager that keeps to the rules answers every request with
        // a ConfigureNotify of its own, also when it leaves the window where
        // it was; a busy one answers late, and the next key must read the
        // outcome, so once it has answered it is waited for. Others (the
        // window manager of wlroots) are given a short while.
        const bool trusted = hearing && m_managerAnswers;
        QElapsedTimer clock;
        clock.start();
        QRect last = before.outer;
        int steady = 0;
        while (clock.elapsed() < (trusted ? AnswerTimeoutMilliseconds : GuessTimeoutMilliseconds)) {
            if (hearing && answered(id)) {
                m_managerAnswers = true;
                break;
            }
            const QRect now = place(window).outer;
            if (now == outer)
                break;
            // Put somewhere else (a constrained place) and staying there.
            steady = now != before.outer && now == last ? steady + 1 : 0;
            if (!trusted && steady >= SteadyReads)
                break;
            last = now;
            QThread::usleep(PollMicroseconds);
        }
        if (hearing && !m_managerAnswers)
            m_managerAnswers = answered(id); // it may have come with the new place
    }

    void setShape(QWidget &window, const QRegion &opaque) override
    {
        m_shaped = &window;
        m_opaque = opaque;
        applyShape(window);
    }

    void sync() override
    {
        // Any request with a reply is a round trip: the server has handled
        // all earlier requests once the reply arrives.
        std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }

private:
    // The bounding shape is there while no compositor runs, or always where
    // the window has no alpha: X then draws the opaque parts alone. While a
    // compositor runs, a window with alpha has none: a compositor that
    // ignores it (wlroots) would show stale pixels outside it, and KWin,
    // xfwm4 and icewm leave a window with one unframed. xfwm4 decides so
    // only when it takes the window on, so a window with alpha gets its
    // shape once the window manager has framed it. Qt keeps the mask for
    // painting, and an empty region means "no mask" to it: an empty shape is
    // X's alone, with a pixel left to Qt so that its next mask differs.
    // The input shape always has the holes, on the window and on every frame
    // the window manager put around it.
    void applyShape(QWidget &window)
    {
        const xcb_window_t id = nativeId(window);
        const bool bounded = !m_translucent || !m_composited;
        // The program's own frame is opaque, around the inside.
        const QRect whole(QPoint(0, 0), window.size());
        const QRegion opaque = m_own.isNull()
            ? m_opaque
            : QRegion(whole).subtracted(whole.marginsRemoved(m_own)) + m_opaque.translated(m_own.left(), m_own.top());
        const std::vector<xcb_rectangle_t> rects = toRectangles(opaque);
        if (bounded && (!m_translucent || (id != XCB_WINDOW_NONE && taken(id)))) {
            window.setMask(opaque.isEmpty() ? QRegion(0, 0, 1, 1) : opaque);
            if (opaque.isEmpty() && id != XCB_WINDOW_NONE)
                xcb_shape_rectangles(m_connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING,
                    XCB_CLIP_ORDERING_UNSORTED, id, 0, 0, 0, nullptr);
        } else if (!bounded && !window.mask().isEmpty()) {
            window.clearMask();
        }
        if (id == XCB_WINDOW_NONE)
            return; // the input shape follows at the first layout pass once shown
        xcb_shape_rectangles(m_connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED, id, 0,
            0, static_cast<uint32_t>(rects.size()), rects.data());
        punchFrames(id);
        xcb_flush(m_connection);
    }

    // Whether the window manager has taken the window on: framed it (a new
    // parent, or frame extents), or there is none. One that does neither is
    // given a moment, then taken to have.
    bool taken(xcb_window_t id)
    {
        if (id == m_taken)
            return true;
        auto tree = own(xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, id), nullptr));
        auto extents = own(xcb_get_property_reply(m_connection,
            xcb_get_property(m_connection, 0, id, m_frameExtents, XCB_ATOM_CARDINAL, 0, 4), nullptr));
        if ((tree && tree->parent != tree->root) || (extents && extents->format == 32)
            || windowList(m_root, "_NET_SUPPORTING_WM_CHECK").empty()) {
            m_taken = id;
            return true;
        }
        if (m_waitingFor != id) {
            m_waitingFor = id;
            QTimer::singleShot(TakeOnMilliseconds, m_shaped.data(), [this, id] {
                if (m_shaped.isNull() || nativeId(*m_shaped) != id)
                    return;
                m_taken = id;
                applyShape(*m_shaped);
            });
        }
        return false;
    }

    // Clicks on a hole fall through the window to its parent, the window
    // manager's frame, which covers the whole inside. Some window managers
    // give the frame the client's input shape (openbox, xfwm4, KWin); marco
    // and metacity shape it only after the client's bounding shape, and
    // mutter and muffin not at all, so under a compositor they took every
    // click. Each frame gets its own area less the inside, plus the
    // window's input shape. A virtual root is no frame: it holds the windows
    // below too.
    void punchFrames(xcb_window_t id)
    {
        auto client = own(xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, id), nullptr));
        if (!client)
            return;
        const std::vector<xcb_window_t> virtualRoots = windowList(m_root, "_NET_VIRTUAL_ROOTS");
        xcb_window_t at = id;
        while (true) {
            auto tree = own(xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, at), nullptr));
            if (!tree || tree->parent == XCB_WINDOW_NONE || tree->parent == tree->root
                || std::find(virtualRoots.begin(), virtualRoots.end(), tree->parent) != virtualRoots.end())
                break;
            at = tree->parent;
            const auto geometryCookie = xcb_get_geometry(m_connection, at);
            const auto offsetCookie = xcb_translate_coordinates(m_connection, id, at, 0, 0);
            auto frame = own(xcb_get_geometry_reply(m_connection, geometryCookie, nullptr));
            auto offset = own(xcb_translate_coordinates_reply(m_connection, offsetCookie, nullptr));
            if (!frame || !offset)
                break;
            const xcb_rectangle_t whole { 0, 0, frame->width, frame->height };
            const xcb_rectangle_t inside { offset->dst_x, offset->dst_y, client->width, client->height };
            xcb_shape_rectangles(
                m_connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED, at, 0, 0, 1, &whole);
            xcb_shape_rectangles(m_connection, XCB_SHAPE_SO_SUBTRACT, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED,
                at, 0, 0, 1, &inside);
            xcb_shape_combine(m_connection, XCB_SHAPE_SO_UNION, XCB_SHAPE_SK_INPUT, XCB_SHAPE_SK_INPUT, at,
                offset->dst_x, offset->dst_y, id);
        }
    }

    // Events on Qt's connection: a compositor came or went; the window got
    // a new frame, or its frame new extents, whose input shape must follow.
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType != "xcb_generic_event_t" || m_shaped.isNull())
            return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        const int type = event->response_type & 0x7f;
        const xcb_window_t id = nativeId(*m_shaped);
        if (m_selectionNotify != 0 && type == m_selectionNotify) {
            const auto *notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t *>(event);
            if (notify->selection == m_compositorSelection) {
                const bool composited = notify->owner != XCB_WINDOW_NONE;
                if (composited != m_composited) {
                    m_composited = composited;
                    applyShape(*m_shaped);
                    m_shaped->update();
                }
            }
        } else if (id != XCB_WINDOW_NONE && type == XCB_REPARENT_NOTIFY) {
            if (reinterpret_cast<const xcb_reparent_notify_event_t *>(event)->window == id)
                applyShape(*m_shaped);
        } else if (id != XCB_WINDOW_NONE && type == XCB_MAP_NOTIFY) {
            if (reinterpret_cast<const xcb_map_notify_event_t *>(event)->window == id) {
                updateOwnFrame(*m_shaped, id);
                applyShape(*m_shaped);
            }
        } else if (id != XCB_WINDOW_NONE && type == XCB_PROPERTY_NOTIFY) {
            const auto *notify = reinterpret_cast<const xcb_property_notify_event_t *>(event);
            if (notify->window == id && notify->atom == m_frameExtents) {
                updateOwnFrame(*m_shaped, id);
                applyShape(*m_shaped);
            }
        }
        return false;
    }

    // A window manager that takes a window on, asked for decorations, and
    // frames it with nothing (extents all 0: KWin without compositing takes a
    // shaped window's decoration off) leaves it without title bar, borders
    // and close box: the program draws its own, inside the native window,
    // which grows by it so that the inside keeps its size. It goes again when
    // the window manager frames the window (compositing back on). KWin takes
    // on a window that is shaped already without a decoration and then sets
    // no extents at all: a window manager that knows extents, has framed and
    // shown the window and set none, draws none.
    void updateOwnFrame(QWidget &window, xcb_window_t id)
    {
        const auto extentsCookie = xcb_get_property(m_connection, 0, id, m_frameExtents, XCB_ATOM_CARDINAL, 0, 4);
        const auto attributesCookie = xcb_get_window_attributes(m_connection, id);
        const auto treeCookie = xcb_query_tree(m_connection, id);
        auto extents = own(xcb_get_property_reply(m_connection, extentsCookie, nullptr));
        auto attributes = own(xcb_get_window_attributes_reply(m_connection, attributesCookie, nullptr));
        auto tree = own(xcb_query_tree_reply(m_connection, treeCookie, nullptr));
        const bool decorated = !window.windowFlags().testFlag(Qt::FramelessWindowHint)
            && (window.windowFlags() & Qt::WindowType_Mask) == Qt::Window;
        const bool framedWithoutExtents = extents && extents->type == XCB_ATOM_NONE && attributes
            && attributes->map_state == XCB_MAP_STATE_VIEWABLE && tree && tree->parent != tree->root
            && supported("_NET_FRAME_EXTENTS");
        const bool none = (extents && extents->format == 32 && frameExtents(extents.get()).isNull())
            || framedWithoutExtents;
        QMargins wanted;
        if (decorated && none) {
            const int border = std::max(2, window.logicalDpiX() / 24);
            wanted = { border, window.fontMetrics().height() + 2 * border, border, border };
        }
        if (wanted == m_own)
            return;
        const QMargins grow = wanted - m_own;
        m_own = wanted;
        m_placeKnown = false;
        if (QWindow *handle = window.windowHandle())
            handle->setGeometry(handle->geometry().marginsAdded(grow));
    }

    bool compositorRuns() const
    {
        // Every Wayland compositor owns it for XWayland.
        auto owner = own(xcb_get_selection_owner_reply(
            m_connection, xcb_get_selection_owner(m_connection, m_compositorSelection), nullptr));
        return owner && owner->owner != XCB_WINDOW_NONE;
    }

    // Whether the screen offers a true-colour visual with alpha, which Qt
    // picks for a translucent window.
    bool hasAlphaVisual() const
    {
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem != 0;
             xcb_depth_next(&depths)) {
            if (depths.data->depth != 32)
                continue;
            for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem != 0;
                 xcb_visualtype_next(&visuals)) {
                if (visuals.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR)
                    return true;
            }
        }
        return false;
    }

    std::vector<xcb_window_t> windowList(xcb_window_t window, const char *property) const
    {
        auto reply = own(xcb_get_property_reply(m_connection,
            xcb_get_property(m_connection, 0, window, atom(property), XCB_ATOM_WINDOW, 0, 1024), nullptr));
        if (!reply || reply->format != 32)
            return {};
        const auto *ids = static_cast<const xcb_window_t *>(xcb_get_property_value(reply.get()));
        return { ids, ids + xcb_get_property_value_length(reply.get()) / 4 };
    }

    // Readies the window's events on our own connection for one request,
    // with everything older taken. A window manager places a new window, and
    // tells it so, before it shows it: that answer is not to the request, so
    // a new window is waited for.
    bool listenForAnswers(xcb_window_t id)
    {
        if (m_answers == nullptr)
            return false;
        watch(id);
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < AnswerTimeoutMilliseconds) {
            auto attributes = own(xcb_get_window_attributes_reply(
                m_answers, xcb_get_window_attributes(m_answers, id), nullptr));
            if (!attributes || attributes->map_state == XCB_MAP_STATE_VIEWABLE)
                break;
            QThread::usleep(PollMicroseconds);
        }
        std::free(xcb_get_input_focus_reply(m_answers, xcb_get_input_focus(m_answers), nullptr));
        takeEvents(id);
        m_answered = false;
        return true;
    }

    // Whether the window manager's answer, a sent ConfigureNotify, has come.
    bool answered(xcb_window_t id)
    {
        takeEvents(id);
        return m_answered;
    }

    // Hears, on our own connection (Qt reads its own), of every change to the
    // window's place: moves and resizes of the window and of each window the
    // window manager put around it, a new parent, new frame extents.
    void watch(xcb_window_t id) const
    {
        if (id == m_watched && m_chainKnown)
            return;
        if (id != m_watched) {
            const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
            xcb_change_window_attributes(m_answers, id, XCB_CW_EVENT_MASK, &mask);
            m_watched = id;
        }
        const uint32_t none = XCB_EVENT_MASK_NO_EVENT;
        for (const xcb_window_t frame : m_chain)
            xcb_change_window_attributes(m_answers, frame, XCB_CW_EVENT_MASK, &none);
        // The frames the window lies in now, up to the root; selected before
        // the next question about the place, so no move goes unheard.
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        m_chain.clear();
        xcb_window_t at = id;
        while (true) {
            auto tree = own(xcb_query_tree_reply(m_answers, xcb_query_tree(m_answers, at), nullptr));
            if (!tree || tree->parent == XCB_WINDOW_NONE || tree->parent == m_root)
                break;
            at = tree->parent;
            m_chain.push_back(at);
            xcb_change_window_attributes(m_answers, at, XCB_CW_EVENT_MASK, &mask);
        }
        m_chainKnown = true;
        m_placeKnown = false;
    }

    void takeEvents(xcb_window_t id) const
    {
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_answers)) {
            const int type = event->response_type & 0x7f;
            const bool sent = (event->response_type & 0x80) != 0;
            // What happened after the last question was put makes its answer old.
            const bool afterAsking = static_cast<std::int16_t>(event->sequence - m_askedAt) >= 0;
            switch (type) {
            case XCB_CONFIGURE_NOTIFY:
                if (sent && reinterpret_cast<xcb_configure_notify_event_t *>(event)->window == id)
                    m_answered = true;
                [[fallthrough]];
            case XCB_GRAVITY_NOTIFY:
                m_placeKnown = m_placeKnown && !afterAsking;
                break;
            case XCB_REPARENT_NOTIFY:
            case XCB_DESTROY_NOTIFY:
                m_chainKnown = false;
                m_placeKnown = false;
                break;
            case XCB_PROPERTY_NOTIFY:
                if (reinterpret_cast<xcb_property_notify_event_t *>(event)->atom == m_frameExtents)
                    m_placeKnown = m_placeKnown && !afterAsking;
                break;
            default:
                break;
            }
            std::free(event);
        }
    }

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
    static QMargins frameExtents(xcb_get_property_reply_t *reply)
    {
        if (reply == nullptr || reply->format != 32 || xcb_get_property_value_length(reply) != 16)
            return {};
        const auto *v = static_cast<const uint32_t *>(xcb_get_property_value(reply));
        // left, right, top, bottom
        return { int(v[0]), int(v[2]), int(v[1]), int(v[3]) };
    }

    xcb_connection_t *m_connection;
    xcb_window_t m_root;
    bool m_translucent = false; // the window has alpha
    bool m_composited = false; // a compositor runs now
    xcb_atom_t m_frameExtents;
    xcb_atom_t m_compositorSelection;
    int m_selectionNotify = 0; // the event type of a new selection owner; 0 without XFixes
    QPointer<QWidget> m_shaped; // the window setShape() shaped last, and its opaque parts
    QRegion m_opaque;
    QMargins m_own; // the frame the program draws itself, inside the native window; none mostly
    xcb_window_t m_taken = XCB_WINDOW_NONE; // the native window the window manager has taken on
    xcb_window_t m_waitingFor = XCB_WINDOW_NONE; // the one it is given a moment for
    xcb_connection_t *m_answers; // hears the window manager's answers and the window's moves; null without
    bool m_managerAnswers = false; // the window manager has answered a request

    // What m_answers has heard. The window's place is kept while no event
    // says it changed; a new window or a new parent is watched anew.
    mutable xcb_window_t m_watched = XCB_WINDOW_NONE;
    mutable std::vector<xcb_window_t> m_chain; // the frames around it, innermost first
    mutable bool m_chainKnown = false;
    mutable WindowPlace m_place;
    mutable bool m_placeKnown = false;
    mutable std::uint16_t m_askedAt = 0; // the sequence number of the last question about the place
    mutable bool m_answered = false; // a sent ConfigureNotify since listenForAnswers()
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
