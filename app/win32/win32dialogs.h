#pragma once

#include "frontend.h"
#include "text.h"

#include <functional>

namespace zx {

class Win32Window;

// Message boxes, the interval prompt, the problem message and the
// information windows, over the crosshair window.
class Win32Dialogs final : public Dialogs {
public:
    // onEscape: Esc on the message of a failed snapshot, which stops a
    // sequence as Esc on the window does.
    Win32Dialogs(Win32Window &window, std::wstring title, std::function<void()> onEscape);

    void warn(const std::string &text) override;
    [[nodiscard]] bool confirm(const std::string &question) override;
    [[nodiscard]] std::optional<std::string> askText(const std::string &prompt, const std::string &initial) override;
    void showProblem(const std::string &text) override;
    void closeProblem() override;
    void showHelp() override;
    void showAbout() override;
    void openFolder(const std::filesystem::path &folder) override;

private:
    Win32Window &m_window;
    std::wstring m_title;
    std::function<void()> m_onEscape;
    HWND m_problem = nullptr; // while the problem message is shown
};

} // namespace zx
