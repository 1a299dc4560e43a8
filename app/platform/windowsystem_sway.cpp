// The crosshair window under sway: an X11 window (through XWayland) whose
// position requests sway does not honour, since it keeps floating X11 windows
// where it put them. Sizes still go through X11; the place is asked of sway
// itself over its IPC socket ($SWAYSOCK, the i3 protocol), by moving the
// window's container by the difference from where sway's own tree has the
// inside, so sway's own title bar and border need not be known.
//
// sway also draws a newly mapped window shifted by half its size inside its
// own frame until the window gives it a second frame: the program's windows
// give it frames.
#include "windowsystem_backends.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

namespace zx {

namespace {

constexpr std::uint32_t RunCommand = 0;
constexpr std::uint32_t GetTree = 4;
constexpr int AnswerTimeoutMilliseconds = 1000;
constexpr int PollMicroseconds = 500;
constexpr std::uint32_t MaxReplyBytes = 64u << 20; // a tree of many windows, not an unbounded read

// One message over a fresh connection; the reply's payload, or nothing.
std::optional<std::string> askSway(const std::string &socketPath, std::uint32_t type, const std::string &payload)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return std::nullopt;
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path) {
        ::close(fd);
        return std::nullopt;
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    timeval timeout { 1, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    bool ok = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;

    // "i3-ipc", the payload's length and the message type, both in the host's byte order.
    std::string message = "i3-ipc";
    const std::uint32_t header[2] = { static_cast<std::uint32_t>(payload.size()), type };
    message.append(reinterpret_cast<const char *>(header), sizeof header);
    message += payload;
    const auto sendAll = [&](const char *data, std::size_t size) {
        while (size > 0) {
            const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            data += n;
            size -= std::size_t(n);
        }
        return true;
    };
    const auto readAll = [&](char *data, std::size_t size) {
        while (size > 0) {
            const ssize_t n = ::recv(fd, data, size, 0);
            if (n <= 0)
                return false;
            data += n;
            size -= std::size_t(n);
        }
        return true;
    };
    std::string reply;
    char replyHeader[14];
    ok = ok && sendAll(message.data(), message.size()) && readAll(replyHeader, sizeof replyHeader)
        && std::memcmp(replyHeader, "i3-ipc", 6) == 0;
    if (ok) {
        std::uint32_t length = 0;
        std::memcpy(&length, replyHeader + 6, sizeof length);
        if (length > MaxReplyBytes)
            ok = false;
        else {
            reply.resize(length);
            ok = readAll(reply.data(), reply.size());
        }
    }
    ::close(fd);
    return ok ? std::optional<std::string>(std::move(reply)) : std::nullopt;
}

// Where sway itself puts the inside of the window whose X11 id is given:
// its own state, which a move over IPC starts from. The X11 place can lag
// behind it or, after a request of the window's own, run ahead of it.
std::optional<QPoint> insideInTree(const QJsonObject &node, qint64 window)
{
    if (node.value(QStringLiteral("window")).toInteger(-1) == window) {
        const QJsonObject rect = node.value(QStringLiteral("rect")).toObject();
        const QJsonObject content = node.value(QStringLiteral("window_rect")).toObject();
        return QPoint(rect.value(QStringLiteral("x")).toInt() + content.value(QStringLiteral("x")).toInt(),
            rect.value(QStringLiteral("y")).toInt() + content.value(QStringLiteral("y")).toInt());
    }
    for (const auto *children : { "nodes", "floating_nodes" }) {
        for (const QJsonValue child : node.value(QLatin1String(children)).toArray()) {
            if (auto found = insideInTree(child.toObject(), window))
                return found;
        }
    }
    return std::nullopt;
}

// Gives sway new frames of the program's windows: for each configure, which
// sway waits for (Qt draws nothing for one that keeps the size), and a few
// times after a window shows, since sway maps it only at its first frame and
// sets it right only at a later one.
class FramesForSway final : public QObject, public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        // A synthetic one, as sent for a place that keeps the size, has the top bit set.
        if ((event->response_type & 0x7f) != XCB_CONFIGURE_NOTIFY)
            return false;
        const auto window = reinterpret_cast<const xcb_configure_notify_event_t *>(event)->window;
        if (QWidget *widget = QWidget::find(WId(window)))
            widget->update();
        return false;
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto *widget = static_cast<QWidget *>(watched);
            if (widget->isWindow()) {
                for (const int after : { 100, 400, 1500 }) {
                    QTimer::singleShot(after, widget, [widget] { widget->update(); });
                }
            }
        }
        return false;
    }
};

