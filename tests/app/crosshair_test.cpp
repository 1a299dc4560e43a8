// The crosshair's behaviour driven through fakes of its front-end: the road
// of a snapshot, the sequence and its failures, keys, menu and start-up.
#include "crosshair.h"
#include "snapshotnames.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace zx {
namespace {

using test::TempDir;

// Everything the fakes are asked, in order.
using Log = std::vector<std::string>;

// A window manager that grants every request, with a 4-pixel frame and a
// 26-pixel title bar, on one 1280 x 1024 screen at 96 dpi.
class FakeWindow final : public CrosshairWindow {
public:
    explicit FakeWindow(Log &log)
        : m_log(log)
    {
    }

    PixelRect outer { 100, 100, 583, 444 }; // the design inside, 475 x 314, framed
    bool normal = true;
    std::string caption;
    WindowLook look;
    int looks = 0;
    bool enabled = true;
    std::vector<bool> above;
    MenuChecks checks;
    std::vector<PixelRect> requests;
    std::string notOnTop;
    int closes = 0;
    std::function<void()> onLetEventsRun; // what the user does at a pause
    std::function<void()> onPause; // ... during the splash
    std::vector<std::pair<int, int>> insideSizes;

    WindowBounds bounds() const override
    {
        return { outer, { outer.left + 4, outer.top + 26, outer.right - 4, outer.bottom - 4 } };
    }
    int twipsPerPixelX() const override { return 15; }
    int twipsPerPixelY() const override { return 15; }
    std::vector<PixelRect> screens() const override { return { { 0, 0, 1280, 1024 } }; }
    bool isNormal() const override { return normal; }
    void resizeInside(int w, int h) override { insideSizes.emplace_back(w, h); }
    PixelRect splashPictureSize() const override { return { 0, 0, 400, 300 }; }
    void showFramed() override { m_log.push_back("show"); }
    void requestPlace(const PixelRect &r) override
    {
        requests.push_back(r);
        outer = r;
    }
    void setCaption(const std::string &text) override
    {
        caption = text;
        m_log.push_back("caption " + text);
    }
    void setLook(const WindowLook &l) override
    {
        if (l.buttonShown != look.buttonShown || looks == 0)
            m_log.push_back(l.buttonShown ? "button shown" : "button hidden");
        look = l;
        ++looks;
    }
    ScreenPixels buttonPixels() const override { return { 1, 1, { 0x00c0c0c0u } }; }
    void enableButton(bool on) override
    {
        enabled = on;
        m_log.push_back(on ? "button enabled" : "button disabled");
    }
    void setAbove(bool on) override { above.push_back(on); }
    std::string whyNotOnTop() const override { return notOnTop; }
    bool canMendOnTop = false;
    std::string mendFails; // what keepOnTopItself() says
    int mended = 0;
    bool canKeepOnTopItself() const override { return canMendOnTop; }
    std::string keepOnTopItself() override
    {
        ++mended;
        if (mendFails.empty())
            notOnTop.clear();
        return mendFails;
    }
    void showChecks(const MenuChecks &c) override { checks = c; }
    void popupMenu(PixelPoint at) override { m_log.push_back("menu " + std::to_string(at.x) + "," + std::to_string(at.y)); }
    void letEventsRun() override
    {
        if (onLetEventsRun)
            std::exchange(onLetEventsRun, nullptr)();
    }
    void pauseWithoutInput(int ms) override
    {
        m_log.push_back("pause " + std::to_string(ms));
        if (onPause)
            std::exchange(onPause, nullptr)();
    }
    void closeSoon() override { ++closes; }

private:
    Log &m_log;
};

class FakeDialogs final : public Dialogs {
public:
    explicit FakeDialogs(Log &log)
        : m_log(log)
    {
    }

    std::optional<std::string> answer;
    bool yes = true;
    std::vector<std::string> problems;
    int problemsClosed = 0;
    std::function<void()> whileProblemShown;
    std::function<void()> escapeOnProblem; // what Esc on the message shown now does
    std::function<void()> whileInformationShown;

    void warn(const std::string &text) override { m_log.push_back("warn " + text); }
    bool confirm(const std::string &q) override
    {
        m_log.push_back("ask " + q);
        return yes;
    }
    std::optional<std::string> askText(const std::string &prompt, const std::string &initial) override
    {
        m_log.push_back("prompt " + initial);
        EXPECT_EQ(prompt, "Enter Interval in milliseconds:\n\n(Once started, press Esc to stop capturing)");
        return answer;
    }
    void showProblem(const std::string &text, const std::function<void()> &onEscape) override
    {
        problems.push_back(text);
        m_log.push_back("problem " + text);
        escapeOnProblem = onEscape;
        if (whileProblemShown)
            whileProblemShown();
        escapeOnProblem = nullptr;
    }
    void closeProblem() override { ++problemsClosed; }
    void showHelp() override
    {
        m_log.push_back("help");
        if (whileInformationShown)
            std::exchange(whileInformationShown, nullptr)();
    }
    void showAbout() override
    {
        m_log.push_back("about");
        if (whileInformationShown)
            std::exchange(whileInformationShown, nullptr)();
    }
    void openFolder(const std::filesystem::path &folder) override { m_log.push_back("open " + folder.string()); }

private:
    Log &m_log;
};

class FakeTimer final : public SequenceTimer {
public:
    int interval = 0;
    bool running = false;
    void start(int ms) override
    {
        interval = ms;
        running = true;
    }
    void stop() override
    {
        interval = 0;
        running = false;
    }
    bool isRunning() const override { return running; }
};

class FakeScreen final : public ScreenReader {
public:
    explicit FakeScreen(Log &log)
        : m_log(log)
    {
    }

