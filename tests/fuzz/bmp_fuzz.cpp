// Feeds arbitrary bytes to the JPEG writer's bitmap header reader. Whatever it
// accepts must describe rows that lie wholly inside the input, and a description
// that lies before the rows; touching the first and last byte of every row and
// every byte of the description lets the address sanitizer check that.

#include "bmpreader.h"

#include <zentrolux/descriptionblock.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto view = zx::bmp::parseBmp({ data, size });
    if (!view)
        return 0;

    const std::size_t bytesPerPixel = view->layout == zx::bmp::PixelLayout::Bgr24 ? 3 : 4;
    const std::size_t rowBytes = static_cast<std::size_t>(view->width) * bytesPerPixel;
    if (view->width < 1 || view->height < 1 || view->width > zx::bmp::kMaxDimension
        || view->height > zx::bmp::kMaxDimension || view->pitch < rowBytes || view->pixels < data)
        std::abort();

    const auto *description = reinterpret_cast<const std::uint8_t *>(view->description.data());
    if (!view->description.empty()
        && (description < data || view->description.size() > zx::descriptionblock::MaxTextBytes
            || description + view->description.size() > view->pixels))
        std::abort();

    volatile unsigned sink = 0;
    for (const char c : view->description)
        sink = sink + static_cast<unsigned char>(c);
    for (int row = 0; row < view->height; ++row) {
        const std::uint8_t *first = view->pixels + static_cast<std::size_t>(row) * view->pitch;
        sink = sink + first[0] + first[rowBytes - 1];
    }
    return 0;
}
