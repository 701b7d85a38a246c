#include "download/folder_cover.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/sys/files.h"

namespace mm::download {
namespace {

namespace fs = std::filesystem;

class FolderCover : public ::testing::Test {
protected:
    FolderCover() {
        char tmpl[] = "/tmp/mm-cover-XXXXXX";
        dir = std::string(mkdtemp(tmpl)) + "/";
    }
    ~FolderCover() override { fs::remove_all(dir); }
    std::string Read(const std::string& name) {
        std::string s;
        sys::ReadFile(dir + name, s);
        return s;
    }
    std::string dir;
    const std::string jpeg = std::string("\xFF\xD8\xFF\xE0\0\x10JFIF", 10) + "rest";
    const std::string png = std::string("\x89PNG\r\n\x1A\n", 8) + "rest";
};

TEST_F(FolderCover, NamedAfterTheRealTypeAndWrittenOnce) {
    EXPECT_EQ(WriteFolderCoverFile(dir, png), FolderCoverResult::kWritten);
    EXPECT_EQ(Read("cover.png"), png);
    EXPECT_FALSE(sys::PathExists(dir + "cover.jpg"));
    // The folder has one now: the next song of the album leaves it.
    EXPECT_EQ(WriteFolderCoverFile(dir, jpeg), FolderCoverResult::kPresent);
    EXPECT_FALSE(sys::PathExists(dir + "cover.jpg"));
    EXPECT_EQ(Read("cover.png"), png);
    EXPECT_FALSE(sys::PathExists(dir + "cover.png.part"));
}

TEST_F(FolderCover, AnyCoverOfTheUsersKindCountsAndNothingUnknownIsWritten) {
    for (const char* theirs : {"Folder.JPG", "cover.jpeg", "COVER.PNG"}) {
        sys::WriteFileAtomic(dir + theirs, "theirs");
        EXPECT_EQ(WriteFolderCoverFile(dir, jpeg), FolderCoverResult::kPresent) << theirs;
        EXPECT_EQ(Read(theirs), "theirs");
        sys::RemoveFile(dir + theirs);
    }
    EXPECT_EQ(WriteFolderCoverFile(dir, ""), FolderCoverResult::kNoPicture);
    EXPECT_EQ(WriteFolderCoverFile(dir, "<html>not a picture</html>"), FolderCoverResult::kNoPicture);
    EXPECT_EQ(WriteFolderCoverFile(dir + "missing/", jpeg), FolderCoverResult::kFailed);
    EXPECT_EQ(WriteFolderCoverFile(dir, jpeg), FolderCoverResult::kWritten);
    EXPECT_EQ(Read("cover.jpg"), jpeg);
}

}  // namespace
}  // namespace mm::download
