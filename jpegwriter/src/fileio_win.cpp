#include "fileio.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace zx::fileio {

namespace {

std::wstring widen(const std::string &text, UINT codePage)
{
    if (text.empty())
        return {};
    const int size = MultiByteToWideChar(
        codePage, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(
        codePage, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

class Handle {
public:
    explicit Handle(HANDLE handle)
        : m_handle(handle)
    {
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    ~Handle()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }

    [[nodiscard]] HANDLE get() const { return m_handle; }

    [[nodiscard]] bool close()
    {
        const HANDLE handle = m_handle;
        m_handle = INVALID_HANDLE_VALUE;
        return CloseHandle(handle) != 0;
    }

private:
    HANDLE m_handle;
};

// FILETIME counts 100 ns from 1601-01-01 UTC.
constexpr std::int64_t TicksPerSecond = 10'000'000;
constexpr std::int64_t TicksPerMillisecond = 10'000;
constexpr std::int64_t TicksTo1970 = 116'444'736'000'000'000;

std::int64_t ticksOf(const FILETIME &time)
{
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime);
}

FileTime fileTimeOf(const FILETIME &written)
{
    const std::int64_t ticks = ticksOf(written) - TicksTo1970;
    std::int64_t seconds = ticks / TicksPerSecond;
    std::int64_t rest = ticks % TicksPerSecond;
    if (rest < 0) {
        --seconds;
        rest += TicksPerSecond;
    }
    return { seconds, static_cast<int>(rest / TicksPerMillisecond) };
}

} // namespace

std::optional<FileBytes> readWholeFile(const std::string &path, std::size_t maxBytes)
{
    const std::wstring widePath = widen(path, CP_UTF8);
    if (widePath.empty())
        return std::nullopt;
    // FILE_FLAG_OPEN_REPARSE_POINT: a link is opened as itself and then refused below.
    Handle file(CreateFileW(widePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info {};
    if (!GetFileInformationByHandle(file.get(), &info)
        || (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0)
        return std::nullopt;
    const std::uint64_t fileSize = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (fileSize > maxBytes)
        return std::nullopt;

    const auto capacity = static_cast<std::size_t>(fileSize);
    auto data = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
    std::size_t size = 0;
    while (size < capacity) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(capacity - size, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(file.get(), data.get() + size, chunk, &got, nullptr))
            return std::nullopt;
        if (got == 0)
            break;
        size += got;
    }
    return FileBytes(std::move(data), size, fileTimeOf(info.ftLastWriteTime));
}

std::optional<exif::LocalMoment> localMoment(FileTime time)
{
    // Far beyond any year EXIF can write, and clear of overflow below.
    constexpr std::int64_t Limit = std::int64_t { 1 } << 40;
    if (time.seconds < -Limit || time.seconds > Limit)
        return std::nullopt;
    const std::int64_t ticks = time.seconds * TicksPerSecond + time.milliseconds * TicksPerMillisecond + TicksTo1970;
    if (ticks < 0)
        return std::nullopt;
    const FILETIME utc { static_cast<DWORD>(ticks), static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32) };
    SYSTEMTIME utcParts {};
    SYSTEMTIME localParts {};
    FILETIME local {};
    // The zone's rules for that moment, daylight saving time included (FileTimeToLocalFileTime
    // would apply today's instead).
    if (!FileTimeToSystemTime(&utc, &utcParts) || !SystemTimeToTzSpecificLocalTime(nullptr, &utcParts, &localParts)
        || !SystemTimeToFileTime(&localParts, &local) || localParts.wYear > 9999)
        return std::nullopt;
    const double offsetMinutes = static_cast<double>(ticksOf(local) - ticks) / (60.0 * TicksPerSecond);
    return exif::LocalMoment { localParts.wYear, localParts.wMonth, localParts.wDay, localParts.wHour,
        localParts.wMinute, localParts.wSecond, localParts.wMilliseconds, static_cast<int>(std::lround(offsetMinutes)) };
}

bool nameTaken(const std::string &path)
{
    const std::wstring widePath = widen(path, CP_ACP);
    return !widePath.empty() && GetFileAttributesW(widePath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

PublishResult publishNewFile(const std::string &target, std::span<const std::uint8_t> bytes, PublishMethod)
{
    const std::wstring wideTarget = widen(target, CP_ACP);
    const std::size_t slash = wideTarget.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? L"." : wideTarget.substr(0, slash);
    const std::wstring name = slash == std::wstring::npos ? wideTarget : wideTarget.substr(slash + 1);
    if (name.empty())
        return PublishResult::Failed;

    static std::atomic<unsigned> counter { 0 };
    std::wstring temporary;
    HANDLE created = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && created == INVALID_HANDLE_VALUE; ++attempt) {
        wchar_t suffix[64];
        std::swprintf(suffix, 64, L".%lu.%u.%llx.tmp", GetCurrentProcessId(), counter++,
            static_cast<unsigned long long>(GetTickCount64()));
        temporary = folder + L"\\~" + name.substr(0, 64) + suffix;
        created = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY, nullptr);
        if (created == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            return PublishResult::Failed;
    }
    if (created == INVALID_HANDLE_VALUE)
        return PublishResult::Failed;

    Handle file(created);
    bool written = true;
    while (written && !bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD done = 0;
        written = WriteFile(file.get(), bytes.data(), chunk, &done, nullptr) != 0;
        bytes = bytes.subspan(done);
    }
    if (!file.close() || !written) {
        DeleteFileW(temporary.c_str());
        return PublishResult::Failed;
    }
    SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    // Without MOVEFILE_REPLACE_EXISTING the move refuses an existing name.
    if (MoveFileExW(temporary.c_str(), wideTarget.c_str(), 0))
        return PublishResult::Published;
    const DWORD error = GetLastError();
    DeleteFileW(temporary.c_str());
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? PublishResult::Exists
                                                                       : PublishResult::Failed;
}

} // namespace zx::fileio
