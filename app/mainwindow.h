#pragma once

#include "keys.h"
#include "layout.h"
#include "mainwindowstate.h"
#include "settings.h"
#include "snapshotnumbering.h"

#include <QImage>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <optional>

class QAction;
class QMenu;
class QTimer;
class QToolButton;

namespace zx {

class PictureBox;
class ScreenGrabber;
class SnapshotSaver;
class WindowSystem;
struct SnapshotTimings;

// Where the program lives and what it is called; taken from the running
// executable, never from the current directory. Where it keeps its files
// follows from that (settings/filelocations.h).
struct ProgramPlace {
    QString name;
    QString directory;
    QString settingsFile;
    QString imagesFolder;
    bool installed = false; // an installed copy makes its settings and images folders itself
    QStringList writerFolders; // where the JPEG writer is looked for, in order
};

// The crosshair window: always on top, see-through except its frame, the
// crosshair bands and the camera button.
class MainWindow final : public QWidget, private KeyWindow {
    Q_OBJECT

public:
    explicit MainWindow(ProgramPlace place);
    ~MainWindow() override;

    // The load sequence: shape, show, settings, splash, restore, layout.
    void formLoad();

    // Layout pass and shape; both run on every resize and activation too.
    void formResize();
    void formActivate();
    void setTopMost(bool onTop);
    void setQuality(std::int32_t quality);

    // One snapshot, as the camera button and Space take it.
    void cmdSaveClick();
    void takeSequenceSnapshot();

    // Starts the capture sequence as the menu does once the interval is read.
    void startSequence(std::int32_t milliseconds);
    // Esc: the sequence stops and the caption shows the program name.
    void stopCaptureSequence();
    // Stage times of the last snapshot, for the benchmark.
    [[nodiscard]] const SnapshotTimings &lastSnapshotTimings() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // KeyWindow
    TwipsRect outerBounds() const override;
    void setOuterBounds(const TwipsRect &bounds) override;
    void setOuterWidth(int width) override;
    void setOuterHeight(int height) override;
    int twipsPerPixelX() const override;
    int twipsPerPixelY() const override;
    std::int32_t pixels() const override { return m_state.pixels; }
    void setPixels(std::int32_t pixels) override { m_state.pixels = pixels; }
    void relayout() override { formResize(); }
    void stopSequence() override { stopCaptureSequence(); }
    void takeSnapshot() override { cmdSaveClick(); }
    void openHelp() override { mPopHelpClick(); }

    void buildMenu();
    void cmdSaveMouseDown(Qt::MouseButton button, const QPoint &pointer);
    void mPopHelpClick();
    void mPopAboutClick();
    void setPair(QAction *on, QAction *off, bool relayout);
    void mPopStartClick();
    void mPopExploreClick();
    void mPopClearClick();
    void captureTimerTimer();

    void formQueryUnload();
    void formUnload();
    void rememberBounds(const TwipsRect &bounds);
    void keepReachable(const TwipsRect &designBounds);
    [[nodiscard]] Settings settingsNow() const;
    void applySettings(const Settings &settings);

    [[nodiscard]] WindowTwips windowTwips() const;
    void runSnapshot(bool sequence);
    void showSnapshotProblem(const QString &text);
    void closeIfAsked();
    // The outer frame on the screen, and placing it, in pixels.
    [[nodiscard]] QMargins frameMargins() const;
    [[nodiscard]] QRect outerRect() const;
    void placeOuter(int leftPx, int topPx, int widthPx, int heightPx);
    void waitForFrame();
    QString settingsFile() const;
    QString imagesFolder() const;

    ProgramPlace m_place;
    MainWindowState m_state;
    bool m_loading = false;
    bool m_splashing = false;
    bool m_snapshotRunning = false;
    bool m_closePending = false;
    bool m_closed = false;
    QPointer<QMessageBox> m_problemBox; // the message of a failed snapshot, while it is shown

    // Children, in creation order.
    PictureBox *m_pic = nullptr;
    QTimer *m_captureTimer = nullptr;
    QToolButton *m_cmdSave = nullptr;
    struct Line {
        LineGeometry geometry;
        bool visible = false;
        int borderWidth = 1;
    };
    Line m_vLine2, m_vLine1, m_hLine2, m_hLine1;

    QMenu *m_popMenu = nullptr;
    QAction *m_popHelp = nullptr;
    QAction *m_popAbout = nullptr;
    QAction *m_popNone = nullptr;
    QAction *m_popCross = nullptr;
    QAction *m_popForm = nullptr;
    QAction *m_popClient = nullptr;
    QAction *m_popQual[10] = {}; // 100 down to 10
    QAction *m_popStart = nullptr;
    QAction *m_popExplore = nullptr;
    QAction *m_popClear = nullptr;
    QAction *m_popSoundOn = nullptr;
    QAction *m_popSoundOff = nullptr;

    std::unique_ptr<WindowSystem> m_windowSystem;
    std::unique_ptr<ScreenGrabber> m_grabber;
    SnapshotSaver *m_saver = nullptr;
    QImage m_lastPicture; // what the picture box holds after a snapshot
    QRegion m_opaque; // the inside's parts that show: bands, camera button, splash
    SnapshotNumbering m_numbering; // follows the images folder rather than listing it per snapshot
};

} // namespace zx
