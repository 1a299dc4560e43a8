// The crosshair window under sway: an X11 window (through XWayland) whose
// position requests sway does not honour, since it keeps floating X11 windows
// where it put them. Sizes still go through X11; the place is asked of sway
// itself over its IPC socket ($SWAYSOCK, the i3 protocol), by moving the
// window's container by the difference, so sway's own title bar and border
// need not be known.
#include "windowsystem_backends.h"

#include <QElapsedTimer>
#include <QThread>
#include <QWidget>
#include <QWindow>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace zx {

namespace {

constexpr std::uint32_t RunCommand = 0;
constexpr int AnswerTimeoutMilliseconds = 1000;
constexpr int PollMicroseconds = 500;

// One command over a fresh connection; true when sway says it succeeded.
bool runSwayCommand(const std::string &socketPath, const std::string &command)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path) {
        ::close(fd);
        return false;
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    timeval timeout { 1, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    bool ok = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;

    // "i3-ipc", the payload's length and the message type, both in the host's byte order.
    std::string message = "i3-ipc";
    const std::uint32_t header[2] = { static_cast<std::uint32_t>(command.size()), RunCommand };
    message.append(reinterpret_cast<const char *>(header), sizeof header);
    message += command;
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
        reply.resize(std::min<std::uint32_t>(length, 1 << 16));
        ok = readAll(reply.data(), reply.size());
    }
    ::close(fd);
    // [{"success":true}] for each command run; a criteria that matched nothing fails.
    return ok && reply.find("\"success\":true") != std::string::npos
        && reply.find("\"success\":false") == std::string::npos;
}

class SwayWindowSystem final : public WindowSystem {
public:
    SwayWindowSystem(std::unique_ptr<WindowSystem> x11, std::string socketPath)
        : m_x11(std::move(x11))
        , m_socket(std::move(socketPath))
    {
    }

    void prepare(QWidget &window) override { m_x11->prepare(window); }
    bool translucent() const override { return m_x11->translucent(); }
    void setAbove(QWidget &window, bool above) override { m_x11->setAbove(window, above); }
    WindowPlace place(const QWidget &window) const override { return m_x11->place(window); }
    void setShape(QWidget &window, const QRegion &opaque) override { m_x11->setShape(window, opaque); }
    void sync() override { m_x11->sync(); }

    void requestPlace(QWidget &window, const QRect &outer) override
    {
        // sway answers an X11 request by centring the window anew: it gives
        // X11 that place at once, but its own state only later. A move over
        // IPC meanwhile can bring its state back to where it was before, and
        // then sway tells X11 nothing, which keeps the centred place. So X11
        // is asked for a new size only, and the place always over IPC.
        if (place(window).outer.size() != outer.size())
            m_x11->requestPlace(window, outer);
        const QRect now = place(window).outer;
        const QWindow *handle = window.windowHandle();
        if (now.topLeft() == outer.topLeft() || handle == nullptr || now.isEmpty())
            return;
        const int dx = outer.left() - now.left();
        const int dy = outer.top() - now.top();
        const std::string criteria = "[id=" + std::to_string(handle->winId()) + "] ";
        std::string command;
        if (dx != 0)
            command += criteria + "move " + (dx > 0 ? "right " : "left ") + std::to_string(std::abs(dx)) + " px";
        if (dy != 0) {
            if (!command.empty())
                command += "; ";
            command += criteria + "move " + (dy > 0 ? "down " : "up ") + std::to_string(std::abs(dy)) + " px";
        }
        if (!runSwayCommand(m_socket, command))
            return;
        // The next key reads the outcome: wait until the window is there, or sway put it elsewhere.
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < AnswerTimeoutMilliseconds && place(window).outer.topLeft() == now.topLeft())
            QThread::usleep(PollMicroseconds);
    }

private:
    std::unique_ptr<WindowSystem> m_x11;
    std::string m_socket;
};

} // namespace

std::unique_ptr<WindowSystem> makeSwayWindowSystem(std::unique_ptr<WindowSystem> x11, const std::string &socketPath)
{
    return std::make_unique<SwayWindowSystem>(std::move(x11), socketPath);
}

} // namespace zx
