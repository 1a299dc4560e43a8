#pragma once

#include "frontend.h"
#include "text.h"

#include <functional>

namespace zx {

class Win32Window;

// Message boxes, the interval prompt, the problem message and the
// information windows, over the crosshair window. Their text and sizes follow
// the dots per inch of the monitor the crosshair window is on.
class Win32Dialogs final : public Dialogs {
public:
    Win32Dialogs(Win32Window &window, std::wstring title);

    void warn(const std::string &text) override;
    [[nodiscard]] bool confirm(const std::string &question) override;
    [[nodiscard]] std::optional<std::string> askText(const std::string &prompt, const std::string &initial) override;
    void showProblem(const std::string &text, const std::function<void()> &onEscape) override;
    void closeProblem() override;
    void showHelp() override;
    void showAbout() override;
    void openFolder(const std::filesystem::path &folder) override;

private:
    // A message with OK, or Yes and No, in the night colours; returns the button's id.
    int nightMessage(const std::string &text, bool yesNo);

    Win32Window &m_window;
    std::wstring m_title;
    HWND m_problem = nullptr; // while the problem message is shown
};

} // namespace zx
