// Snapshots on an X11 display: the root window holds what the screen shows,
// see-through parts of the crosshair window included. The grabber keeps a
// connection of its own: the server's damage reports come to it, not to Qt,
// and it reads the screen through shared memory where the server offers it.
#include "screengrabber_backends.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QRegion>
#include <QScreen>
#include <QThread>

#include <xcb/damage.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <poll.h>
#include <sys/mman.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <memory>

namespace zx {

namespace {

// The server reports the drawing that replaces the hidden camera button;
// where it reports nothing (no damage extension, or a window above the
// square) the square is read by the rules of settle.h.

template <typename Reply> using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

template <typename Reply> ReplyPtr<Reply> own(Reply *reply)
{
    return ReplyPtr<Reply>(reply, &std::free);
}

QRect toQRect(const xcb_rectangle_t &r)
{
    return { r.x, r.y, r.width, r.height };
}

// The grabber's own connection and what the server offers on it.
class Display {
public:
    Display()
        : m_c(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_c) != 0)
            return;
        const xcb_setup_t *setup = xcb_get_setup(m_c);
        const xcb_screen_t *screen = xcb_setup_roots_iterator(setup).data;
        root = screen->root;
        plainPixels = hasPlainPixels(setup, screen);
        if (!plainPixels)
            return;
        // Both questions go out before either answer is awaited.
        const auto shmCookie = xcb_shm_query_version(m_c);
        const auto damageCookie = xcb_damage_query_version(m_c, XCB_DAMAGE_MAJOR_VERSION, XCB_DAMAGE_MINOR_VERSION);
        const xcb_query_extension_reply_t *shm = xcb_get_extension_data(m_c, &xcb_shm_id);
        const xcb_query_extension_reply_t *damage = xcb_get_extension_data(m_c, &xcb_damage_id);
        if (auto version = own(xcb_shm_query_version_reply(m_c, shmCookie, nullptr)); version && shm->present) {
            sharedMemory = true;
            fdPassing = version->major_version > 1 || version->minor_version >= 2;
        }
        if (auto version = own(xcb_damage_query_version_reply(m_c, damageCookie, nullptr));
            version && damage->present)
            damageEvent = damage->first_event + XCB_DAMAGE_NOTIFY;
    }

    ~Display() { xcb_disconnect(m_c); }
    Display(const Display &) = delete;
    Display &operator=(const Display &) = delete;

    [[nodiscard]] xcb_connection_t *c() const { return m_c; }
    [[nodiscard]] bool usable() const { return xcb_connection_has_error(m_c) == 0 && plainPixels; }

    void roundTrip() const { std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr)); }

    xcb_window_t root = XCB_WINDOW_NONE;
    // The root window's pixels are 32-bit 0x..RRGGBB words in this machine's
    // byte order, as the JPEG writer takes them; other screens go through Qt.
    bool plainPixels = false;
    bool sharedMemory = false;
    bool fdPassing = false;
    int damageEvent = -1; // none without the damage extension

private:
    static bool hasPlainPixels(const xcb_setup_t *setup, const xcb_screen_t *screen)
    {
        const bool littleEndian = std::endian::native == std::endian::little;
        if (setup->image_byte_order != (littleEndian ? XCB_IMAGE_ORDER_LSB_FIRST : XCB_IMAGE_ORDER_MSB_FIRST))
            return false;
        if (screen->root_depth != 24 && screen->root_depth != 32)
            return false;
        bool wordPerPixel = false;
        for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem > 0; xcb_format_next(&f)) {
            if (f.data->depth == screen->root_depth)
                wordPerPixel = f.data->bits_per_pixel == 32 && f.data->scanline_pad == 32;
        }
        if (!wordPerPixel)
            return false;
        for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem > 0; xcb_depth_next(&d)) {
            for (auto v = xcb_depth_visuals_iterator(d.data); v.rem > 0; xcb_visualtype_next(&v)) {
                if (v.data->visual_id == screen->root_visual)
                    return v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR && v.data->red_mask == 0xff0000u
                        && v.data->green_mask == 0xff00u && v.data->blue_mask == 0xffu;
            }
        }
        return false;
    }

    xcb_connection_t *m_c;
};

// Memory the server writes the screen's pixels into, kept from one snapshot
// to the next: attaching it and the first touch of its pages cost more than
// the read itself.
class SharedPixels {
public:
    static std::shared_ptr<SharedPixels> attach(const std::shared_ptr<Display> &display, std::size_t bytes)
    {
        auto pixels = std::shared_ptr<SharedPixels>(new SharedPixels(display));
        if (!(display->fdPassing ? pixels->attachFile(bytes) : pixels->attachSegment(bytes)))
            return nullptr;
        pixels->m_size = bytes;
        return pixels;
    }

