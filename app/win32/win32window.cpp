#include "win32window.h"

#include "crosshair.h"
#include "nightlook.h"
#include "numbers.h"
#include "resource.h"
#include "screencopy.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>

namespace zx {

namespace {

constexpr const wchar_t *ClassName = L"ZentroluxCrosshair";
constexpr UINT_PTR PlaceTimerId = 2;
constexpr UINT PlaceSettleMilliseconds = 200;
constexpr int ButtonId = 10;
constexpr int FirstMenuId = 100;

PixelRect toPixelRect(const RECT &r)
{
    return { int(r.left), int(r.top), int(r.right), int(r.bottom) };
}

COLORREF toColorRef(const Colour &c)
{
    return RGB(c.red, c.green, c.blue);
}

int menuId(MenuCommand command)
{
    return FirstMenuId + int(command);
}

int modifierMask()
{
    return (GetKeyState(VK_SHIFT) < 0 ? keymask::Shift : 0) | (GetKeyState(VK_CONTROL) < 0 ? keymask::Control : 0)
        | (GetKeyState(VK_MENU) < 0 ? keymask::Alt : 0);
}

bool isInput(UINT message)
{
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) || (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST)
        || (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK);
}

} // namespace

Win32Window::Win32Window(HINSTANCE instance, const std::wstring &programName)
    : m_instance(instance)
{
    // The tooltip's window class comes with the common controls.
    INITCOMMONCONTROLSEX controls { sizeof controls, ICC_WIN95_CLASSES };
    InitCommonControlsEx(&controls);
    m_look.colour = CrosshairRed;
    m_background = CreateSolidBrush(toColorRef(CrosshairRed));
    m_lineBrush = CreateSolidBrush(toColorRef(CrosshairRed));
    WNDCLASSEXW wc {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(ZX_IDI_ICON));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(ZX_IDI_ICON), IMAGE_ICON, 16, 16, 0));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = m_background;
    wc.lpszClassName = ClassName;
    RegisterClassExW(&wc);
    m_hwnd = CreateWindowExW(WS_EX_TOPMOST, ClassName, programName.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
        CW_USEDEFAULT, CW_USEDEFAULT, 480, 340, nullptr, nullptr, instance, this);

    m_camera = static_cast<HBITMAP>(LoadImageW(instance, MAKEINTRESOURCEW(ZX_IDB_CAMERA), IMAGE_BITMAP, 0, 0, 0));
    m_splash = static_cast<HBITMAP>(LoadImageW(instance, MAKEINTRESOURCEW(ZX_IDB_SPLASH), IMAGE_BITMAP, 0, 0, 0));
    m_cameraNight = nightPicture(m_camera);
    m_splashNight = nightPicture(m_splash);
    m_button = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON | BS_BITMAP, 0, 0, 25, 25,
        m_hwnd, reinterpret_cast<HMENU>(INT_PTR(ButtonId)), instance, nullptr);
    SendMessageW(m_button, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(m_camera));
    m_buttonDayStyle = GetWindowLongPtrW(m_button, GWL_STYLE);
    // The camera button's tooltip, shown while the pointer rests on it. Owned by
    // no window: an owned popup would follow the crosshair out of the topmost
    // band and, under Wine, keep it from coming back.
    m_tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    const std::wstring tip = widen(CameraButtonTip);
    TTTOOLINFOW tool {};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = m_hwnd;
    tool.uId = reinterpret_cast<UINT_PTR>(m_button);
    tool.lpszText = const_cast<wchar_t *>(tip.c_str());
    SendMessageW(m_tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    SetWindowLongPtrW(m_button, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_buttonDefault
        = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(m_button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(buttonProc)));

    // The popup menu, from the one table both front-ends build theirs from.
    m_menu = CreatePopupMenu();
    std::vector<HMENU> parents { m_menu };
    for (const MenuRow &row : popupMenuRows()) {
        parents.resize(std::size_t(row.depth) + 1);
        HMENU menu = parents.back();
        const UINT position = UINT(GetMenuItemCount(menu));
        const std::wstring caption = widen(row.caption);
        if (row.isSeparator()) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            m_menuEntries.push_back({ menu, position, {}, true, false });
        } else if (row.isTitle()) {
            HMENU sub = CreatePopupMenu();
            AppendMenuW(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub), caption.c_str());
            parents.push_back(sub);
            m_menuEntries.push_back({ menu, position, caption, false, true });
        } else {
            AppendMenuW(menu, MF_STRING, UINT_PTR(menuId(row.command)), caption.c_str());
            m_menuEntries.push_back({ menu, position, caption, false, false });
        }
    }
}

