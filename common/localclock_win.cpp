#include "localclock.h"

namespace zx {

std::tm localTime(std::time_t moment)
{
    std::tm local {};
    localtime_s(&local, &moment);
    return local;
}

std::tm localNow()
{
    return localTime(std::time(nullptr));
}

} // namespace zx