    ~SharedPixels()
    {
        if (m_attached) {
            xcb_shm_detach(m_display->c(), m_segment);
            xcb_flush(m_display->c());
        }
        if (m_mapped)
            munmap(m_data, m_size);
        else if (m_data != nullptr)
            shmdt(m_data);
    }

    SharedPixels(const SharedPixels &) = delete;
    SharedPixels &operator=(const SharedPixels &) = delete;

    [[nodiscard]] std::uint8_t *data() const { return static_cast<std::uint8_t *>(m_data); }
    [[nodiscard]] std::size_t size() const { return m_size; }
    [[nodiscard]] xcb_shm_seg_t segment() const { return m_segment; }

private:
    explicit SharedPixels(std::shared_ptr<Display> display)
        : m_display(std::move(display))
        , m_segment(xcb_generate_id(m_display->c()))
    {
    }

    // Memory of a file descriptor handed to the server: nothing outlives the program.
    bool attachFile(std::size_t bytes)
    {
        const int fd = memfd_create("zentrolux-screen", MFD_CLOEXEC);
        if (fd < 0)
            return false;
        void *data = ftruncate(fd, static_cast<off_t>(bytes)) == 0
            ? mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
            : MAP_FAILED;
        if (data == MAP_FAILED) {
            close(fd);
            return false;
        }
        m_data = data;
        m_mapped = true;
        m_size = bytes;
        // xcb closes the descriptor once it is sent.
        auto error = own(xcb_request_check(m_display->c(), xcb_shm_attach_fd_checked(m_display->c(), m_segment, fd, 0)));
        m_attached = !error;
        return m_attached;
    }

    bool attachSegment(std::size_t bytes)
    {
        const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (id < 0)
            return false;
        void *data = shmat(id, nullptr, 0);
        if (data != reinterpret_cast<void *>(-1)) {
            m_data = data;
            auto error = own(xcb_request_check(m_display->c(), xcb_shm_attach_checked(m_display->c(), m_segment, id, 0)));
            m_attached = !error;
        }
        // Gone once both sides have let go of it, even if the program dies.
        shmctl(id, IPC_RMID, nullptr);
        return m_attached;
    }

    std::shared_ptr<Display> m_display;
    xcb_shm_seg_t m_segment;
    void *m_data = nullptr;
    std::size_t m_size = 0;
    bool m_mapped = false;
    bool m_attached = false;
};

class X11ScreenGrabber final : public ScreenGrabber {
public:
    explicit X11ScreenGrabber(std::function<void()> syncDisplay)
        : m_sync(std::move(syncDisplay))
        , m_display(std::make_shared<Display>())
    {
        if (!m_display->usable())
            m_display.reset();
    }

    ~X11ScreenGrabber() override { stopWatching(); }

    X11ScreenGrabber(const X11ScreenGrabber &) = delete;
    X11ScreenGrabber &operator=(const X11ScreenGrabber &) = delete;

    ScreenPixels readPixels(const QRect &area) override
    {
        const QRect visible = area & rootRect();
        return visible.isEmpty() ? ScreenPixels {} : screenPixels(readSmall(visible));
    }

