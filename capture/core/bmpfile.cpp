#include "bmpfile.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <span>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#ifdef _WIN32
#include <filesystem>
#include <fstream>
#else
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace zx {

namespace {

constexpr std::size_t kHeadersSize = 14 + 40;

void put16(std::uint8_t *at, std::uint16_t value)
{
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::uint8_t *at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void writeHeaders(std::uint8_t *file, int width, int height, std::uint32_t pixelBytes)
{
    std::memset(file, 0, kHeadersSize);
    file[0] = 'B';
    file[1] = 'M';
    put32(file + 2, static_cast<std::uint32_t>(kHeadersSize) + pixelBytes);
    put32(file + 10, kHeadersSize);
    put32(file + 14, 40);
    put32(file + 18, static_cast<std::uint32_t>(width));
    put32(file + 22, static_cast<std::uint32_t>(height)); // positive: bottom row first
    put16(file + 26, 1); // planes
    put16(file + 28, 24); // bits per pixel
    put32(file + 34, pixelBytes); // compression (30) stays 0: none
}

// Pixels to blue, green, red bytes. With SSE2 (every x86-64 processor has
// it) four at a step: each pixel's colour bytes shift down over the unused
// bytes before them. A step stores 16 bytes for 12, so the last pixel goes
// one by one with any others left over.
void convertRow(const std::uint8_t *source, int width, std::uint8_t *target)
{
    int x = 0;
#if defined(__SSE2__)
    const __m128i lane0 = _mm_setr_epi32(0xffffff, 0, 0, 0);
    const __m128i lane1 = _mm_setr_epi32(0, 0xffffff, 0, 0);
    const __m128i lane2 = _mm_setr_epi32(0, 0, 0xffffff, 0);
    const __m128i lane3 = _mm_setr_epi32(0, 0, 0, 0xffffff);
    for (; x + 5 <= width; x += 4) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i *>(source + 4 * static_cast<std::size_t>(x)));
        const __m128i first = _mm_or_si128(_mm_and_si128(pixels, lane0), _mm_srli_si128(_mm_and_si128(pixels, lane1), 1));
        const __m128i second = _mm_or_si128(
            _mm_srli_si128(_mm_and_si128(pixels, lane2), 2), _mm_srli_si128(_mm_and_si128(pixels, lane3), 3));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(target), _mm_or_si128(first, second));
        target += 12;
    }
#endif
    for (; x < width; ++x) {
        std::uint32_t pixel;
        std::memcpy(&pixel, source + 4 * static_cast<std::size_t>(x), sizeof pixel);
        target[0] = static_cast<std::uint8_t>(pixel); // blue
        target[1] = static_cast<std::uint8_t>(pixel >> 8); // green
        target[2] = static_cast<std::uint8_t>(pixel >> 16); // red
        target += 3;
    }
}

// A new file, written in pieces; removed again unless finished.
class OutFile {
public:
    OutFile(const OutFile &) = delete;
    OutFile &operator=(const OutFile &) = delete;

#ifdef _WIN32
    explicit OutFile(const std::string &path)
        : m_path(std::u8string(path.begin(), path.end()))
        , m_out(m_path, std::ios::binary | std::ios::trunc)
        , m_created(m_out.is_open())
    {
    }
    ~OutFile()
    {
        if (m_created && !m_finished) {
            m_out.close();
            std::error_code ignored;
            std::filesystem::remove(m_path, ignored);
        }
    }
    [[nodiscard]] bool isOpen() const { return m_out.is_open(); }
    bool write(std::span<const std::uint8_t> bytes)
    {
        m_out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return static_cast<bool>(m_out);
    }
    bool finish()
    {
        m_out.close();
        m_finished = static_cast<bool>(m_out);
        return m_finished;
    }

private:
    std::filesystem::path m_path;
    std::ofstream m_out;
#else
    explicit OutFile(const std::string &path)
        : m_path(path)
        , m_fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600))
        , m_created(m_fd >= 0)
    {
    }
    ~OutFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (m_created && !m_finished)
            ::unlink(m_path.c_str());
    }
    [[nodiscard]] bool isOpen() const { return m_fd >= 0; }
    bool write(std::span<const std::uint8_t> bytes)
    {
        while (!bytes.empty()) {
            const ssize_t done = ::write(m_fd, bytes.data(), bytes.size());
            if (done <= 0) {
                if (done < 0 && errno == EINTR)
                    continue;
                return false;
            }
            bytes = bytes.subspan(static_cast<std::size_t>(done));
        }
        return true;
    }
    bool finish()
    {
        const int fd = std::exchange(m_fd, -1);
        m_finished = ::close(fd) == 0;
        return m_finished;
    }

private:
    std::string m_path;
    int m_fd;
#endif
    bool m_created; // ours to remove again
    bool m_finished = false;
};

// Rows go out in pieces of about this size: small enough to stay in the
// processor's cache between conversion and write (and for the allocator to
// reuse rather than map afresh), large enough for few calls.
constexpr std::size_t kPieceBytes = 120 * 1024;

} // namespace

bool writeBmp24(
    const std::string &path, int width, int height, const std::uint8_t *rgb32, std::size_t strideBytes)
{
    if (width < 1 || height < 1 || rgb32 == nullptr || strideBytes / 4 < static_cast<std::size_t>(width))
        return false;
    const std::uint64_t pitch = (static_cast<std::uint64_t>(width) * 3 + 3) / 4 * 4;
    const std::uint64_t pixelBytes = pitch * static_cast<std::uint64_t>(height);
    // The file size has to fit the header's 32-bit field.
    if (pixelBytes > std::numeric_limits<std::uint32_t>::max() - kHeadersSize)
        return false;

    OutFile file(path);
    if (!file.isOpen())
        return false;
    // One pass over the picture: a piece of rows is converted, then written
    // while it is still in the cache, rather than the whole file built first.
    const auto rowBytes = static_cast<std::size_t>(pitch);
    const std::size_t rowsPerPiece = std::max<std::size_t>(1, kPieceBytes / rowBytes);
    auto piece = std::make_unique_for_overwrite<std::uint8_t[]>(kHeadersSize + rowsPerPiece * rowBytes);
    writeHeaders(piece.get(), width, height, static_cast<std::uint32_t>(pixelBytes));
    const std::size_t padding = rowBytes - static_cast<std::size_t>(width) * 3;
    std::uint8_t *first = piece.get() + kHeadersSize; // the headers go out with the first rows
    for (int y = height - 1; y >= 0; first = piece.get()) {
        std::uint8_t *row = first;
        for (std::size_t n = 0; n < rowsPerPiece && y >= 0; ++n, --y) {
            convertRow(rgb32 + static_cast<std::size_t>(y) * strideBytes, width, row);
            std::memset(row + static_cast<std::size_t>(width) * 3, 0, padding);
            row += rowBytes;
        }
        if (!file.write({ piece.get(), static_cast<std::size_t>(row - piece.get()) }))
            return false;
    }
    return file.finish();
}

} // namespace zx
