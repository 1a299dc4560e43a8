#pragma once

#include "windowsystem.h"

#include <string>

class QByteArray;
class QString;

namespace zx {

// Each returns nothing when the running session is not its window system.
[[nodiscard]] std::unique_ptr<WindowSystem> makeX11WindowSystem();
[[nodiscard]] std::unique_ptr<WindowSystem> makeQtWindowSystem();
// The X11 one, with positions asked of sway over its IPC socket.
[[nodiscard]] std::unique_ptr<WindowSystem> makeSwayWindowSystem(
    std::unique_ptr<WindowSystem> x11, const std::string &socketPath);

// The X11 one, for a window manager that does part of it its own way: what
// a subclass does not override goes to the X11 one unchanged.
class X11WindowSystemWrapper : public WindowSystem {
public:
    explicit X11WindowSystemWrapper(std::unique_ptr<WindowSystem> x11)
        : m_x11(std::move(x11))
    {
    }

    void prepare(QWidget &window) override { m_x11->prepare(window); }
    [[nodiscard]] bool translucent() const override { return m_x11->translucent(); }
    void setAbove(QWidget &window, bool above) override { m_x11->setAbove(window, above); }
    [[nodiscard]] std::string whyNotOnTop(const QWidget &window) const override { return m_x11->whyNotOnTop(window); }
    [[nodiscard]] bool canKeepOnTopItself() const override { return m_x11->canKeepOnTopItself(); }
    [[nodiscard]] QMargins ownFrame(const QWidget &window) const override { return m_x11->ownFrame(window); }
    std::string keepOnTopItself(QWidget &window) override { return m_x11->keepOnTopItself(window); }
    [[nodiscard]] WindowPlace place(const QWidget &window) const override { return m_x11->place(window); }
    void requestPlace(QWidget &window, const QRect &outer) override { m_x11->requestPlace(window, outer); }
    void setShape(QWidget &window, const QRegion &opaque) override { m_x11->setShape(window, opaque); }
    void sync() override { m_x11->sync(); }

protected:
    std::unique_ptr<WindowSystem> m_x11;
};

// The X11 one under labwc, which keeps the window on top by a rule of its own.
[[nodiscard]] std::unique_ptr<WindowSystem> makeLabwcWindowSystem(std::unique_ptr<WindowSystem> x11);
// Whether labwc's rc.xml, as given, has a window rule that keeps the windows
// of the X11 class windowClass on top.
[[nodiscard]] bool labwcRuleKeepsOnTop(const QByteArray &rcXml, const QString &windowClass);
// rc.xml with a window rule added that keeps the windows of the X11 class
// windowClass on top, the rest of it kept as it was; a new file's content for
// an empty one; empty when it cannot be read as labwc's configuration.
[[nodiscard]] QByteArray labwcConfigWithRule(const QByteArray &rcXml, const QString &windowClass);
// Adds that rule to the rc.xml at rcPath, made with its folder if missing, an
// existing one first copied beside it; what went wrong, for the user, or empty.
[[nodiscard]] std::string addLabwcRule(const QString &rcPath, const QString &windowClass);
// The above state through Qt's own window flag, which both use.
void setAboveThroughQt(QWidget &window, bool above);

} // namespace zx
