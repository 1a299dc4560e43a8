#include "folderentries.h"

#include "pathtext.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

namespace zx {

namespace {

std::string utf8(const wchar_t *name)
{
    return utf8FromPath(std::filesystem::path(name));
}

// Hidden and system files are not listed, as the system's own listing of a
// folder leaves them out: they are never numbered over, counted or deleted.
EntryType typeOf(DWORD attributes)
{
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0)
        return {};
    return { true, (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 };
}

} // namespace

bool visitEntries(const std::filesystem::path &folder, const std::function<bool(std::string_view)> &accept,
    const std::function<void(std::string_view, EntryType)> &visit)
{
    // The listing gives each entry's attributes with its name: nothing asked per file.
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW((folder / L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
        nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        const std::wstring_view wide(found.cFileName);
        if (wide == L"." || wide == L"..")
            continue;
        const std::string name = utf8(found.cFileName);
        if (accept(name))
            visit(name, typeOf(found.dwFileAttributes));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return true;
}

EntryType entryType(const std::filesystem::path &folder, std::string_view name)
{
    const DWORD attributes = GetFileAttributesW(entryPath(folder, name).c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ? EntryType {} : typeOf(attributes);
}

} // namespace zx