    Grab result { Grab::Outcome::Taken, picture(), {} };
    PixelRect area, inside;
    HiddenButton button;
    CaptionBar caption;
    std::vector<PixelRect> reads;
    int cancels = 0;
    std::function<void()> whileGrabbing; // what else happens during the grab

    static Picture picture()
    {
        static const std::uint32_t pixels[4] = { 0xffc00000u, 0xff000000u, 0xff00ff00u, 0xffffffffu };
        return { 2, 2, 8, reinterpret_cast<const std::uint8_t *>(pixels), nullptr };
    }
    void prepare() override { m_log.push_back("prepare"); }
    std::function<ScreenPixels(const PixelRect &)> sky; // what the screen shows, when set
    bool unreadable = false; // a desktop that gives no pixels
    ScreenPixels read(const PixelRect &r) override
    {
        reads.push_back(r);
        if (unreadable)
            return {};
        if (sky)
            return sky(r);
        return { r.width(), r.height(), std::vector<std::uint32_t>(std::size_t(r.width() * r.height()), 0x808080u) };
    }
    // A desktop that gives a live view only after asking: the states it answers
    // with, one per watch; once used up, the pixels.
    std::vector<ScreenWatch> answers;
    int watchesStopped = 0;
    ScreenWatch watch(const PixelRect &r) override
    {
        if (answers.empty())
            return ScreenReader::watch(r);
        ScreenWatch next = answers.front();
        answers.erase(answers.begin());
        return next;
    }
    void stopWatching() override { ++watchesStopped; }
    Grab grab(const PixelRect &a, const PixelRect &i, const HiddenButton &b, const CaptionBar &c) override
    {
        area = a;
        inside = i;
        button = b;
        caption = c;
        m_log.push_back("grab");
        if (whileGrabbing)
            whileGrabbing();
        return result;
    }
    void cancel() override { ++cancels; }

private:
    Log &m_log;
};

// Writes an empty file of the number's name, as the companion writer would write the picture.
class FakeWriter final : public SnapshotWriter {
public:
    explicit FakeWriter(Log &log)
        : m_log(log)
    {
    }

    bool fails = false;
    std::string problem; // said with a failure
    std::int32_t quality = 0;
    SnapshotStamp stamp;

    Written write(const Picture &, const std::filesystem::path &folder, std::int64_t number, std::int32_t q,
        const SnapshotStamp &s, SnapshotTimings &) override
    {
        m_log.push_back("write " + std::to_string(number));
        quality = q;
        stamp = s;
        if (fails)
            return { 0, problem };
        test::writeBytes(folder / snapshotFileName(number), "");
        return { number, {} };
    }

private:
    Log &m_log;
};

class FakeSound final : public Sound {
public:
    explicit FakeSound(Log &log)
        : m_log(log)
    {
    }
    void playClick() override { m_log.push_back("click"); }

private:
    Log &m_log;
};

class FakeClock final : public Clock {
public:
    std::chrono::system_clock::time_point now = std::chrono::sys_days(std::chrono::March / 7 / 2024) + std::chrono::hours(20);
    std::chrono::system_clock::time_point systemNow() const override { return now; }
    std::tm localNow() const override
    {
        std::tm t {};
        t.tm_year = 124;
        t.tm_mon = 2;
        t.tm_mday = 7;
        t.tm_hour = 21;
        t.tm_min = 5;
        t.tm_sec = 9;
        return t;
    }
};

struct Rig {
    TempDir dir;
    Log log;
    FakeWindow window { log };
    FakeDialogs dialogs { log };
    FakeTimer timer;
    FakeScreen screen { log };
    FakeWriter writer { log };
    FakeSound sound { log };
    FakeClock clock;
    FakeTimer starTimer;
    Crosshair core;

