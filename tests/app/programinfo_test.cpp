#include "programinfo.h"

#include <gtest/gtest.h>

namespace {

TEST(ProgramInfo, NameAndFilesFollowTheProgramFile)
{
    EXPECT_EQ(zx::programNameFromFile("/opt/zx/Zentrolux"), "Zentrolux");
    EXPECT_EQ(zx::programNameFromFile("/opt/zx/Zentrolux.exe"), "Zentrolux");
    EXPECT_EQ(zx::programNameFromFile("/opt/zx/StarCross"), "StarCross");
    EXPECT_EQ(zx::programNameFromFile("/opt/z.x/guide.v2.bin"), "guide.v2");
    EXPECT_EQ(zx::programNameFromFile("/opt/zx/.hidden"), ".hidden");
}

} // namespace
