#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace zx {

// The JPEG file's path as DIWriteJpg reads it: 8-bit text, the file system's
// bytes on POSIX systems, the system's code page on Windows. Where that code
// page cannot spell the path, the folder's short name is tried; nullopt when
// no 8-bit text names the file exactly.
[[nodiscard]] std::optional<std::string> writerPathText(const std::filesystem::path &target);

} // namespace zx
