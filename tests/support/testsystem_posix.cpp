#include "testsystem.h"

#include <zentrolux/tempbitmap.h>

#include <cstdlib>
#include <stdexcept>

namespace zx::test {

std::filesystem::path makePrivateFolder(const std::string &prefix)
{
    // In memory where the system has such a folder: as the runtime folder it is then where the
    // snapshot bitmap goes. mkdtemp makes it 0700.
    std::filesystem::path parent = std::filesystem::temp_directory_path();
    if (!detail::inMemory(parent.string()) && detail::inMemory(detail::SharedMemoryFolder))
        parent = detail::SharedMemoryFolder;
    std::string pattern = (parent / (prefix + "XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    return pattern;
}

void placeTempBitmapIn(const std::filesystem::path &folder)
{
    // The bitmap's folder is made in the runtime folder.
    ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
}

bool markFile(const std::filesystem::path &, bool)
{
    // Only a leading dot hides a file here.
    return false;
}

std::string writerPath(const std::filesystem::path &path)
{
    return path.string();
}

} // namespace zx::test
