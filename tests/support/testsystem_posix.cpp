#include "testsystem.h"

#include <cstdlib>
#include <stdexcept>

namespace zx::test {

std::filesystem::path makePrivateFolder(const std::string &prefix)
{
    // mkdtemp makes it 0700.
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    return pattern;
}

void placeTempBitmapIn(const std::filesystem::path &folder)
{
    // The bitmap's folder is made in the runtime folder.
    ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
}

std::string writerPath(const std::filesystem::path &path)
{
    return path.string();
}

} // namespace zx::test
