#include "win32dialogs.h"

#include "infotext.h"
#include "nightlook.h"
#include "resource.h"
#include "numbers.h"
#include "win32window.h"

#include <shellapi.h>

#include <algorithm>
#include <cwctype>
#include <vector>

namespace zx {

namespace {

constexpr const wchar_t *BoxClass = L"ZentroluxBox";
constexpr int TextId = 20;
constexpr int EditId = 21;

// A small window of our own for the messages the system's message box cannot
// give: one that Esc reports apart from OK, and the input box. Its state:
struct Box {
    bool done = false;
    int result = IDCANCEL;
    std::wstring text; // the edit line's text when OK was chosen
    HBITMAP artwork = nullptr; // the About window paints it and opens the web site on a click
    bool editFills = false; // the help text fills its window
    HFONT font = nullptr; // the text's, at the monitor's dots per inch; the box deletes it
    bool night = false; // black, its text and buttons dim red
    int defaultId = IDOK; // what Return chooses at night, the buttons being owner-drawn
    bool yesNo = false; // Y and N answer it
};

LRESULT CALLBACK boxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW *>(lParam)->lpCreateParams));
    auto *box = reinterpret_cast<Box *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_COMMAND:
        if (box != nullptr
            && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDYES
                || LOWORD(wParam) == IDNO)) {
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
    case DM_GETDEFID:
        if (box != nullptr && box->night)
            return MAKELRESULT(box->defaultId, DC_HASDEFID);
        break;
    case WM_ERASEBKGND:
        if (box != nullptr && box->night) {
            RECT client;
            GetClientRect(hwnd, &client);
            FillRect(reinterpret_cast<HDC>(wParam), &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            return 1;
        }
        break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
        if (box != nullptr && box->night) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, colorRef(NightRed));
            SetBkColor(dc, colorRef(NightBlack));
            return reinterpret_cast<LRESULT>(GetStockObject(BLACK_BRUSH));
        }
        break;
    case WM_DRAWITEM:
        if (box != nullptr && box->night) {
            drawNightButton(*reinterpret_cast<const DRAWITEMSTRUCT *>(lParam));
            return TRUE;
        }
        break;
    case WM_PAINT:
        if (box != nullptr && box->night && box->artwork == nullptr && !box->editFills) {
            // The line to type in has no sunken edge at night: a dim frame instead.
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            if (HWND edit = GetDlgItem(hwnd, EditId)) {
                RECT r;
                GetWindowRect(edit, &r);
                MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT *>(&r), 2);
                InflateRect(&r, 2, 2);
                HBRUSH dim = CreateSolidBrush(colorRef(NightDim));
                FrameRect(dc, &r, dim);
                DeleteObject(dim);
            }
            EndPaint(hwnd, &ps);
            return 0;
        }
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

// Lengths of a 96-dpi layout at the monitor's dots per inch.
class Scale {
public:
    explicit Scale(int dpi)
        : m_dpi(dpi > 0 ? dpi : 96)
    {
    }
    [[nodiscard]] int operator()(int at96) const { return MulDiv(at96, m_dpi, 96); }
    [[nodiscard]] int dpi() const { return m_dpi; }

private:
    int m_dpi;
};

// The system's message font, as large on the desk at this monitor's dots per inch as at the system's.
HFONT messageFont(int dpi)
{
    NONCLIENTMETRICSW metrics {};
    metrics.cbSize = sizeof metrics;
    LOGFONTW font {};
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) != 0) {
        font = metrics.lfMessageFont;
        HDC screen = GetDC(nullptr);
        const int systemDpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        font.lfHeight = MulDiv(font.lfHeight, dpi, systemDpi > 0 ? systemDpi : 96);
    } else {
        font.lfHeight = -MulDiv(9, dpi, 72);
        lstrcpynW(font.lfFaceName, L"MS Shell Dlg 2", LF_FACESIZE);
    }
    if (font.lfHeight == 0)
        font.lfHeight = -MulDiv(9, dpi, 72);
    return CreateFontIndirectW(&font);
}

// The size the text takes in the font, broken into lines no wider than maxWidth.
SIZE textExtent(HFONT font, const std::wstring &text, int maxWidth)
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    RECT r { 0, 0, maxWidth, 0 };
    DrawTextW(dc, text.c_str(), int(text.size()), &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return { r.right - r.left, r.bottom - r.top };
}

