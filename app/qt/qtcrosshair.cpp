#include "qtcrosshair.h"

#include "screengrabber.h"
#include "windowsystem.h"

namespace zx {

QtCrosshair::QtCrosshair(const ProgramPlace &place, const Desktop &desktop)
    : m_windowSystem(makeWindowSystem(desktop))
    , m_window(*m_windowSystem)
    , m_dialogs(m_window, QString::fromStdString(place.name))
    , m_timer([this] { m_core.timerTick(); })
    , m_starTimer([this] { m_core.starTick(); })
    , m_screen(makeScreenGrabber(desktop, [this] { m_windowSystem->sync(); }), m_window)
    , m_saver(place.writerFolders)
    , m_core(place, { m_window, m_dialogs, m_timer, m_screen, m_saver, m_sound, m_clock, m_starTimer })
{
    m_window.attach(m_core);
}

QtCrosshair::~QtCrosshair() = default;

} // namespace zx
