// Rate of a 1 ms capture sequence of the real crosshair window into an empty
// images folder and into one that already holds 10,000 snapshots, in turns in
// the same run so that a busy machine weighs on both alike.
// Usage: sequence_bench [seconds per turn = 5] [rounds = 3]. Run under Xvfb
// with a window manager.
#include "benchcrosshair.h"
#include "snapshotnames.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int PrefilledFiles = 10000;

int countFiles(const fs::path &folder)
{
    int n = 0;
    for (const auto &entry : fs::directory_iterator(folder))
        n += entry.is_regular_file() ? 1 : 0;
    return n;
}

// Puts a new folder with this many snapshots in place of the images folder.
// The old one is only moved aside: deleting 10,000 files slowed the turn after it.
void renewFolder(const fs::path &folder, int files, int turn)
{
    const fs::path fresh = folder.parent_path() / ("new" + std::to_string(turn));
    fs::create_directory(fresh);
    // Tiny stand-ins: only their names matter to the numbering.
    for (int i = 1; i <= files; ++i)
        std::ofstream(fresh / zx::snapshotFileName(i)) << "x";
    if (fs::exists(folder))
        fs::rename(folder, folder.parent_path() / ("old" + std::to_string(turn)));
    fs::rename(fresh, folder);
    // Written out before the turn starts, so that neither turn pays for it.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
}

// Snapshots per second of a 1 ms sequence running for the given time.
double sequenceRate(zx::Crosshair &w, const fs::path &folder, double seconds)
{
    const int before = countFiles(folder);
    QElapsedTimer clock;
    clock.start();
    w.startSequence(1);
    while (clock.elapsed() < seconds * 1000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    w.stopSequence();
    const double elapsed = double(clock.nsecsElapsed()) / 1e9;
    return (countFiles(folder) - before) / elapsed;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    QApplication app(argc, argv);
    QTemporaryDir place;
    const QString binDir = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin");
    QFile::copy(
        binDir + QStringLiteral("/libZentrolux.so"), place.filePath(QStringLiteral("libZentrolux.so")));
    const QString images = place.filePath(QStringLiteral("Images"));
    const fs::path folder = QFile::encodeName(images).toStdString();

    const auto crosshair = makeBenchCrosshair(QStringLiteral("ZentroluxBench"), place.path(), images);
    zx::Crosshair &w = crosshair->core();
    w.formLoad();

    std::vector<double> empty, full;
    for (int round = 0; round < rounds; ++round) {
        // Alternate which goes first, so a drift in machine load favours neither.
        for (int turn = 0; turn < 2; ++turn) {
            const bool prefilled = (round + turn) % 2 == 1;
            renewFolder(folder, prefilled ? PrefilledFiles : 0, round * 2 + turn);
            const double rate = sequenceRate(w, folder, seconds);
            (prefilled ? full : empty).push_back(rate);
            std::printf("round %d, %-22s %6.1f snapshots/s\n", round + 1,
                prefilled ? "10,000 files before:" : "empty folder before:", rate);
        }
    }
    const double e = median(empty), f = median(full);
    std::printf(
        "1 ms sequence, median of %d turns of %.0f s: empty folder %.1f/s, 10,000 files %.1f/s = %.0f %%\n",
        rounds, seconds, e, f, 100.0 * f / e);
    crosshair->window().close();
    return 0;
}
