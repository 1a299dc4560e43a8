#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zx {

// What the file system says about the folder that holds the program.
struct FolderFacts {
    std::filesystem::path folder; // canonical
    bool isInstallFolder = false; // the folder the build installs programs into
    bool writable = false; // this user may add files to it
    bool imagesPresent = false; // an Images folder stands in it
};

// The user's own folders as the environment and the desktop name them.
struct UserFolders {
    // Where settings go: $XDG_CONFIG_HOME as set (empty when unset), or on Windows the user's roaming
    // application data. A path, never 8-bit text: Windows' code page cannot hold most user names.
    std::filesystem::path configHome;
    std::filesystem::path home;
    std::filesystem::path pictures; // the desktop's pictures folder; empty when unknown
};

// Where one copy of the program keeps its files.
struct FileLocations {
    bool installed = false; // then the program makes the settings and images folders itself
    std::filesystem::path settingsFile;
    std::filesystem::path imagesFolder;
    std::vector<std::filesystem::path> writerFolders; // where the JPEG writer is looked for, in order
};

// The rule. A copy is installed when it runs from the install folder, or when the user cannot
// write its folder and no Images folder stands there; every other copy is portable.
// Portable: <folder>/<name>.ini and <folder>/Images. Installed: <config>/<name>/<name>.ini, where
// <config> is configHome when it is an absolute path, else <home>/.config, and
// <pictures>/<name> (<home>/Pictures when the desktop names none).
// The writer is looked for beside the program, then in <folder>/<writerFromBin>. The name is UTF-8.
[[nodiscard]] FileLocations fileLocations(const std::string &programName, const FolderFacts &facts,
    const UserFolders &user, const std::filesystem::path &writerFromBin);

// Reads the facts of the program's folder; the install folder is compared by canonical path.
[[nodiscard]] FolderFacts inspectFolder(
    const std::filesystem::path &programFolder, const std::filesystem::path &installFolder);

} // namespace zx
