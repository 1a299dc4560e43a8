#include "mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QMessageBox>
#include <QStandardPaths>

#include <memory>

#include "programinfo.h"
#include "termination.h"
#include "version.h"

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

} // namespace

int main(int argc, char *argv[])
{
    // The crosshair, the keys and the snapshots count in screen pixels; with
    // Qt's scaling a "pixel" would be two, or one and a half, of them. Text
    // still follows the screen's dots per inch.
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QApplication app(argc, argv);
    const QFileInfo self(QCoreApplication::applicationFilePath());
    const zx::ProgramPlace place {
        QString::fromStdString(zx::programNameFromFile(self.fileName().toStdString())),
        self.absolutePath(),
    };
    QApplication::setApplicationName(place.name);
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
    return QApplication::exec();
}
