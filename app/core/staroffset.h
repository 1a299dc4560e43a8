#pragma once

#include "geometry.h"
#include "settle.h"

#include <ctime>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace zx {

// How often the star's offset is read while it is on.
inline constexpr int StarReadMilliseconds = 200;
// The drift is a straight line fitted to the offsets of this long…
inline constexpr double DriftWindowSeconds = 60.0;
// …shown once readings of this long are in.
inline constexpr double DriftShownAfterSeconds = 10.0;
// A star that moves this far between two readings was not drifting: the
// telescope or the window was moved, or another star is the brightest now.
// The drift starts anew.
inline constexpr double StarJumpPixels = 3.0;
// The file of readings, beside the images.
inline constexpr const char *OffsetsFileName = "Offsets.csv";
inline constexpr const char *OffsetsHeader = "time,x,y,offset x,offset y,peak,background";

// A point in screen pixels, between pixels: a pixel's centre is its whole coordinate.
struct ScreenPoint {
    double x = 0;
    double y = 0;
};

// The brightest star of a piece of the screen.
struct StarReading {
    bool found = false; // something above the background by a clear margin
    ScreenPoint at; // its centroid, screen pixels
    double peak = 0; // the brightest pixel, 0..255
    double background = 0; // the level around it, 0..255
};

// Finds the brightest star in `shot`, what the screen shows at `area`, the
// pixels in `masked` (screen pixels: the crosshair's own lines and button)
// left out: the background-subtracted centroid around the brightest pixel.
[[nodiscard]] StarReading findStar(const ScreenPixels &shot, const PixelRect &area,
    const std::vector<PixelRect> &masked);

// The drift of the offsets: a straight line fitted to the last minute's.
class DriftFit {
public:
    void add(double seconds, ScreenPoint offset);
    void clear() { m_points.clear(); }
    // Pixels per minute, once enough readings are in.
    [[nodiscard]] std::optional<ScreenPoint> perMinute() const;

private:
    struct Point {
        double t;
        ScreenPoint offset;
    };
    std::deque<Point> m_points;
};

// The caption while the offset is read: "<name>  +3.4 -1.2 px  drift +0.8
// -0.1 px/min", without the drift before it is known; "<name>  no star".
[[nodiscard]] std::string starCaption(const std::string &name, const std::optional<ScreenPoint> &offset,
    const std::optional<ScreenPoint> &drift);

// What a snapshot says of the star in its description.
[[nodiscard]] std::string starDescription(const ScreenPoint &offset);

// One line of the readings' file (no line end): local time to the
// millisecond, the star's place, its offset, peak and background.
[[nodiscard]] std::string offsetsLine(const std::tm &local, int milliseconds, const StarReading &star,
    const ScreenPoint &offset);

} // namespace zx
