#include "fileio.h"
#include "testpicture.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <stdlib.h>

namespace zx::fileio {
namespace {

namespace fs = std::filesystem;

std::span<const std::uint8_t> asBytes(const std::string &text)
{
    return { reinterpret_cast<const std::uint8_t *>(text.data()), text.size() };
}

// Each way of giving the file its name must refuse to replace one, since on a
// given file system only one of them may ever run.
TEST(PublishNewFile, EveryMethodRefusesToReplace)
{
    std::string pattern = (fs::temp_directory_path() / "zx-publish-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    const fs::path root = pattern;

    struct Case {
        const char *name;
        PublishMethod method;
    };
    const Case cases[] = {
        { "best", PublishMethod::Best },
        { "link then unlink", PublishMethod::LinkThenUnlink },
        { "reserve then rename", PublishMethod::ReserveThenRename },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path folder = root / c.name;
        fs::create_directory(folder);
        const fs::path target = folder / "CAP0001.jpg";

        EXPECT_EQ(publishNewFile(target.string(), asBytes("first"), c.method), PublishResult::Published);
        EXPECT_EQ(publishNewFile(target.string(), asBytes("second"), c.method), PublishResult::Exists);
        EXPECT_EQ(test::readFile(target), "first");
        EXPECT_EQ(publishNewFile((folder / "gone" / "x.jpg").string(), asBytes("x"), c.method),
            PublishResult::Failed);
        // Only the published file: no temporary or placeholder left behind.
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    }
    std::error_code ignored;
    fs::remove_all(root, ignored);
}

} // namespace
} // namespace zx::fileio
