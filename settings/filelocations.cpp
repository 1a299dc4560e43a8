#include "filelocations.h"

#include <system_error>

#if defined(_WIN32)
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace zx {

namespace fs = std::filesystem;

FileLocations fileLocations(const std::string &programName, const FolderFacts &facts, const UserFolders &user,
    const fs::path &writerFromBin)
{
    FileLocations where;
    // Root may write the install folder, so writability alone does not make a copy portable; a
    // read-only folder that holds Images was made to be used in place.
    where.installed = facts.isInstallFolder || (!facts.writable && !facts.imagesPresent);
    if (where.installed) {
        const fs::path xdg(user.xdgConfigHome);
        const fs::path config = xdg.is_absolute() ? xdg : user.home / ".config";
        where.settingsFile = config / programName / (programName + ".ini");
        const fs::path pictures = user.pictures.empty() ? user.home / "Pictures" : user.pictures;
        where.imagesFolder = pictures / programName;
    } else {
        where.settingsFile = facts.folder / (programName + ".ini");
        where.imagesFolder = facts.folder / "Images";
    }
    where.writerFolders = { facts.folder, (facts.folder / writerFromBin).lexically_normal() };
    return where;
}

FolderFacts inspectFolder(const fs::path &programFolder, const fs::path &installFolder)
{
    FolderFacts facts;
    std::error_code ec;
    facts.folder = fs::canonical(programFolder, ec);
    if (ec)
        facts.folder = programFolder;
    std::error_code installEc;
    const fs::path install = fs::canonical(installFolder, installEc);
    facts.isInstallFolder = !ec && !installEc && install == facts.folder;
#if defined(_WIN32)
    facts.writable = _waccess(facts.folder.c_str(), 2) == 0;
#else
    // The effective user decides, as it does when the file is written.
    facts.writable = faccessat(AT_FDCWD, facts.folder.c_str(), W_OK, AT_EACCESS) == 0;
#endif
    facts.imagesPresent = fs::is_directory(facts.folder / "Images", ec);
    return facts;
}

} // namespace zx
