#include "testsystem.h"

#include <random>
#include <stdexcept>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace zx::test {

std::filesystem::path makePrivateFolder(const std::string &prefix)
{
    // The temporary folder is the user's own; a new name is enough.
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto folder = std::filesystem::temp_directory_path() / (prefix + std::to_string(random()));
        if (std::filesystem::create_directory(folder))
            return folder;
    }
    throw std::runtime_error("no new temporary folder");
}

void placeTempBitmapIn(const std::filesystem::path &folder)
{
    // GetTempPathW reads TMP first.
    if (!SetEnvironmentVariableW(L"TMP", folder.c_str()))
        throw std::runtime_error("cannot set TMP");
}

bool markFile(const std::filesystem::path &file, bool system)
{
    return SetFileAttributesW(file.c_str(), system ? FILE_ATTRIBUTE_SYSTEM : FILE_ATTRIBUTE_HIDDEN) != 0;
}

std::string writerPath(const std::filesystem::path &path)
{
    // The writer takes the system code page, as the ANSI functions do.
    const std::wstring wide = path.wstring();
    if (wide.empty())
        return {};
    const int size = WideCharToMultiByte(
        CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(
        CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size, nullptr, nullptr);
    return text;
}

} // namespace zx::test
