#pragma once

#include "exif.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

// File access of the JPEG writer; one implementation per platform.
namespace zx::fileio {

// A file's modification time: since 1970-01-01 00:00 UTC, milliseconds left
// over below a whole second (0..999, also before 1970).
struct FileTime {
    std::int64_t seconds = 0;
    int milliseconds = 0;
    friend bool operator==(const FileTime &, const FileTime &) = default;
};

class FileBytes {
public:
    FileBytes(std::unique_ptr<std::uint8_t[]> data, std::size_t size, FileTime modified)
        : m_data(std::move(data))
        , m_size(size)
        , m_modified(modified)
    {
    }

    [[nodiscard]] std::span<const std::uint8_t> bytes() const { return { m_data.get(), m_size }; }
    [[nodiscard]] FileTime modified() const { return m_modified; }

private:
    std::unique_ptr<std::uint8_t[]> m_data;
    std::size_t m_size;
    FileTime m_modified;
};

// The whole of a regular file and its modification time, opened without
// following a link in its last component. No result when it is missing, not a
// regular file, larger than `maxBytes` or unreadable. Paths are UTF-8.
[[nodiscard]] std::optional<FileBytes> readWholeFile(const std::string &path, std::size_t maxBytes);

// The moment in the system's local time zone, with the zone's offset from UTC
// at that moment (daylight saving time included). None for a moment the
// system cannot place or EXIF cannot write (before year 0, after 9999).
[[nodiscard]] std::optional<exif::LocalMoment> localMoment(FileTime time);

// Something (even a dangling link) has this name. Paths in the system's 8-bit encoding.
[[nodiscard]] bool nameTaken(const std::string &path);

enum class PublishResult { Published, Exists, Failed };

// How a finished temporary file gets its final name without replacing anything.
// Best picks the first one the file system supports; the others are its
// fallbacks, selectable so that each can be tried. Windows has only one way.
enum class PublishMethod {
    Best, // an atomic rename that refuses to replace
    LinkThenUnlink, // a second name, which refuses to replace, then drop the first
    ReserveThenRename, // for file systems without links: claim the name empty, then rename over it
};

// Writes `bytes` to a new file at `target`: first to a temporary file in the same
// folder, then under the final name, which is never replaced. Nothing is left
// behind unless the result is Published.
[[nodiscard]] PublishResult publishNewFile(const std::string &target, std::span<const std::uint8_t> bytes,
    PublishMethod method = PublishMethod::Best);

} // namespace zx::fileio
