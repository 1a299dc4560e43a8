#include "folderwrite.h"

#include <fcntl.h>
#include <unistd.h>

namespace zx {

bool mayAddFiles(const std::filesystem::path &folder)
{
    // The effective user decides, as it does when the file is written; a
    // read-only mount answers EROFS.
    return ::faccessat(AT_FDCWD, folder.c_str(), W_OK, AT_EACCESS) == 0;
}

} // namespace zx
