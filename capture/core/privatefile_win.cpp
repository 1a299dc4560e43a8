#include "privatefile.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace zx {

// The folder it goes to, the user's temporary folder, is the user's alone: no
// one else can put a link there, and a new file takes the folder's access list.
bool writePrivateFile(const std::string &path, std::span<const std::uint8_t> bytes)
{
    const std::filesystem::path target(std::u8string(path.begin(), path.end()));
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (out)
        return true;
    std::error_code ignored;
    std::filesystem::remove(target, ignored);
    return false;
}

} // namespace zx
