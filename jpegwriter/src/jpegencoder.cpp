#include "jpegencoder.h"

#include <turbojpeg.h>

// jpeglib.h needs size_t and FILE first.
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <system_error>
#include <thread>
#include <vector>

namespace zx::jpeg {

EncodedJpeg::EncodedJpeg(unsigned char *data, unsigned long size)
    : m_data(data)
    , m_size(size)
{
}

void EncodedJpeg::Free::operator()(unsigned char *data) const
{
    tjFree(data);
}

Subsampling subsamplingFor(int quality)
{
    return quality >= 90 ? Subsampling::Full444 : Subsampling::Half420;
}

int mcuHeight(int quality)
{
    return subsamplingFor(quality) == Subsampling::Full444 ? 8 : 16;
}

StripPlan planStrips(int width, int height, int quality, unsigned processors)
{
    const int unit = StripUnitMcuRows * mcuHeight(quality);
    const int units = (height + unit - 1) / unit;
    const long long pixels = static_cast<long long>(width) * height;
    const auto byWork = static_cast<int>(std::min<long long>(pixels / MinStripPixels, MaxStrips));
    const int strips = std::max(1, std::min({ static_cast<int>(std::min(processors, unsigned(MaxStrips))), units, byWork }));
    // Whole units to each strip, the first ones one more where they do not share out evenly.
    StripPlan plan;
    int row = 0;
    for (int i = 0; i < strips; ++i) {
        const int count = units / strips + (i < units % strips ? 1 : 0);
        const int end = std::min(height, row + count * unit);
        plan.push_back({ row, end - row });
        row = end;
    }
    return plan;
}

namespace {

// The one way: what the encoder does on its own, a picture at a time.
std::optional<EncodedJpeg> encodeWhole(const bmp::BitmapView &picture, int quality)
{
    tjhandle encoder = tjInitCompress();
    if (encoder == nullptr)
        return std::nullopt;

    const int pixelFormat = picture.layout == bmp::PixelLayout::Bgr24 ? TJPF_BGR : TJPF_BGRX;
    const int subsampling = subsamplingFor(quality) == Subsampling::Full444 ? TJSAMP_444 : TJSAMP_420;
    const int flags = picture.bottomUp ? TJFLAG_BOTTOMUP : 0;
    unsigned char *data = nullptr;
    unsigned long size = 0;
    const int status = tjCompress2(encoder, picture.pixels, picture.width, static_cast<int>(picture.pitch),
        picture.height, pixelFormat, &data, &size, subsampling, quality, flags);
    tjDestroy(encoder);
    if (status != 0) {
        tjFree(data);
        return std::nullopt;
    }
    return EncodedJpeg(data, size);
}

// libjpeg reports an error by calling error_exit, which must not return.
struct ErrorExit {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void leave(j_common_ptr codec)
{
    std::longjmp(reinterpret_cast<ErrorExit *>(codec->err)->jump, 1);
}

void quiet(j_common_ptr) { }

// A strip of rows as a JPEG stream of its own, with a restart marker after
// every row of blocks. The settings are the ones the whole-picture encoder
// uses, so each block comes out as it would there. The stream is malloc'ed.
// No C++ object lives here past setjmp: longjmp would skip its destructor.
bool encodeStrip(const bmp::BitmapView &picture, int quality, Strip strip, unsigned char **data, unsigned long *size)
{
    jpeg_compress_struct codec;
    ErrorExit error;
    codec.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = leave;
    error.manager.output_message = quiet;
    if (setjmp(error.jump) != 0) {
        jpeg_destroy_compress(&codec);
        return false;
    }
    jpeg_create_compress(&codec);
    jpeg_mem_dest(&codec, data, size);
    codec.image_width = static_cast<JDIMENSION>(picture.width);
    codec.image_height = static_cast<JDIMENSION>(strip.rows);
    const bool packed = picture.layout == bmp::PixelLayout::Bgr24;
    codec.in_color_space = packed ? JCS_EXT_BGR : JCS_EXT_BGRX;
    codec.input_components = packed ? 3 : 4;
    jpeg_set_defaults(&codec);
    jpeg_set_quality(&codec, quality, TRUE);
    codec.dct_method = quality >= 96 ? JDCT_ISLOW : JDCT_FASTEST;
    jpeg_set_colorspace(&codec, JCS_YCbCr);
    const int luma = subsamplingFor(quality) == Subsampling::Full444 ? 1 : 2;
    codec.comp_info[0].h_samp_factor = codec.comp_info[0].v_samp_factor = luma;
    for (int c = 1; c < 3; ++c)
        codec.comp_info[c].h_samp_factor = codec.comp_info[c].v_samp_factor = 1;
    codec.restart_in_rows = 1;
    jpeg_start_compress(&codec, TRUE);
    while (codec.next_scanline < codec.image_height) {
        JSAMPROW rows[16];
        JDIMENSION count = 0;
        for (; count < 16 && codec.next_scanline + count < codec.image_height; ++count) {
            const int y = strip.first + static_cast<int>(codec.next_scanline + count);
            const int stored = picture.bottomUp ? picture.height - 1 - y : y;
            rows[count] = const_cast<JSAMPROW>(picture.pixels + static_cast<std::size_t>(stored) * picture.pitch);
        }
        jpeg_write_scanlines(&codec, rows, count);
    }
    jpeg_finish_compress(&codec);
    jpeg_destroy_compress(&codec);
    return true;
}

constexpr std::uint8_t Marker = 0xff;
constexpr std::uint8_t App0 = 0xe0;
constexpr std::uint8_t StartOfFrame = 0xc0;
constexpr std::uint8_t StartOfScan = 0xda;
constexpr std::uint8_t EndOfImage = 0xd9;
constexpr std::uint8_t Restart0 = 0xd0;

// Where a stream's scan data begins (after its SOS segment) and where its
// frame header is; the scan data runs to the EOI marker at its end.
struct StreamParts {
    std::size_t frame = 0;
    std::size_t scan = 0;
};

std::optional<StreamParts> partsOf(const std::uint8_t *data, std::size_t size)
{
    StreamParts parts;
    std::size_t at = 2; // after SOI
    while (at + 4 <= size && data[at] == Marker) {
        const std::uint8_t kind = data[at + 1];
        const std::size_t length = std::size_t(data[at + 2]) << 8 | data[at + 3];
        if (kind == StartOfFrame)
            parts.frame = at;
        at += 2 + length;
        if (kind == StartOfScan) {
            parts.scan = at;
            break;
        }
    }
    if (parts.frame == 0 || parts.scan == 0 || parts.scan + 2 > size || data[size - 2] != Marker
        || data[size - 1] != EndOfImage)
        return std::nullopt;
    return parts;
}

// Where an APP1 segment goes: after the start of the stream and its JFIF
// header (APP0), which readers expect first; EXIF readers look on past it.
std::size_t afterJfif(const std::uint8_t *data, std::size_t size)
{
    std::size_t at = 2; // after SOI
    if (at + 4 <= size && data[at] == Marker && data[at + 1] == App0)
        at = std::min(size, at + 2 + (std::size_t(data[at + 2]) << 8 | data[at + 3]));
    return at;
}

// The stream with `app1` in its place; as it was when there is none.
std::optional<EncodedJpeg> withApp1(EncodedJpeg jpeg, std::span<const std::uint8_t> app1)
{
    if (app1.empty())
        return jpeg;
    const auto bytes = jpeg.bytes();
    const std::size_t total = bytes.size() + app1.size();
    if (total > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return std::nullopt;
    auto *out = tjAlloc(static_cast<int>(total));
    if (out == nullptr)
        return std::nullopt;
    const std::size_t split = afterJfif(bytes.data(), bytes.size());
    std::memcpy(out, bytes.data(), split);
    std::memcpy(out + split, app1.data(), app1.size());
    std::memcpy(out + split + app1.size(), bytes.data() + split, bytes.size() - split);
    return EncodedJpeg(out, total);
}

struct StripStream {
    unsigned char *data = nullptr;
    unsigned long size = 0;
    bool encoded = false;
    ~StripStream() { std::free(data); }
};

// The strips, encoded side by side, joined into one stream: the first
// strip's headers with the whole height, then each strip's scan data, a
// restart marker between them. Each strip starts at a row of blocks whose
// number is a multiple of eight, so its own restart markers, numbered from
// 0, are the ones the whole picture has there.
std::optional<EncodedJpeg> encodeInStrips(
    const bmp::BitmapView &picture, int quality, const StripPlan &plan, std::span<const std::uint8_t> app1)
{
    std::vector<StripStream> streams(plan.size());
    {
        const auto encode = [&](std::size_t i) {
            streams[i].encoded = encodeStrip(picture, quality, plan[i], &streams[i].data, &streams[i].size);
        };
        std::vector<std::jthread> helpers;
        for (std::size_t i = 1; i < plan.size(); ++i) {
            try {
                helpers.emplace_back(encode, i);
            } catch (const std::system_error &) {
                encode(i); // no thread to be had: here, then
            }
        }
        encode(0);
    }
    std::vector<StreamParts> parts;
    std::size_t total = 0;
    for (const StripStream &s : streams) {
        const auto p = s.encoded ? partsOf(s.data, s.size) : std::nullopt;
        if (!p)
            return std::nullopt;
        parts.push_back(*p);
        total += s.size;
    }
    total += app1.size();
    if (total > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return std::nullopt;
    auto *out = tjAlloc(static_cast<int>(total));
    if (out == nullptr)
        return std::nullopt;
    std::size_t at = 0;
    const auto append = [&](const std::uint8_t *from, std::size_t count) {
        if (count == 0)
            return; // an empty span may have no address, which memcpy must not get even for nothing
        std::memcpy(out + at, from, count);
        at += count;
    };
    // The first strip's headers, with the APP1 segment among them; the frame header comes after it.
    const std::size_t split = afterJfif(streams[0].data, parts[0].scan);
    append(streams[0].data, split);
    append(app1.data(), app1.size());
    append(streams[0].data + split, parts[0].scan - split);
    // The frame header's height: two bytes after its length and precision.
    const std::size_t frame = parts[0].frame + app1.size();
    out[frame + 5] = static_cast<std::uint8_t>(picture.height >> 8);
    out[frame + 6] = static_cast<std::uint8_t>(picture.height);
    const int rowsOfBlocks = mcuHeight(quality);
    int intervals = 0;
    for (std::size_t i = 0; i < streams.size(); ++i) {
        if (i > 0) {
            const std::uint8_t restart[2] = { Marker, static_cast<std::uint8_t>(Restart0 + (intervals - 1) % 8) };
            append(restart, sizeof restart);
        }
        append(streams[i].data + parts[i].scan, streams[i].size - 2 - parts[i].scan);
        intervals += (plan[i].rows + rowsOfBlocks - 1) / rowsOfBlocks;
    }
    const std::uint8_t end[2] = { Marker, EndOfImage };
    append(end, sizeof end);
    return EncodedJpeg(out, at);
}

} // namespace

std::optional<EncodedJpeg> encodeJpeg(
    const bmp::BitmapView &picture, int quality, unsigned processors, std::span<const std::uint8_t> app1)
{
    const StripPlan plan = planStrips(picture.width, picture.height, quality, processors);
    if (plan.size() < 2) {
        auto whole = encodeWhole(picture, quality);
        if (!whole)
            return std::nullopt;
        return withApp1(std::move(*whole), app1);
    }
    return encodeInStrips(picture, quality, plan, app1);
}

std::optional<EncodedJpeg> encodeJpeg(const bmp::BitmapView &picture, int quality, std::span<const std::uint8_t> app1)
{
    return encodeJpeg(picture, quality, std::max(1u, std::thread::hardware_concurrency()), app1);
}

} // namespace zx::jpeg
