#include "exif.h"

#include <cstdlib>
#include <string>

namespace zx::exif {

namespace {

// Field types.
constexpr std::uint16_t Ascii = 2;
constexpr std::uint16_t Long = 4;
constexpr std::uint16_t Undefined = 7;

// Tags, in the order each IFD lists them: by number.
constexpr std::uint16_t ImageDescription = 0x010e;
constexpr std::uint16_t ExifIfdPointer = 0x8769;
constexpr std::uint16_t ExifVersion = 0x9000;
constexpr std::uint16_t DateTimeOriginal = 0x9003;
constexpr std::uint16_t OffsetTimeOriginal = 0x9011;
constexpr std::uint16_t SubSecTimeOriginal = 0x9291;

// The IFD0 follows the 8-byte TIFF header.
constexpr std::uint32_t FirstIfdOffset = 8;
// A segment's length field counts itself and has 16 bits; the rest stays well inside that.
constexpr std::size_t MaxDescriptionBytes = 60000;

struct Entry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::vector<std::uint8_t> value; // as stored: LONG values already big-endian

    // Bytes for ASCII and UNDEFINED, values for LONG.
    [[nodiscard]] std::uint32_t count() const
    {
        return static_cast<std::uint32_t>(type == Long ? value.size() / 4 : value.size());
    }
    // A value of more than four bytes lies after the IFD, at a word-aligned offset.
    [[nodiscard]] std::size_t outside() const { return value.size() > 4 ? (value.size() + 1) / 2 * 2 : 0; }
};

std::vector<std::uint8_t> ascii(std::string_view text)
{
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

std::vector<std::uint8_t> bigEndian32(std::uint32_t value)
{
    return { static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
        static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value) };
}

// `value` as exactly `width` decimal digits.
void appendDigits(std::string &text, int value, int width)
{
    std::string digits(static_cast<std::size_t>(width), '0');
    for (int i = width - 1; i >= 0 && value > 0; --i, value /= 10)
        digits[static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
    text += digits;
}

std::size_t ifdBytes(const std::vector<Entry> &entries)
{
    std::size_t size = 2 + 12 * entries.size() + 4;
    for (const Entry &entry : entries)
        size += entry.outside();
    return size;
}

class TiffBytes {
public:
    void u16(std::uint16_t value)
    {
        m_bytes.push_back(static_cast<std::uint8_t>(value >> 8));
        m_bytes.push_back(static_cast<std::uint8_t>(value));
    }
    void u32(std::uint32_t value)
    {
        const auto bytes = bigEndian32(value);
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    }

    // An IFD at the end of the bytes, its longer values right after it.
    void ifd(const std::vector<Entry> &entries)
    {
        auto valueAt = static_cast<std::uint32_t>(m_bytes.size() + 2 + 12 * entries.size() + 4);
        u16(static_cast<std::uint16_t>(entries.size()));
        for (const Entry &entry : entries) {
            u16(entry.tag);
            u16(entry.type);
            u32(entry.count());
            if (entry.outside() != 0) {
                u32(valueAt);
                valueAt += static_cast<std::uint32_t>(entry.outside());
            } else {
                // Four bytes or fewer sit in the entry, from its left.
                m_bytes.insert(m_bytes.end(), entry.value.begin(), entry.value.end());
                m_bytes.insert(m_bytes.end(), 4 - entry.value.size(), 0);
            }
        }
        u32(0); // no next IFD
        for (const Entry &entry : entries) {
            if (entry.outside() != 0) {
                m_bytes.insert(m_bytes.end(), entry.value.begin(), entry.value.end());
                m_bytes.insert(m_bytes.end(), entry.outside() - entry.value.size(), 0);
            }
        }
    }

    [[nodiscard]] const std::vector<std::uint8_t> &bytes() const { return m_bytes; }

private:
    std::vector<std::uint8_t> m_bytes;
};

std::vector<Entry> exifEntries(const LocalMoment &t)
{
    std::string dateTime;
    appendDigits(dateTime, t.year, 4);
    dateTime += ':';
    appendDigits(dateTime, t.month, 2);
    dateTime += ':';
    appendDigits(dateTime, t.day, 2);
    dateTime += ' ';
    appendDigits(dateTime, t.hour, 2);
    dateTime += ':';
    appendDigits(dateTime, t.minute, 2);
    dateTime += ':';
    appendDigits(dateTime, t.second, 2);

    std::string subSecond;
    appendDigits(subSecond, t.millisecond, 3);

    const int offset = std::abs(t.utcOffsetMinutes);
    std::string zone(1, t.utcOffsetMinutes < 0 ? '-' : '+');
    appendDigits(zone, offset / 60, 2);
    zone += ':';
    appendDigits(zone, offset % 60, 2);

    return { { ExifVersion, Undefined, { '0', '2', '3', '2' } }, { DateTimeOriginal, Ascii, ascii(dateTime) },
        { OffsetTimeOriginal, Ascii, ascii(zone) }, { SubSecTimeOriginal, Ascii, ascii(subSecond) } };
}

bool fitsTheFields(const LocalMoment &t)
{
    return t.year >= 0 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31
        && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 && t.second >= 0 && t.second <= 60
        && t.millisecond >= 0 && t.millisecond <= 999 && std::abs(t.utcOffsetMinutes) < 100 * 60;
}

} // namespace

std::vector<std::uint8_t> app1Segment(const Tags &tags)
{
    std::vector<Entry> ifd0;
    if (!tags.description.empty() && tags.description.size() <= MaxDescriptionBytes)
        ifd0.push_back({ ImageDescription, Ascii, ascii(tags.description) });
    std::vector<Entry> exifIfd;
    if (tags.taken && fitsTheFields(*tags.taken)) {
        exifIfd = exifEntries(*tags.taken);
        // The pointer's own value does not change the IFD0's size.
        ifd0.push_back({ ExifIfdPointer, Long, {} });
        ifd0.back().value = bigEndian32(static_cast<std::uint32_t>(FirstIfdOffset + ifdBytes(ifd0)));
    }
    if (ifd0.empty())
        return {};

    TiffBytes tiff;
    tiff.u16(0x4d4d); // "MM": big-endian, as JPEG itself is
    tiff.u16(42);
    tiff.u32(FirstIfdOffset);
    tiff.ifd(ifd0);
    if (!exifIfd.empty())
        tiff.ifd(exifIfd);

    static constexpr std::uint8_t Identifier[] = { 'E', 'x', 'i', 'f', 0, 0 };
    const std::size_t length = 2 + sizeof Identifier + tiff.bytes().size();
    std::vector<std::uint8_t> segment { 0xff, 0xe1, static_cast<std::uint8_t>(length >> 8),
        static_cast<std::uint8_t>(length) };
    segment.insert(segment.end(), std::begin(Identifier), std::end(Identifier));
    segment.insert(segment.end(), tiff.bytes().begin(), tiff.bytes().end());
    return segment;
}

} // namespace zx::exif
