#pragma once

#include "frontend.h"

#include <QPalette>
#include <QPoint>
#include <QRegion>
#include <QWidget>

#include <optional>
#include <utility>
#include <vector>

class QAction;
class QMenu;
class QToolButton;

namespace zx {

class Crosshair;
class OwnFrame;
class PictureBox;
class WindowSystem;

// The crosshair window in Qt: its widgets and events. Each event becomes a
// call of the crosshair's behaviour, which asks back through CrosshairWindow.
class MainWindow final : public QWidget, public CrosshairWindow {
    Q_OBJECT

public:
    explicit MainWindow(WindowSystem &windowSystem);
    ~MainWindow() override;

    void attach(Crosshair &core);

    // CrosshairWindow
    [[nodiscard]] WindowBounds bounds() const override;
    [[nodiscard]] int twipsPerPixelX() const override;
    [[nodiscard]] int twipsPerPixelY() const override;
    [[nodiscard]] std::vector<PixelRect> screens() const override;
    [[nodiscard]] bool isNormal() const override;
    void resizeInside(int width, int height) override;
    [[nodiscard]] PixelRect splashPictureSize() const override;
    void showFramed() override;
    void requestPlace(const PixelRect &outer) override;
    void setCaption(const std::string &caption) override;
    void setLook(const WindowLook &look) override;
    // Whether the night colours are on: the messages then show no coloured icon.
    [[nodiscard]] bool night() const { return m_night; }
    [[nodiscard]] ScreenPixels buttonPixels() const override;
    void enableButton(bool enabled) override;
    void setAbove(bool above) override;
    [[nodiscard]] std::string whyNotOnTop() const override;
    [[nodiscard]] bool canKeepOnTopItself() const override;
    std::string keepOnTopItself() override;
    void showChecks(const MenuChecks &checks) override;
    void popupMenu(PixelPoint atInside) override;
    void letEventsRun() override;
    void pauseWithoutInput(int milliseconds) override;
    void closeSoon() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void buildMenu();

    WindowSystem &m_windowSystem;
    Crosshair *m_core = nullptr;
    PictureBox *m_pic = nullptr;
    QToolButton *m_cmdSave = nullptr;
    QMenu *m_popMenu = nullptr;
    OwnFrame *m_ownFrame = nullptr;
    QPoint m_insideAt; // where the inside begins: past the program's own frame, where it draws one
    std::vector<std::pair<MenuCommand, QAction *>> m_checkable;
    WindowLook m_look;
    bool m_night = false; // the night colours are on
    std::optional<QPalette> m_dayPalette; // the application's colours before the night's
    QRegion m_opaque; // the inside's parts that show: bands, camera button, splash
};

} // namespace zx
