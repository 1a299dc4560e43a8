#pragma once

#include <filesystem>

namespace zx {

// Whether this user may add files to the folder: its permissions, as the
// system judges them for this process, and a medium that takes writes. False
// for a missing folder. One implementation per system; CMake picks the file.
[[nodiscard]] bool mayAddFiles(const std::filesystem::path &folder);

} // namespace zx
