#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zx {

// Largest snapshot number we hand out; past it a snapshot fails instead of
// reusing a name.
inline constexpr std::int64_t MaxSnapshotNumber = 2147483647;

// "CAP" + number with at least four digits + ".jpg".
[[nodiscard]] std::string snapshotFileName(std::int64_t number);

// Whether a file name matches CAP*.jpg, letters in either case.
[[nodiscard]] bool isSnapshotName(std::string_view name);

// Whether a file name matches *.jpg, letters in either case.
[[nodiscard]] bool isJpegName(std::string_view name);

// The number a snapshot name stands for: the four characters after "CAP"
// read as a number. When those four are digits and more digits follow, the
// whole run is read, so that names past CAP9999.jpg keep counting upwards.
[[nodiscard]] double snapshotNumberOf(std::string_view name);

// Whether a name is hidden: such entries are never listed.
[[nodiscard]] bool isHiddenName(std::string_view name);

// Whether a folder entry of this name may count for the numbering: CAP*.jpg
// and not hidden (it must also be an ordinary file).
[[nodiscard]] bool isListedSnapshotName(std::string_view name);

// The ordinary, non-hidden files of a folder whose names pass a filter;
// a missing folder gives none.
[[nodiscard]] std::vector<std::filesystem::path> listFiles(
    const std::filesystem::path &folder, bool (*accept)(std::string_view name));

// The highest number seen once a snapshot of this name counts too.
[[nodiscard]] double raisedHighest(double highest, std::string_view name);

// The number after the highest seen; nullopt once the numbers are used up.
[[nodiscard]] std::optional<std::int64_t> numberAfter(double highest);

// One listing of the images folder, as the numbering reads it.
struct SnapshotScan {
    double highest = 0; // 0 for an empty or missing folder
    bool linked = false; // some snapshot name is a symbolic link
};
[[nodiscard]] SnapshotScan scanSnapshotFolder(const std::filesystem::path &imagesFolder);

// The next snapshot number: one past the highest found in the folder (1 for an
// empty or missing folder). Gaps are not filled. nullopt once the numbers are
// used up.
[[nodiscard]] std::optional<std::int64_t> nextSnapshotNumber(const std::filesystem::path &imagesFolder);

// Caption while a snapshot is taken: "<name> - yyyy-mm-dd hh:mm:ss".
[[nodiscard]] std::string momentCaption(const std::string &programName, const std::tm &localTime);

// Caption a sequence snapshot leaves behind: "<name> - CAP0003.jpg".
[[nodiscard]] std::string sequenceCaption(const std::string &programName, std::int64_t number);

// The typed capture interval.
struct IntervalAnswer {
    enum class Kind { Empty, OutOfRange, Accepted };
    Kind kind = Kind::Empty;
    std::int32_t milliseconds = 0;
};
inline constexpr double MinInterval = 1;
inline constexpr double MaxInterval = 65000;

[[nodiscard]] IntervalAnswer readIntervalAnswer(std::string_view answer);

// Deletes the files; returns how many could not be deleted.
[[nodiscard]] int deleteFiles(const std::vector<std::filesystem::path> &files);

} // namespace zx
