#include "screencopy.h"

#include "text.h"

namespace zx {

ScreenPixels copyScreen(const PixelRect &area)
{
    ScreenPixels copy;
    if (area.width() <= 0 || area.height() <= 0)
        return copy;
    copy.width = area.width();
    copy.height = area.height();
    copy.pixels.assign(std::size_t(copy.width) * std::size_t(copy.height), 0xff000000u);

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = copy.width;
    info.bmiHeader.biHeight = -copy.height; // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr && bits != nullptr) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        // CAPTUREBLT: layered windows over the area are part of what the screen shows.
        BitBlt(memory, 0, 0, copy.width, copy.height, screen, area.left, area.top, SRCCOPY | CAPTUREBLT);
        GdiFlush();
        const auto *source = static_cast<const std::uint32_t *>(bits);
        for (std::size_t i = 0; i < copy.pixels.size(); ++i)
            copy.pixels[i] = source[i] | 0xff000000u;
        SelectObject(memory, old);
    } else {
        copy = {}; // no picture rather than a black one
    }
    if (bitmap != nullptr)
        DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return copy;
}

} // namespace zx
