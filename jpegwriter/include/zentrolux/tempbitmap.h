#pragma once

// Where the program leaves a snapshot bitmap for the JPEG writer. Both sides
// include this header so they always agree on the place. The folder is private
// to the user and lives in memory where the system has such a folder; the file
// name carries the process id, so two copies of the program (even under
// different names) never share a file.

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
#ifdef __linux__
#include <linux/magic.h>
#include <sys/vfs.h>
#endif
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

// The user's temp folder cannot be taken by anyone else.
[[nodiscard]] inline std::optional<std::string> prepareTempBitmapPath()
{
    return tempBitmapPath();
}

inline void removeRunTempFolder() { }

#else

namespace detail {

// Names this run's own folder when the usual one could not be used; set by
// the program, read by the writer, which runs in the same process.
inline constexpr const char *RunFolderVariable = "ZENTROLUX_SNAPSHOT_FOLDER";

// A real directory (not a link to one) that only we can enter.
[[nodiscard]] inline bool isPrivateFolder(const std::string &folder)
{
    struct stat info { };
    if (lstat(folder.c_str(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == geteuid() && (info.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

// The temporary folder shared by every user: TMPDIR when it names one, else /tmp.
[[nodiscard]] inline std::string sharedTempFolder()
{
    const char *tmp = std::getenv("TMPDIR");
    return tmp != nullptr && tmp[0] == '/' ? std::string(tmp) : std::string("/tmp");
}

// The system's folder for shared memory, shared by every user as /tmp is.
inline constexpr const char *SharedMemoryFolder = "/dev/shm";

// Whether the files of a folder live in memory: a bitmap of some megabytes
// written there costs a copy, never a disk's journal or write-back.
[[nodiscard]] inline bool inMemory(const std::string &folder)
{
#ifdef __linux__
    struct statfs info { };
    return statfs(folder.c_str(), &info) == 0
        && (info.f_type == TMPFS_MAGIC || info.f_type == static_cast<decltype(info.f_type)>(RAMFS_MAGIC));
#else
    (void)folder;
    return false;
#endif
}

// What the choice of the bitmap's folder goes by.
struct TempFolders {
    std::string runtime; // the user's runtime folder; empty when there is none of ours
    bool runtimeInMemory = false;
    std::string sharedTemp;
    bool sharedTempInMemory = false;
    bool sharedMemoryInMemory = false;
};

[[nodiscard]] inline TempFolders tempFolders()
{
    TempFolders folders;
    if (const char *runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] == '/') {
        struct stat info { };
        if (stat(runtime, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid()) {
            folders.runtime = runtime;
            folders.runtimeInMemory = inMemory(folders.runtime);
        }
    }
    folders.sharedTemp = sharedTempFolder();
    // Asked only when it decides something.
    if (!folders.runtimeInMemory) {
        folders.sharedTempInMemory = inMemory(folders.sharedTemp);
        folders.sharedMemoryInMemory = !folders.sharedTempInMemory && inMemory(SharedMemoryFolder);
    }
    return folders;
}

// The shared folder a private one is made in: one in memory when there is one.
[[nodiscard]] inline std::string sharedBase(const TempFolders &folders)
{
    if (!folders.sharedTempInMemory && folders.sharedMemoryInMemory)
        return SharedMemoryFolder;
    return folders.sharedTemp;
}

// The runtime folder is per-user and cleaned at logout, and on desktops of
// today it lives in memory; where it does not, a private folder in a shared
// folder that does serves better. Without a folder in memory the runtime
// folder is still preferred, and the shared temporary folder is the fallback
// when there is none or it does not look like ours.
[[nodiscard]] inline std::string chooseFolder(const TempFolders &folders, unsigned user)
{
    if (!folders.runtime.empty()
        && (folders.runtimeInMemory || !(folders.sharedTempInMemory || folders.sharedMemoryInMemory)))
        return folders.runtime + "/zentrolux";
    return sharedBase(folders) + "/zentrolux-" + std::to_string(user);
}

[[nodiscard]] inline std::string privateFolderCandidate()
{
    return chooseFolder(tempFolders(), geteuid());
}

[[nodiscard]] inline std::string bitmapIn(const std::string &folder)
{
    return folder + "/snapshot-" + std::to_string(getpid()) + ".bmp";
}

} // namespace detail

// Full path of the temporary snapshot bitmap, creating its private folder when
// needed. No path when the folder cannot be made or is not private (a link,
// someone else's, or open to group or others).
[[nodiscard]] inline std::optional<std::string> tempBitmapPath()
{
    if (const char *run = std::getenv(detail::RunFolderVariable);
        run != nullptr && run[0] == '/' && detail::isPrivateFolder(run))
        return detail::bitmapIn(run);
    const std::string folder = detail::privateFolderCandidate();
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return std::nullopt;
    if (!detail::isPrivateFolder(folder))
        return std::nullopt;
    return detail::bitmapIn(folder);
}

// The program's side: as tempBitmapPath(), but when the usual folder cannot be
// used safely (another user made it first, or made it a link) a fresh private
// folder serves this run instead, so nobody else can block snapshots. The
// writer finds it through tempBitmapPath() too.
[[nodiscard]] inline std::optional<std::string> prepareTempBitmapPath()
{
    if (auto path = tempBitmapPath())
        return path;
    std::string pattern
        = detail::sharedBase(detail::tempFolders()) + "/zentrolux-" + std::to_string(geteuid()) + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        return std::nullopt;
    setenv(detail::RunFolderVariable, pattern.c_str(), 1);
    return tempBitmapPath();
}

// Removes the folder prepareTempBitmapPath() made for this run, if it made one;
// the bitmap is deleted after every snapshot, so the folder is empty by then.
inline void removeRunTempFolder()
{
    if (const char *run = std::getenv(detail::RunFolderVariable)) {
        rmdir(run);
        unsetenv(detail::RunFolderVariable);
    }
}

#endif

} // namespace zx
