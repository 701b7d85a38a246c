#include "download/target_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <thread>
#include <vector>

#include "download/file_naming.h"
#include "platform/sys/files.h"

namespace mm::download {
namespace {

namespace fs = std::filesystem;

std::tm Fixed() {
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 6;
    t.tm_hour = 18;
    t.tm_min = 5;
    t.tm_sec = 7;
    return t;
}

class TargetFilesTest : public ::testing::Test {
protected:
    TargetFilesTest() {
        char tmpl[] = "/tmp/mm-target-XXXXXX";
        dir = std::string(mkdtemp(tmpl)) + "/";
    }
    ~TargetFilesTest() override { fs::remove_all(dir); }

    void Write(const std::string& path, const std::string& data) {
        std::ofstream(path, std::ios::binary) << data;
    }
    std::string Read(const std::string& path) {
        std::string s;
        sys::ReadFile(path, s);
        return s;
    }

    std::string dir;
    TargetFiles files{Fixed};
    const std::string dated = "Song - X _2026年12月6日18时5分7秒.mp3";
};

TEST_F(TargetFilesTest, FreeNameIsTakenAsIsAndCommitted) {
    std::string target = files.Claim(dir, "Song - X ", "mp3");
    EXPECT_EQ(target, dir + "Song - X .mp3");
    Write(target + kPartSuffix, "audio");
    EXPECT_EQ(files.Commit(target + kPartSuffix, target, dir, "Song - X ", "mp3"), target);
    EXPECT_EQ(Read(target), "audio");
    EXPECT_FALSE(sys::PathExists(target + kPartSuffix));
    // Committed names are free for the table again, but the file now holds them.
    EXPECT_EQ(files.Claim(dir, "Song - X ", "mp3"), dir + dated);
}

TEST_F(TargetFilesTest, ExistingFileOrFolderGivesTheDatedName) {
    Write(dir + "Song - X .mp3", "old");
    EXPECT_EQ(files.Claim(dir, "Song - X ", "mp3"), dir + dated);
    fs::create_directory(dir + "Dir.flac");
    EXPECT_EQ(files.Claim(dir, "Dir", "flac"), dir + "Dir_2026年12月6日18时5分7秒.flac");
    EXPECT_EQ(Read(dir + "Song - X .mp3"), "old");
}

TEST_F(TargetFilesTest, LeftoverPartFileDoesNotTakeTheName) {
    Write(dir + "Song - X .mp3.part", "half of an old crash");
    EXPECT_EQ(files.Claim(dir, "Song - X ", "mp3"), dir + "Song - X .mp3");
}

TEST_F(TargetFilesTest, DownloadsInFlightNeverShareAName) {
    std::string a = files.Claim(dir, "Song - X ", "mp3");
    std::string b = files.Claim(dir, "Song - X ", "mp3");
    std::string c = files.Claim(dir, "Song - X ", "mp3");
    EXPECT_EQ(a, dir + "Song - X .mp3");
    EXPECT_EQ(b, dir + dated);
    EXPECT_EQ(c, dir + "Song - X _2026年12月6日18时5分7秒_2.mp3");
    files.Release(a);
    EXPECT_EQ(files.Claim(dir, "Song - X ", "mp3"), a);
}

TEST_F(TargetFilesTest, CommitNeverReplacesAFileThatAppearedMeanwhile) {
    std::string target = files.Claim(dir, "Song - X ", "mp3");
    Write(target + kPartSuffix, "new");
    Write(target, "someone else's");
    std::string landed = files.Commit(target + kPartSuffix, target, dir, "Song - X ", "mp3");
    EXPECT_EQ(landed, dir + dated);
    EXPECT_EQ(Read(target), "someone else's");
    EXPECT_EQ(Read(landed), "new");
    EXPECT_FALSE(sys::PathExists(target + kPartSuffix));
}

TEST_F(TargetFilesTest, CommitOfAMissingPartFails) {
    std::string target = files.Claim(dir, "Gone", "mp3");
    EXPECT_EQ(files.Commit(target + kPartSuffix, target, dir, "Gone", "mp3"), "");
    EXPECT_FALSE(sys::PathExists(target));
}

TEST_F(TargetFilesTest, OverlongNameIsShortenedAndReallyCreatable) {
    std::string base;
    for (int i = 0; i < 200; ++i) base += "歌";
    std::string target = files.Claim(dir, base, "flac");
    Write(target + kPartSuffix, "x");
    std::string landed = files.Commit(target + kPartSuffix, target, dir, base, "flac");
    ASSERT_FALSE(landed.empty());
    EXPECT_EQ(Read(landed), "x");
    // A second one of the same name gets a dated, equally creatable name.
    std::string second = files.Claim(dir, base, "flac");
    Write(second + kPartSuffix, "y");
    ASSERT_EQ(files.Commit(second + kPartSuffix, second, dir, base, "flac"), second);
    EXPECT_EQ(Read(second), "y");
}

TEST_F(TargetFilesTest, RacingJobsEndWithOneFileEach) {
    // Eight jobs for one name at once: every one must land, none replaced.
    std::vector<std::thread> jobs;
    std::vector<std::string> landed(8);
    for (int i = 0; i < 8; ++i) {
        jobs.emplace_back([&, i] {
            std::string t = files.Claim(dir, "Same", "mp3");
            Write(t + kPartSuffix, std::to_string(i));
            landed[i] = files.Commit(t + kPartSuffix, t, dir, "Same", "mp3");
        });
    }
    for (auto& j : jobs) j.join();
    std::set<std::string> contents;
    for (int i = 0; i < 8; ++i) {
        ASSERT_FALSE(landed[i].empty());
        contents.insert(Read(landed[i]));
    }
    EXPECT_EQ(contents.size(), 8u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 8);
}

}  // namespace
}  // namespace mm::download