    Rig()
        : core(ProgramPlace { "Zx", dir.path, dir / "Zx.ini", dir / "Images", false, {} },
            { window, dialogs, timer, screen, writer, sound, clock, starTimer })
    {
        std::filesystem::create_directories(dir / "Images");
    }
    // Started, with the settings file as given, and the log cleared.
    void load(const std::string &settings = {})
    {
        if (!settings.empty())
            test::writeBytes(dir / "Zx.ini", "[ZENTROLUX]\r\n" + settings);
        core.formLoad();
        log.clear();
    }
    std::string ini() const { return test::readBytes(dir / "Zx.ini"); }
};

TEST(Crosshair, SnapshotRoadInOrder)
{
    Rig r;
    r.load();
    test::writeBytes(r.dir / "Images" / "CAP0041.jpg", "");
    r.core.cmdSaveClick();
    // The screen reader is told before the window changes, so it can watch the change.
    const Log want { "prepare", "button hidden", "caption Zx - 2024-03-07 21:05:09", "click", "button disabled",
        "grab", "write 42", "caption Zx", "button enabled", "button shown" };
    EXPECT_EQ(r.log, want);
    // Form Area: the whole window, the frame beyond the inside; the button's square in screen
    // pixels, top right of the inside.
    EXPECT_EQ(r.screen.area, r.window.outer);
    const PixelRect inside = r.window.bounds().inside;
    EXPECT_EQ(r.screen.inside, inside);
    // The button's square, and what the screen showed there before it was hidden, go to the grab.
    EXPECT_EQ(r.screen.button.square, (PixelRect { inside.right - 25, inside.top, inside.right, inside.top + 25 }));
    EXPECT_EQ(r.screen.button.painted.pixels, r.window.buttonPixels().pixels);
    // The title bar, as it was before the moment went into the caption: the grab waits for that.
    const PixelRect bar { r.window.outer.left, r.window.outer.top, r.window.outer.right, inside.top };
    EXPECT_EQ(r.screen.caption.bar, bar);
    EXPECT_EQ(r.screen.reads, (std::vector { bar }));
    EXPECT_EQ(r.screen.caption.before.pixels.size(), std::size_t(bar.width() * bar.height()));
    EXPECT_EQ(r.writer.quality, 100);

    // Client Area, no sound, quality 30: the inside, silently.
    r.core.choose(MenuCommand::ClientArea);
    r.core.choose(MenuCommand::SoundOff);
    r.core.choose(MenuCommand::Quality30);
    r.log.clear();
    r.screen.reads.clear();
    r.core.keyDown(vk::Space, 0);
    EXPECT_EQ(r.screen.area, inside);
    EXPECT_EQ(r.screen.inside, inside);
    EXPECT_TRUE(r.screen.reads.empty()) << "no title bar to wait for";
    EXPECT_TRUE(r.screen.caption.before.empty());
    EXPECT_EQ(std::count(r.log.begin(), r.log.end(), "click"), 0);
    EXPECT_EQ(r.log[5], "write 43");
    EXPECT_EQ(r.writer.quality, 30);

    // The file is stamped with the moment the grab ended, not when the snapshot began.
    const auto grabEnded = r.clock.now + std::chrono::milliseconds(1234);
    r.screen.whileGrabbing = [&] { r.clock.now = grabEnded; };
    r.core.cmdSaveClick();
    EXPECT_EQ(r.writer.stamp.moment, grabEnded);
    EXPECT_EQ(r.writer.stamp.description, "");
}

TEST(Crosshair, SequenceStartsTicksAndStops)
{
    Rig r;
    r.load("Interval = 700\r\n");
    // The prompt offers the stored interval; a cancel or empty answer changes nothing.
    r.core.choose(MenuCommand::StartSequence);
    EXPECT_EQ(r.log, (Log { "prompt 700" }));
    r.dialogs.answer = "";
    r.core.choose(MenuCommand::StartSequence);
    EXPECT_FALSE(r.timer.running);

    const struct {
        const char *answer;
        int started; // 0: refused with the range message
    } cases[] = { { "1", 1 }, { "65000", 65000 }, { " 1500 ms", 1500 }, { "1 500", 1500 }, { "2.5", 2 },
        { "3.5", 4 }, { "0", 0 }, { "65001", 0 }, { "abc", 0 }, { "0.4", 0 } };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.answer);
        r.timer.stop();
        r.log.clear();
        r.dialogs.answer = c.answer;
        r.core.choose(MenuCommand::StartSequence);
        EXPECT_EQ(r.timer.running, c.started != 0);
        if (c.started != 0)
            EXPECT_EQ(r.timer.interval, c.started);
        else
            EXPECT_EQ(r.log.back(), "warn Interval must be between 1 and 65000");
    }
    EXPECT_EQ(r.core.settings().interval, 4); // the last accepted one

    // A tick leaves the file's name in the caption; Esc stops and shows the name.
    r.core.startSequence(10);
    r.core.timerTick();
    EXPECT_EQ(r.window.caption, "Zx - CAP0001.jpg");
    r.core.keyDown(vk::Space, 0); // an extra snapshot keeps the sequence running
    EXPECT_TRUE(r.timer.running);
    r.core.keyDown(vk::Escape, 0);
    EXPECT_FALSE(r.timer.running);
    EXPECT_EQ(r.timer.interval, 0);
    EXPECT_EQ(r.window.caption, "Zx");
    EXPECT_TRUE(std::filesystem::exists(r.dir / "Images" / "CAP0002.jpg"));
}

