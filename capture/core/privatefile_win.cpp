#include "privatefile.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace zx {

// The folder it goes to, the user's temporary folder, is the user's alone: no
// one else can put a link there, and a new file takes the folder's access list.
struct PrivateFile::Handle {
    std::filesystem::path path;
    std::ofstream out;
    bool created = false;
    bool finished = false;
};

PrivateFile::PrivateFile(const std::string &path)
    : m_handle(std::make_unique<Handle>())
{
    m_handle->path = std::filesystem::path(std::u8string(path.begin(), path.end()));
    m_handle->out.open(m_handle->path, std::ios::binary | std::ios::trunc);
    m_handle->created = m_handle->out.is_open();
}

PrivateFile::~PrivateFile()
{
    if (m_handle->created && !m_handle->finished) {
        m_handle->out.close();
        std::error_code ignored;
        std::filesystem::remove(m_handle->path, ignored);
    }
}

bool PrivateFile::isOpen() const
{
    return m_handle->out.is_open();
}

bool PrivateFile::write(std::span<const std::uint8_t> bytes)
{
    m_handle->out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(m_handle->out);
}

namespace {

// FILETIME counts 100 ns from 1601-01-01 UTC.
constexpr std::int64_t TicksTo1970 = 116'444'736'000'000'000;

void setModified(const std::filesystem::path &path, std::chrono::system_clock::time_point modified)
{
    using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;
    const std::int64_t ticks
        = std::chrono::floor<Ticks>(modified.time_since_epoch()).count() + TicksTo1970;
    if (ticks < 0)
        return;
    const FILETIME time { static_cast<DWORD>(ticks), static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32) };
    // The stream has no handle to give; the file is opened again for its attributes alone.
    const HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
}

} // namespace

bool PrivateFile::finish(std::optional<std::chrono::system_clock::time_point> modified)
{
    m_handle->out.close();
    m_handle->finished = static_cast<bool>(m_handle->out);
    if (m_handle->finished && modified)
        setModified(m_handle->path, *modified);
    return m_handle->finished;
}

} // namespace zx
