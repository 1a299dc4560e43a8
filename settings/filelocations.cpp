#include "filelocations.h"

#include "folderwrite.h"
#include "pathtext.h"

#include <system_error>

namespace zx {

namespace fs = std::filesystem;

FileLocations fileLocations(const std::string &programName, const FolderFacts &facts, const UserFolders &user,
    const fs::path &writerFromBin)
{
    FileLocations where;
    const fs::path name = pathFromUtf8(programName);
    const fs::path settingsName = pathFromUtf8(programName + ".ini");
    // Root may write the install folder, so writability alone does not make a copy portable; a
    // read-only folder that holds Images was made to be used in place.
    where.installed = facts.isInstallFolder || (!facts.writable && !facts.imagesPresent);
    if (where.installed) {
        const fs::path config = user.configHome.is_absolute() ? user.configHome : user.home / ".config";
        where.settingsFile = config / name / settingsName;
        const fs::path pictures = user.pictures.empty() ? user.home / "Pictures" : user.pictures;
        where.imagesFolder = pictures / name;
    } else {
        where.settingsFile = facts.folder / settingsName;
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
