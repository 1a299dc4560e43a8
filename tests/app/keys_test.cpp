#include "keys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using zx::TwipsRect;
namespace vk = zx::vk;

// A window that records what the key handler asks of it.
class FakeWindow final : public zx::KeyWindow {
public:
    TwipsRect bounds { 1500, 3000, 300 * 15, 200 * 15 };
    std::int32_t gap = 4;
    int relayouts = 0;
    int geometryCalls = 0;
    std::vector<std::string> actions;

    TwipsRect outerBounds() const override { return bounds; }
    void setOuterBounds(const TwipsRect &r) override
    {
        bounds = r;
        ++geometryCalls;
    }
    void setOuterWidth(int w) override { setOuterBounds({ bounds.left, bounds.top, w, bounds.height }); }
    void setOuterHeight(int h) override { setOuterBounds({ bounds.left, bounds.top, bounds.width, h }); }
    int twipsPerPixelX() const override { return 15; }
    int twipsPerPixelY() const override { return 12; } // distinct per axis on purpose
    std::int32_t pixels() const override { return gap; }
    void setPixels(std::int32_t p) override { gap = p; }
    void relayout() override { ++relayouts; }
    void stopSequence() override { actions.push_back("stop"); }
    void takeSnapshot() override { actions.push_back("snapshot"); }
    void openHelp() override { actions.push_back("help"); }
};

TEST(Keys, ShiftSquaresThenSizesByOnePixelPerAxis)
{
    FakeWindow w;
    w.bounds = { 0, 0, 300, 200 };
    zx::formKeyDown(w, vk::Shift, 1); // the Shift key's own key-down
    EXPECT_EQ(w.bounds, (TwipsRect { 0, 0, 200, 200 }));
    zx::formKeyDown(w, vk::Right, 1);
    EXPECT_EQ(w.bounds, (TwipsRect { 0, 0, 215, 212 }));
    zx::formKeyDown(w, vk::Up, 1); // squares to 212 first, then shrinks
    EXPECT_EQ(w.bounds, (TwipsRect { 0, 0, 197, 200 }));

    // A taller window squares to its width; letters with Shift square too.
    w.bounds = { 5, 6, 100, 400 };
    zx::formKeyDown(w, 'A', 1);
    EXPECT_EQ(w.bounds, (TwipsRect { 5, 6, 100, 100 }));
}

TEST(Keys, EveryArrowRow)
{
    const TwipsRect start { 1500, 3000, 3000, 3000 };
    const struct {
        int key, mask;
        TwipsRect expected;
    } rows[] = {
        { vk::Left, 1, { 1500, 3000, 2985, 2988 } },
        { vk::Left, 2, { 1485, 3000, 3000, 3000 } },
        { vk::Left, 4, { 1500, 3000, 2985, 3000 } },
        { vk::Up, 1, { 1500, 3000, 2985, 2988 } },
        { vk::Up, 2, { 1500, 2988, 3000, 3000 } },
        { vk::Up, 4, { 1500, 3000, 3000, 2988 } },
        { vk::Right, 1, { 1500, 3000, 3015, 3012 } },
        { vk::Right, 2, { 1515, 3000, 3000, 3000 } },
        { vk::Right, 4, { 1500, 3000, 3015, 3000 } },
        { vk::Down, 1, { 1500, 3000, 3015, 3012 } },
        { vk::Down, 2, { 1500, 3012, 3000, 3000 } },
        { vk::Down, 4, { 1500, 3000, 3000, 3012 } },
        // No modifier, or two at once, leaves the window alone.
        { vk::Left, 0, start },
        { vk::Left, 3, start },
        { vk::Down, 6, start },
        { vk::Right, 7, start },
    };
    for (const auto &row : rows) {
        FakeWindow w;
        w.bounds = start;
        zx::formKeyDown(w, row.key, row.mask);
        EXPECT_EQ(w.bounds, row.expected) << "key " << row.key << " mask " << row.mask;
        EXPECT_LE(w.geometryCalls, 1) << "one write per arrow";
        EXPECT_EQ(w.relayouts, 0);
    }
}

TEST(Keys, PlusAndMinusClampOneSideAndAlwaysRelayout)
{
    const struct {
        int key;
        std::int32_t before, after;
    } rows[] = {
        { vk::KeypadPlus, 4, 5 },
        { vk::PlusEquals, 49, 50 },
        { vk::PlusEquals, 50, 50 },
        { vk::KeypadPlus, 80, 50 },
        { vk::KeypadPlus, -5, -4 },
        { vk::KeypadMinus, 80, 79 },
        { vk::Minus, 2, 1 },
        { vk::Minus, 1, 1 },
        { vk::KeypadMinus, -5, 1 },
        { vk::KeypadPlus, INT32_MAX, 50 },
        { vk::Minus, INT32_MIN, 1 },
    };
    for (const auto &row : rows) {
        for (int mask : { 0, 1, 2, 7 }) {
            FakeWindow w;
            w.gap = row.before;
            zx::formKeyDown(w, row.key, mask);
            EXPECT_EQ(w.gap, row.after) << row.key << " from " << row.before;
            EXPECT_EQ(w.relayouts, 1);
        }
    }
}

TEST(Keys, CommandKeysAndKeysOutsideTheTable)
{
    FakeWindow w;
    const TwipsRect start = w.bounds;
    zx::formKeyDown(w, vk::Escape, 0);
    zx::formKeyDown(w, vk::Space, 2);
    zx::formKeyDown(w, vk::F1, 4);
    EXPECT_EQ(w.actions, (std::vector<std::string> { "stop", "snapshot", "help" }));

    for (int key : { 13, int('A'), 113, 0, 255 }) {
        for (int mask : { 0, 2, 3, 4 })
            zx::formKeyDown(w, key, mask);
    }
    EXPECT_EQ(w.bounds, start);
    EXPECT_EQ(w.gap, 4);
    EXPECT_EQ(w.relayouts, 0);
    EXPECT_EQ(w.actions.size(), 3u);
}

} // namespace
