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

} // namespace zx
