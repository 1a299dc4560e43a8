#pragma once

// Reads the EXIF fields of a JPEG stream back as a viewer would: the APP1
// segment among the headers, either TIFF byte order, IFD0 and the Exif IFD.
// Anything that does not fit reads as no EXIF at all.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zx::test {

struct ExifField {
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::string bytes; // the value as stored
};
using Ifd = std::map<std::uint16_t, ExifField>;

struct ExifFound {
    std::vector<std::uint8_t> markersBefore; // of the segments between SOI and the APP1
    Ifd ifd0;
    Ifd exifIfd;

    // An ASCII field's text without its closing NUL; none when missing or not ASCII.
    [[nodiscard]] static std::optional<std::string> text(const Ifd &ifd, std::uint16_t tag)
    {
        const auto found = ifd.find(tag);
        if (found == ifd.end() || found->second.type != 2 || !found->second.bytes.ends_with('\0'))
            return std::nullopt;
        return found->second.bytes.substr(0, found->second.bytes.size() - 1);
    }
};

[[nodiscard]] inline std::optional<ExifFound> readExif(std::string_view jpeg)
{
    const auto byte = [](std::string_view s, std::size_t at) { return static_cast<std::uint8_t>(s[at]); };
    ExifFound found;
    for (std::size_t at = 2; jpeg.starts_with("\xff\xd8") && at + 4 <= jpeg.size() && byte(jpeg, at) == 0xff;) {
        const std::uint8_t marker = byte(jpeg, at + 1);
        const std::size_t length = std::size_t(byte(jpeg, at + 2)) << 8 | byte(jpeg, at + 3);
        if (marker == 0xda || length < 2 || at + 2 + length > jpeg.size())
            return std::nullopt; // the scan begins: no EXIF before it
        const std::string_view body = jpeg.substr(at + 4, length - 2);
        at += 2 + length;
        if (marker != 0xe1 || !body.starts_with(std::string_view("Exif\0\0", 6))) {
            found.markersBefore.push_back(marker);
            continue;
        }
        const std::string_view tiff = body.substr(6);
        const bool little = tiff.starts_with(std::string_view("II*\0", 4));
        if (!little && !tiff.starts_with(std::string_view("MM\0*", 4)))
            return std::nullopt;
        const auto number = [&](std::string_view s, std::size_t from, std::size_t size) {
            std::uint32_t value = 0;
            for (std::size_t i = 0; i < size; ++i)
                value = value << 8 | byte(s, from + (little ? size - 1 - i : i));
            return value;
        };
        const auto ifd = [&](std::size_t from) -> std::optional<Ifd> {
            if (from + 2 > tiff.size() || from + 6 + 12 * number(tiff, from, 2) > tiff.size())
                return std::nullopt;
            Ifd fields;
            for (std::size_t i = 0, n = number(tiff, from, 2); i < n; ++i) {
                const std::size_t entry = from + 2 + 12 * i;
                ExifField field { static_cast<std::uint16_t>(number(tiff, entry + 2, 2)), number(tiff, entry + 4, 4), {} };
                const std::size_t size = std::size_t(field.count) * (field.type == 3 ? 2 : field.type == 4 ? 4 : 1);
                const std::size_t value = size <= 4 ? entry + 8 : number(tiff, entry + 8, 4);
                if (value > tiff.size() || size > tiff.size() - value)
                    return std::nullopt;
                field.bytes = std::string(tiff.substr(value, size));
                fields[static_cast<std::uint16_t>(number(tiff, entry, 2))] = field;
            }
            return fields;
        };
        const auto ifd0 = ifd(number(tiff, 4, 4));
        if (!ifd0)
            return std::nullopt;
        found.ifd0 = *ifd0;
        if (const auto pointer = ifd0->find(0x8769); pointer != ifd0->end()) {
            const ExifField &offset = pointer->second;
            const auto exifIfd = offset.type == 4 && offset.bytes.size() == 4 ? ifd(number(offset.bytes, 0, 4)) : std::nullopt;
            if (!exifIfd)
                return std::nullopt;
            found.exifIfd = *exifIfd;
        }
        return found;
    }
    return std::nullopt;
}

} // namespace zx::test
