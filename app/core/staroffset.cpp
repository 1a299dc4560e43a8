#include "staroffset.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdint>

namespace zx {

namespace {

// The star's pixels are summed this far around the brightest one: a star of
// up to 4 px FWHM holds all but a trace of its light within it.
constexpr int Radius = 6;
// The centroid's window, about the width of the stars it reads (2 to 4 px
// FWHM), and how often it is moved to the new centre at most.
constexpr double WindowSigma = 2.0;
constexpr int MaxRounds = 30;
// The profile fit: its pixels, and its steps at most.
constexpr int FitRadius = 5;
constexpr int FitSteps = 20;
// "Clear margin": the peak stands this many noise widths above the background,
// and at least MinRise levels.
constexpr double MarginSigmas = 6.0;
constexpr double MinRise = 12.0;
// The background and its noise come from every Step-th pixel: plenty for a median.
constexpr int Step = 3;

double brightness(std::uint32_t pixel)
{
    // The brightest channel: a star of any colour, and a red one under a red filter.
    const auto r = (pixel >> 16) & 0xff;
    const auto g = (pixel >> 8) & 0xff;
    const auto b = pixel & 0xff;
    return static_cast<double>(std::max({ r, g, b }));
}

double median(std::vector<double> &values)
{
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

std::string signedNumber(double value)
{
    // Never "-0.0": a star on the line is at +0.0.
    double rounded = std::round(value * 10.0) / 10.0;
    if (rounded == 0.0)
        rounded = 0.0;
    char text[32];
    std::snprintf(text, sizeof text, "%+.1f", rounded);
    return text;
}

// Solves the 4 x 4 system a x = b in place; false when it is singular.
bool solve4(std::array<std::array<double, 5>, 4> &a, std::array<double, 4> &x)
{
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int row = col + 1; row < 4; ++row) {
            if (std::abs(a[row][col]) > std::abs(a[pivot][col]))
                pivot = row;
        }
        if (std::abs(a[pivot][col]) < 1e-12)
            return false;
        std::swap(a[col], a[pivot]);
        for (int row = col + 1; row < 4; ++row) {
            const double f = a[row][col] / a[col][col];
            for (int k = col; k < 5; ++k)
                a[row][k] -= f * a[col][k];
        }
    }
    for (int row = 3; row >= 0; --row) {
        double sum = a[row][4];
        for (int k = row + 1; k < 4; ++k)
            sum -= a[row][k] * x[k];
        x[row] = sum / a[row][row];
    }
    return true;
}

// Fits A exp(-r^2 / 2s^2) above the background to the open pixels around
// (cx, cy) by Gauss-Newton steps; keeps (cx, cy) as they are when the fit
// goes astray (no round star there, or too few open pixels).
template <typename Open>
void fitRoundStar(const ScreenPixels &shot, const Open &open, double background, double &cx, double &cy)
{
    const int x0 = static_cast<int>(std::lround(cx));
    const int y0 = static_cast<int>(std::lround(cy));
    const int left = std::max(0, x0 - FitRadius);
    const int right = std::min(shot.width - 1, x0 + FitRadius);
    const int top = std::max(0, y0 - FitRadius);
    const int bottom = std::min(shot.height - 1, y0 + FitRadius);
    double amplitude = brightness(shot.at(x0, y0)) - background;
    double x = cx;
    double y = cy;
    double s = 1.2;
    for (int step = 0; step < FitSteps; ++step) {
        std::array<std::array<double, 5>, 4> normal {};
        int used = 0;
        for (int py = top; py <= bottom; ++py) {
            for (int px = left; px <= right; ++px) {
                if (!open(px, py))
                    continue;
                const double dx = px - x;
                const double dy = py - y;
                const double e = std::exp(-(dx * dx + dy * dy) / (2 * s * s));
                const double model = amplitude * e;
                const std::array<double, 4> j { e, model * dx / (s * s), model * dy / (s * s),
                    model * (dx * dx + dy * dy) / (s * s * s) };
                const double residual = brightness(shot.at(px, py)) - background - model;
                for (int a = 0; a < 4; ++a) {
                    for (int b = 0; b < 4; ++b)
                        normal[a][b] += j[a] * j[b];
                    normal[a][4] += j[a] * residual;
                }
                ++used;
            }
        }
        if (used < 12)
            return;
        for (int a = 0; a < 4; ++a)
            normal[a][a] *= 1.0 + 1e-3;
        std::array<double, 4> delta {};
        if (!solve4(normal, delta))
            return;
        amplitude += delta[0];
        x += std::clamp(delta[1], -1.0, 1.0);
        y += std::clamp(delta[2], -1.0, 1.0);
        s = std::clamp(s + delta[3], 0.5, 4.0);
        if (std::abs(delta[1]) < 1e-4 && std::abs(delta[2]) < 1e-4)
            break;
    }
    if (amplitude <= 0 || std::abs(x - cx) > 1.5 || std::abs(y - cy) > 1.5 || !std::isfinite(x) || !std::isfinite(y))
        return;
    cx = x;
    cy = y;
}

} // namespace

