#include "writerpath.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace zx {

namespace {

// The text in the system's code page, only if it reads back as the same name:
// a letter the code page lacks would become '?' or a look-alike, another file.
std::optional<std::string> inCodePage(const std::wstring &wide)
{
    if (wide.empty())
        return std::nullopt;
    const UINT codePage = GetACP();
    const DWORD flags = codePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    const int size = WideCharToMultiByte(codePage, flags, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return std::nullopt;
    std::string text(std::size_t(size), '\0');
    WideCharToMultiByte(codePage, flags, wide.data(), int(wide.size()), text.data(), size, nullptr, nullptr);
    const int back = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    std::wstring again(std::size_t(back > 0 ? back : 0), L'\0');
    if (back > 0)
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, again.data(), back);
    if (again != wide)
        return std::nullopt;
    return text;
}

std::wstring shortName(const std::wstring &folder)
{
    const DWORD size = GetShortPathNameW(folder.c_str(), nullptr, 0);
    if (size == 0)
        return {};
    std::wstring name(size, L'\0');
    const DWORD length = GetShortPathNameW(folder.c_str(), name.data(), size);
    if (length == 0 || length >= size)
        return {};
    name.resize(length);
    return name;
}

} // namespace

std::optional<std::string> writerPathText(const std::filesystem::path &target)
{
    const std::filesystem::path full = target.is_absolute() ? target : std::filesystem::absolute(target);
    if (auto text = inCodePage(full.wstring()))
        return text;
    // The file itself does not exist yet; its folder's short name, where the
    // volume keeps short names, holds only letters every code page has.
    const std::wstring folder = shortName(full.parent_path().wstring());
    if (folder.empty())
        return std::nullopt;
    return inCodePage(folder + L"\\" + full.filename().wstring());
}

} // namespace zx
