#include "nightlook.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

namespace zx {

namespace {

void fill(HDC dc, const RECT &r, const Colour &c)
{
    SetBkColor(dc, colorRef(c));
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
}

void frame(HDC dc, RECT r, const Colour &c)
{
    HBRUSH brush = CreateSolidBrush(colorRef(c));
    FrameRect(dc, &r, brush);
    DeleteObject(brush);
}

void polyline(HDC dc, const POINT *points, int count, const Colour &c, int width)
{
    HPEN pen = CreatePen(PS_SOLID, width, colorRef(c));
    HGDIOBJ old = SelectObject(dc, pen);
    Polyline(dc, points, count);
    SelectObject(dc, old);
    DeleteObject(pen);
}

HFONT menuFont()
{
    NONCLIENTMETRICSW metrics {};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    return CreateFontIndirectW(&metrics.lfMenuFont);
}

} // namespace

HBITMAP nightPicture(HBITMAP day)
{
    BITMAP bm {};
    if (day == nullptr || GetObjectW(day, sizeof bm, &bm) == 0)
        return nullptr;
    BITMAPINFO info {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = bm.bmWidth;
    info.bmiHeader.biHeight = -bm.bmHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP night = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (night == nullptr)
        return nullptr;
    HDC from = CreateCompatibleDC(nullptr);
    HDC to = CreateCompatibleDC(nullptr);
    HGDIOBJ oldFrom = SelectObject(from, day);
    HGDIOBJ oldTo = SelectObject(to, night);
    BitBlt(to, 0, 0, bm.bmWidth, bm.bmHeight, from, 0, 0, SRCCOPY);
    SelectObject(from, oldFrom);
    SelectObject(to, oldTo);
    DeleteDC(from);
    DeleteDC(to);
    GdiFlush();
    tintForNight(static_cast<std::uint8_t *>(bits), bm.bmWidth, bm.bmHeight, std::size_t(bm.bmWidth) * 4);
    return night;
}

void drawNightButton(const DRAWITEMSTRUCT &item, HBITMAP picture)
{
    HDC dc = item.hDC;
    const RECT r = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    fill(dc, r, pressed ? NightDim : NightBlack);
    if (picture != nullptr) {
        BITMAP bm {};
        GetObjectW(picture, sizeof bm, &bm);
        HDC source = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(source, picture);
        // Centred as the day's button shows its picture.
        BitBlt(dc, r.left + (r.right - r.left - bm.bmWidth) / 2, r.top + (r.bottom - r.top - bm.bmHeight) / 2,
            bm.bmWidth, bm.bmHeight, source, 0, 0, SRCCOPY);
        SelectObject(source, old);
        DeleteDC(source);
    } else {
        wchar_t caption[64] {};
        const int n = GetWindowTextW(item.hwndItem, caption, int(std::size(caption)));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, colorRef((item.itemState & ODS_DISABLED) != 0 ? NightDim : NightRed));
        RECT text = r;
        DrawTextW(dc, caption, n, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    frame(dc, r, (item.itemState & ODS_FOCUS) != 0 ? NightRed : NightDim);
}

void measureNightMenuItem(MEASUREITEMSTRUCT &item, const wchar_t *caption)
{
    if (caption == nullptr) { // a separator
        item.itemWidth = 0;
        item.itemHeight = 8;
        return;
    }
    HFONT font = menuFont();
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    RECT r {};
    DrawTextW(dc, caption, -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    DeleteObject(font);
    const int side = GetSystemMetrics(SM_CXMENUCHECK);
    // Room for the check on the left and the submenu arrow on the right.
    item.itemWidth = UINT(side + 4 + (r.right - r.left) + side + 4);
    item.itemHeight = UINT(std::max(int(r.bottom - r.top) + 4, GetSystemMetrics(SM_CYMENU)));
}

void drawNightMenuItem(const DRAWITEMSTRUCT &item, const wchar_t *caption, bool hasSubmenu)
{
    HDC dc = item.hDC;
    const RECT r = item.rcItem;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & (ODS_GRAYED | ODS_DISABLED)) != 0;
    fill(dc, r, selected && caption != nullptr ? NightDim : NightBlack);
    if (caption == nullptr) {
        const int y = (r.top + r.bottom) / 2;
        const POINT line[] { { r.left + 2, y }, { r.right - 2, y } };
        polyline(dc, line, 2, NightDim, 1);
    } else {
        // Selected as the Qt front-end shows it: black on NightDim.
        const Colour ink = disabled ? NightDim : selected ? NightBlack : NightRed;
        const int side = GetSystemMetrics(SM_CXMENUCHECK);
        const int midY = (r.top + r.bottom) / 2;
        if ((item.itemState & ODS_CHECKED) != 0) {
            const int x = r.left + 3;
            const POINT tick[] { { x + side / 5, midY }, { x + side * 2 / 5, midY + side / 4 },
                { x + side * 4 / 5, midY - side / 4 } };
            polyline(dc, tick, 3, ink, 2);
        }
        HFONT font = menuFont();
        HGDIOBJ old = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, colorRef(ink));
        RECT text { r.left + side + 4, r.top, r.right - side, r.bottom };
        DrawTextW(dc, caption, -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, old);
        DeleteObject(font);
        if (hasSubmenu) {
            const int x = r.right - side / 2 - 4;
            const int h = side / 4;
            POINT arrow[] { { x - h / 2, midY - h }, { x + h / 2, midY }, { x - h / 2, midY + h } };
            HBRUSH brush = CreateSolidBrush(colorRef(ink));
            HPEN pen = CreatePen(PS_SOLID, 1, colorRef(ink));
            HGDIOBJ oldBrush = SelectObject(dc, brush);
            HGDIOBJ oldPen = SelectObject(dc, pen);
            Polygon(dc, arrow, 3);
            SelectObject(dc, oldBrush);
            SelectObject(dc, oldPen);
            DeleteObject(brush);
            DeleteObject(pen);
        }
    }
    // The system draws its own submenu arrow after this, in the text and
    // background colours left in the device context: ours, and clipped away.
    SetTextColor(dc, colorRef(NightRed));
    SetBkColor(dc, colorRef(NightBlack));
    ExcludeClipRect(dc, r.left, r.top, r.right, r.bottom);
}

namespace {

constexpr UINT_PTR EditSubclassId = 1;

void paintEdit(HWND edit)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(edit, &ps);
    RECT client;
    GetClientRect(edit, &client);
    fill(dc, client, NightBlack);
    std::wstring text(std::size_t(GetWindowTextLengthW(edit)) + 1, L'\0');
    text.resize(std::size_t(GetWindowTextW(edit, text.data(), int(text.size()))));
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(edit, WM_GETFONT, 0, 0)));
    RECT format {};
    SendMessageW(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    // Where the first character stands, the text scrolled or not.
    int x = format.left;
    if (!text.empty()) {
        const LRESULT at = SendMessageW(edit, EM_POSFROMCHAR, 0, 0);
        if (at != -1)
            x = short(LOWORD(at));
    }
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    if (GetFocus() != edit)
        start = end = 0; // the selection shows only while typing there
    start = std::min<DWORD>(start, DWORD(text.size()));
    end = std::min<DWORD>(std::max(start, end), DWORD(text.size()));
    IntersectClipRect(dc, format.left, format.top, format.right, format.bottom);
    SetBkMode(dc, OPAQUE);
    const auto part = [&](DWORD from, DWORD to, const Colour &ink, const Colour &back) {
        if (to <= from)
            return;
        SIZE before {};
        GetTextExtentPoint32W(dc, text.c_str(), int(from), &before);
        SetTextColor(dc, colorRef(ink));
        SetBkColor(dc, colorRef(back));
        TextOutW(dc, x + before.cx, format.top, text.c_str() + from, int(to - from));
    };
    part(0, start, NightRed, NightBlack);
    part(start, end, NightBlack, NightDim);
    part(end, DWORD(text.size()), NightRed, NightBlack);
    SelectObject(dc, old);
    EndPaint(edit, &ps);
}

LRESULT CALLBACK nightEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        paintEdit(edit);
        return 0;
    case WM_SETFOCUS: {
        const LRESULT result = DefSubclassProc(edit, message, wParam, lParam);
        // The system's caret inverts black into white: one that XORs NightRed in instead.
        TEXTMETRICW metrics {};
        HDC dc = GetDC(edit);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(edit, WM_GETFONT, 0, 0)));
        GetTextMetricsW(dc, &metrics);
        SelectObject(dc, old);
        HBITMAP caret = CreateCompatibleBitmap(dc, 1, metrics.tmHeight);
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ oldCaret = SelectObject(memory, caret);
        fill(memory, { 0, 0, 1, metrics.tmHeight }, NightRed);
        SelectObject(memory, oldCaret);
        DeleteDC(memory);
        ReleaseDC(edit, dc);
        POINT at {};
        GetCaretPos(&at);
        CreateCaret(edit, caret, 0, 0);
        SetCaretPos(at.x, at.y);
        ShowCaret(edit);
        SetPropW(edit, L"ZxNightCaret", caret);
        return result;
    }
    case WM_KILLFOCUS:
    case WM_NCDESTROY: {
        const LRESULT result = DefSubclassProc(edit, message, wParam, lParam);
        if (HANDLE caret = RemovePropW(edit, L"ZxNightCaret"))
            DeleteObject(caret);
        return result;
    }
    default:
        break;
    }
    return DefSubclassProc(edit, message, wParam, lParam);
}

} // namespace

