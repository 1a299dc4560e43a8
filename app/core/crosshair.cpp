#include "crosshair.h"

#include "placement.h"
#include "snapshotnames.h"

#include "pathtext.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <system_error>

namespace zx {

namespace {

constexpr int LineWidth = 1; // pixels; each band is twice as wide

constexpr const char *ProblemSaving = "Problem saving snapshot";
constexpr const char *IntervalPrompt = "Enter Interval in milliseconds:\n\n"
                                       "(Once started, press Esc to stop capturing)";
constexpr const char *IntervalRange = "Interval must be between 1 and 65000";
constexpr const char *NothingToClear = "There are no files in the folder to Delete!";
constexpr const char *StarUnreadable
    = "The star offset needs to read the screen several times a second, and Zentrolux cannot do that on "
      "this desktop. The star offset is off.";

std::string keepOnTopQuestion(const std::string &name)
{
    return "Shall " + name + " add the rule now? The file is kept as it was beside it.";
}

using SteadyClock = std::chrono::steady_clock;

std::int64_t microsecondsSince(SteadyClock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::microseconds>(SteadyClock::now() - start).count();
}

FrameInsets frameOf(const WindowBounds &b)
{
    return { b.inside.left - b.outer.left, b.inside.top - b.outer.top, b.outer.right - b.inside.right,
        b.outer.bottom - b.inside.bottom };
}

} // namespace

Crosshair::Crosshair(ProgramPlace place, Parts parts, std::unique_ptr<FolderWatch> watch)
    : m_place(std::move(place))
    , m_window(parts.window)
    , m_dialogs(parts.dialogs)
    , m_timer(parts.timer)
    , m_screen(parts.screen)
    , m_writer(parts.writer)
    , m_sound(parts.sound)
    , m_clock(parts.clock)
    , m_starTimer(parts.starTimer)
    , m_numbering(std::move(watch))
{
}

TwipsScale Crosshair::scale() const
{
    return { m_window.twipsPerPixelX(), m_window.twipsPerPixelY() };
}

// Sized in twips, so the button keeps its size on the desk on a screen of any density.
int Crosshair::buttonWidth() const
{
    return scale().pixelsX(CameraButtonTwips);
}

int Crosshair::buttonHeight() const
{
    return scale().pixelsY(CameraButtonTwips);
}

// --- Start-up and shutdown -------------------------------------------------

void Crosshair::formLoad()
{
    m_window.setCaption(m_place.name);
    m_window.resizeInside(scale().pixelsX(DesignInsideWidth), scale().pixelsY(DesignInsideHeight));
    std::error_code ec;
    std::filesystem::current_path(m_place.directory, ec);

    m_loading = true;
    m_splashing = true;
    formActivate();
    m_window.showFramed();
    // The design puts the inside, not the frame, at its place on the screen.
    const TwipsScale tw = scale();
    const WindowBounds shown = m_window.bounds();
    const PixelRect framed = shown.outer;
    const FrameInsets frame = frameOf(shown);
    const int designLeft = tw.pixelsX(DesignInsideLeft) - frame.left;
    const int designTop = tw.pixelsY(DesignInsideTop) - frame.top;
    placeOuter({ designLeft, designTop, designLeft + framed.width(), designTop + framed.height() });

    rememberBounds(outerBounds());
    // The file's values replace these; what it lacks keeps the bounds just taken.
    readSettings(m_place.settingsFile, m_settings);
    showChecks();

    const TwipsRect designBounds = outerBounds();
    keepReachable(designBounds);
    const int left = tw.pixelsX(m_settings.formLeft);
    const int top = tw.pixelsY(m_settings.formTop);
    placeOuter({ left, top, left + designBounds.width / tw.tppX(), top + designBounds.height / tw.tppY() });
    m_window.letEventsRun();
    m_window.pauseWithoutInput(SplashMilliseconds);
    m_splashing = false;
    // The inside turns see-through at once: placing the window below lets
    // events run, and the picture must not give way to a plain red inside.
    formActivate();
    placeOuter(tw.toPixels({ m_settings.formLeft, m_settings.formTop, m_settings.formWidth, m_settings.formHeight }));
    formResize();
    setQuality(m_settings.quality);
    m_loading = false;
    if (m_settings.starOffset)
        m_starTimer.start(StarReadMilliseconds);
    // A crosshair that any click can bury under the camera program is no
    // crosshair: where the desktop will not keep it on top, say so at once.
    if (!m_closePending) {
        if (const std::string why = m_window.whyNotOnTop(); !why.empty())
            offerToKeepOnTop(why);
    }
    closeIfAsked();
}

void Crosshair::offerToKeepOnTop(const std::string &why)
{
    if (!m_window.canKeepOnTopItself()) {
        m_dialogs.warn(why);
        return;
    }
    // Never without the user's word: it changes a file of the desktop's.
    if (!m_dialogs.confirm(why + "\n\n" + keepOnTopQuestion(m_place.name)))
        return;
    if (const std::string said = m_window.keepOnTopItself(); !said.empty())
        m_dialogs.warn(said);
}

void Crosshair::keepReachable(const TwipsRect &designBounds)
{
    // Stored bounds are used as they are while the window can be reached; a
    // hand-edited or stale file cannot open it off every screen, larger than
    // the screen or too small to reach the menu.
    const TwipsScale tw = scale();
    StoredPlacement in;
    in.left = double(m_settings.formLeft) / tw.tppX();
    in.top = double(m_settings.formTop) / tw.tppY();
    in.width = double(m_settings.formWidth) / tw.tppX();
    in.height = double(m_settings.formHeight) / tw.tppY();
    in.screens = m_window.screens();
    in.frame = frameOf(m_window.bounds());
    in.buttonSize = buttonWidth();
    in.designPlace = { tw.pixelsX(designBounds.left), tw.pixelsY(designBounds.top) };
    // Bounds the file did not give are the design's.
    in.mustFit = TwipsRect { m_settings.formLeft, m_settings.formTop, m_settings.formWidth, m_settings.formHeight }
        == designBounds;
    const PixelRect placed = placeStoredBounds(in);
    // Bounds that were usable stay exactly as stored, to the twip.
    if (placed != tw.toPixels({ m_settings.formLeft, m_settings.formTop, m_settings.formWidth, m_settings.formHeight }))
        rememberBounds(tw.toTwips(placed));
}

bool Crosshair::closeRequested()
{
    // A close request (the close box, a termination signal) that comes while
    // the program starts or while a snapshot runs, at its pauses or under its
    // message, is kept and carried out as soon as that is over, so that the
    // settings are written and no sequence outlives it.
    if (m_loading || m_snapshotRunning) {
        m_closePending = true;
        if (m_snapshotRunning)
            stopSequence();
        return false;
    }
    unload();
    return true;
}

void Crosshair::sessionEnds()
{
    // Nothing is kept for later: there is no later.
    m_closePending = false;
    unload();
}

void Crosshair::unload()
{
    if (m_closed)
        return;
    m_closed = true;
    // Minimized or maximized bounds are never stored.
    if (m_window.isNormal())
        rememberBounds(outerBounds());
    m_timer.stop();
    m_starTimer.stop();
    m_screen.stopWatching();
    if (m_place.installed) {
        std::error_code ec;
        std::filesystem::create_directories(m_place.settingsFile.parent_path(), ec);
    }
    // A folder that refuses the file keeps the old one; nothing to tell.
    (void)writeSettings(m_place.settingsFile, m_settings);
}

void Crosshair::closeIfAsked()
{
    if (m_closePending && !m_loading && !m_snapshotRunning) {
        m_closePending = false;
        m_window.closeSoon();
    }
}

void Crosshair::rememberBounds(const TwipsRect &r)
{
    m_settings.formTop = r.top;
    m_settings.formLeft = r.left;
    m_settings.formWidth = r.width;
    m_settings.formHeight = r.height;
}

// --- Layout and shape ------------------------------------------------------

void Crosshair::formResize()
{
    if (m_resizing)
        return;
    m_resizing = true;
    const TwipsScale tw = scale();

    LayoutInput in;
    const WindowBounds now = m_window.bounds();
    in.window = tw.window(now.outer, now.inside);
    in.pixels = m_settings.pixels;
    in.captureForm = !m_settings.captureClient;
    in.buttonWidth = double(buttonWidth()) * tw.tppX();
    const LayoutResult out = computeLayout(in);

    // A line whose arithmetic does not fit stays where it was.
    const std::array<const std::optional<LineGeometry> *, 4> placed { &out.vLine1, &out.vLine2, &out.hLine1,
        &out.hLine2 };
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (*placed[i])
            m_lines[i] = **placed[i];
    }
    m_pictureBox = { 0, 0, std::clamp(tw.pixelsX(out.picWidth), 0, MaxWindowPixels),
        std::clamp(tw.pixelsY(out.picHeight), 0, MaxWindowPixels) };
    const int buttonLeft = tw.pixelsX(out.buttonLeft);
    const int buttonTop = tw.pixelsY(out.buttonTop);
    m_button = { buttonLeft, buttonTop, buttonLeft + buttonWidth(), buttonTop + buttonHeight() };