TEST(Crosshair, FailedSnapshots)
{
    // A writer that fails: the message, the window restored, the sequence goes on.
    {
        Rig r;
        r.load();
        r.writer.fails = true;
        r.core.startSequence(50);
        r.core.timerTick();
        EXPECT_EQ(r.dialogs.problems, (Log { "Problem saving snapshot" }));
        EXPECT_TRUE(r.timer.running);
        EXPECT_EQ(r.window.caption, "Zx - CAP0001.jpg"); // the number tried, not reserved
        EXPECT_TRUE(r.window.look.buttonShown);
        EXPECT_TRUE(r.window.enabled);
        r.core.timerTick();
        EXPECT_EQ(r.log.back(), "button shown");
        EXPECT_NE(std::find(r.log.begin(), r.log.end(), "write 1"), r.log.end());

        // Esc on the message of a sequence that fails at every tick stops it and closes the message.
        r.dialogs.whileProblemShown = [&] { r.dialogs.escapeOnProblem(); };
        r.core.timerTick();
        EXPECT_FALSE(r.timer.running);
        EXPECT_EQ(r.dialogs.problemsClosed, 1);
        EXPECT_EQ(r.window.caption, "Zx");

        // What the writer says of its failure follows the message's own line.
        r.writer.problem = "The JPEG writer library could not be loaded.";
        r.dialogs.whileProblemShown = nullptr;
        r.core.cmdSaveClick();
        EXPECT_EQ(r.dialogs.problems.back(),
            "Problem saving snapshot\n\nThe JPEG writer library could not be loaded.");
    }
    // A screen that cannot be read stops the sequence before telling why, once.
    {
        Rig r;
        r.load();
        r.screen.result = { Grab::Outcome::Impossible, {}, "no screenshot service" };
        r.core.startSequence(50);
        r.core.timerTick();
        EXPECT_FALSE(r.timer.running);
        EXPECT_EQ(r.dialogs.problems, (Log { "no screenshot service" }));
        EXPECT_EQ(std::count(r.log.begin(), r.log.end(), "write 1"), 0);
        // A grab cancelled by Esc saves nothing and tells nothing.
        r.screen.result = { Grab::Outcome::Cancelled, {}, {} };
        r.core.cmdSaveClick();
        EXPECT_EQ(r.dialogs.problems.size(), 1u);
    }
    // Esc handled at the pause after the button is hidden: no picture at all.
    {
        Rig r;
        r.load();
        r.core.startSequence(50);
        r.window.onLetEventsRun = [&] { r.core.keyDown(vk::Escape, 0); };
        r.core.timerTick();
        EXPECT_EQ(std::count(r.log.begin(), r.log.end(), "grab"), 0);
        // The screen reader was prepared for the grab: it is told that none comes.
        EXPECT_EQ(std::count(r.log.begin(), r.log.end(), "prepare"), 1);
        EXPECT_EQ(r.screen.cancels, 1);
        EXPECT_TRUE(r.window.look.buttonShown);
        EXPECT_EQ(r.window.caption, "Zx");
    }
    // A close request under the message is kept until the snapshot ends, then carried out.
    {
        Rig r;
        r.load();
        r.writer.fails = true;
        r.dialogs.answer = "50";
        r.core.choose(MenuCommand::StartSequence);
        r.dialogs.whileProblemShown = [&] {
            EXPECT_FALSE(r.core.closeRequested());
            r.core.timerTick(); // dropped: one snapshot at a time
        };
        r.core.timerTick();
        EXPECT_FALSE(r.timer.running);
        EXPECT_EQ(r.dialogs.problems.size(), 1u);
        EXPECT_EQ(r.window.closes, 1);
        EXPECT_TRUE(r.core.closeRequested());
        EXPECT_NE(r.ini().find("Interval     = 50\r\n"), std::string::npos) << r.ini();
    }
}

TEST(Crosshair, KeysMoveSizeAndWidenThroughTheWindowManager)
{
    Rig r;
    r.load();
    const PixelRect start = r.window.outer;
    r.core.keyDown(vk::Right, keymask::Control);
    EXPECT_EQ(r.window.outer, (PixelRect { start.left + 1, start.top, start.right + 1, start.bottom }));
    r.core.keyDown(vk::Down, keymask::Alt);
    EXPECT_EQ(r.window.outer.height(), start.height() + 1);
    r.core.keyDown(vk::Shift, keymask::Shift);
    EXPECT_EQ(r.window.outer.width(), r.window.outer.height());

    // Plus widens the pairs one pixel each side of the centre, up to 50.
    const auto gap = [&] { return r.window.look.lines[1].x1 - r.window.look.lines[0].x1; };
    EXPECT_EQ(gap(), 8);
    r.core.keyDown(vk::PlusEquals, 0);
    EXPECT_EQ(gap(), 10);
    for (int i = 0; i < 60; ++i)
        r.core.keyDown(vk::KeypadPlus, 0);
    EXPECT_EQ(r.core.settings().pixels, 50);

    // F1 opens the help out of the topmost band.
    r.window.above.clear();
    r.core.keyDown(vk::F1, 0);
    EXPECT_EQ(r.log.back(), "help");
    EXPECT_EQ(r.window.above, (std::vector<bool> { false, true }));
}

TEST(Crosshair, InformationWindowsAreModalAndOneAtATime)
{
    for (const MenuCommand opened : { MenuCommand::Help, MenuCommand::About }) {
        Rig r;
        r.load();
        const TwipsRect before { r.core.settings().formLeft, r.core.settings().formTop, 0, 0 };
        const PixelRect outer = r.window.outer;
        const std::int32_t pixels = r.core.settings().pixels;
        r.dialogs.whileInformationShown = [&] {
            // Keys, clicks and the menu wait until the window is closed; F1 opens no second one.
            r.core.keyDown(vk::F1, 0);
            r.core.keyDown(vk::KeypadPlus, 0);
            r.core.keyDown(vk::Right, keymask::Control);
            r.core.keyDown(vk::Space, 0);
            r.core.cmdSaveClick();
            r.core.cmdSaveMouseDown(2, { 1, 1 });
            r.core.choose(MenuCommand::About);
            r.core.choose(MenuCommand::Help);
            r.core.choose(MenuCommand::CrossNone);
        };
        r.core.choose(opened);
        EXPECT_EQ(r.log, (Log { opened == MenuCommand::Help ? "help" : "about" }));
        EXPECT_EQ(r.core.settings().pixels, pixels);
        EXPECT_EQ(r.window.outer, outer);
        EXPECT_TRUE(r.core.settings().crossHair);
        EXPECT_EQ(before.left, r.core.settings().formLeft);
        // Closed, the crosshair takes keys again.
        r.core.keyDown(vk::KeypadPlus, 0);
        EXPECT_EQ(r.core.settings().pixels, pixels + 1);
    }
}

