#pragma once

#include <cstdio>
#include <filesystem>

namespace zx {

// Creates a file that must not exist yet and opens it for binary writing.
// Null when that fails, with errno EEXIST when the name is taken. The path is
// handed to the system as it is, whatever script its names are in. One
// implementation per system; CMake picks the file.
[[nodiscard]] std::FILE *openNewFile(const std::filesystem::path &path);

} // namespace zx