    formActivate();
    m_window.setAbove(true);
    m_resizing = false;
}

void Crosshair::formActivate()
{
    const TwipsScale tw = scale();
    const bool linesShown = m_settings.crossHair;

    ShapeInput in;
    const WindowBounds now = m_window.bounds();
    in.window = tw.window(now.outer, now.inside);
    const auto box = [&](const PixelRect &r, bool visible) {
        ShapeControl c;
        c.kind = ShapeControl::Kind::Box;
        c.visible = visible;
        c.left = double(r.left) * tw.tppX();
        c.top = double(r.top) * tw.tppY();
        c.width = double(r.width()) * tw.tppX();
        c.height = double(r.height()) * tw.tppY();
        return c;
    };
    const auto line = [&](const LineGeometry &g) {
        ShapeControl c;
        c.kind = ShapeControl::Kind::Line;
        c.visible = linesShown;
        c.line = g;
        c.lineWidth = LineWidth;
        return c;
    };
    // In the order the controls were created: picture box, button, vLine2, vLine1, hLine2, hLine1.
    in.controls = { box(m_pictureBox, m_splashing), box(m_button, m_buttonShown), line(m_lines[1]),
        line(m_lines[0]), line(m_lines[3]), line(m_lines[2]) };

    WindowLook look;
    look.shape = computeShape(in);
    if (linesShown) {
        for (const LineGeometry &g : m_lines)
            look.lines.push_back({ g.x1 / tw.tppX(), g.y1 / tw.tppY(), g.x2 / tw.tppX(), g.y2 / tw.tppY(), LineWidth });
    }
    look.button = m_button;
    look.buttonShown = m_buttonShown;
    look.cameraPictureWidth = tw.pixelsX(CameraPictureTwips);
    look.cameraPictureHeight = tw.pixelsY(CameraPictureTwips);
    look.splash = m_splashing;
    look.pictureBox = m_pictureBox;
    look.splashPicture = fitCentred(m_window.splashPictureSize(), now.inside.width(), now.inside.height());
    look.colour = lineColour(m_settings.lineColour, m_settings.night);
    // The bands as the window shows them, in pixels of the inside.
    m_bands.clear();
    for (const Band &band : look.shape.bands) {
        PixelRect box { band[0].x, band[0].y, band[0].x, band[0].y };
        for (const PixelPoint &p : band) {
            box = { std::min(box.left, p.x), std::min(box.top, p.y), std::max(box.right, p.x),
                std::max(box.bottom, p.y) };
        }
        m_bands.push_back({ box.left - look.shape.frameLeft, box.top - look.shape.frameTop,
            box.right - look.shape.frameLeft, box.bottom - look.shape.frameTop });
    }
    look.night = m_settings.night;
    m_window.setLook(look);
}

