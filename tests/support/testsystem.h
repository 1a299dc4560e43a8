#pragma once

#include <filesystem>
#include <string>

// What the tests need of the operating system beyond the standard library.
// One implementation per system; CMake picks the file.
namespace zx::test {

// A new folder under the system's temporary folder that only this user may enter.
[[nodiscard]] std::filesystem::path makePrivateFolder(const std::string &prefix);

// Points this process's temporary snapshot bitmap (zx::tempBitmapPath()) into
// `folder`, through the variables the system reads for it.
void placeTempBitmapIn(const std::filesystem::path &folder);

// Marks the file hidden (or, with system, a system file) as the system's own
// tools do; false on a system that has no such marks.
bool markFile(const std::filesystem::path &file, bool system);

// A path as the 8-bit text the writer's C entry point takes.
[[nodiscard]] std::string writerPath(const std::filesystem::path &path);

} // namespace zx::test