void paintEditAtNight(HWND edit)
{
    SetWindowSubclass(edit, nightEditProc, EditSubclassId, 0);
}

namespace {

constexpr UINT_PTR FrameSubclassId = 2;

void paintNightFrame(HWND window)
{
    HDC dc = GetWindowDC(window);
    RECT outer;
    GetWindowRect(window, &outer);
    RECT client;
    GetClientRect(window, &client);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT *>(&client), 2);
    OffsetRect(&client, -outer.left, -outer.top);
    OffsetRect(&outer, -outer.left, -outer.top);
    if (!IsRectEmpty(&client) && !EqualRect(&client, &outer)) {
        ExcludeClipRect(dc, client.left, client.top, client.right, client.bottom);
        fill(dc, outer, NightBlack);
    }
    frame(dc, outer, NightDim);
    ReleaseDC(window, dc);
}

LRESULT CALLBACK nightFrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if (message == WM_NCPAINT) {
        paintNightFrame(window);
        return 0;
    }
    const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
    // Popup menus draw their border with their items.
    if (message == WM_NCACTIVATE || message == WM_PAINT || message == WM_PRINTCLIENT)
        paintNightFrame(window);
    return result;
}

LRESULT CALLBACK menuCreation(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        // The system's class of popup menus.
        wchar_t name[16] {};
        if (GetClassNameW(reinterpret_cast<HWND>(wParam), name, int(std::size(name))) > 0
            && lstrcmpW(name, L"#32768") == 0)
            SetWindowSubclass(reinterpret_cast<HWND>(wParam), nightFrameProc, FrameSubclassId, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

void frameForNight(HWND window, bool night)
{
    if (night)
        SetWindowSubclass(window, nightFrameProc, FrameSubclassId, 0);
    else
        RemoveWindowSubclass(window, nightFrameProc, FrameSubclassId);
    SetWindowPos(window, nullptr, 0, 0, 0, 0,
        SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void withNightMenuFrames(const std::function<void()> &call)
{
    HHOOK hook = SetWindowsHookExW(WH_CBT, menuCreation, nullptr, GetCurrentThreadId());
    call();
    if (hook != nullptr)
        UnhookWindowsHookEx(hook);
}

} // namespace zx