HWND child(HWND parent, const Box &box, const wchar_t *kind, const std::wstring &text, DWORD style, int id, RECT r)
{
    const bool edit = kind == std::wstring(L"EDIT");
    if (box.night && kind == std::wstring(L"BUTTON")) {
        // The system's push buttons stay grey whatever colours they are given.
        style = (style & ~DWORD(BS_TYPEMASK)) | BS_OWNERDRAW;
    } else if (box.night && edit) {
        InflateRect(&r, -2, -2); // inside the frame the box draws in place of the sunken edge
        style &= ~DWORD(WS_VSCROLL); // the system's scroll bar is grey; keys and the wheel still scroll
    }
    HWND w = CreateWindowExW(edit && !box.night ? WS_EX_CLIENTEDGE : 0, kind, text.c_str(),
        WS_CHILD | WS_VISIBLE | style, r.left, r.top, r.right - r.left, r.bottom - r.top, parent,
        reinterpret_cast<HMENU>(INT_PTR(id)), reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)),
        nullptr);
    SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(box.font), TRUE);
    if (box.night && edit && (style & ES_MULTILINE) == 0)
        paintEditAtNight(w);
    return w;
}

// The rectangle of the monitor the window is on.
PixelRect monitorOf(HWND window)
{
    MONITORINFO monitor { sizeof monitor, {}, {}, 0 };
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT &area = monitor.rcMonitor;
    return { int(area.left), int(area.top), int(area.right), int(area.bottom) };
}

// A box of the given inside size, centred on the monitor the owner is on.
// Owned by the crosshair window, it stays above it, and with it out of the
// topmost band, above no other program.
HWND makeBox(HINSTANCE instance, HWND owner, const std::wstring &title, DWORD style, int width, int height, int dpi,
    Box &box)
{
    registerBoxClass(instance);
    RECT r { 0, 0, width, height };
    AdjustWindowRectEx(&r, style, FALSE, WS_EX_DLGMODALFRAME);
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    const int tpp = twipsPerPixel(dpi);
    const PixelPoint at = centredOnScreen(monitorOf(owner), { w, h }, tpp, tpp);
    return CreateWindowExW(WS_EX_DLGMODALFRAME, BoxClass, title.c_str(), style, at.x, at.y, w, h, owner, nullptr,
        instance, &box);
}

