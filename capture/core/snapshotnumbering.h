#pragma once

#include "folderwatch.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace zx {

// The next snapshot number of a folder, the same as nextSnapshotNumber gives,
// without listing the folder for every snapshot: it keeps the highest number
// and learns of files added, renamed or deleted meanwhile from a folder watch.
// It lists the folder again only when the highest may have gone, or when the
// watch cannot vouch for what it saw.
class SnapshotNumbering {
public:
    explicit SnapshotNumbering(std::unique_ptr<FolderWatch> watch = makeFolderWatch());

    [[nodiscard]] std::optional<std::int64_t> next(const std::filesystem::path &imagesFolder);

    // How many times the folder was listed: cost, not correctness.
    [[nodiscard]] std::uint64_t fullScans() const { return m_fullScans; }

private:
    void scan(const std::filesystem::path &imagesFolder);
    // Applies the watch's events; false when the folder must be listed again.
    [[nodiscard]] bool follow(const std::filesystem::path &imagesFolder);
    [[nodiscard]] bool mayHoldHighest(std::string_view name) const;

    std::unique_ptr<FolderWatch> m_watch;
    std::filesystem::path m_folder;
    bool m_watched = false; // m_highest is kept up to date by the watch
    double m_highest = 0;
    bool m_linked = false; // a snapshot name is a link, whose target may change unseen
    std::vector<FolderEvent> m_events;
    std::uint64_t m_fullScans = 0;
};

} // namespace zx
