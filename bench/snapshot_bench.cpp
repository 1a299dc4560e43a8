// Times snapshots of the real crosshair window on the current X display:
// one snapshot split into its stages, a capture sequence at 1 ms, and the
// memory held over a long sequence. Run under Xvfb with a window manager.
#include "benchcrosshair.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {

long residentKiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long peakKiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int countFiles(const QString &folder)
{
    return int(QDir(folder).entryList(QDir::Files).size());
}

void clearFolder(const QString &folder)
{
    for (const QString &f : QDir(folder).entryList(QDir::Files))
        QFile::remove(QDir(folder).filePath(f));
}

double ms(std::int64_t us)
{
    return double(us) / 1000.0;
}

void singleSnapshots(zx::Crosshair &w, const QString &images, const char *label, int runs)
{
    std::vector<zx::SnapshotTimings> all;
    for (int i = 0; i < runs; ++i) {
        w.cmdSaveClick();
        all.push_back(w.lastSnapshotTimings());
    }
    // Medians: the first snapshot loads the writer library and the sound.
    const auto median = [&](std::int64_t zx::SnapshotTimings::*field) {
        std::vector<std::int64_t> v;
        for (const auto &t : all)
            v.push_back(t.*field);
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const qint64 total = median(&zx::SnapshotTimings::total);
    const qint64 grab = median(&zx::SnapshotTimings::grab);
    const qint64 encode = median(&zx::SnapshotTimings::encode);
    std::printf(
        "%s, %d snapshots, median ms: total %.2f | hide+reshape+settle %.2f | grab %.2f | bitmap write "
        "%.2f | encode %.2f | clean-up %.2f | restore %.2f\n",
        label, runs, ms(total), ms(median(&zx::SnapshotTimings::hideAndReshape)), ms(grab),
        ms(median(&zx::SnapshotTimings::bitmapWrite)), ms(encode), ms(median(&zx::SnapshotTimings::cleanUp)),
        ms(median(&zx::SnapshotTimings::restore)));
    std::printf(
        "%s: everything but grab and encode is %.0f %% of a snapshot (%.0f %% without the settle wait)\n",
        label, 100.0 * double(total - grab - encode) / double(total),
        100.0 * double(total - grab - encode - median(&zx::SnapshotTimings::hideAndReshape)) / double(total));
    clearFolder(images);

    // A sequence at 1 ms: as fast as snapshots can follow each other.
    const int before = countFiles(images);
    QElapsedTimer clock;
    clock.start();
    w.startSequence(1);
    while (clock.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    w.stopSequence();
    const zx::SnapshotTimings &last = w.lastSnapshotTimings();
    std::printf("%s: last sequence snapshot ms: total %.2f | hide+reshape+settle %.2f | restore %.2f\n",
        label, ms(last.total), ms(last.hideAndReshape), ms(last.restore));
    const int taken = countFiles(images) - before;
    const double rate = taken / seconds;
    std::printf("%s: 1 ms sequence sustained %.1f snapshots/s = %.0f %% of 1 / one snapshot (%.1f/s)\n",
        label, rate, 100.0 * rate * ms(total) / 1000.0, 1000.0 / ms(total));
    clearFolder(images);
}

} // namespace

int main(int argc, char *argv[])
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QApplication app(argc, argv);
    QTemporaryDir place;
    const QString binDir = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin");
    QFile::copy(
        binDir + QStringLiteral("/libZentrolux.so"), place.filePath(QStringLiteral("libZentrolux.so")));
    QDir(place.path()).mkdir(QStringLiteral("Images"));
    const QString images = place.filePath(QStringLiteral("Images"));

    const auto crosshair = makeBenchCrosshair(QStringLiteral("ZentroluxBench"), place.path(), images);
    zx::Crosshair &w = crosshair->core();
    w.formLoad();
    std::printf("start: resident %ld KiB, peak %ld KiB\n", residentKiB(), peakKiB());

    singleSnapshots(w, images, "design size (475 x 314 inside)", 30);

    zx::MainWindow &window = crosshair->window();
    window.move(0, 0);
    const QSize frame = window.frameGeometry().size() - window.size();
    window.resize(1280 - frame.width(), 1024 - frame.height());
    QApplication::processEvents();
    singleSnapshots(w, images, "1280 x 1024 window", 30);

    // Memory over a long sequence: resident size must stay flat.
    window.resize(475, 314);
    QApplication::processEvents();
    const long startResident = residentKiB();
    w.startSequence(1);
    int done = 0;
    long after100 = 0;
    while (done < 1000) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        done = countFiles(images);
        if (after100 == 0 && done >= 100)
            after100 = residentKiB();
    }
    w.stopSequence();
    std::printf(
        "1000 sequence snapshots: resident before %ld KiB, after 100 %ld KiB, after 1000 %ld KiB, peak %ld "
        "KiB\n",
        startResident, after100, residentKiB(), peakKiB());
    crosshair->window().close();
    return 0;
}
