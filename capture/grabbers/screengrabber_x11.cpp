// Snapshots on an X11 display: the root window holds what the screen shows,
// see-through parts of the crosshair window included.
#include "screengrabber_backends.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QThread>

namespace zx {

namespace {

// Without a compositor the windows below repaint what the hidden camera
// button uncovered a moment after the new shape is in force. The screen is
// read once that square has changed and holds still; these bound the wait.
constexpr int SettlePollMilliseconds = 2;
constexpr int SettleMaxMilliseconds = 150;

class X11ScreenGrabber final : public ScreenGrabber {
public:
    explicit X11ScreenGrabber(std::function<void()> syncDisplay)
        : m_sync(std::move(syncDisplay))
    {
    }

    GrabResult grab(const GrabRequest &request) override
    {
        // The new shape and caption must be in force before the screen is read.
        m_sync();
        waitUntilUncovered(request);
        QImage picture = read(request.area);
        if (picture.isNull())
            return { GrabResult::Outcome::Impossible, {}, QStringLiteral("The screen could not be read.") };
        return { GrabResult::Outcome::Taken, std::move(picture), {} };
    }

private:
    // The root window over every screen, as large as the area.
    static QImage read(const QRect &area)
    {
        QScreen *screen = QGuiApplication::primaryScreen();
        if (screen == nullptr || !area.isValid())
            return {};
        const QRect root = screen->virtualGeometry();
        const QRect visible = area & root;
        if (visible.isEmpty())
            return cropScreenPicture({}, root, area);
        // Window 0 is the whole desktop, so the grab holds what shows through
        // the window's see-through parts.
        const QPoint origin = visible.topLeft() - screen->geometry().topLeft();
        QImage part
            = screen->grabWindow(0, origin.x(), origin.y(), visible.width(), visible.height()).toImage();
        if (part.isNull() || visible == area)
            return part;
        // Parts of the area off every screen stay black.
        return cropScreenPicture(part, visible, area);
    }

    void waitUntilUncovered(const GrabRequest &request)
    {
        if (request.buttonSquare.isEmpty())
            return;
        QElapsedTimer clock;
        clock.start();
        QImage previous;
        while (clock.elapsed() < SettleMaxMilliseconds) {
            QImage now = read(request.buttonSquare);
            if (now.format() != QImage::Format_RGB32)
                now = now.convertToFormat(QImage::Format_RGB32);
            // The square no longer shows the button, and what replaced it holds
            // still: the window below has finished repainting it.
            if (now != request.buttonPainted && now == previous)
                return;
            previous = now;
            // A plain sleep: the other programs repaint on their own, and keys
            // held back by a nested event loop would later be read with the
            // modifiers of the keys that followed them.
            QThread::msleep(SettlePollMilliseconds);
            m_sync();
        }
    }

    std::function<void()> m_sync;
};

} // namespace

std::unique_ptr<ScreenGrabber> makeX11ScreenGrabber(std::function<void()> syncDisplay)
{
    return std::make_unique<X11ScreenGrabber>(std::move(syncDisplay));
}

} // namespace zx
