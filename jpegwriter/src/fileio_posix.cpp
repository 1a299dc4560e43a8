#include "fileio.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zx::fileio {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    {
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    [[nodiscard]] int get() const { return m_fd; }

    // Closing can report a write that failed late (full disk on a network share).
    [[nodiscard]] bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool writeAll(int fd, std::span<const std::uint8_t> bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written <= 0) {
            if (written < 0 && errno == EINTR)
                continue;
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

std::string temporaryName(const std::string &folder, const std::string &name)
{
    // Unique enough within the folder; O_EXCL settles any clash. The leading dot
    // keeps it out of listings, and it never ends in ".jpg".
    static std::atomic<unsigned> counter { 0 };
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%ld.%u.%llx.tmp", static_cast<long>(::getpid()), counter++,
        static_cast<unsigned long long>(ticks) & 0xffffffffffull);
    // Part of the name is enough to tell whose it is; all of it could overflow NAME_MAX.
    return folder + "/." + name.substr(0, 64) + suffix;
}

bool unsupported(int error)
{
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP || error == EPERM;
}

PublishResult placeUnderFinalName(
    const std::string &temporary, const std::string &target, PublishMethod method)
{
#ifdef RENAME_NOREPLACE
    if (method == PublishMethod::Best) {
        if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
            return PublishResult::Published;
        if (errno == EEXIST)
            return PublishResult::Exists;
        // EPERM is not "unsupported" here; it means the folder refuses us.
        if (errno == EPERM || !unsupported(errno))
            return PublishResult::Failed;
        method = PublishMethod::LinkThenUnlink;
    }
#endif
    if (method == PublishMethod::Best || method == PublishMethod::LinkThenUnlink) {
        if (::link(temporary.c_str(), target.c_str()) == 0) {
            ::unlink(temporary.c_str());
            return PublishResult::Published;
        }
        if (errno == EEXIST)
            return PublishResult::Exists;
        // FAT file systems answer EPERM: they have no hard links.
        if (!unsupported(errno))
            return PublishResult::Failed;
    }
    // Claiming the name with O_EXCL keeps anyone else's file safe; the rename then
    // replaces only our own empty placeholder, so the name never shows a partial file.
    const int placeholder
        = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (placeholder < 0)
        return errno == EEXIST ? PublishResult::Exists : PublishResult::Failed;
    ::close(placeholder);
    if (::rename(temporary.c_str(), target.c_str()) == 0)
        return PublishResult::Published;
    ::unlink(target.c_str());
    return PublishResult::Failed;
}

FileTime modifiedTime(const struct stat &info)
{
    // tv_nsec is 0..999999999 also before 1970: the milliseconds count up from the second.
    return { static_cast<std::int64_t>(info.st_mtim.tv_sec), static_cast<int>(info.st_mtim.tv_nsec / 1'000'000) };
}

} // namespace

std::optional<FileBytes> readWholeFile(const std::string &path, std::size_t maxBytes)
{
    Descriptor file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0)
        return std::nullopt;
    struct stat info { };
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0
        || static_cast<std::uint64_t>(info.st_size) > maxBytes)
        return std::nullopt;

    const auto capacity = static_cast<std::size_t>(info.st_size);
    auto data = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
    std::size_t size = 0;
    // One read normally does it; the loop covers signals and a file that shrank.
    while (size < capacity) {
        const ssize_t got = ::read(file.get(), data.get() + size, capacity - size);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (got == 0)
            break;
        size += static_cast<std::size_t>(got);
    }
    return FileBytes(std::move(data), size, modifiedTime(info));
}

std::optional<exif::LocalMoment> localMoment(FileTime time)
{
    const auto seconds = static_cast<std::time_t>(time.seconds);
    if (seconds != time.seconds)
        return std::nullopt;
    // Reads the zone afresh, should the user have changed it since the last snapshot.
    ::tzset();
    std::tm local {};
    if (::localtime_r(&seconds, &local) == nullptr)
        return std::nullopt;
    const long long year = local.tm_year + 1900LL;
    if (year < 0 || year > 9999)
        return std::nullopt;
    return exif::LocalMoment { static_cast<int>(year), local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
        local.tm_sec, time.milliseconds, static_cast<int>(local.tm_gmtoff / 60) };
}

bool nameTaken(const std::string &path)
{
    struct stat info { };
    return ::lstat(path.c_str(), &info) == 0;
}

PublishResult publishNewFile(
    const std::string &target, std::span<const std::uint8_t> bytes, PublishMethod method)
{
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return PublishResult::Failed;

    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = temporaryName(folder, name);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return PublishResult::Failed;
    }
    if (fd < 0)
        return PublishResult::Failed;

    Descriptor file(fd);
    const bool written = writeAll(file.get(), bytes);
    if (!file.close() || !written) {
        ::unlink(temporary.c_str());
        return PublishResult::Failed;
    }
    const PublishResult result = placeUnderFinalName(temporary, target, method);
    if (result != PublishResult::Published)
        ::unlink(temporary.c_str());
    return result;
}

} // namespace zx::fileio