StarReading findStar(const ScreenPixels &shot, const PixelRect &area, const std::vector<PixelRect> &masked)
{
    StarReading star;
    const int width = shot.width;
    const int height = shot.height;
    if (shot.empty() || width < 2 * Radius + 1 || height < 2 * Radius + 1
        || shot.pixels.size() < std::size_t(width) * std::size_t(height))
        return star;

    std::vector<std::uint8_t> mask(std::size_t(width) * std::size_t(height), 0);
    for (const PixelRect &r : masked) {
        const int left = std::clamp(r.left - area.left, 0, width);
        const int right = std::clamp(r.right - area.left, 0, width);
        const int top = std::clamp(r.top - area.top, 0, height);
        const int bottom = std::clamp(r.bottom - area.top, 0, height);
        for (int y = top; y < bottom; ++y)
            std::fill(mask.begin() + y * width + left, mask.begin() + y * width + right, std::uint8_t(1));
    }
    const auto open = [&](int x, int y) { return mask[std::size_t(y) * std::size_t(width) + std::size_t(x)] == 0; };
    const auto value = [&](int x, int y) { return brightness(shot.at(x, y)); };

    // The background and its noise: the median of the open pixels and the
    // median absolute deviation around it.
    std::vector<double> sample;
    sample.reserve(std::size_t(width / Step + 1) * std::size_t(height / Step + 1));
    for (int y = 0; y < height; y += Step) {
        for (int x = 0; x < width; x += Step) {
            if (open(x, y))
                sample.push_back(value(x, y));
        }
    }
    if (sample.size() < 16)
        return star;
    const double background = median(sample);
    for (double &v : sample)
        v = std::abs(v - background);
    const double sigma = 1.4826 * median(sample);

    // The brightest spot: the largest sum of a 3 x 3 block, so that one hot
    // pixel of noise does not outshine a star.
    // Brightness once per pixel, the masked ones at the background; then the
    // block sums from sums of three along each row.
    std::vector<std::int32_t> level(std::size_t(width) * std::size_t(height));
    const auto flat = static_cast<std::int32_t>(std::lround(background));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t i = std::size_t(y) * std::size_t(width) + std::size_t(x);
            level[i] = mask[i] == 0 ? static_cast<std::int32_t>(brightness(shot.pixels[i])) : flat;
        }
    }
    std::vector<std::int32_t> across(level.size(), 0);
    for (int y = 0; y < height; ++y) {
        const std::int32_t *row = level.data() + std::size_t(y) * std::size_t(width);
        std::int32_t *out = across.data() + std::size_t(y) * std::size_t(width);
        for (int x = 1; x < width - 1; ++x)
            out[x] = row[x - 1] + row[x] + row[x + 1];
    }
    std::int32_t bestSum = -1;
    int peakX = 0;
    int peakY = 0;
    for (int y = Radius; y < height - Radius; ++y) {
        const std::int32_t *above = across.data() + std::size_t(y - 1) * std::size_t(width);
        const std::int32_t *here = above + width;
        const std::int32_t *below = here + width;
        const std::uint8_t *masks = mask.data() + std::size_t(y) * std::size_t(width);
        for (int x = Radius; x < width - Radius; ++x) {
            const std::int32_t sum = above[x] + here[x] + below[x];
            if (sum > bestSum && masks[x] == 0) {
                bestSum = sum;
                peakX = x;
                peakY = y;
            }
        }
    }
    const double best = bestSum;
    if (best < 0)
        return star;
    star.peak = value(peakX, peakY);
    star.background = background;
    if (best / 9.0 - background < std::max(MinRise, MarginSigmas * sigma) / 3.0
        || star.peak - background < std::max(MinRise, MarginSigmas * sigma))
        return star;

    // The centroid of the light above the background, weighted by a
    // Gaussian window around the last estimate and iterated: the window keeps
    // the noise of the pixels around the star out, and, once centred on a
    // round star, pulls it nowhere.
    double cx = peakX;
    double cy = peakY;
    bool centred = false;
    for (int round = 0; round < MaxRounds && !centred; ++round) {
        double sum = 0;
        double sumX = 0;
        double sumY = 0;
        const int x0 = static_cast<int>(std::lround(cx));
        const int y0 = static_cast<int>(std::lround(cy));
        for (int y = std::max(0, y0 - Radius); y <= std::min(height - 1, y0 + Radius); ++y) {
            for (int x = std::max(0, x0 - Radius); x <= std::min(width - 1, x0 + Radius); ++x) {
                if (!open(x, y))
                    continue;
                const double r2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
                const double light = (value(x, y) - background) * std::exp(-r2 / (2 * WindowSigma * WindowSigma));
                sum += light;
                sumX += light * x;
                sumY += light * y;
            }
        }
        if (sum <= 0)
            return star;
        const double nx = sumX / sum;
        const double ny = sumY / sum;
        // A window that wanders off the peak has lost the star.
        if (std::abs(nx - peakX) > Radius || std::abs(ny - peakY) > Radius)
            return star;
        centred = std::abs(nx - cx) < 0.001 && std::abs(ny - cy) < 0.001;
        cx = nx;
        cy = ny;
    }
    // The crosshair's lines lie over the star's wings when it sits between
    // them, and a centroid of what is left leans away from them: a round
    // star's profile fitted to the open pixels is not pulled so.
    fitRoundStar(shot, open, background, cx, cy);
    star.found = true;
    star.at = { area.left + cx, area.top + cy };
    return star;
}

