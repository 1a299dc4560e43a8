#pragma once

#include "bmpreader.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace zx::jpeg {

// A JPEG stream in memory, as the encoder allocated it.
class EncodedJpeg {
public:
    EncodedJpeg(unsigned char *data, unsigned long size);

    [[nodiscard]] std::span<const std::uint8_t> bytes() const { return { m_data.get(), m_size }; }

private:
    struct Free {
        void operator()(unsigned char *data) const;
    };
    std::unique_ptr<unsigned char, Free> m_data;
    std::size_t m_size;
};

enum class Subsampling { Full444, Half420 };

// Colour detail kept at a quality: at the top of the scale the user asked for
// the best picture, and small coloured stars keep their colour; lower down the
// smaller file matters more.
[[nodiscard]] Subsampling subsamplingFor(int quality);

// Rows of pixels in one block row of the encoder at a quality.
[[nodiscard]] int mcuHeight(int quality);

// A large picture is encoded in horizontal strips side by side, one per
// processor, then joined into one stream with restart markers: every block
// is encoded as in one piece, so the picture decodes the same. A strip
// starts at a multiple of this many block rows, and has this many pixels
// at least: on a busy machine a helper thread can wait milliseconds for a
// processor, longer than a small picture takes on its own.
inline constexpr int StripUnitMcuRows = 8;
inline constexpr long long MinStripPixels = 1 << 19;
inline constexpr int MaxStrips = 8;

struct Strip {
    int first = 0; // the top row, counted from the top of the picture
    int rows = 0;
};
using StripPlan = std::vector<Strip>;

// The strips for a picture: one when it is small or there is one processor.
[[nodiscard]] StripPlan planStrips(int width, int height, int quality, unsigned processors);

// Encodes the picture at quality 1..100; no result when the encoder fails.
// In one piece it is what TurboJPEG makes of it. `app1`, a whole APP1
// segment (EXIF) or nothing, goes right after the start of the stream and its
// JFIF header.
[[nodiscard]] std::optional<EncodedJpeg> encodeJpeg(
    const bmp::BitmapView &picture, int quality, std::span<const std::uint8_t> app1 = {});
// ... with the strips for this many processors.
[[nodiscard]] std::optional<EncodedJpeg> encodeJpeg(
    const bmp::BitmapView &picture, int quality, unsigned processors, std::span<const std::uint8_t> app1 = {});

} // namespace zx::jpeg
