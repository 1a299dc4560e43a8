// Loads arbitrary bytes as an INI file and checks what every loaded document
// must satisfy, including that rebuilding it for saving and loading the saved
// text gives the same entries back.

#include "inifile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>

namespace {

namespace fs = std::filesystem;

fs::path makeScratchFolder()
{
    std::random_device device;
    fs::path folder = fs::temp_directory_path() / ("zx-ini-fuzz-" + std::to_string(device()));
    fs::create_directories(folder);
    return folder;
}

const fs::path &scratchFolder()
{
    static const fs::path folder = makeScratchFolder();
    // Registered after the path is built, so it runs before the path is destroyed.
    [[maybe_unused]] static const int cleanup = std::atexit([] {
        std::error_code ec;
        fs::remove_all(scratchFolder(), ec);
    });
    return folder;
}

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

bool isUpperStable(std::string_view text)
{
    for (char c : text) {
        if (c >= 'a' && c <= 'z')
            return false;
    }
    return true;
}

bool isClean(std::string_view text)
{
    return text.find_first_of("\r\n\t") == std::string_view::npos
        && (text.empty() || (text.front() != ' ' && text.back() != ' '));
}

void writeFile(const fs::path &path, const std::uint8_t *data, std::size_t size)
{
    std::FILE *file = std::fopen(path.c_str(), "wb");
    check(file != nullptr, "scratch file cannot be created");
    check(std::fwrite(data, 1, size, file) == size, "scratch file cannot be written");
    std::fclose(file);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);

    std::string key, value;
    zx::INIfile::parseLine(text, key, value);
    check(isUpperStable(key) && isClean(key) && isClean(value), "parseLine result");
    check(key.empty() || key.front() != '[' || value.empty(), "header with a value");

    const fs::path input = scratchFolder() / "input.ini";
    writeFile(input, data, size);
    zx::INIfile doc;
    doc.loadFile(input);

    // A fresh list as a writer would build it: headers with an empty key.
    zx::INIfile rebuilt;
    std::string header;
    for (const zx::INIline &line : doc.iniLines()) {
        const std::string &section = line.section();
        check(!section.empty(), "empty key loaded");
        check(isUpperStable(section) && isClean(section), "key not upper-cased and trimmed");
        check(isUpperStable(line.group()) && isClean(line.group()) && isClean(line.value()),
            "group or value not clean");
        if (section.front() == '[') {
            check(line.group() == section && line.value().empty(), "header entry");
            header = section;
            rebuilt.iniLines().add(section);
        } else {
            check(line.group() == header, "entry not under the header above it");
            check(section.find('=') == std::string::npos, "key holds '='");
            rebuilt.iniLines().add(line.group(), section, line.value());
        }
    }

    const fs::path saved = scratchFolder() / "saved.ini";
    check(rebuilt.saveFile(saved), "save failed");
    zx::INIfile reloaded;
    reloaded.loadFile(saved);
    check(reloaded.iniLines().count() == doc.iniLines().count(), "entry count changed by save and load");
    auto it = reloaded.iniLines().begin();
    for (const zx::INIline &line : doc.iniLines()) {
        check(it->group() == line.group() && it->section() == line.section() && it->value() == line.value(),
            "entry changed by save and load");
        ++it;
    }
    return 0;
}
