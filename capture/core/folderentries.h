#pragma once

#include <filesystem>
#include <functional>
#include <string_view>

namespace zx {

// What a folder entry is, as far as the snapshot rules care.
struct EntryType {
    bool file = false; // an ordinary file, directly or through a link
    bool link = false; // a symbolic link: its target may change without the folder changing
};

// Calls visit for each entry of the folder whose name passes accept, with its
// type (looked up only for those). "." and ".." are not visited. false when
// the folder cannot be read.
bool visitEntries(const std::filesystem::path &folder,
    const std::function<bool(std::string_view name)> &accept,
    const std::function<void(std::string_view name, EntryType type)> &visit);

// The type of one entry of a folder; a missing entry is neither file nor link.
[[nodiscard]] EntryType entryType(const std::filesystem::path &folder, std::string_view name);

} // namespace zx
