// Any window system through Qt alone: where the platform moves windows
// synchronously and a mask is both what shows and what takes clicks.
#include "windowsystem_backends.h"

#include <QWidget>
#include <QWindow>

namespace zx {

namespace {

class QtWindowSystem final : public WindowSystem {
public:
    void prepare(QWidget &) override { }
    bool translucent() const override { return false; }
    void setAbove(QWidget &window, bool above) override { setAboveThroughQt(window, above); }
    std::string whyNotOnTop(const QWidget &) const override { return {}; }
    bool canKeepOnTopItself() const override { return false; }
    QMargins ownFrame(const QWidget &) const override { return {}; }
    std::string keepOnTopItself(QWidget &) override { return {}; }

    WindowPlace place(const QWidget &window) const override
    {
        // The native window's record follows what the platform reports; the
        // widget's also keeps what was last asked for.
        if (const QWindow *handle = window.windowHandle())
            return { handle->frameGeometry(), handle->geometry() };
        return { window.frameGeometry(), window.geometry() };
    }

    void requestPlace(QWidget &window, const QRect &outer) override
    {
        QWindow *handle = window.windowHandle();
        const WindowPlace now = place(window);
        if (handle == nullptr || now.outer == outer)
            return;
        QRect inside = outer.marginsRemoved(now.frame());
        inside.setSize(inside.size().expandedTo(QSize(1, 1)));
        handle->setGeometry(inside);
    }

    void setShape(QWidget &window, const QRegion &opaque) override
    {
        // An empty mask means "no mask" to Qt: keep one corner pixel instead.
        window.setMask(opaque.isEmpty() ? QRegion(0, 0, 1, 1) : opaque);
    }

    void sync() override { }
};

} // namespace

std::unique_ptr<WindowSystem> makeQtWindowSystem()
{
    return std::make_unique<QtWindowSystem>();
}

} // namespace zx
