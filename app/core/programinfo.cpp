#include "programinfo.h"

#include <filesystem>

namespace zx {

std::string programNameFromFile(const std::string &fileName)
{
    const std::filesystem::path p(fileName);
    std::string name = p.filename().string();
    const auto dot = name.rfind('.');
    // A leading dot names a hidden file, not an extension.
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name;
}

std::string settingsPath(const std::string &programDir, const std::string &programName)
{
    return (std::filesystem::path(programDir) / (programName + ".ini")).string();
}

std::string imagesFolder(const std::string &programDir)
{
    return (std::filesystem::path(programDir) / "Images").string();
}

} // namespace zx
