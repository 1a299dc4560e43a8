// The 8-bit name the program hands the JPEG writer names the very file it
// means, whatever letters the folder's name holds, or none is given.
#include "pathtext.h"
#include "testsystem.h"
#include "writerpath.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

TEST(WriterPath, NamesTheFileItselfOrNothing)
{
    const fs::path root = zx::test::makePrivateFolder("zx-writerpath-");
    int given = 0;
    for (const char *name : { "Images", "Jürgen", "Тест 星 Ünï", "Ωμέγα" }) {
        SCOPED_TRACE(name);
        const fs::path folder = root / zx::pathFromUtf8(name);
        fs::create_directories(folder);
        const fs::path target = folder / "CAP0001.jpg";
        const auto text = zx::writerPathText(target);
        if (!text)
            continue;
        ++given;
        // The writer opens its target through the system's 8-bit calls.
        HANDLE file = CreateFileA(text->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << *text;
        CloseHandle(file);
        EXPECT_TRUE(fs::is_regular_file(target)) << *text << " made another file";
    }
    EXPECT_GE(given, 2) << "not even a plain or a code-page name was given";
    fs::remove_all(root);
}

} // namespace
