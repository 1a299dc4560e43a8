#pragma once

#include "iniline.h"

#include <cstdint>
#include <deque>
#include <string>

namespace zx {

// Ordered list of INI entries, addressed by 1-based position. It is never
// sorted or searched by name: callers scan it themselves.
class INIlines {
public:
    using iterator = std::deque<INIline>::iterator;
    using const_iterator = std::deque<INIline>::const_iterator;

    // Appends a new entry and returns it. The reference stays valid while
    // entries are only added (not removed or cleared).
    INIline &add(std::string group, std::string section = {}, std::string value = {});

    void clear();

    // 1-based; a position outside 1..count() throws std::out_of_range.
    [[nodiscard]] INIline &item(std::int32_t vntIndexKey);
    [[nodiscard]] const INIline &item(std::int32_t vntIndexKey) const;

    // Saturates at the 32-bit limit; a list that long does not fit in memory anyway.
    [[nodiscard]] std::int32_t count() const;

    // 1-based; the entries behind move up by one. Out of range throws std::out_of_range.
    void remove(std::int32_t vntIndexKey);

    // The enumerator: entries in list order.
    iterator begin() { return m_lines.begin(); }
    iterator end() { return m_lines.end(); }
    [[nodiscard]] const_iterator begin() const { return m_lines.begin(); }
    [[nodiscard]] const_iterator end() const { return m_lines.end(); }

private:
    [[nodiscard]] std::size_t checkedIndex(std::int32_t vntIndexKey) const;

    // A deque keeps references returned by add() valid as the list grows.
    std::deque<INIline> m_lines;
};

} // namespace zx
