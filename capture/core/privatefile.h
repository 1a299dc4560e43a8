#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace zx {

// Writes `bytes` as the whole file at `path` (UTF-8), replacing a file of that
// name but never writing through a link, readable by the owner only. False,
// with no file left, when it cannot be written. One implementation per
// system; CMake picks the file.
[[nodiscard]] bool writePrivateFile(const std::string &path, std::span<const std::uint8_t> bytes);

} // namespace zx
