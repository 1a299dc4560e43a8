#include "mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QMessageBox>
#include <QStandardPaths>

#include <filesystem>
#include <memory>

#include "captureroute.h"
#include "filelocations.h"
#include "programinfo.h"
#include "termination.h"
#include "version.h"

#include <zentrolux/tempbitmap.h>

namespace {

// A per-user lock named after the program tells whether it already runs.
std::unique_ptr<QLockFile> lockInstance(const QString &programName)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    auto lock = std::make_unique<QLockFile>(QDir(folder).filePath(programName + QStringLiteral(".lock")));
    // Only a live owner counts: a lock left by a crash is taken over.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0))
        return lock;
    if (lock->error() == QLockFile::LockFailedError)
        return nullptr;
    // The lock cannot be made at all (unwritable folder): do not refuse to start.
    return std::make_unique<QLockFile>(QString());
}

QString fromPath(const std::filesystem::path &path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

std::filesystem::path toPath(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

// Where this copy keeps its settings and pictures: beside itself, or, when installed, in the
// user's own folders (the rule is in fileLocations()).
zx::ProgramPlace placeOf(const QFileInfo &self)
{
    const std::string name = zx::programNameFromFile(self.fileName().toStdString());
    const zx::FolderFacts facts = zx::inspectFolder(toPath(self.absolutePath()), ZX_INSTALL_BINDIR);
    const zx::UserFolders user { qgetenv("XDG_CONFIG_HOME").toStdString(), toPath(QDir::homePath()),
        toPath(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation)) };
    const zx::FileLocations files = zx::fileLocations(name, facts, user, ZX_WRITER_FROM_BINDIR);
    zx::ProgramPlace place { QString::fromStdString(name), self.absolutePath(), fromPath(files.settingsFile),
        fromPath(files.imagesFolder), files.installed, {} };
    for (const auto &folder : files.writerFolders)
        place.writerFolders.append(fromPath(folder));
    return place;
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
    if (zx::isWaylandSession(zx::sessionFromEnvironment()) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    const zx::ProgramPlace place = placeOf(QFileInfo(QCoreApplication::applicationFilePath()));
    QApplication::setApplicationName(place.name);
    // Lets the desktop match the window to the menu entry of the package.
    if (place.installed)
        QGuiApplication::setDesktopFileName(QStringLiteral(ZX_APP_ID));
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                            .arg(zx::version::major)
                                            .arg(zx::version::minor)
                                            .arg(zx::version::revision));

    const auto lock = lockInstance(place.name);
    if (!lock) {
        QMessageBox::warning(nullptr, place.name, place.name + QStringLiteral(" is already running!"));
        return 0;
    }

    zx::MainWindow window(place);
    zx::closeOnTerminationRequest(&window);
    window.formLoad();
    const int exitCode = QApplication::exec();
    zx::removeRunTempFolder();
    return exitCode;
}
