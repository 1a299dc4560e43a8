#include "jpegencoder.h"

#include <turbojpeg.h>

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

std::optional<EncodedJpeg> encodeJpeg(const bmp::BitmapView &picture, int quality)
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

} // namespace zx::jpeg
