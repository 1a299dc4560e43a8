#pragma once

#include "inilines.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace zx {

// An INI text file as an ordered list of entries. Loading upper-cases headers
// and key names; saving writes the list back as aligned text, CR LF after
// every line. Text is 8-bit: bytes above 127 pass through unchanged.
class INIfile {
public:
    // The entry list, created empty on first access.
    [[nodiscard]] INIlines &iniLines();
    void setIniLines(INIlines vNewValue);

    // When true, saveFile writes key names upper-cased.
    [[nodiscard]] bool ucaseSection() const { return m_ucaseSection; }
    void setUcaseSection(bool vNewValue) { m_ucaseSection = vNewValue; }

    // Blanks written before each key name; a negative count writes none.
    [[nodiscard]] std::int32_t leadingSpaces() const { return m_leadingSpaces; }
    void setLeadingSpaces(std::int32_t vNewValue) { m_leadingSpaces = vNewValue; }

    // 1-based column of the "=" of a key line (reached by padding, never by
    // cutting the key). Padding stops at column maxColumn.
    [[nodiscard]] std::int32_t equalPos() const { return m_equalPos; }
    void setEqualPos(std::int32_t vNewValue) { m_equalPos = vNewValue; }

    // Padding (leading blanks and blanks before "=") never takes a line past this column.
    static constexpr std::int32_t maxColumn = 32767;

    // Replaces the list by the entries of the file; a missing or unreadable
    // file leaves it empty. Lines end at LF (a CR before it is dropped), the
    // last line needs no terminator, and a UTF-8 byte-order mark is skipped.
    void loadFile(const std::filesystem::path &filename);

    // Writes the list to a new file beside the target and then replaces the
    // target with it in one step. Returns false when that failed; the old
    // file is then untouched and no temporary file is left behind.
    bool saveFile(const std::filesystem::path &filename) const;

    // Internal steps, public for the tests.
    // Splits one line into an upper-cased key (or whole header) and a value.
    static void parseLine(std::string_view line, std::string &key, std::string &value);
    // True for an existing regular file that can be opened for reading.
    [[nodiscard]] static bool fileExists(const std::filesystem::path &name);

    // The text saveFile writes for the current list and options.
    [[nodiscard]] std::string toText() const;

private:
    std::optional<INIlines> m_lines;
    bool m_ucaseSection = false;
    std::int32_t m_leadingSpaces = 3;
    std::int32_t m_equalPos = 17;
};

} // namespace zx
