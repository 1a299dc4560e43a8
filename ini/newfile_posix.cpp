#include "newfile.h"

namespace zx {

std::FILE *openNewFile(const std::filesystem::path &path)
{
    // "x": fail instead of reusing a file that someone else created.
    return std::fopen(path.c_str(), "wbx");
}

} // namespace zx