Win32Window::~Win32Window()
{
    if (m_tip != nullptr)
        DestroyWindow(m_tip);
    if (m_hwnd != nullptr)
        DestroyWindow(m_hwnd);
    DestroyMenu(m_menu);
    DeleteObject(m_background);
    DeleteObject(m_lineBrush);
    DeleteObject(m_camera);
    DeleteObject(m_splash);
    DeleteObject(m_cameraNight);
    DeleteObject(m_splashNight);
}

void Win32Window::attach(Crosshair &core)
{
    m_core = &core;
}

// --- What the crosshair asks of the window ---------------------------------

PixelRect Win32Window::actualOuter() const
{
    RECT r;
    GetWindowRect(m_hwnd, &r);
    return toPixelRect(r);
}

WindowBounds Win32Window::bounds() const
{
    const PixelRect actual = actualOuter();
    RECT client;
    GetClientRect(m_hwnd, &client);
    POINT origin { 0, 0 };
    ClientToScreen(m_hwnd, &origin);
    // The frame's thickness is the window's own; only the place may be stale.
    const int left = origin.x - actual.left;
    const int top = origin.y - actual.top;
    const int right = actual.right - (origin.x + client.right);
    const int bottom = actual.bottom - (origin.y + client.bottom);
    const PixelRect outer = m_placePending ? m_target : actual;
    return { outer, { outer.left + left, outer.top + top, outer.right - right, outer.bottom - bottom } };
}

int Win32Window::dpi() const
{
    // Per-monitor where the system tells it (Windows 10 on), else the system's.
    using GetDpiForWindowFunction = UINT(WINAPI *)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFunction>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow != nullptr) {
        if (const UINT d = getDpiForWindow(m_hwnd); d > 0)
            return int(d);
    }
    HDC dc = GetDC(nullptr);
    const int d = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(nullptr, dc);
    return d;
}

int Win32Window::twipsPerPixelX() const
{
    return twipsPerPixel(dpi());
}

int Win32Window::twipsPerPixelY() const
{
    return twipsPerPixel(dpi());
}

std::vector<PixelRect> Win32Window::screens() const
{
    std::vector<PixelRect> all;
    EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR, HDC, LPRECT r, LPARAM data) -> BOOL {
            reinterpret_cast<std::vector<PixelRect> *>(data)->push_back(toPixelRect(*r));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&all));
    return all;
}

bool Win32Window::isNormal() const
{
    return !IsIconic(m_hwnd) && !IsZoomed(m_hwnd);
}

