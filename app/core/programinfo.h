#pragma once

#include "filelocations.h"

#include <filesystem>
#include <string>
#include <vector>

namespace zx {

// Where the program lives and what it is called; taken from the running
// program, never from the current directory.
struct ProgramPlace {
    std::string name; // UTF-8; the caption at rest and the title of messages
    std::filesystem::path directory;
    std::filesystem::path settingsFile;
    std::filesystem::path imagesFolder;
    bool installed = false; // an installed copy makes its settings and images folders itself
    std::vector<std::filesystem::path> writerFolders; // where the JPEG writer is looked for, in order
};

// The program's name: its file name without the extension ("Zentrolux" as
// delivered), as UTF-8. A copy under another name uses that name everywhere.
[[nodiscard]] std::string programNameFromFile(const std::filesystem::path &programFile);

// The place of the program file `programFile` (its full path) by the rule of
// fileLocations(): installFolder is where an install puts programs, writerFromBin
// the writer's folder relative to it.
[[nodiscard]] ProgramPlace programPlace(const std::filesystem::path &programFile,
    const std::filesystem::path &installFolder, const UserFolders &user, const std::filesystem::path &writerFromBin);

// One copy of a program of one name runs per user session: the name the
// system's lock or mutex takes, and what a second copy says before it ends.
[[nodiscard]] std::string instanceLockName(const std::string &programName);
[[nodiscard]] std::string alreadyRunningText(const std::string &programName);

} // namespace zx
