#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace zx::test {

namespace fs = std::filesystem;

// A fresh folder under the system temp folder, removed with everything in it.
struct TempDir {
    fs::path path = fs::temp_directory_path()
        / ("zx-test-" + std::to_string(std::random_device {}()) + std::to_string(std::random_device {}()));
    TempDir() { fs::create_directories(path); }
    std::error_code ec; // a failed clean-up is ignored
    ~TempDir() { fs::remove_all(path, ec); }
    fs::path operator/(std::string_view name) const { return path / name; }
};

inline void writeBytes(const fs::path &path, std::string_view bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string readBytes(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), {} };
}

} // namespace zx::test
