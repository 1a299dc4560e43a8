#include "folderwatch.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <iterator>

namespace zx {

namespace {

// File systems whose every change passes through this kernel, so inotify sees
// it. On network and FUSE file systems other machines' changes go unseen:
// there the folder is listed for every snapshot, as without a watch.
constexpr std::uint32_t LocalFileSystems[] = {
    0xEF53, // ext2, ext3, ext4
    0x58465342, // xfs
    0x9123683E, // btrfs
    0xF2F52010, // f2fs
    0x01021994, // tmpfs
    0x858458f6, // ramfs
    0x794c7630, // overlayfs
    0x4d44, // vfat
    0x2011BAB0, // exfat
    0x7366746e, // ntfs3
    0x2fc12fc1, // zfs
    0xca451a4e, // bcachefs
    0x3153464a, // jfs
    0x52654973, // reiserfs
    0x3434, // nilfs2
    0x482b, // hfsplus
};

bool onLocalFileSystem(const char *path)
{
    struct statfs info { };
    if (::statfs(path, &info) != 0)
        return false;
    const auto type = static_cast<std::uint32_t>(info.f_type);
    return std::find(std::begin(LocalFileSystems), std::end(LocalFileSystems), type)
        != std::end(LocalFileSystems);
}

bool sameFolder(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

class InotifyFolderWatch final : public FolderWatch {
public:
    InotifyFolderWatch()
        : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
    }
    InotifyFolderWatch(const InotifyFolderWatch &) = delete;
    InotifyFolderWatch &operator=(const InotifyFolderWatch &) = delete;
    ~InotifyFolderWatch() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool watch(const std::filesystem::path &folder) override
    {
        forget();
        if (m_fd < 0)
            return false;
        m_path = folder.string();
        struct stat before { };
        if (::stat(m_path.c_str(), &before) != 0 || !S_ISDIR(before.st_mode)
            || !onLocalFileSystem(m_path.c_str()))
            return false;
        const int wd = ::inotify_add_watch(m_fd, m_path.c_str(),
            IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM | IN_DELETE_SELF | IN_MOVE_SELF | IN_ATTRIB
                | IN_ONLYDIR);
        if (wd < 0)
            return false; // out of watches, say
        // The watch must be on the folder the path names: replaced meanwhile, it is not trusted.
        struct stat after { };
        if (::stat(m_path.c_str(), &after) != 0 || !sameFolder(before, after)) {
            ::inotify_rm_watch(m_fd, wd);
            return false;
        }
        m_wd = wd;
        m_folder = after;
        return true;
    }

    bool takeEvents(std::vector<FolderEvent> &events) override
    {
        if (m_wd < 0)
            return false;
        alignas(inotify_event) char buffer[16 * 1024];
        for (;;) {
            const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0 && errno == EAGAIN)
                break;
            if (got <= 0)
                return lost();
            for (const char *p = buffer; p < buffer + got;) {
                const auto *event = reinterpret_cast<const inotify_event *>(p);
                p += sizeof(inotify_event) + event->len;
                if (event->mask & IN_Q_OVERFLOW)
                    return lost();
                if (event->wd != m_wd)
                    continue; // left over from an earlier watch
                if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT))
                    return lost();
                // The folder's own permissions changed: it may no longer be listable.
                if ((event->mask & IN_ATTRIB) && event->len == 0)
                    return lost();
                if ((event->mask & (IN_ISDIR | IN_ATTRIB)) || event->len == 0)
                    continue;
                const bool added = event->mask & (IN_CREATE | IN_MOVED_TO);
                events.push_back(
                    { added ? FolderEvent::Kind::Added : FolderEvent::Kind::Removed, event->name });
            }
        }
        // The path may now lead elsewhere: a parent renamed, the folder made anew,
        // a link re-pointed. None of that reaches the watch.
        struct stat now { };
        if (::stat(m_path.c_str(), &now) != 0 || !sameFolder(now, m_folder))
            return lost();
        return true;
    }

private:
    bool lost()
    {
        forget();
        return false;
    }

    // Drops the watch and whatever it queued, so a new watch starts clean.
    void forget()
    {
        if (m_wd >= 0)
            ::inotify_rm_watch(m_fd, m_wd);
        m_wd = -1;
        if (m_fd < 0)
            return;
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
            if (got <= 0 && !(got < 0 && errno == EINTR))
                break;
        }
    }

    int m_fd;
    int m_wd = -1;
    std::string m_path;
    struct stat m_folder { };
};

} // namespace

std::unique_ptr<FolderWatch> makeFolderWatch()
{
    return std::make_unique<InotifyFolderWatch>();
}

} // namespace zx
