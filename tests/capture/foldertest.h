#pragma once

#include "fileio.h"
#include "snapshotnames.h"
#include "snapshotnumbering.h"
#include "testsystem.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

namespace zx::test {

namespace fs = std::filesystem;

// A fresh images folder of its own.
class ImagesFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device rd;
        m_dir = fs::temp_directory_path() / ("zx-names-" + std::to_string(rd()));
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    void touch(std::initializer_list<const char *> names)
    {
        for (const char *n : names)
            std::ofstream(m_dir / n) << "x";
    }
    void reset()
    {
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }

    fs::path m_dir;
};

// An images folder inside a program folder, and the numbering that follows it.
class Numbering : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device rd;
        m_root = fs::temp_directory_path() / ("zx-numbering-" + std::to_string(rd()));
        m_dir = m_root / "program" / "Images";
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_root); }

    void touch(const std::string &name) { std::ofstream(m_dir / name) << "x"; }
    // As the program's own writer does it: a hidden temporary file given its final name.
    fileio::PublishResult publish(
        std::int64_t number, fileio::PublishMethod method = fileio::PublishMethod::Best)
    {
        const std::uint8_t bytes[] = { 0xff, 0xd8, 0xff, 0xd9 };
        return fileio::publishNewFile((m_dir / snapshotFileName(number)).string(), bytes, method);
    }
    void writeOwn(std::int64_t number, fileio::PublishMethod method = fileio::PublishMethod::Best)
    {
        ASSERT_EQ(publish(number, method), fileio::PublishResult::Published);
    }
    // The numbering agrees with a fresh listing.
    void expectSame(const std::string &after)
    {
        const auto reference = nextSnapshotNumber(m_dir);
        EXPECT_EQ(m_numbering.next(m_dir), reference) << "after " << after;
    }

    // A change to the folder and the next number a listing gives after it.
    struct Step {
        const char *what;
        std::function<void()> change;
        std::int64_t expected;
    };
    void run(const std::vector<Step> &steps)
    {
        for (const auto &step : steps) {
            step.change();
            expectSame(step.what);
            EXPECT_EQ(nextSnapshotNumber(m_dir), step.expected) << step.what;
        }
    }

    fs::path m_root, m_dir;
    SnapshotNumbering m_numbering;
};

} // namespace zx::test
