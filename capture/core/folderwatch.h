#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace zx {

// A name that appeared in a watched folder (created, linked or moved in) or
// left it (deleted or moved out). Folders coming and going are not reported.
struct FolderEvent {
    enum class Kind { Added, Removed };
    Kind kind = Kind::Added;
    std::string name;
};

// Tells what changed in one folder, so that its contents need not be listed
// again. One back-end per platform; CMake picks the file.
class FolderWatch {
public:
    virtual ~FolderWatch() = default;

    // Watches this folder from now on, in place of any earlier one. false when
    // its changes cannot be followed (no support, a network file system where
    // other machines' changes go unseen, a missing folder): the caller lists it.
    [[nodiscard]] virtual bool watch(const std::filesystem::path &folder) = 0;

    // Appends the changes since watch() or the previous call. false when they
    // cannot be told (events lost, the folder deleted, moved or replaced): the
    // caller then lists the folder and calls watch() again.
    [[nodiscard]] virtual bool takeEvents(std::vector<FolderEvent> &events) = 0;
};

[[nodiscard]] std::unique_ptr<FolderWatch> makeFolderWatch();

} // namespace zx
