#include "programinfo.h"

#include "pathtext.h"

namespace zx {

std::string programNameFromFile(const std::filesystem::path &programFile)
{
    std::string name = utf8FromPath(programFile.filename());
    const auto dot = name.rfind('.');
    // A leading dot names a hidden file, not an extension.
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name;
}

ProgramPlace programPlace(const std::filesystem::path &programFile, const std::filesystem::path &installFolder,
    const UserFolders &user, const std::filesystem::path &writerFromBin)
{
    ProgramPlace place;
    place.name = programNameFromFile(programFile);
    const FolderFacts facts = inspectFolder(programFile.parent_path(), installFolder);
    const FileLocations files = fileLocations(place.name, facts, user, writerFromBin);
    place.directory = facts.folder;
    place.settingsFile = files.settingsFile;
    place.imagesFolder = files.imagesFolder;
    place.installed = files.installed;
    place.writerFolders = files.writerFolders;
    return place;
}

std::string instanceLockName(const std::string &programName)
{
    return "Zentrolux-" + programName;
}

std::string alreadyRunningText(const std::string &programName)
{
    return programName + " is already running!";
}

} // namespace zx
