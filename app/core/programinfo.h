#pragma once

#include <string>

namespace zx {

// The program's name: its file name without the extension ("Zentrolux" as
// delivered). A copy under another name uses that name everywhere.
[[nodiscard]] std::string programNameFromFile(const std::string &fileName);

// The settings file beside the program: directory, separator, name, ".ini".
[[nodiscard]] std::string settingsPath(const std::string &programDir, const std::string &programName);

// The folder the snapshots go to.
[[nodiscard]] std::string imagesFolder(const std::string &programDir);

} // namespace zx
