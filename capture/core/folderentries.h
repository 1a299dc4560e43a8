#pragma once

#include "pathtext.h"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace zx {

// What a folder entry is, as far as the snapshot rules care.
struct EntryType {
    bool file = false; // an ordinary file, directly or through a link
    bool link = false; // a symbolic link: its target may change without the folder changing
};

// Names are the file system's bytes on POSIX systems and UTF-8 on Windows,
// where the system's names are UTF-16.

// Calls visit for each entry of the folder whose name passes accept, with its
// type (looked up only for those). "." and ".." are not visited. false when
// the folder cannot be read.
bool visitEntries(const std::filesystem::path &folder,
    const std::function<bool(std::string_view name)> &accept,
    const std::function<void(std::string_view name, EntryType type)> &visit);

// The path of a folder's entry of this name. The one way from a name to a path:
// joining the name as plain text would read it in Windows' 8-bit code page.
[[nodiscard]] inline std::filesystem::path entryPath(
    const std::filesystem::path &folder, std::string_view name)
{
    return folder / pathFromUtf8(name);
}

// The type of one entry of a folder; a missing entry is neither file nor link.
[[nodiscard]] EntryType entryType(const std::filesystem::path &folder, std::string_view name);

} // namespace zx