void DriftFit::add(double seconds, ScreenPoint offset)
{
    m_points.push_back({ seconds, offset });
    while (!m_points.empty() && seconds - m_points.front().t > DriftWindowSeconds)
        m_points.pop_front();
}

std::optional<ScreenPoint> DriftFit::perMinute() const
{
    if (m_points.size() < 3 || m_points.back().t - m_points.front().t < DriftShownAfterSeconds)
        return std::nullopt;
    // Least squares about the means, which keeps the sums small.
    const double n = static_cast<double>(m_points.size());
    double meanT = 0;
    double meanX = 0;
    double meanY = 0;
    for (const Point &p : m_points) {
        meanT += p.t;
        meanX += p.offset.x;
        meanY += p.offset.y;
    }
    meanT /= n;
    meanX /= n;
    meanY /= n;
    double tt = 0;
    double tx = 0;
    double ty = 0;
    for (const Point &p : m_points) {
        const double dt = p.t - meanT;
        tt += dt * dt;
        tx += dt * (p.offset.x - meanX);
        ty += dt * (p.offset.y - meanY);
    }
    if (tt <= 0)
        return std::nullopt;
    return ScreenPoint { 60.0 * tx / tt, 60.0 * ty / tt };
}

std::string starCaption(const std::string &name, const std::optional<ScreenPoint> &offset,
    const std::optional<ScreenPoint> &drift)
{
    if (!offset)
        return name + "  no star";
    std::string caption = name + "  " + signedNumber(offset->x) + " " + signedNumber(offset->y) + " px";
    if (drift)
        caption += "  drift " + signedNumber(drift->x) + " " + signedNumber(drift->y) + " px/min";
    return caption;
}

std::string starDescription(const ScreenPoint &offset)
{
    return "star offset " + signedNumber(offset.x) + " " + signedNumber(offset.y) + " px";
}

std::string offsetsLine(const std::tm &local, int milliseconds, const StarReading &star, const ScreenPoint &offset)
{
    char text[160];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d,%.2f,%.2f,%.2f,%.2f,%.0f,%.1f",
        local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
        std::clamp(milliseconds, 0, 999), star.at.x, star.at.y, offset.x, offset.y, star.peak, star.background);
    return text;
}

} // namespace zx