// --- Keys ------------------------------------------------------------------

void Crosshair::keyDown(int keyCode, int modifierMask)
{
    // The splash and an open information window take no input.
    if (m_splashing || m_informationOpen)
        return;
    formKeyDown(*this, keyCode, modifierMask);
}

TwipsRect Crosshair::outerBounds() const
{
    return scale().toTwips(m_window.bounds().outer);
}

void Crosshair::placeOuter(const PixelRect &outer)
{
    const FrameInsets m = frameOf(m_window.bounds());
    const int w = std::clamp(outer.width() - m.left - m.right, 1, MaxWindowPixels);
    const int h = std::clamp(outer.height() - m.top - m.bottom, 1, MaxWindowPixels);
    const int left = std::clamp(outer.left, -MaxWindowOffset, MaxWindowOffset);
    const int top = std::clamp(outer.top, -MaxWindowOffset, MaxWindowOffset);
    m_window.requestPlace({ left, top, left + w + m.left + m.right, top + h + m.top + m.bottom });
}

void Crosshair::setOuterBounds(const TwipsRect &bounds)
{
    placeOuter(scale().toPixels(bounds));
}

void Crosshair::setOuterWidth(int width)
{
    const PixelRect r = m_window.bounds().outer;
    placeOuter({ r.left, r.top, r.left + scale().pixelsX(width), r.bottom });
}

