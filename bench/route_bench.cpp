// Times snapshots through the screen-reading route of the session it runs in:
// the X11 root window, or the desktop portal on a Wayland session.
// bench/compare_routes.py runs it on each desktop and prints them side by side.
#include "captureroute.h"
#include "benchcrosshair.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const bool wayland = zx::isWaylandSession(zx::sessionFromEnvironment());
    if (wayland)
        qputenv("QT_QPA_PLATFORM", "xcb"); // as the program does
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QApplication app(argc, argv);
    // The writer library: beside this program's build folder, or where the first argument says.
    const QString writerFolder = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                          : QCoreApplication::applicationDirPath() + QStringLiteral("/../bin");
    QTemporaryDir place;
    QFile::copy(writerFolder + QStringLiteral("/libZentrolux.so"), place.filePath(QStringLiteral("libZentrolux.so")));
    QDir(place.path()).mkdir(QStringLiteral("Images"));
    const QString images = place.filePath(QStringLiteral("Images"));

    const auto crosshair = makeBenchCrosshair(QStringLiteral("ZentroluxRouteBench"), place.path(), images);
    zx::Crosshair &w = crosshair->core();
    w.formLoad();

    constexpr int Runs = 15;
    std::vector<qint64> totals, grabs;
    for (int i = 0; i < Runs; ++i) {
        w.cmdSaveClick();
        totals.push_back(w.lastSnapshotTimings().total);
        grabs.push_back(w.lastSnapshotTimings().grab);
    }
    const auto median = [](std::vector<qint64> v) {
        std::sort(v.begin(), v.end());
        return double(v[v.size() / 2]) / 1000.0;
    };
    const int written = int(QDir(images).entryList(QDir::Files).size());
    std::printf("route %s: %d of %d snapshots written, median ms: snapshot %.1f, screen read %.1f\n",
        wayland ? "portal" : "x11", written, Runs, median(totals), median(grabs));
    crosshair->window().close();
    return written == Runs ? 0 : 1;
}
