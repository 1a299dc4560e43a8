#pragma once

#include "frontend.h"
#include "picture.h"
#include "text.h"

namespace zx {

class Win32Window;

// The capture sequence's timer, ticking as WM_TIMER of the crosshair window.
class Win32Timer final : public SequenceTimer {
public:
    // id: the window's timer that ticks it (Win32Window::CaptureTimerId, StarTimerId).
    Win32Timer(const Win32Window &window, UINT_PTR id);
    void start(int milliseconds) override;
    void stop() override;
    [[nodiscard]] bool isRunning() const override { return m_running; }

private:
    const Win32Window &m_window;
    UINT_PTR m_id;
    bool m_running = false;
};

// The shutter click: the program's own WAVE resource, played asynchronously.
class Win32Sound final : public Sound {
public:
    explicit Win32Sound(HINSTANCE instance);
    void playClick() override;

private:
    HINSTANCE m_instance;
};

// The screen read through GDI, once the hidden camera button has left it.
class GdiScreenReader final : public ScreenReader {
public:
    [[nodiscard]] ScreenPixels read(const PixelRect &area) override;
    [[nodiscard]] Grab grab(
        const PixelRect &area, const PixelRect &inside, const HiddenButton &button, const CaptionBar &caption) override;
    void cancel() override { }
};

} // namespace zx