void Crosshair::setOuterHeight(int height)
{
    const PixelRect r = m_window.bounds().outer;
    placeOuter({ r.left, r.top, r.right, r.top + scale().pixelsY(height) });
}

// --- Menu ------------------------------------------------------------------

void Crosshair::cmdSaveMouseDown(int mouseButton, PixelPoint pointer)
{
    if (mouseButton != 2 || m_informationOpen)
        return;
    m_menuOpen = true;
    m_window.popupMenu({ m_button.left + pointer.x, m_button.top + pointer.y });
}

void Crosshair::showChecks()
{
    m_window.showChecks({ m_settings.crossHair, m_settings.captureClient, m_settings.soundOn, m_settings.quality,
        m_settings.night, m_settings.lineColour, m_settings.starOffset });
}

void Crosshair::choose(MenuCommand command)
{
    if (m_informationOpen)
        return;
    switch (command) {
    case MenuCommand::Help:
        showInformation(true);
        return;
    case MenuCommand::About:
        showInformation(false);
        return;
    case MenuCommand::CrossNone:
    case MenuCommand::Cross:
        setOption(m_settings.crossHair, command == MenuCommand::Cross, true);
        return;
    case MenuCommand::FormArea:
    case MenuCommand::ClientArea:
        setOption(m_settings.captureClient, command == MenuCommand::ClientArea, true);
        return;
    case MenuCommand::SoundOn:
    case MenuCommand::SoundOff:
        setOption(m_settings.soundOn, command == MenuCommand::SoundOn, false);
        return;
    case MenuCommand::StartSequence:
        startCaptureSequence();
        return;
    case MenuCommand::Explore:
        m_dialogs.openFolder(m_place.imagesFolder);
        return;
    case MenuCommand::Clear:
        clearImages();
        return;
    case MenuCommand::NightColours:
        setOption(m_settings.night, !m_settings.night, true);
        return;
    case MenuCommand::StarOffset:
        setStarOffset(!m_settings.starOffset);
        return;
    default:
        if (const auto colour = lineColourOf(command)) {
            m_settings.lineColour = *colour;
            showChecks();
            formResize();
            m_window.letEventsRun();
            return;
        }
        setQuality(qualityOf(command));
        return;
    }
}

void Crosshair::setOption(bool &option, bool value, bool relayout)
{
    option = value;
    showChecks();
    if (relayout)
        formResize();
    m_window.letEventsRun();
}

