// Loads arbitrary bytes as an INI file, checks what every loaded document must
// satisfy, and that saving it the way a writer would and loading the saved
// text gives the same entries back.

#include "../ini/tempdir.h"
#include "inifile.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Aborts, so that libFuzzer keeps the input, naming the broken invariant.
#define CHECK(cond) ((cond) ? void() : (std::fprintf(stderr, "invariant broken: %s\n", #cond), std::abort()))

namespace {

// Trimmed, free of CR, LF and TAB, and for keys free of lower-case letters.
bool isClean(std::string_view text, bool upper = true)
{
    return text.find_first_of(upper ? "\r\n\tabcdefghijklmnopqrstuvwxyz" : "\r\n\t") == std::string_view::npos
        && (text.empty() || (text.front() != ' ' && text.back() != ' '));
}

bool same(const zx::INIline &a, const zx::INIline &b)
{
    return a.group() == b.group() && a.section() == b.section() && a.value() == b.value();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const zx::test::TempDir scratch;
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    std::string key, value;
    zx::INIfile::parseLine(text, key, value);
    CHECK(isClean(key) && isClean(value, false));
    CHECK(key.empty() || key.front() != '[' || value.empty());

    zx::test::writeBytes(scratch / "input.ini", text);
    zx::INIfile doc, rebuilt;
    doc.loadFile(scratch / "input.ini");
    std::string header;
    for (const zx::INIline &line : doc.iniLines()) {
        const std::string &section = line.section();
        CHECK(!section.empty() && isClean(section) && isClean(line.group()) && isClean(line.value(), false));
        if (section.front() == '[') {
            CHECK(line.group() == section && line.value().empty());
            header = section;
            rebuilt.iniLines().add(section); // a writer's header entry has no key
        } else {
            CHECK(line.group() == header && section.find('=') == std::string::npos);
            rebuilt.iniLines().add(line.group(), section, line.value());
        }
    }

    CHECK(rebuilt.saveFile(scratch / "saved.ini"));
    zx::INIfile reloaded;
    reloaded.loadFile(scratch / "saved.ini");
    const zx::INIlines &before = doc.iniLines(), &after = reloaded.iniLines();
    CHECK(std::equal(before.begin(), before.end(), after.begin(), after.end(), same));
    return 0;
}
