// The one place that picks how snapshots read the screen.
#include "screengrabber_backends.h"

#include "captureroute.h"

#include <QPainter>

namespace zx {

std::unique_ptr<ScreenGrabber> makeScreenGrabber(const Desktop &desktop, std::function<void()> syncDisplay)
{
    switch (chooseCaptureRoute(desktop)) {
    case CaptureRoute::Portal:
        return makePortalScreenGrabber(desktop.x11Window);
    case CaptureRoute::X11:
        break;
    }
    return makeX11ScreenGrabber(std::move(syncDisplay));
}

QImage cropScreenPicture(const QImage &screenPicture, const QRect &screen, const QRect &area)
{
    QImage picture(area.size(), QImage::Format_RGB32);
    picture.fill(Qt::black);
    const ScreenCrop crop = cropFromScreen({ area.left(), area.top(), area.right() + 1, area.bottom() + 1 },
        { screen.left(), screen.top(), screen.right() + 1, screen.bottom() + 1 }, screenPicture.width(),
        screenPicture.height());
    if (crop.target.width() > 0 && crop.target.height() > 0) {
        QPainter p(&picture);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRect(crop.target.left, crop.target.top, crop.target.width(), crop.target.height()),
            screenPicture,
            QRect(crop.source.left, crop.source.top, crop.source.width(), crop.source.height()));
    }
    return picture;
}

ScreenPixels screenPixels(const QImage &picture)
{
    const QImage rgb = picture.format() == QImage::Format_RGB32 ? picture : picture.convertToFormat(QImage::Format_RGB32);
    ScreenPixels pixels { rgb.width(), rgb.height(), {} };
    pixels.pixels.reserve(std::size_t(rgb.width()) * std::size_t(rgb.height()));
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *row = reinterpret_cast<const std::uint32_t *>(rgb.constScanLine(y));
        pixels.pixels.insert(pixels.pixels.end(), row, row + rgb.width());
    }
    return pixels;
}

} // namespace zx