    void prepare(WId) override
    {
        stopWatching();
        if (!m_display || m_display->damageEvent < 0)
            return;
        xcb_connection_t *c = m_display->c();
        // Every drawing anywhere on the screen (drawing over a place drawn
        // before counts again).
        m_damage = xcb_generate_id(c);
        xcb_damage_create(c, m_damage, m_display->root, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
        // A new damage object holds the whole window; only what comes next counts.
        xcb_damage_subtract(c, m_damage, XCB_NONE, XCB_NONE);
        // In force before the window's own requests, which go out on Qt's
        // connection, can reach the server.
        m_display->roundTrip();
        while (xcb_generic_event_t *event = xcb_poll_for_event(c))
            std::free(event);
        m_changed = QRegion();
        m_watching = true;
    }

    // A snapshot that ends before its grab (Esc at its pause) stops the
    // watch; the server's reports would otherwise pile up unread.
    void cancel() override { stopWatching(); }

    GrabResult grab(const GrabRequest &request) override
    {
        if (m_watching) {
            waitForChange(request);
            stopWatching();
        } else {
            // The new shape and caption must be in force before the screen is read.
            m_sync();
            waitUntilUncovered(request, SettleMaxMilliseconds);
            waitUntilCaptionShows(request, CaptionMaxMilliseconds);
        }
        QImage picture = read(request.area);
        if (picture.isNull())
            return { GrabResult::Outcome::Impossible, {}, QStringLiteral("The screen could not be read.") };
        return { GrabResult::Outcome::Taken, std::move(picture), {} };
    }

private:
    static QRect rootRect()
    {
        const QScreen *screen = QGuiApplication::primaryScreen();
        return screen != nullptr ? screen->virtualGeometry() : QRect();
    }

    // The root window over every screen, as large as the area; parts of the
    // area off every screen stay black.
    QImage read(const QRect &area)
    {
        const QRect root = rootRect();
        if (!area.isValid() || root.isEmpty())
            return {};
        const QRect visible = area & root;
        if (visible.isEmpty())
            return cropScreenPicture({}, root, area);
        QImage part = m_display ? readRoot(visible) : readThroughQt(visible);
        if (part.isNull() || visible == area)
            return part;
        return cropScreenPicture(part, visible, area);
    }

    // Window 0 is the whole desktop, so the grab holds what shows through
    // the window's see-through parts.
    static QImage readThroughQt(const QRect &rect)
    {
        QScreen *screen = QGuiApplication::primaryScreen();
        const QPoint origin = rect.topLeft() - screen->geometry().topLeft();
        return screen->grabWindow(0, origin.x(), origin.y(), rect.width(), rect.height()).toImage();
    }

    // A part of the root window, without a copy on this side: the server
    // writes it into shared memory, or it comes over the socket.
    QImage readRoot(const QRect &rect)
    {
        xcb_connection_t *c = m_display->c();
        const auto width = static_cast<std::uint16_t>(rect.width());
        const auto height = static_cast<std::uint16_t>(rect.height());
        const std::size_t bytes = std::size_t(width) * height * 4;
        if (m_display->sharedMemory) {
            // A picture still in use keeps its memory; the next one gets new.
            if (!m_pixels || m_pixels.use_count() > 1 || m_pixels->size() < bytes)
                m_pixels = SharedPixels::attach(m_display, bytes);
            auto reply = m_pixels ? own(xcb_shm_get_image_reply(c,
                                        xcb_shm_get_image(c, m_display->root, static_cast<std::int16_t>(rect.x()),
                                            static_cast<std::int16_t>(rect.y()), width, height, ~0u,
                                            XCB_IMAGE_FORMAT_Z_PIXMAP, m_pixels->segment(), 0),
                                        nullptr))
                                  : own<xcb_shm_get_image_reply_t>(nullptr);
            if (reply && reply->size == bytes) {
                auto *keep = new std::shared_ptr<SharedPixels>(m_pixels);
                return QImage(m_pixels->data(), width, height, qsizetype(width) * 4, QImage::Format_RGB32,
                    [](void *kept) { delete static_cast<std::shared_ptr<SharedPixels> *>(kept); }, keep);
            }
            // The server refused it (another machine's server, say): the socket from now on.
            m_display->sharedMemory = false;
            m_pixels.reset();
        }
        auto reply = own(xcb_get_image_reply(c,
            xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_display->root, static_cast<std::int16_t>(rect.x()),
                static_cast<std::int16_t>(rect.y()), width, height, ~0u),
            nullptr));
        if (!reply || std::size_t(xcb_get_image_data_length(reply.get())) != bytes)
            return readThroughQt(rect);
        std::uint8_t *data = xcb_get_image_data(reply.get());
        return QImage(data, width, height, qsizetype(width) * 4, QImage::Format_RGB32,
            [](void *kept) { std::free(kept); }, reply.release());
    }

