#include "privatefile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace zx {

struct PrivateFile::Handle {
    std::string path;
    int fd = -1;
    bool created = false; // ours to remove again
    bool finished = false;
};

PrivateFile::PrivateFile(const std::string &path)
    : m_handle(std::make_unique<Handle>())
{
    m_handle->path = path;
    m_handle->fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    m_handle->created = m_handle->fd >= 0;
}

PrivateFile::~PrivateFile()
{
    if (m_handle->fd >= 0)
        ::close(m_handle->fd);
    if (m_handle->created && !m_handle->finished)
        ::unlink(m_handle->path.c_str());
}

bool PrivateFile::isOpen() const
{
    return m_handle->fd >= 0;
}

bool PrivateFile::write(std::span<const std::uint8_t> bytes)
{
    while (!bytes.empty()) {
        const ssize_t done = ::write(m_handle->fd, bytes.data(), bytes.size());
        if (done <= 0) {
            if (done < 0 && errno == EINTR)
                continue;
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(done));
    }
    return true;
}

bool PrivateFile::finish(std::optional<std::chrono::system_clock::time_point> modified)
{
    if (modified && m_handle->fd >= 0) {
        const auto since = modified->time_since_epoch();
        const auto seconds = std::chrono::floor<std::chrono::seconds>(since);
        const timespec time { static_cast<time_t>(seconds.count()),
            static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count()) };
        const timespec times[2] = { { 0, UTIME_OMIT }, time }; // access time as it is
        ::futimens(m_handle->fd, times);
    }
    const int fd = std::exchange(m_handle->fd, -1);
    m_handle->finished = fd >= 0 && ::close(fd) == 0;
    return m_handle->finished;
}

} // namespace zx
