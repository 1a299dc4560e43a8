#include "filelocations.h"

#include "folderwrite.h"

#include <system_error>

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
    facts.writable = mayAddFiles(facts.folder);
    facts.imagesPresent = fs::is_directory(facts.folder / "Images", ec);
    return facts;
}

} // namespace zx