TEST(Crosshair, SessionEndWritesTheSettingsWhateverRuns)
{
    // Under a snapshot's message, where a close request would wait: the settings are written at once.
    Rig r;
    r.load();
    r.core.keyDown(vk::Right, keymask::Control);
    r.writer.fails = true;
    r.core.startSequence(50);
    r.dialogs.whileProblemShown = [&] { r.core.sessionEnds(); };
    r.core.timerTick();
    EXPECT_FALSE(r.timer.running);
    const TwipsRect moved = TwipsScale(15, 15).toTwips(r.window.outer);
    EXPECT_NE(r.ini().find("Left         = " + std::to_string(moved.left) + "\r\n"), std::string::npos) << r.ini();
    // Written once: a later close changes nothing, and no close is carried out for the kept request.
    test::writeBytes(r.dir / "Zx.ini", "kept");
    EXPECT_TRUE(r.core.closeRequested());
    EXPECT_EQ(r.ini(), "kept");
    EXPECT_EQ(r.window.closes, 0);
}

TEST(Crosshair, MenuCommandsSetTheirMarksAndLayout)
{
    Rig r;
    r.load();
    const struct {
        MenuCommand command;
        bool relayout;
        bool MenuChecks::*option;
        bool value;
    } pairs[] = {
        { MenuCommand::CrossNone, true, &MenuChecks::crossHair, false },
        { MenuCommand::Cross, true, &MenuChecks::crossHair, true },
        { MenuCommand::ClientArea, true, &MenuChecks::captureClient, true },
        { MenuCommand::FormArea, true, &MenuChecks::captureClient, false },
        { MenuCommand::SoundOff, false, &MenuChecks::soundOn, false },
        { MenuCommand::SoundOn, false, &MenuChecks::soundOn, true },
    };
    for (const auto &p : pairs) {
        const int looks = r.window.looks;
        r.core.choose(p.command);
        EXPECT_EQ(r.window.checks.*p.option, p.value);
        EXPECT_TRUE(r.window.checks.isChecked(p.command));
        EXPECT_EQ(r.window.looks > looks, p.relayout);
    }
    // None hides the lines and their bands; the button stays.
    r.core.choose(MenuCommand::CrossNone);
    EXPECT_TRUE(r.window.look.lines.empty());
    EXPECT_TRUE(r.window.look.shape.bands.empty());
    EXPECT_EQ(r.window.look.shape.boxes.size(), 1u);

    r.core.choose(MenuCommand::Quality70);
    EXPECT_EQ(r.core.settings().quality, 70);
    EXPECT_TRUE(r.window.checks.isChecked(MenuCommand::Quality70));
    EXPECT_FALSE(r.window.checks.isChecked(MenuCommand::Quality100));

    // The right button opens the menu at the pointer; the left does not.
    r.log.clear();
    r.core.cmdSaveMouseDown(1, { 3, 4 });
    r.core.cmdSaveMouseDown(2, { 3, 4 });
    const PixelRect button = r.window.look.button;
    EXPECT_EQ(r.log, (Log { "menu " + std::to_string(button.left + 3) + "," + std::to_string(button.top + 4) }));

    r.core.choose(MenuCommand::About);
    EXPECT_EQ(r.log.back(), "about");
    r.core.choose(MenuCommand::Explore);
    EXPECT_EQ(r.log.back(), "open " + (r.dir / "Images").string());
}

TEST(Crosshair, ClearAllImagesAsksFirst)
{
    Rig r;
    r.load();
    r.core.choose(MenuCommand::Clear);
    EXPECT_EQ(r.log.back(), "warn There are no files in the folder to Delete!");
    for (const char *name : { "CAP0001.jpg", "CAP0002.JPG", "photo.jpg", "notes.txt" })
        test::writeBytes(r.dir / "Images" / name, "");
    r.dialogs.yes = false;
    r.core.choose(MenuCommand::Clear);
    EXPECT_EQ(r.log.back(), "ask Are you sure you want to Delete 3 images?");
    EXPECT_TRUE(std::filesystem::exists(r.dir / "Images" / "photo.jpg"));
    r.dialogs.yes = true;
    r.core.choose(MenuCommand::Clear);
    EXPECT_FALSE(std::filesystem::exists(r.dir / "Images" / "photo.jpg"));
    EXPECT_TRUE(std::filesystem::exists(r.dir / "Images" / "notes.txt"));
}

