// Zentrolux for Windows: the crosshair's behaviour with its Win32 front-end.
#include "crosshair.h"
#include "filelocations.h"
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
    const std::filesystem::path self = ownFile();
    const std::string name = zx::programNameFromFile(zx::narrow(self.filename().wstring()));
    const std::wstring title = zx::widen(name);

    // One copy of a program of this name per user session.
    HANDLE running = CreateMutexW(nullptr, FALSE, (L"Local\\Zentrolux-" + title).c_str());
    if (running != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        MessageBoxW(nullptr, (title + L" is already running!").c_str(), title.c_str(), MB_OK | MB_ICONEXCLAMATION);
        CloseHandle(running);
        return 0;
    }

    // Portable beside itself, or, installed under Program Files, in the user's own folders.
    const std::filesystem::path folder = self.parent_path();
    const zx::FolderFacts facts = zx::inspectFolder(folder, knownFolder(FOLDERID_ProgramFiles) / title);
    const zx::UserFolders user { zx::narrow(knownFolder(FOLDERID_RoamingAppData).wstring()),
        knownFolder(FOLDERID_Profile), knownFolder(FOLDERID_Pictures) };
    const zx::FileLocations files = zx::fileLocations(name, facts, user, {});
    const zx::ProgramPlace place { name, folder, files.settingsFile, files.imagesFolder, files.installed };

    zx::Win32Window window(instance, title);
    zx::Crosshair *core = nullptr;
    zx::Win32Dialogs dialogs(window, title, [&] { core->keyDown(zx::vk::Escape, 0); });
    zx::Win32Timer timer(window);
    zx::GdiScreenReader screen(window);
    zx::SnapshotSaver saver({ folder });
    zx::Win32Sound sound(instance);
    zx::SystemClock clock;
    zx::Crosshair crosshair(place, { window, dialogs, timer, screen, saver, sound, clock });
    core = &crosshair;
    window.onTimer = [&] { crosshair.timerTick(); };
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
