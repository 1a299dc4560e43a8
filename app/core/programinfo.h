#pragma once

#include <string>

namespace zx {

// The program's name: its file name without the extension ("Zentrolux" as
// delivered). A copy under another name uses that name everywhere.
[[nodiscard]] std::string programNameFromFile(const std::string &fileName);

} // namespace zx