class SwayWindowSystem final : public X11WindowSystemWrapper {
public:
    SwayWindowSystem(std::unique_ptr<WindowSystem> x11, std::string socketPath)
        : X11WindowSystemWrapper(std::move(x11))
        , m_socket(std::move(socketPath))
    {
    }

    ~SwayWindowSystem() override
    {
        if (QCoreApplication::instance() != nullptr) {
            QCoreApplication::instance()->removeNativeEventFilter(&m_frames);
            QCoreApplication::instance()->removeEventFilter(&m_frames);
        }
    }

    SwayWindowSystem(const SwayWindowSystem &) = delete;
    SwayWindowSystem &operator=(const SwayWindowSystem &) = delete;

    void prepare(QWidget &window) override
    {
        m_x11->prepare(window);
        // For every window of the program: the dialogs too are mapped by sway.
        QCoreApplication::instance()->installNativeEventFilter(&m_frames);
        QCoreApplication::instance()->installEventFilter(&m_frames);
    }

    void requestPlace(QWidget &window, const QRect &outer) override
    {
        const WindowPlace before = place(window);
        // sway answers an X11 request by centring the window anew, so X11 is
        // asked for a new size only and the place always over IPC.
        if (before.outer.size() != outer.size())
            m_x11->requestPlace(window, outer);
        const QWindow *handle = window.windowHandle();
        if (handle == nullptr || before.outer.isEmpty())
            return;
        const qint64 id = qint64(handle->winId());
        const std::optional<QPoint> from = swayInside(id);
        if (!from)
            return;
        const QPoint target = outer.topLeft() + (before.inside.topLeft() - before.outer.topLeft());
        const int dx = target.x() - from->x();
        const int dy = target.y() - from->y();
        const std::string criteria = "[id=" + std::to_string(id) + "] ";
        std::string command;
        if (dx != 0)
            command += criteria + "move " + (dx > 0 ? "right " : "left ") + std::to_string(std::abs(dx)) + " px";
        if (dy != 0) {
            if (!command.empty())
                command += "; ";
            command += criteria + "move " + (dy > 0 ? "down " : "up ") + std::to_string(std::abs(dy)) + " px";
        }
        // [{"success":true}] for each command run; a criteria that matched nothing fails.
        if (!command.empty()) {
            const auto reply = askSway(m_socket, RunCommand, command);
            if (!reply || reply->find("\"success\":false") != std::string::npos)
                return;
        }
        // The next key reads the outcome from X11: wait until X11 has it too.
        const QPoint settled = swayInside(id).value_or(target);
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < AnswerTimeoutMilliseconds && place(window).inside.topLeft() != settled)
            QThread::usleep(PollMicroseconds);
    }

private:
    std::optional<QPoint> swayInside(qint64 window) const
    {
        const auto tree = askSway(m_socket, GetTree, {});
        if (!tree)
            return std::nullopt;
        const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(*tree));
        return insideInTree(document.object(), window);
    }

    std::string m_socket;
    FramesForSway m_frames;
};

} // namespace

std::unique_ptr<WindowSystem> makeSwayWindowSystem(std::unique_ptr<WindowSystem> x11, const std::string &socketPath)
{
    return std::make_unique<SwayWindowSystem>(std::move(x11), socketPath);
}

} // namespace zx
