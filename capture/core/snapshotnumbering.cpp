#include "snapshotnumbering.h"

#include "folderentries.h"
#include "numbers.h"
#include "snapshotnames.h"

namespace zx {

SnapshotNumbering::SnapshotNumbering(std::unique_ptr<FolderWatch> watch)
    : m_watch(std::move(watch))
{
}

std::optional<std::int64_t> SnapshotNumbering::next(const std::filesystem::path &imagesFolder)
{
    if (!m_watched || imagesFolder != m_folder || !m_watch->takeEvents(m_events)) {
        // Watch first, then list: a change made in between is then both seen
        // by the listing and reported, which is harmless; the other way round
        // it could be missed.
        m_folder = imagesFolder;
        m_watched = m_watch && m_watch->watch(imagesFolder);
        m_events.clear();
        scan(imagesFolder);
    } else if (!follow(imagesFolder) || m_linked) {
        scan(imagesFolder);
    }
    return numberAfter(m_highest);
}

void SnapshotNumbering::scan(const std::filesystem::path &imagesFolder)
{
    const SnapshotScan found = scanSnapshotFolder(imagesFolder);
    m_highest = found.highest;
    m_linked = found.linked;
    ++m_fullScans;
}

bool SnapshotNumbering::follow(const std::filesystem::path &imagesFolder)
{
    bool rescan = false;
    for (const FolderEvent &event : m_events) {
        if (!isListedSnapshotName(event.name))
            continue; // our own hidden temporary files, other kinds of files
        if (event.kind == FolderEvent::Kind::Added) {
            // Looked at now, not when the event happened: a later change to the
            // same name is in the events too.
            const EntryType type = entryType(imagesFolder, event.name);
            m_linked = m_linked || type.link;
            if (type.file) {
                m_highest = raisedHighest(m_highest, event.name);
                continue;
            }
            // Not an ordinary file (gone again, a device, or a rename over a
            // counted file): like a removal.
        }
        rescan = rescan || mayHoldHighest(event.name);
    }
    m_events.clear();
    return !rescan;
}

bool SnapshotNumbering::mayHoldHighest(std::string_view name) const
{
    // Rounding keeps order, so only a name whose number rounds to the highest
    // can have given it; one above it was never counted.
    const double n = snapshotNumberOf(name);
    return n > 0 && roundHalfEven(n) == m_highest;
}

} // namespace zx
