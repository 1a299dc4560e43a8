#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace zx {

// The program's text is UTF-8. A path made from a plain std::string reads it
// in Windows' 8-bit code page, which cannot hold most names; these read and
// give UTF-8 on every system (on POSIX systems the bytes pass unchanged).
[[nodiscard]] inline std::filesystem::path pathFromUtf8(std::string_view text)
{
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

[[nodiscard]] inline std::string utf8FromPath(const std::filesystem::path &path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

} // namespace zx
