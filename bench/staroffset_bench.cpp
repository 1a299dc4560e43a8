// The star offset's cost per reading, without the screen read: the search
// for the star and its fit, at the design size and at 1280 x 1000, and what
// five readings a second take of one core.
#include "staroffset.h"

#include <chrono>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

namespace {

zx::ScreenPixels sky(int width, int height)
{
    std::mt19937 random(3);
    std::normal_distribution<double> grain(0.0, 3.0);
    const double cx = width / 2.0 + 0.3;
    const double cy = height / 2.0 - 0.4;
    zx::ScreenPixels shot { width, height, std::vector<std::uint32_t>(std::size_t(width) * std::size_t(height)) };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double r2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
            const double v = std::clamp(20.0 + 150.0 * std::exp(-r2 / 3.2) + grain(random), 0.0, 255.0);
            const auto level = static_cast<std::uint32_t>(v);
            shot.pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)] = level << 16 | level << 8 | level;
        }
    }
    return shot;
}

double cpuSeconds()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

} // namespace

int main()
{
    struct Size {
        const char *name;
        int width;
        int height;
    };
    const Size sizes[] = { { "design size 475 x 314", 475, 314 }, { "1280 x 1000", 1280, 1000 } };
    std::printf("%-24s %14s %14s %18s\n", "inside", "cpu ms/reading", "wall ms", "core at 5 Hz");
    for (const Size &size : sizes) {
        const zx::ScreenPixels shot = sky(size.width, size.height);
        const zx::PixelRect area { 0, 0, size.width, size.height };
        // Two pairs of bands through the middle and the button, as the program masks them.
        const std::vector<zx::PixelRect> masked { { size.width / 2 - 5, 0, size.width / 2 - 3, size.height },
            { size.width / 2 + 3, 0, size.width / 2 + 5, size.height },
            { 0, size.height / 2 - 5, size.width, size.height / 2 - 3 },
            { 0, size.height / 2 + 3, size.width, size.height / 2 + 5 }, { size.width - 30, 2, size.width - 3, 29 } };
        const int rounds = 200;
        bool found = true;
        const double cpuStart = cpuSeconds();
        const auto wallStart = std::chrono::steady_clock::now();
        for (int i = 0; i < rounds; ++i)
            found = zx::findStar(shot, area, masked).found && found;
        const double cpu = (cpuSeconds() - cpuStart) / rounds;
        const double wall
            = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count() / rounds;
        std::printf("%-24s %14.3f %14.3f %17.2f%%%s\n", size.name, cpu * 1e3, wall * 1e3,
            100.0 * cpu * 1000.0 / zx::StarReadMilliseconds, found ? "" : "  (no star found!)");
    }
    return 0;
}
