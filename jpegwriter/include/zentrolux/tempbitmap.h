#pragma once

// Where the program leaves a snapshot bitmap for the JPEG writer. Both sides
// include this header so they always agree on the place. The folder is private
// to the user and the file name carries the process id, so two copies of the
// program (even under different names) never share a file.

#include <optional>
#include <string>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zx {

#ifdef _WIN32

// The user's temp folder is per-user already.
[[nodiscard]] inline std::optional<std::string> tempBitmapPath()
{
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH)
        return std::nullopt;
    const std::wstring path = std::wstring(folder, length) + L"zentrolux-snapshot-"
        + std::to_wstring(GetCurrentProcessId()) + L".bmp";
    const int size = WideCharToMultiByte(
        CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return std::nullopt;
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(
        CP_UTF8, 0, path.data(), static_cast<int>(path.size()), utf8.data(), size, nullptr, nullptr);
    return utf8;
}

#else

namespace detail {

// A real directory (not a link to one) that only we can enter.
[[nodiscard]] inline bool isPrivateFolder(const std::string &folder)
{
    struct stat info { };
    if (lstat(folder.c_str(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == geteuid() && (info.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

[[nodiscard]] inline std::string privateFolderCandidate()
{
    // The runtime folder is per-user and cleaned at logout; /tmp is the fallback
    // when there is none or it does not look like ours.
    if (const char *runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] == '/') {
        struct stat info { };
        if (stat(runtime, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid())
            return std::string(runtime) + "/zentrolux";
    }
    return "/tmp/zentrolux-" + std::to_string(geteuid());
}

} // namespace detail

// Full path of the temporary snapshot bitmap, creating its private folder when
// needed. No path when the folder cannot be made or is not private (a link,
// someone else's, or open to group or others).
[[nodiscard]] inline std::optional<std::string> tempBitmapPath()
{
    const std::string folder = detail::privateFolderCandidate();
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return std::nullopt;
    if (!detail::isPrivateFolder(folder))
        return std::nullopt;
    return folder + "/snapshot-" + std::to_string(getpid()) + ".bmp";
}

#endif

} // namespace zx
