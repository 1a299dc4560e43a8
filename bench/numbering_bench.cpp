// The snapshot number alone, without a display: what finding it costs in an
// empty folder and in one holding 10,000 snapshots, done three ways in the
// same run. Each number is followed by writing that snapshot the way the JPEG
// writer publishes it (a hidden temporary file renamed to its final name), so
// the folder grows as in a capture sequence; the writing is not timed, since
// on a shared disk it varies far more than the numbering does.
// Usage: numbering_bench [numbers per run = 2000]
#include "fileio.h"
#include "snapshotnames.h"
#include "snapshotnumbering.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// The listing as it was before the numbering kept track: std::filesystem,
// a path built for every entry.
std::optional<std::int64_t> listingAsItWas(const fs::path &folder)
{
    double highest = 0;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        std::error_code typeError;
        if (!zx::isListedSnapshotName(name) || !entry.is_regular_file(typeError))
            continue;
        highest = zx::raisedHighest(highest, name);
    }
    return zx::numberAfter(highest);
}

void makeFolder(const fs::path &folder, int files)
{
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (int i = 1; i <= files; ++i)
        std::ofstream(folder / zx::snapshotFileName(i)) << "x";
    // Written out before timing, so that the run does not pay for it.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
}

// Microseconds per number, finding it alone.
struct Cost {
    double mean = 0; // with the first number, which may list the folder
    double median = 0; // a typical number once under way
};

Cost run(const fs::path &folder, int count, const std::function<std::optional<std::int64_t>()> &next)
{
    const std::uint8_t bytes[] = { 0xff, 0xd8, 0xff, 0xd9 };
    std::vector<double> us;
    for (int i = 0; i < count; ++i) {
        const auto before = Clock::now();
        const auto number = next();
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - before).count());
        if (!number
            || zx::fileio::publishNewFile((folder / zx::snapshotFileName(*number)).string(), bytes)
                != zx::fileio::PublishResult::Published) {
            std::fprintf(stderr, "writing snapshot %d failed\n", i);
            std::exit(1);
        }
    }
    const double mean = std::accumulate(us.begin(), us.end(), 0.0) / count;
    std::nth_element(us.begin(), us.begin() + count / 2, us.end());
    return { mean, us[static_cast<std::size_t>(count / 2)] };
}

} // namespace

int main(int argc, char *argv[])
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
    const fs::path folder = fs::temp_directory_path() / ("zx-numbering-bench-" + std::to_string(::getpid()));
    std::printf("%d numbers, each followed by writing its snapshot (not timed)\n", count);
    std::printf("%-36s %30s   %30s\n", "microseconds per number:", "empty folder: mean, median, numbers/s",
        "10,000 files: mean, median, numbers/s");
    // Each way is made anew for each folder, so the numbering starts from nothing.
    using Next = std::function<std::optional<std::int64_t>()>;
    std::unique_ptr<zx::SnapshotNumbering> numbering;
    const struct {
        const char *label;
        std::function<Next()> make;
    } ways[] = {
        { "listing as it was (std::filesystem)",
            [&]() -> Next { return [&] { return listingAsItWas(folder); }; } },
        { "listing now (nextSnapshotNumber)",
            [&]() -> Next { return [&] { return zx::nextSnapshotNumber(folder); }; } },
        { "SnapshotNumbering",
            [&]() -> Next {
                numbering = std::make_unique<zx::SnapshotNumbering>();
                return [&] { return numbering->next(folder); };
            } },
    };
    for (const auto &way : ways) {
        std::printf("%-36s", way.label);
        std::string listings;
        for (const int files : { 0, 10000 }) {
            makeFolder(folder, files);
            numbering.reset();
            const Cost cost = run(folder, count, way.make());
            std::printf(" %9.1f %9.1f %10.0f", cost.mean, cost.median, 1e6 / cost.mean);
            if (numbering)
                listings += " " + std::to_string(numbering->fullScans());
        }
        std::printf("\n");
        if (!listings.empty())
            std::printf("  folder listings by SnapshotNumbering (empty, 10,000):%s\n", listings.c_str());
    }
    fs::remove_all(folder);
    return 0;
}
