#include "writerpath.h"

namespace zx {

std::optional<std::string> writerPathText(const std::filesystem::path &target)
{
    return target.string();
}

} // namespace zx
