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
    // Whether every window shows the night colours.
    [[nodiscard]] bool night() const { return m_look.night; }
    // Dots per inch of the monitor the window is on.
    [[nodiscard]] int dpi() const;

    // The capture timer's id, and what runs at each of its ticks.
    static constexpr UINT_PTR CaptureTimerId = 1;
    static constexpr UINT_PTR StarTimerId = 3;
    std::function<void()> onTimer;
    std::function<void()> onStarTimer;

    // CrosshairWindow
    [[nodiscard]] WindowBounds bounds() const override;
    [[nodiscard]] int twipsPerPixelX() const override;
    [[nodiscard]] int twipsPerPixelY() const override;
    [[nodiscard]] std::vector<PixelRect> screens() const override;
    [[nodiscard]] bool isNormal() const override;
    void resizeInside(int width, int height) override;
    [[nodiscard]] PixelRect splashPictureSize() const override;
    void showFramed() override;
    void requestPlace(const PixelRect &outer) override;
    void setCaption(const std::string &caption) override;
    void setLook(const WindowLook &look) override;
    [[nodiscard]] ScreenPixels buttonPixels() const override;
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
    [[nodiscard]] PixelRect actualOuter() const;
    void showNight(bool night);

    // A row of the popup menu, as its owner-drawn item at night finds it.
    struct MenuEntry {
        HMENU menu;
        UINT position;
        std::wstring caption; // empty for a separator
        bool separator;
        bool hasSubmenu;
    };

    HINSTANCE m_instance;
    HWND m_hwnd = nullptr;
    HWND m_button = nullptr;
    WNDPROC m_buttonDefault = nullptr;
    HMENU m_menu = nullptr;
    HWND m_tip = nullptr;
    HBRUSH m_background = nullptr;
    HBRUSH m_lineBrush = nullptr; // of the look's colour
    HBITMAP m_camera = nullptr;
    HBITMAP m_splash = nullptr;
    HBITMAP m_cameraNight = nullptr;
    HBITMAP m_splashNight = nullptr;
    std::vector<MenuEntry> m_menuEntries; // not resized once built: items point into it
    LONG_PTR m_buttonDayStyle = 0;
    Crosshair *m_core = nullptr;
    WindowLook m_look;
    // Quick keys outrun the window manager, whose late reports of earlier
    // places would undo moves: while requests come in, the window is where
    // it was last asked to be.
    bool m_placePending = false;
    PixelRect m_target;
};

} // namespace zx
