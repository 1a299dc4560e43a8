// Times one snapshot's way from grabbed pixels to JPEG file: the bitmap write,
// DIWriteJpg as a whole and split into its read and encode stages, against
// TurboJPEG compressing the same pixels from memory and against cjpeg run as a
// process on the same bitmap at the same quality and subsampling.
//
// Usage: writer_bench [scale]   (scale multiplies the repetitions, default 1)

#include "bmpfile.h"
#include "bmpreader.h"
#include "fileio.h"
#include "jpegencoder.h"
#include "writejpg.h"

#include <zentrolux/jpegwriter.h>
#include <zentrolux/tempbitmap.h>

#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Gradients with a little noise, roughly as busy as a camera picture on screen.
std::vector<std::uint32_t> makePicture(int width, int height)
{
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    std::uint32_t seed = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const auto noise = static_cast<int>(seed >> 28) - 8;
            const auto channel = [noise](int value) {
                return static_cast<std::uint32_t>(std::clamp(value + noise, 0, 255));
            };
            const std::uint32_t red = channel(x * 255 / width);
            const std::uint32_t green = channel(y * 255 / height);
            const std::uint32_t blue = channel(128 + (x - y) / 8);
            pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width)
                + static_cast<std::size_t>(x)]
                = 0xff000000u | red << 16 | green << 8 | blue;
        }
    }
    return pixels;
}

// Mean milliseconds per run of `work`, after one run to warm caches.
double meanMs(int runs, const std::function<void()> &work, const std::function<void()> &between = {})
{
    work();
    if (between)
        between();
    Clock::duration total {};
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        total += Clock::now() - start;
        if (between)
            between();
    }
    return std::chrono::duration<double, std::milli>(total).count() / runs;
}

bool runCjpeg(const std::vector<std::string> &arguments)
{
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void benchmark(int width, int height, int quality, int scale, const fs::path &images)
{
    const int runs = std::max(1, scale * (width * height > 1'000'000 ? 60 : 300));
    const int processRuns = std::max(1, scale * (width * height > 1'000'000 ? 30 : 100));
    const auto pixels = makePicture(width, height);
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(pixels.data());
    const auto stride = static_cast<std::size_t>(width) * 4;
    const std::string bitmap = *zx::tempBitmapPath();

    const double bmpWrite = meanMs(runs, [&] {
        if (!zx::writeBmp24(bitmap, width, height, bytes, stride))
            throw std::runtime_error("writeBmp24 failed");
    });

    const fs::path target = images / "CAP0001.jpg";
    const double writer = meanMs(
        runs,
        [&] {
            if (DIWriteJpg(target.c_str(), quality, 0) != 1)
                throw std::runtime_error("DIWriteJpg failed");
        },
        [&] { fs::remove(target); });

    const double read = meanMs(runs, [&] {
        const auto file = zx::fileio::readWholeFile(bitmap, zx::kMaxBitmapFileBytes);
        if (!file || !zx::bmp::parseBmp(file->bytes()))
            throw std::runtime_error("read failed");
    });
    const auto file = zx::fileio::readWholeFile(bitmap, zx::kMaxBitmapFileBytes);
    const auto view = *zx::bmp::parseBmp(file->bytes());
    std::size_t jpegSize = 0;
    const double encode = meanMs(runs, [&] {
        const auto jpeg = zx::jpeg::encodeJpeg(view, quality);
        if (!jpeg)
            throw std::runtime_error("encode failed");
        jpegSize = jpeg->bytes().size();
    });

    const auto jpeg = zx::jpeg::encodeJpeg(view, quality);
    const double publish = meanMs(
        runs,
        [&] {
            if (zx::fileio::publishNewFile(target.string(), jpeg->bytes())
                != zx::fileio::PublishResult::Published)
                throw std::runtime_error("publish failed");
        },
        [&] { fs::remove(target); });

    // The encoder alone on the same pixels, its handle and buffer kept across runs.
    const bool full = zx::jpeg::subsamplingFor(quality) == zx::jpeg::Subsampling::Full444;
    tjhandle encoder = tjInitCompress();
    unsigned long bufferSize = tjBufSize(width, height, full ? TJSAMP_444 : TJSAMP_420);
    unsigned char *buffer = tjAlloc(static_cast<int>(bufferSize));
    const double fromMemory = meanMs(runs, [&] {
        unsigned long size = bufferSize;
        if (tjCompress2(encoder, view.pixels, width, static_cast<int>(view.pitch), height, TJPF_BGR, &buffer,
                &size, full ? TJSAMP_444 : TJSAMP_420, quality, TJFLAG_BOTTOMUP | TJFLAG_NOREALLOC)
            != 0)
            throw std::runtime_error("tjCompress2 failed");
    });
    tjFree(buffer);
    tjDestroy(encoder);

    const std::vector<std::string> cjpeg = { "cjpeg", "-quality", std::to_string(quality), "-sample",
        full ? "1x1" : "2x2", "-outfile", "/dev/null", bitmap };
    double process = 0;
    if (runCjpeg(cjpeg)) {
        process = meanMs(processRuns, [&] {
            if (!runCjpeg(cjpeg))
                throw std::runtime_error("cjpeg failed");
        });
    }

    std::printf("%4d x %-4d  q%-3d  %s  jpeg %7zu bytes\n", width, height, quality, full ? "4:4:4" : "4:2:0",
        jpegSize);
    std::printf("  writeBmp24 (program side)      %7.3f ms\n", bmpWrite);
    std::printf("  DIWriteJpg                     %7.3f ms\n", writer);
    std::printf("    read + parse bitmap          %7.3f ms\n", read);
    std::printf("    encode                       %7.3f ms\n", encode);
    std::printf("    publish                      %7.3f ms\n", publish);
    std::printf("    rest (outside those stages)  %7.3f ms\n", writer - read - encode - publish);
    std::printf("  tjCompress2 from memory        %7.3f ms\n", fromMemory);
    if (process > 0)
        std::printf("  cjpeg process (%3d runs)       %7.3f ms\n", processRuns, process);
    else
        std::printf("  cjpeg process                  not available\n");
    std::printf("  DIWriteJpg / tjCompress2       %7.2f   (target <= 1.5)\n", writer / fromMemory);
    if (process > 0)
        std::printf("  DIWriteJpg / cjpeg             %7.2f   (target <= 1.2)\n", writer / process);
    std::printf("\n");
}

} // namespace

int main(int argc, char **argv)
{
    const int scale = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    const auto bitmap = zx::tempBitmapPath();
    if (!bitmap) {
        std::fprintf(stderr, "no private folder for the temporary bitmap\n");
        return 1;
    }
    char pattern[] = "/tmp/zx-writer-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path images = pattern;
    int status = 0;
    try {
        for (const auto &[width, height] : { std::pair { 475, 314 }, std::pair { 1280, 1024 } })
            for (const int quality : { 100, 50 })
                benchmark(width, height, quality, scale, images);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        status = 1;
    }
    std::error_code ignored;
    fs::remove_all(images, ignored);
    fs::remove(*bitmap, ignored);
    return status;
}
