#include "newfile.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

namespace zx {

std::FILE *openNewFile(const std::filesystem::path &path)
{
    // The wide call: an 8-bit path goes through the code page, which cannot
    // name every folder. _O_EXCL, as fopen's "x" is not in every C runtime.
    const int fd = _wopen(
        path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return nullptr;
    std::FILE *file = _fdopen(fd, "wb");
    if (file == nullptr)
        _close(fd);
    return file;
}

} // namespace zx
