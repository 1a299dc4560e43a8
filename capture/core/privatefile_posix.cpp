#include "privatefile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace zx {

bool writePrivateFile(const std::string &path, std::span<const std::uint8_t> bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool written = true;
    while (written && !bytes.empty()) {
        const ssize_t done = ::write(fd, bytes.data(), bytes.size());
        if (done <= 0) {
            written = done < 0 && errno == EINTR;
            continue;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(done));
    }
    if (::close(fd) != 0 || !written) {
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

} // namespace zx
