#include "qtcrosshair.h"

#include "captureroute.h"
#include "filelocations.h"
#include "programinfo.h"
#include "termination.h"
#include "version.h"

#include <QApplication>
#include <QDir>
#include <QLockFile>
#include <QMessageBox>
#include <QStandardPaths>

#include <filesystem>
#include <memory>

namespace {

// A per-user lock named after the program tells whether it already runs.
std::unique_ptr<QLockFile> lockInstance(const QString &programName)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    auto lock = std::make_unique<QLockFile>(
        QDir(folder).filePath(QString::fromStdString(zx::instanceLockName(programName.toStdString())) + QStringLiteral(".lock")));
    // Only a live owner counts: a lock left by a crash is taken over.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0))
        return lock;
    if (lock->error() == QLockFile::LockFailedError)
        return nullptr;
    // The lock cannot be made at all (unwritable folder): do not refuse to start.
    return std::make_unique<QLockFile>(QString());
}

std::filesystem::path toPath(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

} // namespace

int main(int argc, char *argv[])
{
    // The crosshair, the keys and the snapshots count in screen pixels; with
    // Qt's scaling a "pixel" would be two, or one and a half, of them. Text
    // still follows the screen's dots per inch.
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    // On a Wayland session the window runs through XWayland, unless the user
    // asked for another platform: only as an X11 window can it stay on top,
    // have its see-through shape and know where it is on the screen.
    const zx::SessionFacts session = zx::sessionFromEnvironment();
    if (zx::isWaylandSession(session) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    // The desktop, decided once: every piece that differs by it is handed this.
    const zx::Desktop desktop
        = zx::decideDesktop(session, QGuiApplication::platformName() == QLatin1String("xcb"));

    // Where this copy keeps its settings and pictures: beside itself, or, when
    // installed, in the user's own folders.
    const zx::UserFolders user { toPath(QFile::decodeName(qgetenv("XDG_CONFIG_HOME"))), toPath(QDir::homePath()),
        toPath(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation)) };
    const zx::ProgramPlace place
        = zx::programPlace(toPath(QCoreApplication::applicationFilePath()), ZX_INSTALL_BINDIR, user, ZX_WRITER_FROM_BINDIR);
    const std::string &name = place.name;

    const QString title = QString::fromStdString(name);
    QApplication::setApplicationName(title);
    // Lets the desktop match the window to the menu entry of the package.
    if (place.installed)
        QGuiApplication::setDesktopFileName(QStringLiteral(ZX_APP_ID));
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                            .arg(zx::version::major)
                                            .arg(zx::version::minor)
                                            .arg(zx::version::revision));

    const auto lock = lockInstance(title);
    if (!lock) {
        QMessageBox::warning(nullptr, title, QString::fromStdString(zx::alreadyRunningText(name)));
        return 0;
    }

    zx::QtCrosshair crosshair(place, desktop);
    zx::closeOnTerminationRequest(&crosshair.window());
    crosshair.core().formLoad();
    return QApplication::exec();
}
