// A plain window that paints a known picture, so that end-to-end tests can tell exactly what lies
// under a see-through window, where a grab came from, and whether a click or key reached it.
//
//   zx_backdrop --geometry WxH+X+Y [--pattern gradient|solid:RRGGBB] [--title T] [--frameless] [--above]
//               [--desktop]
//
// --geometry gives the inside of the window in screen pixels; --above asks to stay on top of normal
// windows, so that a test can put a window over another always-on-top one; --desktop makes it a
// desktop's background (the window type), which a window manager keeps below all others and never
// takes for a full-screen window to put on top when it is clicked.
//
// With the gradient, the colour of a pixel depends only on its screen position (see gradientColor),
// so the picture stays correct wherever the window manager puts the window. Each mouse press prints
// "click <button> <x> <y>" (screen pixels, X button numbers) and each key press "key <sequence>"
// on stdout, flushed at once, so that a test reading the pipe sees it without delay.

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace zx {
namespace {

// Must match gradient_color() in zxe2e.py. Blue never drops below 64, so no pixel comes close to the
// crosshair's dark red (192, 0, 0); the blue steps tell the 256-pixel tiles apart within 1024 pixels.
QRgb gradientColor(int x, int y)
{
    const int r = x & 255;
    const int g = y & 255;
    const int b = 64 + ((x >> 8) & 3) * 48 + ((y >> 8) & 3) * 12;
    return qRgb(r, g, b);
}

int xButtonNumber(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return 1;
    case Qt::MiddleButton:
        return 2;
    case Qt::RightButton:
        return 3;
    case Qt::BackButton:
        return 8;
    case Qt::ForwardButton:
        return 9;
    default:
        return 0;
    }
}

void emitLine(const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

class Backdrop final : public QWidget {
public:
    explicit Backdrop(std::optional<QColor> solid)
        : m_solid(solid)
    {
        // Everything is painted here; skipping the background avoids a flash of another colour that a
        // screenshot taken at the wrong moment could catch.
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QPainter painter(this);
        if (m_solid) {
            painter.fillRect(event->rect(), *m_solid);
            return;
        }
        const QPoint origin = mapToGlobal(QPoint(0, 0));
        if (m_cache.size() != size() || m_cacheOrigin != origin)
            renderGradient(origin);
        painter.drawImage(event->rect().topLeft(), m_cache, event->rect());
    }

    void moveEvent(QMoveEvent *) override
    {
        // The gradient is tied to the screen, not to the window.
        if (!m_solid)
            update();
    }

    void mousePressEvent(QMouseEvent *event) override
    {
        const QPoint global = event->globalPosition().toPoint();
        emitLine(QStringLiteral("click %1 %2 %3")
                     .arg(xButtonNumber(event->button()))
                     .arg(global.x())
                     .arg(global.y()));
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        // A lone modifier press says nothing useful; it shows up in the combination of the next key.
        switch (event->key()) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Alt:
        case Qt::Key_Meta:
        case Qt::Key_AltGr:
            return;
        default:
            break;
        }
        const QKeyCombination combination(event->modifiers(), Qt::Key(event->key()));
        emitLine(
            QStringLiteral("key %1").arg(QKeySequence(combination).toString(QKeySequence::PortableText)));
    }

private:
    void renderGradient(QPoint origin)
    {
        m_cache = QImage(size(), QImage::Format_RGB32);
        m_cacheOrigin = origin;
        for (int y = 0; y < m_cache.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(m_cache.scanLine(y));
            for (int x = 0; x < m_cache.width(); ++x)
                line[x] = gradientColor(origin.x() + x, origin.y() + y);
        }
    }

    std::optional<QColor> m_solid;
    QImage m_cache;
    QPoint m_cacheOrigin;
};

std::optional<QRect> parseGeometry(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d+)x(\\d+)([+-]\\d+)([+-]\\d+)$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QRect rect(match.captured(3).toInt(), match.captured(4).toInt(), match.captured(1).toInt(),
        match.captured(2).toInt());
    if (rect.width() <= 0 || rect.height() <= 0)
        return std::nullopt;
    return rect;
}

std::optional<QColor> parseSolid(std::string_view hex)
{
    if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos)
        return std::nullopt;
    return QColor::fromRgb(static_cast<QRgb>(std::stoul(std::string(hex), nullptr, 16)));
}

struct Options {
    QRect geometry { 100, 100, 400, 300 };
    std::optional<QColor> solid;
    QString title = QStringLiteral("zx_backdrop");
    bool frameless = false;
    bool above = false;
    bool desktop = false;
};

// Qt names no desktop window type, so the property is set on the native window before it is mapped.
void makeDesktopWindow(QWidget &window)
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr)
        return;
    xcb_connection_t *c = x11->connection();
    auto atom = [c](const char *name) {
        xcb_intern_atom_reply_t *reply
            = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t value = reply != nullptr ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return value;
    };
    const xcb_atom_t type = atom("_NET_WM_WINDOW_TYPE_DESKTOP");
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window.winId()),
        atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1, &type);
}

int usage(const char *problem)
{
    std::fprintf(stderr,
        "zx_backdrop: %s\nusage: zx_backdrop [--geometry WxH+X+Y] [--pattern gradient|solid:RRGGBB]"
        " [--title TEXT] [--frameless] [--above] [--desktop]\n",
        problem);
    return 2;
}

} // namespace
} // namespace zx

int main(int argc, char *argv[])
{
    // Read our options before Qt sees them: Qt's X11 support takes -geometry and -title (also with two
    // dashes) for itself and would place the window by its own rules.
    zx::Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--geometry" && hasValue) {
            const std::optional<QRect> geometry = zx::parseGeometry(QString::fromLocal8Bit(argv[++i]));
            if (!geometry)
                return zx::usage("bad --geometry, expected WxH+X+Y");
            options.geometry = *geometry;
        } else if (arg == "--pattern" && hasValue) {
            const std::string_view pattern = argv[++i];
            if (pattern.starts_with("solid:")) {
                options.solid = zx::parseSolid(pattern.substr(6));
                if (!options.solid)
                    return zx::usage("bad colour, expected solid:RRGGBB");
            } else if (pattern == "gradient") {
                options.solid.reset();
            } else {
                return zx::usage("unknown --pattern");
            }
        } else if (arg == "--title" && hasValue) {
            options.title = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == "--frameless") {
            options.frameless = true;
        } else if (arg == "--above") {
            options.above = true;
        } else if (arg == "--desktop") {
            options.desktop = true;
        } else {
            return zx::usage("unknown or incomplete option");
        }
    }

    // The geometry and the gradient are in screen pixels, also on a scaled desktop (Xft.dpi).
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    zx::Backdrop window(options.solid);
    window.setWindowTitle(options.title);
    window.setWindowFlag(Qt::FramelessWindowHint, options.frameless);
    window.setWindowFlag(Qt::WindowStaysOnTopHint, options.above);
    if (options.desktop)
        zx::makeDesktopWindow(window);
    // setGeometry before the first show places the inside (client area) exactly there; the window
    // manager builds its frame around it.
    window.setGeometry(options.geometry);
    window.show();
    return app.exec();
}