    // A small part of the screen, for the button's square.
    QImage readSmall(const QRect &rect)
    {
        if (!m_display)
            return readThroughQt(rect);
        xcb_connection_t *c = m_display->c();
        auto reply = own(xcb_get_image_reply(c,
            xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_display->root, static_cast<std::int16_t>(rect.x()),
                static_cast<std::int16_t>(rect.y()), static_cast<std::uint16_t>(rect.width()),
                static_cast<std::uint16_t>(rect.height()), ~0u),
            nullptr));
        if (!reply || std::size_t(xcb_get_image_data_length(reply.get())) != std::size_t(rect.width()) * rect.height() * 4)
            return readThroughQt(rect);
        return QImage(xcb_get_image_data(reply.get()), rect.width(), rect.height(), qsizetype(rect.width()) * 4,
            QImage::Format_RGB32)
            .copy();
    }

    // Whether the screen still shows the button in its square (the part on the screen).
    bool squareShowsButton(const GrabRequest &request, const QRect &square)
    {
        const QPoint offset = square.topLeft() - request.buttonSquare.topLeft();
        return showsButton(screenPixels(readSmall(square)), { offset.x(), offset.y() }, request.button.painted);
    }

    // Waits until the server has reported drawing over the whole of the
    // button's square and the square no longer shows the button, and, when
    // the picture holds the title bar, until that shows the new caption.
    void waitForChange(const GrabRequest &request)
    {
        const QRect root = rootRect();
        const QRect square = request.buttonSquare & root;
        QElapsedTimer clock;
        clock.start();
        bool uncovered = square.isEmpty();
        while (true) {
            takeEvents();
            if (!uncovered && QRegion(square).subtracted(m_changed).isEmpty()) {
                uncovered = !squareShowsButton(request, square);
                // Drawn over, yet still the button (a compositor's frame from
                // before the change): only later drawing counts.
                if (!uncovered)
                    m_changed -= square;
            }
            const qint64 elapsed = clock.elapsed();
            if (!uncovered && elapsed >= UnreportedAfterMilliseconds) {
                // Drawing the server does not report here: the square is read.
                waitUntilUncovered(request, int(SettleMaxMilliseconds - elapsed));
                uncovered = true;
            }
            if (uncovered) {
                // The caption is read rather than trusted to the frame's drawing,
                // which may come for the new shape before the new caption.
                waitUntilCaptionShows(request, int(std::max<qint64>(0, CaptionMaxMilliseconds - clock.elapsed())));
                return;
            }
            waitForEvents(int(std::max<qint64>(1, UnreportedAfterMilliseconds - elapsed)));
        }
    }

    // Takes the events that have come; false when there were none.
    bool takeEvents()
    {
        bool any = false;
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_display->c())) {
            any = true;
            const int type = event->response_type & 0x7f;
            if (type == m_display->damageEvent) {
                const auto *damage = reinterpret_cast<const xcb_damage_notify_event_t *>(event);
                if (damage->damage == m_damage)
                    m_changed += toQRect(damage->area);
            }
            std::free(event);
        }
        return any;
    }

    void waitForEvents(int milliseconds)
    {
        // Events that came with the answer to a read are no longer on the socket.
        if (takeEvents())
            return;
        pollfd fd { xcb_get_file_descriptor(m_display->c()), POLLIN, 0 };
        poll(&fd, 1, milliseconds);
    }

    void stopWatching()
    {
        if (!m_watching)
            return;
        xcb_connection_t *c = m_display->c();
        xcb_damage_destroy(c, m_damage);
        xcb_flush(c);
        m_watching = false;
    }

    // The screen as the waits of settle.h read it.
    SettleScreen settleScreen(const QElapsedTimer &clock)
    {
        return { [this](const PixelRect &r) { return screenPixels(readSmall(QRect(r.left, r.top, r.width(), r.height()))); },
            [this](int milliseconds) {
                // A plain sleep: the other programs repaint on their own, and keys
                // held back by a nested event loop would later be read with the
                // modifiers of the keys that followed them.
                QThread::msleep(static_cast<unsigned long>(milliseconds));
                m_sync();
            },
            [&clock] { return std::int64_t(clock.elapsed()); } };
    }

    static PixelRect pixelRect(const QRect &r) { return { r.left(), r.top(), r.left() + r.width(), r.top() + r.height() }; }

    // The square is read until it no longer shows the button and what replaced
    // it holds still.
    void waitUntilUncovered(const GrabRequest &request, int maxMilliseconds)
    {
        QElapsedTimer clock;
        clock.start();
        zx::waitUntilUncovered(
            request.button, pixelRect(request.buttonSquare & rootRect()), settleScreen(clock), maxMilliseconds);
    }

    void waitUntilCaptionShows(const GrabRequest &request, int maxMilliseconds)
    {
        const PixelRect &bar = request.caption.bar;
        QElapsedTimer clock;
        clock.start();
        zx::waitUntilCaptionShows(request.caption,
            pixelRect(QRect(bar.left, bar.top, bar.width(), bar.height()) & rootRect()), settleScreen(clock),
            maxMilliseconds);
    }

    std::function<void()> m_sync;
    std::shared_ptr<Display> m_display; // null: Qt reads the screen
    std::shared_ptr<SharedPixels> m_pixels;

    // While a snapshot is under way: what the server has reported since it began.
    bool m_watching = false;
    xcb_damage_damage_t m_damage = 0;
    QRegion m_changed;
};

} // namespace

std::unique_ptr<ScreenGrabber> makeX11ScreenGrabber(std::function<void()> syncDisplay)
{
    return std::make_unique<X11ScreenGrabber>(std::move(syncDisplay));
}

} // namespace zx