void Crosshair::setQuality(std::int32_t quality)
{
    m_settings.quality = quality;
    showChecks();
    m_window.letEventsRun();
}

void Crosshair::showInformation(bool help)
{
    // Modal and one at a time; out of the topmost band while the window is
    // open, so it is never under the crosshair.
    m_informationOpen = true;
    m_window.setAbove(false);
    if (help)
        m_dialogs.showHelp();
    else
        m_dialogs.showAbout();
    m_window.setAbove(true);
    m_informationOpen = false;
}

// --- Capture sequence and the images folder --------------------------------

void Crosshair::startCaptureSequence()
{
    const auto answer = m_dialogs.askText(IntervalPrompt, std::to_string(m_settings.interval));
    if (!answer || answer->empty())
        return;
    const IntervalAnswer a = readIntervalAnswer(*answer);
    if (a.kind == IntervalAnswer::Kind::OutOfRange) {
        m_dialogs.warn(IntervalRange);
        return;
    }
    if (a.kind != IntervalAnswer::Kind::Accepted)
        return;
    m_settings.interval = a.milliseconds;
    startSequence(a.milliseconds);
}

void Crosshair::startSequence(int milliseconds)
{
    m_timer.start(milliseconds);
}

void Crosshair::stopSequence()
{
    m_timer.stop();
    m_window.setCaption(m_place.name);
    // A failed sequence snapshot's message would otherwise keep the user from
    // ever stopping a sequence that fails at every tick; a snapshot waiting
    // for the desktop ends without a picture.
    m_dialogs.closeProblem();
    m_screen.cancel();
}

void Crosshair::timerTick()
{
    runSnapshot(true);
}

void Crosshair::setStarOffset(bool on)
{
    m_settings.starOffset = on;
    m_drift.clear();
    m_starOffsetNow.reset();
    m_offsetsProblemTold = false;
    showChecks();
    if (on) {
        m_starTimer.start(StarReadMilliseconds);
        starTick();
    } else {
        m_starTimer.stop();
        m_screen.stopWatching();
        if (!m_timer.isRunning() && !m_snapshotRunning)
            m_window.setCaption(m_place.name);
    }
    m_window.letEventsRun();
}

ScreenPoint Crosshair::crosshairCentre(const PixelRect &inside) const
{
    // Midway between the bands as shown: a band covers the pixels from its
    // left (top) edge to the one before its right (bottom) edge.
    double x = 0;
    double y = 0;
    int columns = 0;
    int rows = 0;
    for (const PixelRect &b : m_bands) {
        if (b.height() > b.width()) {
            x += (b.left + b.right - 1) / 2.0;
            ++columns;
        } else {
            y += (b.top + b.bottom - 1) / 2.0;
            ++rows;
        }
    }
    // Without lines (None), where they would be: the middle of the inside.
    const double middleX = (inside.width() - 1) / 2.0;
    const double middleY = (inside.height() - 1) / 2.0;
    return { inside.left + (columns > 0 ? x / columns : middleX), inside.top + (rows > 0 ? y / rows : middleY) };
}

std::vector<PixelRect> Crosshair::ownPixels(const PixelRect &inside) const
{
    // The bands exactly: between the lines of a pair the star needs every
    // pixel there is. The button gets a pixel of margin for its border.
    std::vector<PixelRect> own;
    for (const PixelRect &b : m_bands)
        own.push_back({ inside.left + b.left, inside.top + b.top, inside.left + b.right, inside.top + b.bottom });
    if (m_buttonShown) {
        own.push_back({ inside.left + m_button.left - 1, inside.top + m_button.top - 1,
            inside.left + m_button.right + 1, inside.top + m_button.bottom + 1 });
    }
    return own;
}