TEST(Crosshair, StartUpPlacesTheWindowAndCloseWritesItsBounds)
{
    // First start: the inside at the design place, the design size kept, the splash for 3 s.
    {
        Rig r;
        r.core.formLoad();
        EXPECT_NE(std::find(r.log.begin(), r.log.end(), "pause 3000"), r.log.end());
        EXPECT_EQ(r.window.bounds().inside.left, 230);
        EXPECT_EQ(r.window.bounds().inside.top, 156);
        EXPECT_EQ(r.window.outer.width(), 483);
        EXPECT_EQ(r.window.insideSizes.front(), (std::pair { 475, 314 }));
        EXPECT_FALSE(r.window.look.splash);
        EXPECT_EQ(r.window.look.colour, (Colour { 192, 0, 0 }));
        EXPECT_TRUE(r.window.checks.isChecked(MenuCommand::Quality100));
        EXPECT_TRUE(r.core.closeRequested());
        EXPECT_EQ(r.ini(),
            "[ZENTROLUX]\r\n   Top          = 1950\r\n   Left         = 3390\r\n   Width        = 7245\r\n"
            "   Height       = 5160\r\n   Quality      = 100\r\n   Pixels       = 4\r\n"
            "   Interval     = 1000\r\n   CrossHair    = 1\r\n   Capture      = 0\r\n   Sound        = 1\r\n");
    }
    // Stored bounds come back to the pixel; a minimized window keeps them on close.
    {
        Rig r;
        r.load("Top=150\r\nLeft=12135\r\nWidth=7245\r\nHeight=5100\r\nSound=0\r\nCapture=1\r\n");
        EXPECT_EQ(r.window.outer, (PixelRect { 809, 10, 1292, 350 }));
        EXPECT_FALSE(r.window.checks.soundOn);
        EXPECT_TRUE(r.window.checks.captureClient);
        r.window.outer = { 0, 0, 100, 100 };
        r.window.normal = false;
        EXPECT_TRUE(r.core.closeRequested());
        EXPECT_NE(r.ini().find("Left         = 12135\r\n"), std::string::npos);
    }
    // Keys and snapshots wait for the splash; a close during it is carried out after start-up.
    {
        Rig r;
        r.window.onPause = [&] {
            r.core.keyDown(vk::Right, keymask::Control);
            r.core.cmdSaveClick();
            EXPECT_FALSE(r.core.closeRequested());
        };
        const auto requests = [&] { return r.window.requests.size(); };
        r.core.formLoad();
        EXPECT_EQ(std::count(r.log.begin(), r.log.end(), "grab"), 0);
        EXPECT_EQ(requests(), 3u); // design place, stored place, stored bounds: no key's move
        EXPECT_EQ(r.window.closes, 1);
    }
    // A desktop that keeps nothing on top for the window is named once, after the splash; a close
    // asked for meanwhile goes first.
    {
        Rig r;
        r.window.notOnTop = "rule missing";
        r.core.formLoad();
        EXPECT_EQ(std::count(r.log.begin(), r.log.end(), "warn rule missing"), 1);
        EXPECT_GT(std::find(r.log.begin(), r.log.end(), "warn rule missing"),
            std::find(r.log.begin(), r.log.end(), "pause 3000"));
        Rig closing;
        closing.window.notOnTop = "rule missing";
        closing.window.onPause = [&] { EXPECT_FALSE(closing.core.closeRequested()); };
        closing.core.formLoad();
        EXPECT_EQ(std::count(closing.log.begin(), closing.log.end(), "warn rule missing"), 0);
    }
    // Where the program can add the rule itself, it asks first, and does it only on Yes.
    for (const bool yes : { true, false }) {
        Rig r;
        r.window.notOnTop = "rule missing";
        r.window.canMendOnTop = true;
        r.dialogs.yes = yes;
        r.core.formLoad();
        EXPECT_EQ(std::count_if(r.log.begin(), r.log.end(),
                      [](const std::string &l) { return l.rfind("ask rule missing\n\nShall Zx add the rule now?", 0) == 0; }),
            1);
        EXPECT_EQ(r.window.mended, yes ? 1 : 0);
        EXPECT_EQ(std::count(r.log.begin(), r.log.end(), "warn rule missing"), 0);
    }
    {
        Rig r;
        r.window.notOnTop = "rule missing";
        r.window.canMendOnTop = true;
        r.window.mendFails = "rc.xml cannot be written";
        r.core.formLoad();
        EXPECT_EQ(r.log.back(), "warn rc.xml cannot be written");
    }
}

} // namespace
} // namespace zx

