#pragma once

#include "bmpreader.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

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

// Encodes the picture at quality 1..100; no result when the encoder fails.
[[nodiscard]] std::optional<EncodedJpeg> encodeJpeg(const bmp::BitmapView &picture, int quality);

} // namespace zx::jpeg