void Crosshair::starTick()
{
    // Not while a snapshot hides the button and sets the caption, nor inside
    // a message this reading showed.
    if (!m_settings.starOffset || m_loading || m_closed || m_snapshotRunning || m_starReading
        || m_informationOpen || m_menuOpen)
        return;
    m_starReading = true;
    const PixelRect inside = m_window.bounds().inside;
    const ScreenWatch view = m_screen.watch(inside);
    if (view.state == ScreenWatch::State::Starting) {
        // The desktop may be asking the user: the caption keeps the name meanwhile.
        m_starReading = false;
        return;
    }
    if (view.state == ScreenWatch::State::Impossible) {
        m_settings.starOffset = false;
        m_starTimer.stop();
        m_screen.stopWatching();
        showChecks();
        if (!m_timer.isRunning())
            m_window.setCaption(m_place.name);
        showProblem(view.problem.empty() ? StarUnreadable : view.problem);
        m_starReading = false;
        return;
    }
    const ScreenPixels &shot = view.pixels;
    const StarReading star = findStar(shot, inside, ownPixels(inside));
    if (star.found) {
        const ScreenPoint centre = crosshairCentre(inside);
        const ScreenPoint offset { star.at.x - centre.x, star.at.y - centre.y };
        const auto now = m_clock.systemNow();
        if (m_starOffsetNow && std::hypot(offset.x - m_starOffsetNow->x, offset.y - m_starOffsetNow->y) > StarJumpPixels)
            m_drift.clear();
        m_drift.add(std::chrono::duration<double>(now.time_since_epoch()).count(), offset);
        m_starOffsetNow = offset;
        appendOffsets(now, star, offset);
    } else {
        m_starOffsetNow.reset();
    }
    // A sequence's caption wins.
    if (!m_timer.isRunning())
        m_window.setCaption(starCaption(m_place.name, m_starOffsetNow, m_drift.perMinute()));
    m_starReading = false;
}

std::string Crosshair::snapshotDescription() const
{
    // The star's offset at the last reading, while it is read.
    return m_settings.starOffset && m_starOffsetNow ? starDescription(*m_starOffsetNow) : std::string();
}

void Crosshair::appendOffsets(
    std::chrono::system_clock::time_point moment, const StarReading &star, const ScreenPoint &offset)
{
    const auto milliseconds = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(moment.time_since_epoch()).count() % 1000);
    const std::string line = offsetsLine(localTime(std::chrono::system_clock::to_time_t(moment)), milliseconds,
        star, offset);
    if (m_place.installed) {
        std::error_code ec;
        std::filesystem::create_directories(m_place.imagesFolder, ec);
    }
    const std::filesystem::path file = m_place.imagesFolder / OffsetsFileName;
    std::error_code ec;
    const bool fresh = !std::filesystem::exists(file, ec) || std::filesystem::file_size(file, ec) == 0;
    // Appended, never rewritten: a reading once written stays.
    std::ofstream out(file, std::ios::binary | std::ios::app);
    if (fresh)
        out << OffsetsHeader << "\r\n";
    out << line << "\r\n";
    out.flush();
    if (!out && !m_offsetsProblemTold) {
        m_offsetsProblemTold = true;
        showProblem("The star's offsets could not be written to " + utf8FromPath(file)
            + ". The read-out goes on in the caption.");
    }
}

void Crosshair::clearImages()
{
    const auto files = listFiles(m_place.imagesFolder, isJpegName);
    if (files.empty()) {
        m_dialogs.warn(NothingToClear);
        return;
    }
    const std::string count = std::to_string(files.size());
    if (!m_dialogs.confirm("Are you sure you want to Delete " + count + " images?"))
        return;
    const int stayed = deleteFiles(files);
    if (stayed > 0)
        m_dialogs.warn(std::to_string(stayed) + " of " + count + " images could not be deleted.");
}

// --- The road of a snapshot ------------------------------------------------

void Crosshair::cmdSaveClick()
{
    if (m_informationOpen)
        return;
    runSnapshot(false);
}

void Crosshair::showProblem(const std::string &text)
{
    // Esc on the message stops a sequence as Esc on the window does; OK leaves it running.
    m_dialogs.showProblem(text, [this] { stopSequence(); });
}

