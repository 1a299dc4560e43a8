#include "inifile.h"

#include "newfile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <exception>
#include <fstream>
#include <new>
#include <random>
#include <system_error>
#include <utility>

namespace zx {

namespace fs = std::filesystem;

namespace {

// ASCII only: bytes above 127 belong to whatever 8-bit code page the file
// uses and must come back unchanged.
void toUpperAscii(std::string &text)
{
    for (char &c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
}

std::string_view trimBlanks(std::string_view text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

std::string_view trimTrailingBlanks(std::string_view text)
{
    const auto last = text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view {} : text.substr(0, last + 1);
}

std::size_t clampColumn(std::int64_t column)
{
    return static_cast<std::size_t>(std::clamp<std::int64_t>(column, 0, INIfile::maxColumn));
}

bool readWholeFile(const fs::path &filename, std::string &content)
{
    std::ifstream in(filename, std::ios::binary);
    if (!in)
        return false;
    // Read until the end rather than trusting a size taken beforehand: the
    // file may change between the two.
    char buffer[16384];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
        content.append(buffer, static_cast<std::size_t>(in.gcount()));
    return !in.bad();
}

std::string uniqueSuffix()
{
    static std::atomic<unsigned> counter { 0 };
    std::uint64_t seed
        = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    try {
        std::random_device device;
        seed ^= (static_cast<std::uint64_t>(device()) << 32) ^ device();
    } catch (const std::exception &) {
        // The clock and the counter still keep names apart.
    }
    seed += counter.fetch_add(1) * 0x9E3779B97F4A7C15ull;
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(seed));
    return text;
}

// Creates a file that did not exist before, beside the target. Returns null
// when the folder does not let us.
std::FILE *createTemporary(const fs::path &target, fs::path &created)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        // Built as a path, not as text: the target's name may not fit the 8-bit encoding.
        fs::path name = ".";
        name += target.filename();
        name += ".";
        name += uniqueSuffix();
        name += ".tmp";
        const fs::path candidate = target.parent_path() / name;
        errno = 0;
        if (std::FILE *file = openNewFile(candidate)) {
            created = candidate;
            return file;
        }
        if (errno != EEXIST)
            return nullptr;
    }
    return nullptr;
}

} // namespace

INIlines &INIfile::iniLines()
{
    if (!m_lines)
        m_lines.emplace();
    return *m_lines;
}

void INIfile::setIniLines(INIlines vNewValue)
{
    m_lines = std::move(vNewValue);
}

void INIfile::parseLine(std::string_view line, std::string &key, std::string &value)
{
    key.clear();
    value.clear();

    std::string text(line);
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n' || c == '\t'; }, ' ');
    const std::string_view trimmed = trimBlanks(text);
    if (trimmed.empty())
        return;

    if (trimmed.front() == '[') {
        // The whole line is the header; nothing after "]" is cut off.
        key.assign(trimmed);
        toUpperAscii(key);
        return;
    }

    const auto equals = trimmed.find('=');
    if (equals == std::string_view::npos)
        return;
    key.assign(trimTrailingBlanks(trimmed.substr(0, equals)));
    toUpperAscii(key);
    value.assign(trimBlanks(trimmed.substr(equals + 1)));
}

bool INIfile::fileExists(const fs::path &name)
{
    // Only regular files: a FIFO or device would never end a read.
    std::error_code ec;
    if (!fs::is_regular_file(name, ec))
        return false;
    std::ifstream probe(name, std::ios::binary);
    return probe.is_open();
}

void INIfile::loadFile(const fs::path &filename)
{
    INIlines &lines = iniLines();
    lines.clear();
    if (!fileExists(filename))
        return;

    std::string content;
    try {
        if (!readWholeFile(filename, content))
            return;

        std::string_view rest(content);
        constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
        if (rest.substr(0, byteOrderMark.size()) == byteOrderMark)
            rest.remove_prefix(byteOrderMark.size());

        std::string header;
        std::string key;
        std::string value;
        while (!rest.empty()) {
            const auto lf = rest.find('\n');
            std::string_view line = rest.substr(0, lf);
            rest.remove_prefix(lf == std::string_view::npos ? rest.size() : lf + 1);
            if (lf != std::string_view::npos && !line.empty() && line.back() == '\r')
                line.remove_suffix(1);

            parseLine(line, key, value);
            if (key.empty())
                continue;
            if (key.front() == '[')
                header = key;
            lines.add(header, key, value);
        }
    } catch (const std::bad_alloc &) {
        // A file too large to hold counts as unreadable, like a missing one.
        lines.clear();
    }
}

std::string INIfile::toText() const
{
    std::string text;
    if (!m_lines)
        return text;

    const std::size_t leading = clampColumn(m_leadingSpaces);
    const std::size_t equalsColumn = clampColumn(static_cast<std::int64_t>(m_equalPos) - 1);
    for (const INIline &entry : *m_lines) {
        std::string group(trimBlanks(entry.group()));
        toUpperAscii(group);
        const std::string_view valueText = trimBlanks(entry.value());
        std::string section(trimBlanks(entry.section()));

        if (section.empty()) {
            // A header entry (or an all-blank one, which gives an empty line).
            text += group;
        } else {
            if (m_ucaseSection)
                toUpperAscii(section);
            const std::size_t lineStart = text.size();
            text.append(leading, ' ');
            text += section;
            const std::size_t width = text.size() - lineStart;
            if (width < equalsColumn)
                text.append(equalsColumn - width, ' ');
            if (valueText.empty()) {
                text += '=';
            } else {
                text += "= ";
                text += valueText;
            }
        }
        text += "\r\n";
    }
    return text;
}

bool INIfile::saveFile(const fs::path &filename) const
{
    // The old file is replaced only once the new text is safely on disk, so
    // a failed save never loses it.
    try {
        const std::string text = toText();

        fs::path temporary;
        std::FILE *file = createTemporary(filename, temporary);
        if (!file)
            return false;
        bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
        written = std::fflush(file) == 0 && written;
        written = std::fclose(file) == 0 && written;

        std::error_code ec;
        if (written) {
            // Keep the old file's permissions; the new one has the defaults.
            const fs::file_status old = fs::status(filename, ec);
            if (!ec && fs::is_regular_file(old))
                fs::permissions(temporary, old.permissions(), ec);
            ec.clear();
            fs::rename(temporary, filename, ec);
            if (!ec)
                return true;
        }
        fs::remove(temporary, ec);
        return false;
    } catch (const std::exception &) {
        // Out of memory, or a path the narrow file functions cannot name.
        return false;
    }
}

} // namespace zx
