#pragma once

#include <ctime>

namespace zx {

// The present moment in the local time zone. One file per system implements it.
[[nodiscard]] std::tm localNow();
// A moment in the local time zone.
[[nodiscard]] std::tm localTime(std::time_t moment);

} // namespace zx
