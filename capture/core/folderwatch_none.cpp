#include "folderwatch.h"

namespace zx {

namespace {

// No way to learn of changes here: the folder is listed for every snapshot.
class NoFolderWatch final : public FolderWatch {
public:
    bool watch(const std::filesystem::path &) override { return false; }
    bool takeEvents(std::vector<FolderEvent> &) override { return false; }
};

} // namespace

std::unique_ptr<FolderWatch> makeFolderWatch()
{
    return std::make_unique<NoFolderWatch>();
}

} // namespace zx
