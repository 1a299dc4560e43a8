#include "win32parts.h"

#include "screencopy.h"
#include "win32window.h"

#include <mmsystem.h>

#include <memory>

namespace zx {

namespace {

// The windows below repaint what the hidden button uncovered a moment after
// the new region is in force; these bound the wait for it.
constexpr DWORD SettlePollMilliseconds = 2;
constexpr ULONGLONG SettleMaxMilliseconds = 150;

} // namespace

Win32Timer::Win32Timer(const Win32Window &window)
    : m_window(window)
{
}

void Win32Timer::start(int milliseconds)
{
    SetTimer(m_window.handle(), Win32Window::CaptureTimerId, UINT(milliseconds), nullptr);
    m_running = true;
}

void Win32Timer::stop()
{
    KillTimer(m_window.handle(), Win32Window::CaptureTimerId);
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

GdiScreenReader::GdiScreenReader(const Win32Window &window)
    : m_window(window)
{
}

Grab GdiScreenReader::grab(const PixelRect &area, const PixelRect &, const PixelRect &buttonSquare)
{
    // Not before the screen stops showing the button: the new region must be
    // drawn and the windows below must have repainted that square.
    const std::vector<std::uint32_t> &painted = m_window.buttonPainted();
    const ULONGLONG end = GetTickCount64() + SettleMaxMilliseconds;
    for (;;) {
        // Hands what the window drew (the new caption) to the screen; no message is taken.
        GdiFlush();
        MSG peeked;
        PeekMessageW(&peeked, nullptr, 0, 0, PM_NOREMOVE);
        if (painted.empty() || copyScreen(buttonSquare).pixels != painted || GetTickCount64() >= end)
            break;
        Sleep(SettlePollMilliseconds);
    }
    auto copy = std::make_shared<ScreenCopy>(copyScreen(area));
    if (copy->pixels.empty())
        return { Grab::Outcome::Impossible, {}, "The screen could not be read." };
    Picture picture { copy->width, copy->height, std::size_t(copy->width) * 4,
        reinterpret_cast<const std::uint8_t *>(copy->pixels.data()), copy };
    return { Grab::Outcome::Taken, std::move(picture), {} };
}

} // namespace zx