namespace zx {
namespace {

// The screen as the star reading sees it: a dark sky with a star of 3 px
// FWHM at (x, y) on the screen, and the crosshair's lines in red over it.
ScreenPixels skyWithStar(const PixelRect &r, double x, double y, const std::vector<PixelRect> &lines)
{
    ScreenPixels shot { r.width(), r.height(), std::vector<std::uint32_t>(std::size_t(r.width() * r.height())) };
    for (int py = 0; py < r.height(); ++py) {
        for (int px = 0; px < r.width(); ++px) {
            const double dx = r.left + px - x;
            const double dy = r.top + py - y;
            const auto v = static_cast<std::uint32_t>(15 + ((px * 7 + py * 13) % 5) + 180 * std::exp(-(dx * dx + dy * dy) / 3.25));
            std::uint32_t pixel = v << 16 | v << 8 | v;
            for (const PixelRect &l : lines) {
                if (l.contains(r.left + px, r.top + py))
                    pixel = 0xc00000u;
            }
            shot.pixels[std::size_t(py * r.width() + px)] = pixel;
        }
    }
    return shot;
}

TEST(Crosshair, TelescopeItemsColourTheLinesAndAreKept)
{
    Rig r;
    r.load();
    EXPECT_EQ(r.window.look.colour, CrosshairRed);
    EXPECT_FALSE(r.window.look.night);
    const int looks = r.window.looks;
    r.core.choose(MenuCommand::LineGreen);
    EXPECT_GT(r.window.looks, looks) << "a new colour is drawn at once";
    EXPECT_EQ(r.window.look.colour, (Colour { 0, 192, 0 }));
    EXPECT_TRUE(r.window.checks.isChecked(MenuCommand::LineGreen));
    EXPECT_FALSE(r.window.checks.isChecked(MenuCommand::LineRed));
    r.core.choose(MenuCommand::NightColours);
    EXPECT_TRUE(r.window.look.night);
    EXPECT_EQ(r.window.look.colour, NightRed) << "night overrides the chosen colour";
    EXPECT_TRUE(r.window.checks.isChecked(MenuCommand::NightColours));
    ASSERT_TRUE(r.core.closeRequested());
    EXPECT_NE(r.ini().find("[TELESCOPE]\r\n   Night        = 1\r\n   LineColour   = green\r\n"), std::string::npos)
        << r.ini();

    // The next start comes back in them.
    Rig again;
    std::filesystem::copy_file(r.dir / "Zx.ini", again.dir / "Zx.ini");
    again.load();
    EXPECT_TRUE(again.window.look.night);
    EXPECT_EQ(again.core.settings().lineColour, LineColour::Green);
    EXPECT_TRUE(again.window.checks.isChecked(MenuCommand::LineGreen));
}

TEST(Crosshair, StarOffsetReadsTheStarUnderTheCentre)
{
    Rig r;
    r.load();
    const PixelRect inside = r.window.bounds().inside;
    // The lines as the window shows them: the pixels of the shape's bands that lie in the inside, red.
    const Shape &shape = r.window.look.shape;
    const auto shown = [&](int x, int y) {
        return std::any_of(shape.bands.begin(), shape.bands.end(),
            [&](const Band &b) { return bandContains(b, x + shape.frameLeft + 0.5, y + shape.frameTop + 0.5); });
    };
    std::vector<int> columns, rows;
    for (int x = 0; x < inside.width(); ++x) {
        if (shown(x, 3))
            columns.push_back(x);
    }
    for (int y = 0; y < inside.height(); ++y) {
        if (shown(3, y))
            rows.push_back(y);
    }
    ASSERT_EQ(columns.size(), 4u) << "two bands of two pixels";
    ASSERT_EQ(rows.size(), 4u);
    std::vector<PixelRect> lines;
    for (int x : columns)
        lines.push_back({ inside.left + x, inside.top, inside.left + x + 1, inside.bottom });
    for (int y : rows)
        lines.push_back({ inside.left, inside.top + y, inside.right, inside.top + y + 1 });
    const double centreX = inside.left + (columns[0] + columns[1] + columns[2] + columns[3]) / 4.0;
    const double centreY = inside.top + (rows[0] + rows[1] + rows[2] + rows[3]) / 4.0;
    // In the gap between the lines, where the user keeps it.
    double starX = centreX + 1.3;
    double starY = centreY - 0.7;
    r.screen.sky = [&](const PixelRect &area) { return skyWithStar(area, starX, starY, lines); };

    r.core.choose(MenuCommand::StarOffset);
    EXPECT_TRUE(r.starTimer.running);
    EXPECT_EQ(r.starTimer.interval, StarReadMilliseconds);
    EXPECT_EQ(r.screen.reads.back(), inside) << "the inside is read";
    EXPECT_EQ(r.window.caption, "Zx  +1.3 -0.7 px");

    // The star drifts 0.9 px a minute right; the drift shows after ten seconds.
    for (int i = 1; i <= 75; ++i) {
        r.clock.now += std::chrono::milliseconds(200);
        starX += 0.9 / 300;
        r.core.starTick();
        if (i == 45) {
            EXPECT_EQ(r.window.caption.find("drift"), std::string::npos) << "nine seconds in";
        }
    }
    EXPECT_EQ(r.window.caption, "Zx  +1.5 -0.7 px  drift +0.9 +0.0 px/min");

    // A file of readings beside the images, appended.
    const std::string csv = test::readBytes(r.dir / "Images" / OffsetsFileName);
    EXPECT_EQ(csv.substr(0, csv.find('\n') + 1), std::string(OffsetsHeader) + "\r\n");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 77);

    // Not while the popup menu is open, which may lie over the inside.
    const std::size_t reads = r.screen.reads.size();
    r.core.cmdSaveMouseDown(2, { 3, 4 });
    r.core.starTick();
    EXPECT_EQ(r.screen.reads.size(), reads);
    r.core.menuClosed();
    r.core.starTick();
    EXPECT_EQ(r.screen.reads.size(), reads + 1);

    // A star that jumps (the telescope moved) starts the drift anew.
    starX += 10;
    r.core.starTick();
    EXPECT_EQ(r.window.caption, "Zx  +11.5 -0.7 px");
    starX -= 10;
    r.core.starTick();
    EXPECT_EQ(r.window.caption, "Zx  +1.5 -0.7 px");

