#pragma once

#include "crosshair.h"
#include "mainwindow.h"
#include "qtparts.h"

#include <filesystem>
#include <memory>
#include <vector>

namespace zx {

struct Desktop;
class WindowSystem;

// The crosshair with its Qt front-end put together: the program and the
// benchmarks run this.
class QtCrosshair {
public:
    QtCrosshair(const ProgramPlace &place, const Desktop &desktop);
    ~QtCrosshair();

    [[nodiscard]] Crosshair &core() { return m_core; }
    [[nodiscard]] MainWindow &window() { return m_window; }

private:
    std::unique_ptr<WindowSystem> m_windowSystem;
    MainWindow m_window;
    QtDialogs m_dialogs;
    QtSequenceTimer m_timer;
    QtSequenceTimer m_starTimer;
    QtScreenReader m_screen;
    SnapshotSaver m_saver;
    QtSound m_sound;
    SystemClock m_clock;
    Crosshair m_core;
};

} // namespace zx