void Crosshair::runSnapshot(bool sequence)
{
    // One snapshot at a time: a tick or key that arrives while one runs (at
    // its pauses or under its message) is dropped, not nested.
    if (m_snapshotRunning || m_splashing)
        return;
    m_snapshotRunning = true;
    const auto start = SteadyClock::now();

    // 1. The button leaves the window and the screen; the grab waits until
    // the screen no longer shows what it showed of it just now.
    const PixelRect inside = m_window.bounds().inside;
    const HiddenButton button { { inside.left + m_button.left, inside.top + m_button.top,
                                    inside.left + m_button.right, inside.top + m_button.bottom },
        m_window.buttonPixels() };
    m_screen.prepare();
    m_buttonShown = false;
    formResize();
    m_window.letEventsRun();
    // Esc handled just now has stopped the sequence: no snapshot after it.
    if (sequence && !m_timer.isRunning()) {
        showButtonAgain();
        return;
    }
    m_timings.hideAndReshape = microsecondsSince(start);

    // 2. The moment in the caption, part of a Form Area picture, which waits
    // for the title bar to show it; the click.
    CaptionBar caption;
    if (!m_settings.captureClient) {
        const WindowBounds now = m_window.bounds();
        caption.bar = { now.outer.left, now.outer.top, now.outer.right, now.inside.top };
        caption.before = m_screen.read(caption.bar);
    }
    m_window.setCaption(momentCaption(m_place.name, m_clock.localNow()));
    if (m_settings.soundOn)
        m_sound.playClick();

    // 3. The number, from the images folder as it is now.
    if (m_place.installed) {
        // In the user's pictures folder nobody else would make it.
        std::error_code ec;
        std::filesystem::create_directories(m_place.imagesFolder, ec);
    }
    const auto number = m_numbering.next(m_place.imagesFolder);
    m_window.enableButton(false);

    // 4. The grab: never a picture the screen does not show.
    const auto grabStart = SteadyClock::now();
    const WindowBounds grabbed = m_window.bounds();
    const PixelRect area = m_settings.captureClient ? grabbed.inside : grabbed.outer;
    const Grab shot = m_screen.grab(area, grabbed.inside, button, caption);
    const auto grabbedAt = m_clock.systemNow();
    m_timings.grab = microsecondsSince(grabStart);

    // 5. The file, or the reason there is none.
    std::int64_t written = 0;
    switch (shot.outcome) {
    case Grab::Outcome::Taken: {
        const Written file = number
            ? m_writer.write(shot.picture, m_place.imagesFolder, *number, m_settings.quality,
                SnapshotStamp { grabbedAt, snapshotDescription() }, m_timings)
            : Written {};
        written = file.number;
        if (written == 0)
            showProblem(file.problem.empty() ? std::string(ProblemSaving)
                                             : std::string(ProblemSaving) + "\n\n" + file.problem);
        break;
    }
    case Grab::Outcome::Impossible:
        // Told once: a sequence would only fail the same way at every tick.
        if (sequence)
            stopSequence();
        showProblem(shot.problem);
        break;
    case Grab::Outcome::Cancelled:
        break;
    }

    // 6. The caption after, and the button back.
    const auto restoreStart = SteadyClock::now();
    // Esc may have stopped the sequence at one of the pauses above; its caption stands.
    if (sequence && m_timer.isRunning())
        m_window.setCaption(sequenceCaption(m_place.name, written != 0 ? written : number.value_or(0)));
    else
        m_window.setCaption(m_place.name);
    showButtonAgain();
    m_timings.restore = microsecondsSince(restoreStart);
    m_timings.total = microsecondsSince(start);
}

void Crosshair::showButtonAgain()
{
    m_window.enableButton(true);
    m_buttonShown = true;
    formResize();
    m_window.letEventsRun();
    m_snapshotRunning = false;
    closeIfAsked();
}

} // namespace zx
