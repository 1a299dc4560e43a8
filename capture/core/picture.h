#pragma once

#include "geometry.h"
#include "settle.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zx {

// A grabbed picture: rows of 32-bit 0x..RRGGBB pixels in native byte order,
// the top byte unused. It points into memory that `owner` keeps alive, so a
// toolkit's image or the screen's own pixels can be handed on without a copy.
struct Picture {
    int width = 0;
    int height = 0;
    std::size_t bytesPerLine = 0;
    const std::uint8_t *bits = nullptr;
    std::shared_ptr<const void> owner;

    [[nodiscard]] bool isNull() const { return bits == nullptr || width <= 0 || height <= 0; }
};

struct Grab {
    enum class Outcome {
        Taken, // picture holds what the screen shows in the area
        Cancelled, // ended by cancel(): nothing to save, nothing to tell
        Impossible, // the screen cannot be read; problem says why, plainly
    };
    Outcome outcome = Outcome::Impossible;
    Picture picture;
    std::string problem;
};

// The screen as the star offset sees it, several times a second.
struct ScreenWatch {
    enum class State {
        Pixels, // pixels hold what the screen shows in the area
        Starting, // not yet: the desktop is being asked, or its first picture is on its way
        Impossible, // the screen cannot be watched here; problem says why (empty: no way at all)
    };
    State state = State::Impossible;
    ScreenPixels pixels;
    std::string problem;
};

// Reads the screen for a snapshot; one implementation per way of reading it.
class ScreenReader {
public:
    virtual ~ScreenReader() = default;

    // A snapshot begins: the window is about to hide its button and show the
    // moment in its caption. A reader that can see the screen change starts
    // watching here, so that grab() takes the picture as soon as it shows.
    virtual void prepare() { }

    // A few pixels of the screen as it shows them now, for the waits of
    // settle.h; empty where the screen cannot be read so (through a desktop's
    // screenshot service).
    [[nodiscard]] virtual ScreenPixels read(const PixelRect &area) { (void)area; return {}; }

    // The screen in `area` for the star offset. A reader that reads pixels
    // straight away gives those; one that must first ask the desktop for a
    // live view of the screen asks on the first call and says Starting until
    // the view shows.
    [[nodiscard]] virtual ScreenWatch watch(const PixelRect &area)
    {
        ScreenPixels pixels = read(area);
        if (pixels.empty())
            return {};
        return { ScreenWatch::State::Pixels, std::move(pixels), {} };
    }

    // The star offset is off: a live view the desktop gave ends, so the
    // desktop stops showing that the screen is shared.
    virtual void stopWatching() { }

    // What the screen shows in `area` (screen pixels), as large as the area.
    // `button` is the camera button that was hidden just now: the picture is
    // not taken while the screen still shows it. `inside` is the window's
    // inside; the rest of the area is its frame, whose title bar `caption`
    // was just given the moment: the picture waits for that too, a while.
    [[nodiscard]] virtual Grab grab(
        const PixelRect &area, const PixelRect &inside, const HiddenButton &button, const CaptionBar &caption)
        = 0;

    // Ends a grab that waits for the desktop; it gives Cancelled. Also ends
    // what prepare() began when the snapshot stops before its grab.
    virtual void cancel() = 0;
};

} // namespace zx
