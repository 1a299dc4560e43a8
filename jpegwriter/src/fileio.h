#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

// File access of the JPEG writer; one implementation per platform.
namespace zx::fileio {

class FileBytes {
public:
    FileBytes(std::unique_ptr<std::uint8_t[]> data, std::size_t size)
        : m_data(std::move(data))
        , m_size(size)
    {
    }

    [[nodiscard]] std::span<const std::uint8_t> bytes() const { return { m_data.get(), m_size }; }

private:
    std::unique_ptr<std::uint8_t[]> m_data;
    std::size_t m_size;
};

// The whole of a regular file, opened without following a link in its last
// component. No result when it is missing, not a regular file, larger than
// `maxBytes` or unreadable. Paths are UTF-8.
[[nodiscard]] std::optional<FileBytes> readWholeFile(const std::string &path, std::size_t maxBytes);

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
