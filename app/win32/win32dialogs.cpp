#include "win32dialogs.h"

#include "infotext.h"
#include "resource.h"
#include "twips.h"
#include "win32window.h"

#include <shellapi.h>

#include <algorithm>

namespace zx {

namespace {

constexpr const wchar_t *BoxClass = L"ZentroluxBox";
constexpr int TextId = 20;
constexpr int EditId = 21;
constexpr int InsideWidthTwips = 7215; // the help window
constexpr int InsideHeightTwips = 5400;

// A small window of our own for the messages the system's message box cannot
// give: one that Esc reports apart from OK, and the input box. Its state:
struct Box {
    bool done = false;
    int result = IDCANCEL;
    std::wstring text; // the edit line's text when OK was chosen
    HBITMAP artwork = nullptr; // the About window paints it and opens the web site on a click
    bool editFills = false; // the help text fills its window
};

LRESULT CALLBACK boxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW *>(lParam)->lpCreateParams));
    auto *box = reinterpret_cast<Box *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_COMMAND:
        if (box != nullptr && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
            if (LOWORD(wParam) == IDOK) {
                if (HWND edit = GetDlgItem(hwnd, EditId)) {
                    std::wstring text(std::size_t(GetWindowTextLengthW(edit)) + 1, L'\0');
                    text.resize(std::size_t(GetWindowTextW(edit, text.data(), int(text.size()))));
                    box->text = text;
                }
            }
            box->result = LOWORD(wParam);
            box->done = true;
        }
        return 0;
    case WM_CLOSE:
        if (box != nullptr)
            box->done = true;
        return 0;
    case WM_SIZE:
        // The help text fills its window.
        if (HWND edit = GetDlgItem(hwnd, EditId); edit != nullptr && box != nullptr && box->editFills)
            MoveWindow(edit, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        break;
    case WM_LBUTTONDOWN:
        if (box != nullptr && box->artwork != nullptr)
            ShellExecuteW(nullptr, L"open", widen(WebSite).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        return 0;
    case WM_SETCURSOR:
        if (box != nullptr && box->artwork != nullptr && LOWORD(lParam) == HTCLIENT) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    case WM_PAINT:
        if (box != nullptr && box->artwork != nullptr) {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            BITMAP bm;
            GetObjectW(box->artwork, sizeof bm, &bm);
            RECT client;
            GetClientRect(hwnd, &client);
            HDC source = CreateCompatibleDC(dc);
            HGDIOBJ old = SelectObject(source, box->artwork);
            SetStretchBltMode(dc, HALFTONE);
            StretchBlt(dc, 0, 0, client.right, client.bottom, source, 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
            SelectObject(source, old);
            DeleteDC(source);
            EndPaint(hwnd, &ps);
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void registerBoxClass(HINSTANCE instance)
{
    WNDCLASSEXW wc {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = boxProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = BoxClass;
    RegisterClassExW(&wc);
}

HWND child(HWND parent, const wchar_t *kind, const std::wstring &text, DWORD style, int id, RECT r)
{
    HWND w = CreateWindowExW(kind == std::wstring(L"EDIT") ? WS_EX_CLIENTEDGE : 0, kind, text.c_str(),
        WS_CHILD | WS_VISIBLE | style, r.left, r.top, r.right - r.left, r.bottom - r.top, parent,
        reinterpret_cast<HMENU>(INT_PTR(id)), reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)),
        nullptr);
    SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    return w;
}

// A box of the given inside size, centred over the screen the owner is on.
HWND makeBox(HINSTANCE instance, HWND owner, const std::wstring &title, DWORD style, int width, int height, Box &box)
{
    registerBoxClass(instance);
    RECT r { 0, 0, width, height };
    AdjustWindowRectEx(&r, style, FALSE, WS_EX_DLGMODALFRAME);
    MONITORINFO monitor { sizeof monitor, {}, {}, 0 };
    GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT &area = monitor.rcMonitor;
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    const int left = area.left + centredOrigin(area.right - area.left, w);
    const int top = area.top + centredOrigin(area.bottom - area.top, h);
    return CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, BoxClass, title.c_str(), style, left, top, w, h, owner,
        nullptr, instance, &box);
}

// Runs the box's messages, and the rest of the thread's, until it is done.
void runBox(HWND hwnd, Box &box, const std::function<void()> &onEscape = {})
{
    ShowWindow(hwnd, SW_SHOW);
    MSG msg;
    while (!box.done && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (onEscape && msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE
            && (msg.hwnd == hwnd || IsChild(hwnd, msg.hwnd))) {
            onEscape();
            continue;
        }
        if (IsDialogMessageW(hwnd, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (msg.message == WM_QUIT)
        PostQuitMessage(int(msg.wParam));
}

} // namespace

Win32Dialogs::Win32Dialogs(Win32Window &window, std::wstring title, std::function<void()> onEscape)
    : m_window(window)
    , m_title(std::move(title))
    , m_onEscape(std::move(onEscape))
{
}

void Win32Dialogs::warn(const std::string &text)
{
    MessageBoxW(m_window.handle(), widen(text).c_str(), m_title.c_str(), MB_OK | MB_ICONEXCLAMATION);
}

bool Win32Dialogs::confirm(const std::string &question)
{
    return MessageBoxW(m_window.handle(), widen(question).c_str(), m_title.c_str(), MB_YESNO | MB_ICONQUESTION)
        == IDYES;
}

std::optional<std::string> Win32Dialogs::askText(const std::string &prompt, const std::string &initial)
{
    // The system has no input box: the prompt above a line to type in, OK and Cancel beside it.
    Box box;
    HWND hwnd = makeBox(m_window.instance(), m_window.handle(), m_title, WS_POPUP | WS_CAPTION | WS_SYSMENU, 360,
        130, box);
    std::wstring text = widen(prompt);
    // Static text breaks lines at CR LF.
    for (std::size_t at = 0; (at = text.find(L'\n', at)) != std::wstring::npos; at += 2)
        if (at == 0 || text[at - 1] != L'\r')
            text.insert(at, 1, L'\r');
    child(hwnd, L"STATIC", text, SS_LEFT, TextId, { 10, 10, 260, 90 });
    child(hwnd, L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK, { 270, 10, 350, 34 });
    child(hwnd, L"BUTTON", L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL, { 270, 40, 350, 64 });
    HWND edit = child(hwnd, L"EDIT", widen(initial), WS_TABSTOP | ES_AUTOHSCROLL, EditId, { 10, 96, 350, 120 });
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    EnableWindow(m_window.handle(), FALSE);
    runBox(hwnd, box);
    EnableWindow(m_window.handle(), TRUE);
    DestroyWindow(hwnd);
    SetForegroundWindow(m_window.handle());
    if (box.result != IDOK)
        return std::nullopt;
    return narrow(box.text);
}

void Win32Dialogs::showProblem(const std::string &text)
{
    // Not modal: the window still takes Esc and its close request while the
    // message waits, so a sequence that fails at every tick can be stopped.
    Box box;
    HWND hwnd = makeBox(m_window.instance(), m_window.handle(), m_title, WS_POPUP | WS_CAPTION | WS_SYSMENU, 320,
        96, box);
    child(hwnd, L"STATIC", widen(text), SS_LEFT, TextId, { 12, 12, 308, 52 });
    HWND ok = child(hwnd, L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK, { 120, 60, 200, 86 });
    SetFocus(ok);
    m_problem = hwnd;
    runBox(hwnd, box, m_onEscape);
    m_problem = nullptr;
    DestroyWindow(hwnd);
}

void Win32Dialogs::closeProblem()
{
    if (m_problem != nullptr)
        PostMessageW(m_problem, WM_CLOSE, 0, 0);
}

void Win32Dialogs::showHelp()
{
    const TwipsScale tw(m_window.twipsPerPixelX(), m_window.twipsPerPixelY());
    Box box;
    box.editFills = true;
    HWND hwnd = makeBox(m_window.instance(), nullptr, widen(helpCaption()), WS_OVERLAPPEDWINDOW,
        tw.pixelsX(InsideWidthTwips), tw.pixelsY(InsideHeightTwips), box);
    RECT client;
    GetClientRect(hwnd, &client);
    child(hwnd, L"EDIT", widen(helpText()), ES_MULTILINE | ES_READONLY | WS_VSCROLL, EditId, client);
    runBox(hwnd, box);
    DestroyWindow(hwnd);
}

void Win32Dialogs::showAbout()
{
    Box box;
    box.artwork = static_cast<HBITMAP>(
        LoadImageW(m_window.instance(), MAKEINTRESOURCEW(ZX_IDB_ABOUT), IMAGE_BITMAP, 0, 0, 0));
    BITMAP bm { 0, 395, 111, 0, 0, 0, nullptr };
    if (box.artwork != nullptr)
        GetObjectW(box.artwork, sizeof bm, &bm);
    // The artwork is drawn for 96 dpi: its size on the desk stays the same.
    const TwipsScale tw(m_window.twipsPerPixelX(), m_window.twipsPerPixelY());
    HWND hwnd = makeBox(m_window.instance(), m_window.handle(), widen(aboutTitle()),
        WS_POPUP | WS_CAPTION | WS_SYSMENU, tw.pixelsX(bm.bmWidth * 15.0), tw.pixelsY(bm.bmHeight * 15.0), box);
    EnableWindow(m_window.handle(), FALSE);
    runBox(hwnd, box);
    EnableWindow(m_window.handle(), TRUE);
    DestroyWindow(hwnd);
    if (box.artwork != nullptr)
        DeleteObject(box.artwork);
}

void Win32Dialogs::openFolder(const std::filesystem::path &folder)
{
    ShellExecuteW(nullptr, L"open", (folder.wstring() + L"\\").c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

} // namespace zx