// Runs the box's messages, and the rest of the thread's, until it is done.
void runBox(HWND hwnd, Box &box, const std::function<void()> &onEscape = {})
{
    ShowWindow(hwnd, SW_SHOW);
    MSG msg {};
    while (!box.done && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (onEscape && msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE
            && (msg.hwnd == hwnd || IsChild(hwnd, msg.hwnd))) {
            onEscape();
            continue;
        }
        if (box.yesNo && msg.message == WM_CHAR && (msg.hwnd == hwnd || IsChild(hwnd, msg.hwnd))) {
            const auto key = std::towlower(wint_t(msg.wParam));
            if (key == L'y' || key == L'n') {
                box.result = key == L'y' ? IDYES : IDNO;
                box.done = true;
                continue;
            }
        }
        if (IsDialogMessageW(hwnd, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (msg.message == WM_QUIT)
        PostQuitMessage(int(msg.wParam));
}

// Runs a box modally: the crosshair window takes no input until it is closed.
void runModal(HWND owner, HWND hwnd, Box &box)
{
    EnableWindow(owner, FALSE);
    runBox(hwnd, box);
    // Enabled before the box goes, so that the focus returns to it.
    EnableWindow(owner, TRUE);
    DestroyWindow(hwnd);
    SetForegroundWindow(owner);
}

void destroyBox(HWND hwnd, Box &box)
{
    if (hwnd != nullptr && IsWindow(hwnd))
        DestroyWindow(hwnd);
    if (box.font != nullptr)
        DeleteObject(box.font);
}

// Static text breaks lines at CR LF.
std::wstring withCarriageReturns(const std::string &text)
{
    std::wstring wide = widen(text);
    for (std::size_t at = 0; (at = wide.find(L'\n', at)) != std::wstring::npos; at += 2)
        if (at == 0 || wide[at - 1] != L'\r')
            wide.insert(at, 1, L'\r');
    return wide;
}


struct BoxButton {
    const wchar_t *caption;
    int id;
};

// A message of ours: its text over a row of buttons, the first the default
// and focused, the box sized to the text at the monitor's dots per inch.
HWND makeMessage(HINSTANCE instance, HWND owner, const std::wstring &title, const std::string &text,
    const std::vector<BoxButton> &buttons, int dpi, Box &box)
{
    const Scale s(dpi);
    box.font = messageFont(s.dpi());
    box.defaultId = buttons.front().id;
    const std::wstring message = withCarriageReturns(text);
    const int margin = s(12);
    const int buttonWidth = s(80);
    const int buttonHeight = s(26);
    const int gap = s(8);
    const SIZE extent = textExtent(box.font, message, s(420));
    const int count = int(buttons.size());
    const int row = count * buttonWidth + (count - 1) * gap;
    const int width = std::max({ int(extent.cx), s(220), row }) + 2 * margin;
    const int height = margin + int(extent.cy) + margin + buttonHeight + margin;
    HWND hwnd = makeBox(instance, owner, title, WS_POPUP | WS_CAPTION | WS_SYSMENU, width, height, s.dpi(), box);
    child(hwnd, box, L"STATIC", message, SS_LEFT | SS_NOPREFIX, TextId,
        { margin, margin, width - margin, margin + int(extent.cy) });
    const int buttonTop = margin + int(extent.cy) + margin;
    int left = (width - row) / 2;
    HWND first = nullptr;
    for (const BoxButton &b : buttons) {
        HWND button = child(hwnd, box, L"BUTTON", b.caption,
            WS_TABSTOP | (first == nullptr ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), b.id,
            { left, buttonTop, left + buttonWidth, buttonTop + buttonHeight });
        if (first == nullptr)
            first = button;
        left += buttonWidth + gap;
    }
    SetFocus(first);
    return hwnd;
}

} // namespace

Win32Dialogs::Win32Dialogs(Win32Window &window, std::wstring title)
    : m_window(window)
    , m_title(std::move(title))
{
}

void Win32Dialogs::warn(const std::string &text)
{
    if (m_window.night())
        nightMessage(text, false);
    else
        MessageBoxW(m_window.handle(), widen(text).c_str(), m_title.c_str(), MB_OK | MB_ICONEXCLAMATION);
}

bool Win32Dialogs::confirm(const std::string &question)
{
    if (m_window.night())
        return nightMessage(question, true) == IDYES;
    return MessageBoxW(m_window.handle(), widen(question).c_str(), m_title.c_str(), MB_YESNO | MB_ICONQUESTION)
        == IDYES;
}

int Win32Dialogs::nightMessage(const std::string &text, bool yesNo)
{
    // The system's message box takes no colours: at night, one of ours, as the problem message is.
    Box box;
    box.night = true;
    box.yesNo = yesNo;
    HWND hwnd = makeMessage(m_window.instance(), m_window.handle(), m_title, text,
        yesNo ? std::vector<BoxButton> { { L"Yes", IDYES }, { L"No", IDNO } } : std::vector<BoxButton> { { L"OK", IDOK } },
        m_window.dpi(), box);
    runModal(m_window.handle(), hwnd, box);
    destroyBox(nullptr, box);
    return box.result;
}

std::optional<std::string> Win32Dialogs::askText(const std::string &prompt, const std::string &initial)
{
    // The system has no input box: the prompt above a line to type in, OK and Cancel beside it.
    const Scale s(m_window.dpi());
    Box box;
    box.night = m_window.night();
    box.font = messageFont(s.dpi());
    const std::wstring text = withCarriageReturns(prompt);
    const int margin = s(10);
    const int buttonWidth = s(80);
    const int buttonHeight = s(24);
    const SIZE extent = textExtent(box.font, text, s(250));
    const int textWidth = std::max(int(extent.cx), s(250));
    const int textHeight = std::max(int(extent.cy), 2 * buttonHeight + s(6));
    const int width = margin + textWidth + margin + buttonWidth + margin;
    const int editTop = margin + textHeight + s(6);
    const int height = editTop + buttonHeight + margin;
    HWND hwnd = makeBox(m_window.instance(), m_window.handle(), m_title, WS_POPUP | WS_CAPTION | WS_SYSMENU, width,
        height, s.dpi(), box);
    const int buttonLeft = width - margin - buttonWidth;
    child(hwnd, box, L"STATIC", text, SS_LEFT | SS_NOPREFIX, TextId,
        { margin, margin, margin + textWidth, margin + textHeight });
    child(hwnd, box, L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK,
        { buttonLeft, margin, buttonLeft + buttonWidth, margin + buttonHeight });
    child(hwnd, box, L"BUTTON", L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL,
        { buttonLeft, margin + buttonHeight + s(6), buttonLeft + buttonWidth, margin + 2 * buttonHeight + s(6) });
    HWND edit = child(hwnd, box, L"EDIT", widen(initial), WS_TABSTOP | ES_AUTOHSCROLL, EditId,
        { margin, editTop, width - margin, editTop + buttonHeight });
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    runModal(m_window.handle(), hwnd, box);
    destroyBox(nullptr, box);
    if (box.result != IDOK)
        return std::nullopt;
    return narrow(box.text);
}

void Win32Dialogs::showProblem(const std::string &text, const std::function<void()> &onEscape)
{
    // Not modal: the window still takes Esc and its close request while the
    // message waits, so a sequence that fails at every tick can be stopped.
    Box box;
    box.night = m_window.night();
    HWND hwnd = makeMessage(m_window.instance(), m_window.handle(), m_title, text, { { L"OK", IDOK } }, m_window.dpi(), box);
    m_problem = hwnd;
    runBox(hwnd, box, onEscape);
    m_problem = nullptr;
    destroyBox(hwnd, box);
}

void Win32Dialogs::closeProblem()
{
    if (m_problem != nullptr)
        PostMessageW(m_problem, WM_CLOSE, 0, 0);
}

void Win32Dialogs::showHelp()
{
    const Scale s(m_window.dpi());
    const int tpp = twipsPerPixel(s.dpi());
    const InfoSize inside = helpInsideSize(tpp, tpp);
    Box box;
    box.night = m_window.night();
    box.editFills = true;
    box.font = messageFont(s.dpi());
    HWND hwnd = makeBox(m_window.instance(), m_window.handle(), widen(helpCaption()), WS_OVERLAPPEDWINDOW,
        inside.width, inside.height, s.dpi(), box);
    RECT client;
    GetClientRect(hwnd, &client);
    child(hwnd, box, L"EDIT", widen(helpText()), ES_MULTILINE | ES_READONLY | WS_VSCROLL, EditId, client);
    runModal(m_window.handle(), hwnd, box);
    destroyBox(nullptr, box);
}

void Win32Dialogs::showAbout()
{
    const Scale s(m_window.dpi());
    const int tpp = twipsPerPixel(s.dpi());
    Box box;
    box.night = m_window.night();
    box.artwork = static_cast<HBITMAP>(
        LoadImageW(m_window.instance(), MAKEINTRESOURCEW(ZX_IDB_ABOUT), IMAGE_BITMAP, 0, 0, 0));
    if (box.night) {
        if (HBITMAP night = nightPicture(box.artwork)) {
            DeleteObject(box.artwork);
            box.artwork = night;
        }
    }
    BITMAP bm { 0, 395, 111, 0, 0, 0, nullptr };
    if (box.artwork != nullptr)
        GetObjectW(box.artwork, sizeof bm, &bm);
    const InfoSize inside = aboutInsideSize({ int(bm.bmWidth), int(bm.bmHeight) }, tpp, tpp);
    HWND hwnd = makeBox(m_window.instance(), m_window.handle(), widen(aboutTitle()),
        WS_POPUP | WS_CAPTION | WS_SYSMENU, inside.width, inside.height, s.dpi(), box);
    runModal(m_window.handle(), hwnd, box);
    destroyBox(nullptr, box);
    if (box.artwork != nullptr)
        DeleteObject(box.artwork);
}

void Win32Dialogs::openFolder(const std::filesystem::path &folder)
{
    ShellExecuteW(nullptr, L"open", (folder.wstring() + L"\\").c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

} // namespace zx
