#pragma once

// Reads the EXIF fields of a JPEG stream back, as a viewer would: the APP1
// segment among the headers, either TIFF byte order, IFD0 and the Exif IFD.
// Every offset is checked; anything malformed reads as no EXIF at all.

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
    std::string bytes; // the value as stored, count times the type's size
};

struct ExifFound {
    std::vector<std::uint8_t> markersBefore; // the segments' markers between SOI and the APP1
    std::map<std::uint16_t, ExifField> ifd0;
    std::map<std::uint16_t, ExifField> exifIfd;

    // An ASCII field's text without its closing NUL; none when missing or not ASCII.
    [[nodiscard]] static std::optional<std::string> text(const std::map<std::uint16_t, ExifField> &ifd, std::uint16_t tag)
    {
        const auto found = ifd.find(tag);
        if (found == ifd.end() || found->second.type != 2 || found->second.bytes.empty()
            || found->second.bytes.back() != '\0')
            return std::nullopt;
        return found->second.bytes.substr(0, found->second.bytes.size() - 1);
    }
};

namespace exifreader {

class Tiff {
public:
    Tiff(std::string_view bytes, bool little)
        : m_bytes(bytes)
        , m_little(little)
    {
    }

    [[nodiscard]] bool has(std::size_t at, std::size_t count) const
    {
        return at <= m_bytes.size() && count <= m_bytes.size() - at;
    }
    [[nodiscard]] std::uint32_t number(std::size_t at, int size) const
    {
        std::uint32_t value = 0;
        for (int i = 0; i < size; ++i) {
            const auto byte = static_cast<std::uint8_t>(m_bytes[at + static_cast<std::size_t>(m_little ? size - 1 - i : i)]);
            value = value << 8 | byte;
        }
        return value;
    }

    // The entries of the IFD at `at`; none when it does not fit.
    [[nodiscard]] std::optional<std::map<std::uint16_t, ExifField>> ifd(std::size_t at) const
    {
        if (!has(at, 2))
            return std::nullopt;
        const std::size_t count = number(at, 2);
        if (!has(at + 2, count * 12 + 4))
            return std::nullopt;
        std::map<std::uint16_t, ExifField> fields;
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t entry = at + 2 + 12 * i;
            ExifField field;
            field.type = static_cast<std::uint16_t>(number(entry + 2, 2));
            field.count = number(entry + 4, 4);
            const std::size_t unit = field.type == 3 ? 2 : field.type == 4 ? 4 : 1;
            const std::size_t size = unit * field.count;
            const std::size_t from = size <= 4 ? entry + 8 : number(entry + 8, 4);
            if (!has(from, size))
                return std::nullopt;
            field.bytes = std::string(m_bytes.substr(from, size));
            fields[static_cast<std::uint16_t>(number(entry, 2))] = field;
        }
        return fields;
    }

private:
    std::string_view m_bytes;
    bool m_little;
};

} // namespace exifreader

[[nodiscard]] inline std::optional<ExifFound> readExif(std::string_view jpeg)
{
    if (jpeg.size() < 4 || jpeg.substr(0, 2) != "\xff\xd8")
        return std::nullopt;
    ExifFound found;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && static_cast<std::uint8_t>(jpeg[at]) == 0xff) {
        const auto marker = static_cast<std::uint8_t>(jpeg[at + 1]);
        const std::size_t length = static_cast<std::uint8_t>(jpeg[at + 2]) << 8 | static_cast<std::uint8_t>(jpeg[at + 3]);
        if (marker == 0xda || length < 2 || at + 2 + length > jpeg.size())
            return std::nullopt; // the scan begins: no EXIF before it
        const std::string_view body = jpeg.substr(at + 4, length - 2);
        if (marker == 0xe1 && body.substr(0, 6) == std::string_view("Exif\0\0", 6)) {
            const std::string_view tiffBytes = body.substr(6);
            const std::string_view order = tiffBytes.substr(0, 4);
            if (tiffBytes.size() < 8
                || (order != std::string_view("MM\0*", 4) && order != std::string_view("II*\0", 4)))
                return std::nullopt;
            const exifreader::Tiff tiff(tiffBytes, tiffBytes[0] == 'I');
            auto ifd0 = tiff.ifd(tiff.number(4, 4));
            if (!ifd0)
                return std::nullopt;
            found.ifd0 = *ifd0;
            if (const auto pointer = found.ifd0.find(0x8769); pointer != found.ifd0.end()) {
                if (pointer->second.type != 4 || pointer->second.count != 1)
                    return std::nullopt;
                auto exifIfd = tiff.ifd(exifreader::Tiff(pointer->second.bytes, tiffBytes[0] == 'I').number(0, 4));
                if (!exifIfd)
                    return std::nullopt;
                found.exifIfd = *exifIfd;
            }
            return found;
        }
        found.markersBefore.push_back(marker);
        at += 2 + length;
    }
    return std::nullopt;
}

} // namespace zx::test
