#include "folderwrite.h"

#include <atomic>
#include <cwchar>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace zx {

bool mayAddFiles(const std::filesystem::path &folder)
{
    // The access functions look at the read-only attribute alone, which
    // Windows ignores on folders; whether the folder's access list (or a
    // read-only medium) lets us add a file shows only by trying. The probe is
    // hidden and goes when its handle closes.
    static std::atomic<unsigned> counter { 0 };
    for (int attempt = 0; attempt < 10; ++attempt) {
        wchar_t name[64];
        std::swprintf(name, 64, L"~zx-probe.%lu.%u.tmp", GetCurrentProcessId(), counter++);
        const std::filesystem::path probe = folder / name;
        const HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS)
            return false;
    }
    return false;
}

} // namespace zx