void Win32Window::resizeInside(int width, int height)
{
    RECT r { 0, 0, width, height };
    AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_TOPMOST);
    SetWindowPos(m_hwnd, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

PixelRect Win32Window::splashPictureSize() const
{
    BITMAP bm {};
    if (m_splash == nullptr || GetObjectW(m_splash, sizeof bm, &bm) == 0)
        return {};
    return { 0, 0, int(bm.bmWidth), int(bm.bmHeight) };
}

void Win32Window::showFramed()
{
    ShowWindow(m_hwnd, SW_SHOW);
    UpdateWindow(m_hwnd);
}

void Win32Window::requestPlace(const PixelRect &outer)
{
    m_target = outer;
    m_placePending = true;
    SetWindowPos(m_hwnd, nullptr, outer.left, outer.top, outer.width(), outer.height(), SWP_NOZORDER | SWP_NOACTIVATE);
    // Once the requests stop, the window is checked against the last one.
    SetTimer(m_hwnd, PlaceTimerId, PlaceSettleMilliseconds, nullptr);
}

void Win32Window::setCaption(const std::string &caption)
{
    SetWindowTextW(m_hwnd, widen(caption).c_str());
    // Drawn now: a Form Area picture taken next shows the moment in its title bar.
    RedrawWindow(m_hwnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
}

void Win32Window::setLook(const WindowLook &look)
{
    MoveWindow(m_button, look.button.left, look.button.top, look.button.width(), look.button.height(), FALSE);
    ShowWindow(m_button, look.buttonShown ? SW_SHOWNA : SW_HIDE);

    // The region, in pixels from the window's outer top-left corner.
    const Shape &s = look.shape;
    HRGN region = CreateRectRgn(s.whole.left, s.whole.top, s.whole.right, s.whole.bottom);
    HRGN inside = CreateRectRgn(s.inside.left, s.inside.top, s.inside.right, s.inside.bottom);
    CombineRgn(region, region, inside, RGN_DIFF);
    DeleteObject(inside);
    for (const PixelRect &b : s.boxes) {
        HRGN box = CreateRectRgn(b.left, b.top, b.right, b.bottom);
        CombineRgn(region, region, box, RGN_OR);
        DeleteObject(box);
    }
    for (const Band &band : s.bands) {
        POINT points[5];
        for (std::size_t i = 0; i < band.size(); ++i)
            points[i] = { band[i].x, band[i].y };
        HRGN polygon = CreatePolygonRgn(points, 5, WINDING);
        CombineRgn(region, region, polygon, RGN_OR);
        DeleteObject(polygon);
    }
    // The window owns the region from here on.
    SetWindowRgn(m_hwnd, region, TRUE);
    if (look.colour != m_look.colour) {
        DeleteObject(m_lineBrush);
        m_lineBrush = CreateSolidBrush(toColorRef(look.colour));
    }
    const bool nightChanged = look.night != m_look.night;
    m_look = look;
    if (nightChanged)
        showNight(look.night);
    InvalidateRect(m_hwnd, nullptr, FALSE);
}

void Win32Window::showNight(bool night)
{
    // The menu's items draw themselves at night; by day they are the system's.
    for (MenuEntry &entry : m_menuEntries) {
        MENUITEMINFOW item {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_DATA | (entry.separator ? 0 : MIIM_STRING);
        item.fType = (entry.separator ? MFT_SEPARATOR : MFT_STRING) | (night ? MFT_OWNERDRAW : 0);
        item.dwItemData = night ? reinterpret_cast<ULONG_PTR>(&entry) : 0;
        if (!entry.separator && !night)
            item.dwTypeData = entry.caption.data();
        SetMenuItemInfoW(entry.menu, entry.position, TRUE, &item);
    }
    MENUINFO menu {};
    menu.cbSize = sizeof menu;
    menu.fMask = MIM_BACKGROUND | MIM_APPLYTOSUBMENUS;
    menu.hbrBack = night ? static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)) : nullptr;
    SetMenuInfo(m_menu, &menu);

    // The camera button: its tinted picture on black, drawn by the window.
    SetWindowLongPtrW(m_button, GWL_STYLE,
        night ? (m_buttonDayStyle & ~LONG_PTR(BS_TYPEMASK | BS_BITMAP)) | BS_OWNERDRAW : m_buttonDayStyle);
    InvalidateRect(m_button, nullptr, TRUE);

    // The tooltip in the night colours; the visual style would ignore them.
    if (night) {
        SetWindowTheme(m_tip, L"", L"");
        frameForNight(m_tip, true);
        SendMessageW(m_tip, TTM_SETTIPBKCOLOR, colorRef(NightBlack), 0);
        SendMessageW(m_tip, TTM_SETTIPTEXTCOLOR, colorRef(NightRed), 0);
    } else {
        SetWindowTheme(m_tip, nullptr, nullptr);
        frameForNight(m_tip, false);
        SendMessageW(m_tip, TTM_SETTIPBKCOLOR, GetSysColor(COLOR_INFOBK), 0);
        SendMessageW(m_tip, TTM_SETTIPTEXTCOLOR, GetSysColor(COLOR_INFOTEXT), 0);
    }
}

ScreenPixels Win32Window::buttonPixels() const
{
    RECT r;
    GetWindowRect(m_button, &r);
    return copyScreen(toPixelRect(r));
}

void Win32Window::enableButton(bool enabled)
{
    EnableWindow(m_button, enabled ? TRUE : FALSE);
}

void Win32Window::setAbove(bool above)
{
    SetWindowPos(m_hwnd, above ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
        SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void Win32Window::showChecks(const MenuChecks &checks)
{
    for (const MenuRow &row : popupMenuRows()) {
        if (row.hasCommand && row.checkable)
            CheckMenuItem(m_menu, UINT(menuId(row.command)),
                MF_BYCOMMAND | (checks.isChecked(row.command) ? MF_CHECKED : MF_UNCHECKED));
    }
}

void Win32Window::popupMenu(PixelPoint atInside)
{
    POINT at { atInside.x, atInside.y };
    ClientToScreen(m_hwnd, &at);
    // Without this the menu stays open when the user clicks elsewhere.
    SetForegroundWindow(m_hwnd);
    const auto track = [&] { TrackPopupMenu(m_menu, 0, at.x, at.y, 0, m_hwnd, nullptr); };
    if (m_look.night)
        withNightMenuFrames(track);
    else
        track();
    PostMessageW(m_hwnd, WM_NULL, 0, 0);
    if (m_core != nullptr)
        m_core->menuClosed();
}

void Win32Window::letEventsRun()
{
    runPendingMessages();
}

void Win32Window::pauseWithoutInput(int milliseconds)
{
    UpdateWindow(m_hwnd);
    const ULONGLONG end = GetTickCount64() + ULONGLONG(std::max(milliseconds, 0));
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(end - now), QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(int(msg.wParam));
                return;
            }
            // The splash takes no input; paints, timers and close requests go on.
            if (isInput(msg.message))
                continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

void Win32Window::closeSoon()
{
    PostMessageW(m_hwnd, WM_CLOSE, 0, 0);
}

// --- Messages --------------------------------------------------------------

LRESULT CALLBACK Win32Window::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto *self = static_cast<Win32Window *>(reinterpret_cast<CREATESTRUCTW *>(lParam)->lpCreateParams);
        self->m_hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto *self = reinterpret_cast<Win32Window *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self != nullptr ? self->handle(message, wParam, lParam) : DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK Win32Window::buttonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *self = reinterpret_cast<Win32Window *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_SETFOCUS:
        // The window keeps the keys: a focused button would turn Space into a
        // second snapshot when the key comes up.
        SetFocus(self->m_hwnd);
        return 0;
    case WM_RBUTTONDOWN:
        if (self->m_core != nullptr)
            self->m_core->cmdSaveMouseDown(2, { short(LOWORD(lParam)), short(HIWORD(lParam)) });
        return 0;
    default:
        return CallWindowProcW(self->m_buttonDefault, hwnd, message, wParam, lParam);
    }
}

void Win32Window::keyDown(WPARAM key)
{
    if (m_core != nullptr)
        m_core->keyDown(int(key), modifierMask());
}

LRESULT Win32Window::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        keyDown(wParam);
        break; // not consumed: Alt+F4 still closes
    case WM_SIZE:
        if (m_core != nullptr && wParam != SIZE_MINIMIZED)
            m_core->formResize();
        return 0;
    case WM_ACTIVATE:
        if (m_core != nullptr && LOWORD(wParam) != WA_INACTIVE)
            m_core->formActivate();
        break;
    case WM_ENTERSIZEMOVE:
        // The user drags the window: it is where the drag puts it.
        m_placePending = false;
        break;
    case WM_TIMER:
        if (wParam == CaptureTimerId && onTimer) {
            onTimer();
        } else if (wParam == StarTimerId && onStarTimer) {
            onStarTimer();
        } else if (wParam == PlaceTimerId) {
            KillTimer(m_hwnd, PlaceTimerId);
            // A late report of an earlier place undid the last request: ask once more.
            if (m_placePending && actualOuter() != m_target)
                SetWindowPos(m_hwnd, nullptr, m_target.left, m_target.top, m_target.width(), m_target.height(),
                    SWP_NOZORDER | SWP_NOACTIVATE);
            m_placePending = false;
        }
        return 0;
    case WM_COMMAND:
        if (m_core == nullptr)
            break;
        if (LOWORD(wParam) == ButtonId && HIWORD(wParam) == BN_CLICKED)
            m_core->cmdSaveClick();
        else if (lParam == 0 && LOWORD(wParam) >= FirstMenuId && LOWORD(wParam) <= menuId(LastMenuCommand))
            m_core->choose(MenuCommand(LOWORD(wParam) - FirstMenuId));
        return 0;
    case WM_MEASUREITEM: {
        auto *item = reinterpret_cast<MEASUREITEMSTRUCT *>(lParam);
        if (item->CtlType != ODT_MENU)
            break;
        const auto *entry = reinterpret_cast<const MenuEntry *>(item->itemData);
        measureNightMenuItem(*item, entry != nullptr && !entry->separator ? entry->caption.c_str() : nullptr);
        return TRUE;
    }
    case WM_DRAWITEM: {
        const auto *item = reinterpret_cast<const DRAWITEMSTRUCT *>(lParam);
        if (item->CtlType == ODT_BUTTON) {
            drawNightButton(*item, m_cameraNight);
            return TRUE;
        }
        if (item->CtlType != ODT_MENU)
            break;
        const auto *entry = reinterpret_cast<const MenuEntry *>(item->itemData);
        drawNightMenuItem(*item, entry != nullptr && !entry->separator ? entry->caption.c_str() : nullptr,
            entry != nullptr && entry->hasSubmenu);
        return TRUE;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        paint();
        return 0;
    case WM_DPICHANGED: {
        const RECT *suggested = reinterpret_cast<const RECT *>(lParam);
        SetWindowPos(m_hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
            suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_CLOSE:
        if (m_core == nullptr || m_core->closeRequested())
            DestroyWindow(m_hwnd);
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // Windows ends the program after this answer, without a close request.
        if (wParam != FALSE && m_core != nullptr)
            m_core->sessionEnds();
        return 0;
    case WM_DESTROY:
        m_hwnd = nullptr;
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(m_hwnd, message, wParam, lParam);
}

void Win32Window::paint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hwnd, &ps);
    RECT client;
    GetClientRect(m_hwnd, &client);
    // The inside is the crosshair colour: each band shows its line and the
    // pixel beside it in that colour; the region keeps the rest see-through.
    FillRect(dc, &client, m_lineBrush);
    if (m_look.splash) {
        FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        const PixelRect &to = m_look.splashPicture;
        BITMAP bm {};
        HBITMAP picture = m_look.night && m_splashNight != nullptr ? m_splashNight : m_splash;
        if (picture != nullptr && GetObjectW(picture, sizeof bm, &bm) != 0 && to.width() > 0 && to.height() > 0) {
            HDC source = CreateCompatibleDC(dc);
            HGDIOBJ old = SelectObject(source, picture);
            SetStretchBltMode(dc, HALFTONE);
            StretchBlt(dc, to.left, to.top, to.width(), to.height(), source, 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
            SelectObject(source, old);
            DeleteDC(source);
        }
    } else {
        HPEN pen = CreatePen(PS_SOLID, 1, toColorRef(m_look.colour));
        HGDIOBJ old = SelectObject(dc, pen);
        for (const DrawnLine &l : m_look.lines) {
            MoveToEx(dc, toInt32Rounded(l.x1), toInt32Rounded(l.y1), nullptr);
            LineTo(dc, toInt32Rounded(l.x2), toInt32Rounded(l.y2));
        }
        SelectObject(dc, old);
        DeleteObject(pen);
    }
    EndPaint(m_hwnd, &ps);
}

} // namespace zx
