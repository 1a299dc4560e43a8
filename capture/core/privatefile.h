#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace zx {

// A new file at `path` (UTF-8) written in pieces, replacing a file of that
// name but never writing through a link, readable by the owner only. Unless
// finish() succeeds it is removed again: no half-written file is left. One
// implementation per system; CMake picks the file.
class PrivateFile {
public:
    explicit PrivateFile(const std::string &path);
    ~PrivateFile();
    PrivateFile(const PrivateFile &) = delete;
    PrivateFile &operator=(const PrivateFile &) = delete;

    [[nodiscard]] bool isOpen() const;
    [[nodiscard]] bool write(std::span<const std::uint8_t> bytes);
    // Closes the file; true when every piece reached it. With `modified`, that
    // becomes its modification time, as finely as the file system keeps it (a
    // file system that refuses leaves the time of the last write, moments later).
    [[nodiscard]] bool finish(std::optional<std::chrono::system_clock::time_point> modified = std::nullopt);

private:
    struct Handle;
    std::unique_ptr<Handle> m_handle;
};

} // namespace zx
