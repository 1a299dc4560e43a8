// A plain window that paints a known picture, so that end-to-end tests can tell exactly what lies
// under a see-through window, where a grab came from, and whether a click or key reached it.
//
//   zx_backdrop --geometry WxH+X+Y [--pattern gradient|solid:RRGGBB|sky:FILE] [--title T] [--frameless] [--above]
// sky:FILE: a dark, grainy sky (skyLevel) with one round star whose place FILE says, read again ten
// times a second: "x y fwhm [vx vy]" in screen pixels (a pixel's centre is its whole coordinate) and
// pixels per minute, the star moving from where it is when the line is read.
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
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QTimer>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
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

// Must match sky_level() in zxe2e: the sky's grey level at a screen pixel, 20 give or take 3.
int skyLevel(int x, int y)
{
    const std::uint32_t h = (static_cast<std::uint32_t>(x) * 73856093U) ^ (static_cast<std::uint32_t>(y) * 19349663U);
    return 20 + static_cast<int>(h % 7U) - 3;
}

struct Star {
    double x = -100;
    double y = -100;
    double fwhm = 3;
    double vx = 0; // pixels per minute
    double vy = 0;
};

void emitLine(const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

class Backdrop final : public QWidget {
public:
    explicit Backdrop(std::optional<QColor> solid, QString skyFile)
        : m_solid(solid)
        , m_skyFile(std::move(skyFile))
    {
        if (!m_skyFile.isEmpty()) {
            auto *timer = new QTimer(this);
            connect(timer, &QTimer::timeout, this, &Backdrop::followStar);
            timer->start(100);
            m_moving.start();
        }
        // Everything is painted here; skipping the background avoids a flash of another colour that a
        // screenshot taken at the wrong moment could catch.
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QPainter painter(this);
        if (!m_skyFile.isEmpty()) {
            paintSky(painter, event->rect());
            return;
        }
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
    void followStar()
    {
        QFile file(m_skyFile);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray line = file.readAll().trimmed();
            if (line != m_line) {
                m_line = line;
                const QList<QByteArray> parts = line.split(' ');
                if (parts.size() >= 3) {
                    m_star = { parts[0].toDouble(), parts[1].toDouble(), parts[2].toDouble(),
                        parts.size() >= 5 ? parts[3].toDouble() : 0.0, parts.size() >= 5 ? parts[4].toDouble() : 0.0 };
                    m_moving.restart();
                }
            }
        }
        update();
    }

    void paintSky(QPainter &painter, const QRect &area)
    {
        const QPoint origin = mapToGlobal(QPoint(0, 0));
        const double minutes = m_moving.elapsed() / 60000.0;
        const double cx = m_star.x + m_star.vx * minutes;
        const double cy = m_star.y + m_star.vy * minutes;
        const double s = m_star.fwhm / 2.3548;
        QImage image(area.size(), QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            const int sy = origin.y() + area.y() + y;
            for (int x = 0; x < image.width(); ++x) {
                const int sx = origin.x() + area.x() + x;
                double level = skyLevel(sx, sy);
                const double dx = sx - cx;
                const double dy = sy - cy;
                if (std::abs(dx) < 12 && std::abs(dy) < 12)
                    level += 180.0 * std::exp(-(dx * dx + dy * dy) / (2 * s * s));
                const int v = std::clamp(static_cast<int>(std::lround(level)), 0, 255);
                line[x] = qRgb(v, v, v);
            }
        }
        painter.drawImage(area.topLeft(), image);
    }

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
    QString m_skyFile;
    QByteArray m_line;
    Star m_star;
    QElapsedTimer m_moving; // since the star was put where the file says
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
    QString skyFile;
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
            } else if (pattern.starts_with("sky:")) {
                options.skyFile = QString::fromLocal8Bit(pattern.substr(4).data(), qsizetype(pattern.size() - 4));
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
    zx::Backdrop window(options.solid, options.skyFile);
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
