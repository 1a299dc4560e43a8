#pragma once

#include <string>
#include <utility>

namespace zx {

// One entry of an INI document: the header it stands under (brackets
// included, empty before the first header), its key name and its value.
// A header read from a file holds its text in both group and section.
class INIline {
public:
    [[nodiscard]] const std::string &group() const { return m_group; }
    void setGroup(std::string vData) { m_group = std::move(vData); }

    [[nodiscard]] const std::string &section() const { return m_section; }
    void setSection(std::string vData) { m_section = std::move(vData); }

    [[nodiscard]] const std::string &value() const { return m_value; }
    void setValue(std::string vData) { m_value = std::move(vData); }

private:
    std::string m_group;
    std::string m_section;
    std::string m_value;
};

} // namespace zx
