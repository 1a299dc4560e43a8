#include "programinfo.h"

#include "pathtext.h"

#include <gtest/gtest.h>

namespace {

TEST(ProgramInfo, NameAndFilesFollowTheProgramFile)
{
    EXPECT_EQ(zx::programNameFromFile("/opt/zx/Zentrolux"), "Zentrolux");
    EXPECT_EQ(zx::programNameFromFile("/opt/zx/Zentrolux.exe"), "Zentrolux");
    EXPECT_EQ(zx::programNameFromFile("/opt/zx/StarCross"), "StarCross");
    EXPECT_EQ(zx::programNameFromFile("/opt/z.x/guide.v2.bin"), "guide.v2");
    EXPECT_EQ(zx::programNameFromFile("/opt/zx/.hidden"), ".hidden");
    // The name is UTF-8 whatever the system's 8-bit code page.
    EXPECT_EQ(zx::programNameFromFile(zx::pathFromUtf8("/opt/Тест 星/Leitstern Ω.exe")), "Leitstern Ω");

    EXPECT_EQ(zx::alreadyRunningText("Guide"), "Guide is already running!");
    EXPECT_NE(zx::instanceLockName("Guide"), zx::instanceLockName("Zentrolux"));
}

} // namespace