    // A snapshot meanwhile names the star's offset in its description, and the caption comes back.
    r.core.cmdSaveClick();
    EXPECT_EQ(r.writer.stamp.description, "star offset +1.5 -0.7 px");
    r.core.starTick();
    EXPECT_EQ(r.window.caption, "Zx  +1.5 -0.7 px") << "the drift starts anew after the jump";

    // A sequence's caption wins; no star says so.
    r.core.startSequence(1000);
    const std::string sequenceCaption = r.window.caption;
    r.core.starTick();
    EXPECT_EQ(r.window.caption, sequenceCaption);
    r.core.stopSequence();
    r.screen.sky = [&](const PixelRect &area) { return skyWithStar(area, -100, -100, lines); };
    r.core.starTick();
    EXPECT_EQ(r.window.caption, "Zx  no star");

    // Off: the name alone, the reading stops, and the choice is kept.
    ASSERT_TRUE(r.core.closeRequested());
    EXPECT_NE(r.ini().find("StarOffset   = 1"), std::string::npos);
    Rig again;
    std::filesystem::copy_file(r.dir / "Zx.ini", again.dir / "Zx.ini");
    again.load();
    EXPECT_TRUE(again.starTimer.running) << "kept across runs";
    again.core.cmdSaveClick();
    EXPECT_EQ(again.writer.stamp.description, "") << "no reading yet";
    again.core.choose(MenuCommand::StarOffset);
    EXPECT_FALSE(again.starTimer.running);
    EXPECT_EQ(again.window.caption, "Zx");
}

TEST(Crosshair, StarOffsetWhereTheScreenCannotBeRead)
{
    Rig r;
    r.load();
    r.screen.unreadable = true;
    r.core.choose(MenuCommand::StarOffset);
    EXPECT_FALSE(r.starTimer.running);
    EXPECT_FALSE(r.core.settings().starOffset);
    EXPECT_FALSE(r.window.checks.isChecked(MenuCommand::StarOffset));
    ASSERT_EQ(r.dialogs.problems.size(), 1u);
    EXPECT_NE(r.dialogs.problems[0].find("star offset"), std::string::npos);
    EXPECT_EQ(r.window.caption, "Zx");

    // An images folder that takes no file: told once, the read-out goes on.
    Rig w;
    w.load();
    std::filesystem::remove_all(w.dir / "Images");
    test::writeBytes(w.dir / "Images", "a file where the folder should be");
    w.screen.sky = [&](const PixelRect &area) {
        return skyWithStar(area, (area.left + area.right) / 2.0 - 40, area.top + 40.0, {});
    };
    w.core.choose(MenuCommand::StarOffset);
    w.core.starTick();
    EXPECT_EQ(w.dialogs.problems.size(), 1u);
    EXPECT_NE(w.window.caption.find(" px"), std::string::npos);
}

TEST(Crosshair, StarOffsetWaitsForTheDesktopsLiveView)
{
    using State = ScreenWatch::State;
    // While the desktop asks the user, nothing is read, told or written, and
    // the read-out stays on; then the star shows.
    Rig r;
    r.load();
    r.screen.sky = [&](const PixelRect &area) {
        return skyWithStar(area, (area.left + area.right) / 2.0 - 40, area.top + 40.0, {});
    };
    r.screen.answers = { { State::Starting, {}, {} }, { State::Starting, {}, {} } };
    r.core.choose(MenuCommand::StarOffset);
    r.core.starTick();
    EXPECT_TRUE(r.starTimer.running);
    EXPECT_TRUE(r.window.checks.isChecked(MenuCommand::StarOffset));
    EXPECT_TRUE(r.dialogs.problems.empty());
    EXPECT_EQ(r.window.caption, "Zx");
    EXPECT_FALSE(std::filesystem::exists(r.dir / "Images" / "Offsets.csv"));
    r.core.starTick();
    EXPECT_NE(r.window.caption.find(" px"), std::string::npos) << r.window.caption;
    EXPECT_TRUE(std::filesystem::exists(r.dir / "Images" / "Offsets.csv"));

    // Turned off: the live view ends, so the desktop stops showing the screen as shared.
    r.core.choose(MenuCommand::StarOffset);
    EXPECT_EQ(r.screen.watchesStopped, 1);
    EXPECT_EQ(r.window.caption, "Zx");

    // The desktop refuses after showing a reading: the reader's own words,
    // the read-out off, the name back in the caption, the view ended.
    r.screen.answers = { { State::Impossible, {}, "The desktop did not share the screen." } };
    r.core.choose(MenuCommand::StarOffset);
    EXPECT_EQ(r.dialogs.problems, (Log { "The desktop did not share the screen." }));
    EXPECT_FALSE(r.starTimer.running);
    EXPECT_FALSE(r.core.settings().starOffset);
    EXPECT_FALSE(r.window.checks.isChecked(MenuCommand::StarOffset));
    EXPECT_EQ(r.screen.watchesStopped, 2);
    EXPECT_EQ(r.window.caption, "Zx");

    // Closing ends a view still open.
    r.screen.answers = {};
    r.core.choose(MenuCommand::StarOffset);
    EXPECT_TRUE(r.core.closeRequested());
    EXPECT_EQ(r.screen.watchesStopped, 3);
}

} // namespace
} // namespace zx
