#include "inilines.h"

#include <limits>
#include <stdexcept>
#include <utility>

namespace zx {

INIline &INIlines::add(std::string group, std::string section, std::string value)
{
    INIline &line = m_lines.emplace_back();
    line.setGroup(std::move(group));
    line.setSection(std::move(section));
    line.setValue(std::move(value));
    return line;
}

void INIlines::clear()
{
    m_lines.clear();
}

INIline &INIlines::item(std::int32_t vntIndexKey)
{
    return m_lines[checkedIndex(vntIndexKey)];
}

const INIline &INIlines::item(std::int32_t vntIndexKey) const
{
    return m_lines[checkedIndex(vntIndexKey)];
}

std::int32_t INIlines::count() const
{
    constexpr auto limit = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
    return static_cast<std::int32_t>(m_lines.size() < limit ? m_lines.size() : limit);
}

void INIlines::remove(std::int32_t vntIndexKey)
{
    m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(checkedIndex(vntIndexKey)));
}

std::size_t INIlines::checkedIndex(std::int32_t vntIndexKey) const
{
    if (vntIndexKey < 1 || static_cast<std::size_t>(vntIndexKey) > m_lines.size())
        throw std::out_of_range("INIlines: position out of range");
    return static_cast<std::size_t>(vntIndexKey) - 1;
}

} // namespace zx
