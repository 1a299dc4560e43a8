#include "folderentries.h"

#include <string>
#include <system_error>

namespace zx {

namespace {

EntryType typeOf(const std::filesystem::directory_entry &entry)
{
    std::error_code ec;
    EntryType type;
    type.link = entry.is_symlink(ec);
    type.file = entry.is_regular_file(ec);
    return type;
}

} // namespace

bool visitEntries(const std::filesystem::path &folder, const std::function<bool(std::string_view)> &accept,
    const std::function<void(std::string_view, EntryType)> &visit)
{
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec)
        return false;
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::u8string utf8 = it->path().filename().u8string();
        const std::string name(utf8.begin(), utf8.end());
        if (accept(name))
            visit(name, typeOf(*it));
    }
    return true;
}

EntryType entryType(const std::filesystem::path &folder, std::string_view name)
{
    std::error_code ec;
    const std::filesystem::directory_entry entry(entryPath(folder, name), ec);
    return ec ? EntryType {} : typeOf(entry);
}

} // namespace zx
