// Zentrolux for Windows: the crosshair's behaviour with its Win32 front-end.
#include "crosshair.h"
#include "pathtext.h"
#include "programinfo.h"
#include "text.h"
#include "win32dialogs.h"
#include "win32parts.h"
#include "win32window.h"

#include <shlobj.h>

#include <filesystem>

namespace {

std::filesystem::path knownFolder(REFKNOWNFOLDERID id)
{
    PWSTR path = nullptr;
    std::filesystem::path folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)))
        folder = path;
    CoTaskMemFree(path);
    return folder;
}

std::filesystem::path ownFile()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // Portable beside itself, or, installed under Program Files, in the user's own folders; every
    // folder kept as the system names it, whatever letters the names hold.
    const std::filesystem::path self = ownFile();
    const zx::UserFolders user { knownFolder(FOLDERID_RoamingAppData), knownFolder(FOLDERID_Profile),
        knownFolder(FOLDERID_Pictures) };
    const zx::ProgramPlace place = zx::programPlace(
        self, knownFolder(FOLDERID_ProgramFiles) / zx::pathFromUtf8(zx::programNameFromFile(self)), user, {});
    const std::wstring title = zx::widen(place.name);

    HANDLE running = CreateMutexW(nullptr, FALSE, (L"Local\\" + zx::widen(zx::instanceLockName(place.name))).c_str());
    if (running != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        MessageBoxW(nullptr, zx::widen(zx::alreadyRunningText(place.name)).c_str(), title.c_str(),
            MB_OK | MB_ICONEXCLAMATION);
        CloseHandle(running);
        return 0;
    }

    zx::Win32Window window(instance, title);
    zx::Win32Dialogs dialogs(window, title);
    zx::Win32Timer timer(window, zx::Win32Window::CaptureTimerId);
    zx::Win32Timer starTimer(window, zx::Win32Window::StarTimerId);
    zx::GdiScreenReader screen;
    zx::SnapshotSaver saver(place.writerFolders);
    zx::Win32Sound sound(instance);
    zx::SystemClock clock;
    zx::Crosshair crosshair(place, { window, dialogs, timer, screen, saver, sound, clock, starTimer });
    window.onTimer = [&] { crosshair.timerTick(); };
    window.onStarTimer = [&] { crosshair.starTick(); };
    window.attach(crosshair);
    crosshair.formLoad();

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    CloseHandle(running);
    return int(msg.wParam);
}
