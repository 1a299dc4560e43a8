#include "snapshotnames.h"

#include "folderentries.h"
#include "numbers.h"

#include <cstdio>
#include <system_error>

namespace zx {

namespace {

char upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix)
{
    if (s.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (upper(s[i]) != upper(prefix[i]))
            return false;
    }
    return true;
}

bool endsWithNoCase(std::string_view s, std::string_view suffix)
{
    return s.size() >= suffix.size() && startsWithNoCase(s.substr(s.size() - suffix.size()), suffix);
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

std::string snapshotFileName(std::int64_t number)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "CAP%04lld.jpg", static_cast<long long>(number));
    return buf;
}

bool isSnapshotName(std::string_view name)
{
    return name.size() >= 7 && startsWithNoCase(name, "CAP") && endsWithNoCase(name, ".jpg");
}

bool isJpegName(std::string_view name)
{
    return endsWithNoCase(name, ".jpg");
}

double snapshotNumberOf(std::string_view name)
{
    if (name.size() <= 3)
        return 0;
    const std::string_view rest = name.substr(3);
    const std::string_view four = rest.substr(0, 4);
    bool allDigits = four.size() == 4;
    for (char c : four)
        allDigits = allDigits && isDigit(c);
    if (allDigits && rest.size() > 4 && isDigit(rest[4])) {
        std::size_t end = 4;
        while (end < rest.size() && isDigit(rest[end]))
            ++end;
        return readNumericPrefix(rest.substr(0, end));
    }
    return readNumericPrefix(four);
}

bool isHiddenName(std::string_view name)
{
    return name.empty() || name.front() == '.';
}

bool isListedSnapshotName(std::string_view name)
{
    return !isHiddenName(name) && isSnapshotName(name);
}

std::vector<std::filesystem::path> listFiles(
    const std::filesystem::path &folder, bool (*accept)(std::string_view))
{
    std::vector<std::filesystem::path> files;
    // Hidden files are not listed; neither are folders and devices.
    visitEntries(
        folder, [accept](std::string_view name) { return !isHiddenName(name) && accept(name); },
        [&](std::string_view name, EntryType type) {
            if (type.file)
                files.push_back(entryPath(folder, name));
        });
    return files;
}

double raisedHighest(double highest, std::string_view name)
{
    const double n = snapshotNumberOf(name);
    return n > highest ? roundHalfEven(n) : highest;
}

std::optional<std::int64_t> numberAfter(double highest)
{
    if (!(highest < static_cast<double>(MaxSnapshotNumber)))
        return std::nullopt;
    return static_cast<std::int64_t>(highest) + 1;
}

SnapshotScan scanSnapshotFolder(const std::filesystem::path &imagesFolder)
{
    SnapshotScan scan;
    visitEntries(imagesFolder, isListedSnapshotName, [&scan](std::string_view name, EntryType type) {
        scan.linked = scan.linked || type.link;
        if (type.file)
            scan.highest = raisedHighest(scan.highest, name);
    });
    return scan;
}

std::optional<std::int64_t> nextSnapshotNumber(const std::filesystem::path &imagesFolder)
{
    return numberAfter(scanSnapshotFolder(imagesFolder).highest);
}

std::string momentCaption(const std::string &programName, const std::tm &t)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, " - %04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1,
        t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return programName + buf;
}

std::string sequenceCaption(const std::string &programName, std::int64_t number)
{
    return programName + " - " + snapshotFileName(number);
}

IntervalAnswer readIntervalAnswer(std::string_view answer)
{
    if (answer.empty())
        return {};
    const double value = readNumericPrefix(answer);
    if (!(value >= MinInterval && value <= MaxInterval))
        return { IntervalAnswer::Kind::OutOfRange, 0 };
    // 0.5..1 rounds to 0 or 1; only values from 1 on are accepted above, so
    // the rounded value stays within range.
    return { IntervalAnswer::Kind::Accepted, toInt32Rounded(value) };
}

int deleteFiles(const std::vector<std::filesystem::path> &files)
{
    int failed = 0;
    for (const auto &file : files) {
        std::error_code ec;
        if (!std::filesystem::remove(file, ec) || ec)
            ++failed;
    }
    return failed;
}

} // namespace zx
