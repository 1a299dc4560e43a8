#include "win32parts.h"

#include "screencopy.h"
#include "win32window.h"

#include "settle.h"

#include <mmsystem.h>

#include <memory>

namespace zx {

Win32Timer::Win32Timer(const Win32Window &window, UINT_PTR id)
    : m_window(window)
    , m_id(id)
{
}

void Win32Timer::start(int milliseconds)
{
    SetTimer(m_window.handle(), m_id, UINT(milliseconds), nullptr);
    m_running = true;
}

void Win32Timer::stop()
{
    KillTimer(m_window.handle(), m_id);
    m_running = false;
}

Win32Sound::Win32Sound(HINSTANCE instance)
    : m_instance(instance)
{
}

void Win32Sound::playClick()
{
    PlaySoundW(L"CLICK", m_instance, SND_RESOURCE | SND_ASYNC | SND_NODEFAULT);
}

ScreenPixels GdiScreenReader::read(const PixelRect &area)
{
    // Hands what the window drew (the new caption) to the screen; no message is taken.
    GdiFlush();
    MSG peeked;
    PeekMessageW(&peeked, nullptr, 0, 0, PM_NOREMOVE);
    return copyScreen(area);
}

Grab GdiScreenReader::grab(
    const PixelRect &area, const PixelRect &, const HiddenButton &button, const CaptionBar &caption)
{
    // Not before the screen stops showing the button (the new region drawn, the
    // windows below repainted) and the title bar shows the moment.
    const SettleScreen screen { [this](const PixelRect &r) { return read(r); },
        [](int milliseconds) { Sleep(DWORD(milliseconds)); }, [] { return std::int64_t(GetTickCount64()); } };
    waitUntilUncovered(button, button.square, screen);
    waitUntilCaptionShows(caption, caption.bar, screen);
    auto copy = std::make_shared<ScreenPixels>(copyScreen(area));
    if (copy->pixels.empty())
        return { Grab::Outcome::Impossible, {}, "The screen could not be read." };
    Picture picture { copy->width, copy->height, std::size_t(copy->width) * 4,
        reinterpret_cast<const std::uint8_t *>(copy->pixels.data()), copy };
    return { Grab::Outcome::Taken, std::move(picture), {} };
}

} // namespace zx
