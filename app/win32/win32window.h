#pragma once

#include "frontend.h"
#include "text.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace zx {

class Crosshair;

// The crosshair window in Win32: a framed, sizable, topmost window whose
// region holds only the frame, the bands and the camera button. Its messages
// become calls of the crosshair's behaviour, which asks back through
// CrosshairWindow.
class Win32Window final : public CrosshairWindow {
public:
    Win32Window(HINSTANCE instance, const std::wstring &programName);
    ~Win32Window() override;
    Win32Window(const Win32Window &) = delete;
    Win32Window &operator=(const Win32Window &) = delete;

    void attach(Crosshair &core);
    [[nodiscard]] HWND handle() const { return m_hwnd; }
    [[nodiscard]] HINSTANCE instance() const { return m_instance; }

    // The camera button's pixels on the screen just before it was last hidden.
    [[nodiscard]] const std::vector<std::uint32_t> &buttonPainted() const { return m_buttonPainted; }
    // The capture timer's id, and what runs at each of its ticks.
    static constexpr UINT_PTR CaptureTimerId = 1;
    std::function<void()> onTimer;

    // CrosshairWindow
    [[nodiscard]] WindowBounds bounds() const override;
    [[nodiscard]] int twipsPerPixelX() const override;
    [[nodiscard]] int twipsPerPixelY() const override;
    [[nodiscard]] std::vector<PixelRect> screens() const override;
    [[nodiscard]] bool isNormal() const override;
    void showFramed() override;
    void requestPlace(const PixelRect &outer) override;
    void setCaption(const std::string &caption) override;
    void setLook(const WindowLook &look) override;
    void enableButton(bool enabled) override;
    void setAbove(bool above) override;
    // WS_EX_TOPMOST holds everywhere.
    [[nodiscard]] std::string whyNotOnTop() const override { return {}; }
    void showChecks(const MenuChecks &checks) override;
    void popupMenu(PixelPoint atInside) override;
    void letEventsRun() override;
    void pauseWithoutInput(int milliseconds) override;
    void closeSoon() override;

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK buttonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void keyDown(WPARAM key);
    void paint();
    [[nodiscard]] int dpi() const;
    [[nodiscard]] PixelRect actualOuter() const;

    HINSTANCE m_instance;
    HWND m_hwnd = nullptr;
    HWND m_button = nullptr;
    WNDPROC m_buttonDefault = nullptr;
    HMENU m_menu = nullptr;
    HBRUSH m_red = nullptr;
    HBITMAP m_camera = nullptr;
    HBITMAP m_splash = nullptr;
    Crosshair *m_core = nullptr;
    WindowLook m_look;
    std::vector<std::uint32_t> m_buttonPainted;
    // Quick keys outrun the window manager, whose late reports of earlier
    // places would undo moves: while requests come in, the window is where
    // it was last asked to be.
    bool m_placePending = false;
    PixelRect m_target;
};

} // namespace zx
