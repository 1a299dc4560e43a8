#pragma once

#include "frontend.h"
#include "picture.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

class QMessageBox;
class QSoundEffect;

namespace zx {

class MainWindow;
class ScreenGrabber;

// Message boxes, the interval prompt and the information windows, over the
// crosshair window.
class QtDialogs final : public QObject, public Dialogs {
    Q_OBJECT

public:
    QtDialogs(MainWindow &window, QString title);
    ~QtDialogs() override;

    void warn(const std::string &text) override;
    [[nodiscard]] bool confirm(const std::string &question) override;
    [[nodiscard]] std::optional<std::string> askText(const std::string &prompt, const std::string &initial) override;
    void showProblem(const std::string &text, const std::function<void()> &onEscape) override;
    void closeProblem() override;
    void showHelp() override;
    void showAbout() override;
    void openFolder(const std::filesystem::path &folder) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    MainWindow &m_window;
    QString m_title;
    std::function<void()> m_onEscape; // while the problem message is shown
    QPointer<QMessageBox> m_problemBox;
};

class QtSequenceTimer final : public SequenceTimer {
public:
    explicit QtSequenceTimer(std::function<void()> onTick);

    void start(int milliseconds) override;
    void stop() override;
    [[nodiscard]] bool isRunning() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

class QtSound final : public Sound {
public:
    QtSound();
    ~QtSound() override;
    void playClick() override;

private:
    std::unique_ptr<QSoundEffect> m_click;
};

// The screen as the Qt grabbers read it, the picture handed on without a copy.
class QtScreenReader final : public ScreenReader {
public:
    QtScreenReader(std::unique_ptr<ScreenGrabber> grabber, const MainWindow &window);
    ~QtScreenReader() override;

    void prepare() override;
    [[nodiscard]] ScreenPixels read(const PixelRect &area) override;
    [[nodiscard]] ScreenWatch watch(const PixelRect &area) override;
    void stopWatching() override;
    [[nodiscard]] Grab grab(
        const PixelRect &area, const PixelRect &inside, const HiddenButton &button, const CaptionBar &caption) override;
    void cancel() override;

private:
    std::unique_ptr<ScreenGrabber> m_grabber;
    const MainWindow &m_window;
};

} // namespace zx
