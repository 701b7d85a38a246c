#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "tag_fixtures.h"
#include "tags/flac.h"

namespace mm::tags {
namespace {

using namespace test;

constexpr int kStreamInfo = 0, kPadding = 1, kSeekTable = 3, kComments = 4, kPicture = 6;
const std::string kCredit = "图片、歌词由 Vantorell 写入";

std::vector<std::pair<int, bool>> layout(const std::string& path) {
    std::vector<std::pair<int, bool>> out;
    for (const auto& b : metaflacList(path)) out.emplace_back(b.type, b.last);
    return out;
}

// Offset of the first audio frame: after the block flagged last.
size_t audioStart(const std::string& bytes) {
    size_t pos = 4;
    while (pos + 4 <= bytes.size()) {
        bool last = (static_cast<uint8_t>(bytes[pos]) & 0x80) != 0;
        pos += 4 + ((size_t(uint8_t(bytes[pos + 1])) << 16) | (size_t(uint8_t(bytes[pos + 2])) << 8) |
                    uint8_t(bytes[pos + 3]));
        if (last) break;
    }
    return pos;
}

TagRequest downloadRequest(const std::string& cover) {
    TagRequest r;
    r.set(Slot::Artist, "周杰伦");
    r.set(Slot::Title, "晴天");
    r.set(Slot::Album, "叶惠美");
    r.set(Slot::Copyright, kCredit);
    r.set(Slot::Lyrics, "[00:01.00]故事的小黄花\n[00:02.00]从出生那年就飘着\n");
    r.set(Slot::Picture, cover);
    return r;
}

class FlacWriterTest : public ::testing::Test {
  protected:
    TempDir dir;
    std::string cover = makeJpeg(40, 30);
    std::string exported = dir.path("exported.bin");

    // Writes, then checks with flac and metaflac; returns the blocks as listed.
    std::vector<std::pair<int, bool>> writeAndCheck(const std::string& path, const TagRequest& r) {
        std::string before = readFile(path);
        EXPECT_TRUE(WriteFlacTags(path, r));
        std::string after = readFile(path);
        EXPECT_TRUE(flacTestPasses(path));
        EXPECT_EQ(tail(after, audioStart(after)), tail(before, audioStart(before))) << "audio changed";
        return layout(path);
    }
};

TEST_F(FlacWriterTest, CommentsAndCoverOfADownloadAreWrittenInOrder) {
    std::string f = makeFlac(dir, "a.flac", 1.0);
    ASSERT_EQ(layout(f),
              (std::vector<std::pair<int, bool>>{
                  {kStreamInfo, false}, {kSeekTable, false}, {kComments, false}, {kPadding, true}}));
    auto blocks = writeAndCheck(f, downloadRequest(cover));
    EXPECT_EQ(blocks, (std::vector<std::pair<int, bool>>{{kStreamInfo, false},
                                                         {kComments, false},
                                                         {kPicture, false},
                                                         {kSeekTable, false},
                                                         {kPadding, true}}));
    EXPECT_EQ(metaflacVendor(f), "reference libFLAC 1.3.1 20141125");
    auto tags = metaflacTags(f);
    ASSERT_EQ(tags.size(), 7u);  // the lyrics take three lines
    EXPECT_EQ(tags[0], "ARTIST=周杰伦");
    EXPECT_EQ(tags[1], "ALBUM=叶惠美");
    EXPECT_EQ(tags[2], "TITLE=晴天");
    EXPECT_EQ(tags[3], "LYRICS=[00:01.00]故事的小黄花");
    EXPECT_EQ(tags[4], "[00:02.00]从出生那年就飘着");
    EXPECT_EQ(tags[6], "COPYRIGHT=" + kCredit);

    ASSERT_EQ(run("metaflac --export-picture-to=" + quote(exported) + " " + quote(f)), 0);
    EXPECT_EQ(readFile(exported), cover);
    std::string listing;
    run("metaflac --list --block-type=PICTURE " + quote(f), &listing);
    EXPECT_NE(listing.find("MIME type: image/jpeg"), std::string::npos);
    EXPECT_NE(listing.find("width: 200"), std::string::npos);
    EXPECT_NE(listing.find("height: 200"), std::string::npos);
    EXPECT_NE(listing.find("length: " + std::to_string(cover.size() + 42)), std::string::npos);
}

TEST_F(FlacWriterTest, OnlyStreamInfoLosesTheLastFlagToTheNewBlocks) {
    std::string f = makeFlac(dir, "a.flac", 0.5, "--remove-all --dont-use-padding");
    ASSERT_EQ(layout(f), (std::vector<std::pair<int, bool>>{{kStreamInfo, true}}));
    EXPECT_EQ(
        writeAndCheck(f, downloadRequest(cover)),
        (std::vector<std::pair<int, bool>>{{kStreamInfo, false}, {kComments, false}, {kPicture, true}}));

    std::string g = makeFlac(dir, "b.flac", 0.5, "--remove-all --dont-use-padding");
    TagRequest noCover = downloadRequest("");
    EXPECT_EQ(writeAndCheck(g, noCover),
              (std::vector<std::pair<int, bool>>{{kStreamInfo, false}, {kComments, true}}));
}

TEST_F(FlacWriterTest, OldCommentsLastAreReplacedAndFlagMovesToNewBlock) {
    std::string f =
        makeFlac(dir, "a.flac", 0.5, "--remove --block-type=SEEKTABLE,PADDING --dont-use-padding");
    ASSERT_EQ(run("metaflac --set-tag=GENRE=Rock --set-tag=TITLE=Old " + quote(f)), 0);
    ASSERT_EQ(layout(f), (std::vector<std::pair<int, bool>>{{kStreamInfo, false}, {kComments, true}}));
    TagRequest r;
    r.set(Slot::Title, "New");
    EXPECT_EQ(writeAndCheck(f, r),
              (std::vector<std::pair<int, bool>>{{kStreamInfo, false}, {kComments, true}}));
    EXPECT_EQ(metaflacTags(f), std::vector<std::string>{"TITLE=New"});
}

TEST_F(FlacWriterTest, OldPictureStaysBesideTheNewOneBeforeOldPadding) {
    std::string png = makePng(12, 12);
    writeFile(dir.path("old.png"), png);
    std::string f = makeFlac(dir, "a.flac", 0.5, "--remove --block-type=SEEKTABLE");
    ASSERT_EQ(run("metaflac --import-picture-from=" +
                  quote("3|image/png|old cover|12x12x24|" + dir.path("old.png")) + " " + quote(f)),
              0);
    auto before = layout(f);
    ASSERT_EQ(before, (std::vector<std::pair<int, bool>>{
                          {kStreamInfo, false}, {kComments, false}, {kPicture, false}, {kPadding, true}}));
    EXPECT_EQ(writeAndCheck(f, downloadRequest(cover)),
              (std::vector<std::pair<int, bool>>{{kStreamInfo, false},
                                                 {kComments, false},
                                                 {kPicture, false},
                                                 {kPicture, false},
                                                 {kPadding, true}}));
    ASSERT_EQ(run("metaflac --block-number=2 --export-picture-to=" + quote(exported) + " " + quote(f)), 0);
    EXPECT_EQ(readFile(exported), cover);
    ASSERT_EQ(run("metaflac --block-number=3 --export-picture-to=" + quote(exported) + " " + quote(f)), 0);
    EXPECT_EQ(readFile(exported), png);
}

TEST_F(FlacWriterTest, RepeatedWritesStayValid) {
    std::string f = makeFlac(dir, "a.flac", 0.5);
    TagRequest r = downloadRequest("");
    for (int i = 0; i < 10; ++i) {
        r.set(Slot::Title, "Take " + std::to_string(i));
        writeAndCheck(f, r);
    }
    EXPECT_EQ(metaflacTags(f)[2], "TITLE=Take 9");
}

TEST_F(FlacWriterTest, EmptyBlocksAreDropped) {
    // STREAMINFO, then two PADDING blocks without a body, the second flagged last.
    std::string f = makeFlac(dir, "a.flac", 0.5, "--remove-all --dont-use-padding");
    std::string bytes = readFile(f);
    std::string withEmpty = bytes.substr(0, 4) + char(bytes[4] & 0x7F) + bytes.substr(5, 37) +
                            std::string("\x01\x00\x00\x00", 4) + std::string("\x81\x00\x00\x00", 4) +
                            bytes.substr(42);
    writeFile(f, withEmpty);
    ASSERT_TRUE(flacTestPasses(f));
    EXPECT_EQ(writeAndCheck(f, downloadRequest("")),
              (std::vector<std::pair<int, bool>>{{kStreamInfo, false}, {kComments, true}}));
}

TEST(FlacWriterRefusal, NonFlacAndMalformedFilesAreLeftUntouched) {
    TempDir dir;
    TagRequest r;
    r.set(Slot::Title, "x");
    EXPECT_FALSE(WriteFlacTags(dir.path("missing.flac"), r));
    EXPECT_FALSE(std::filesystem::exists(dir.path("missing.flac")));

    std::string mp3 = makeMp3(dir, "really.mp3", 0.3);
    std::string mp3Bytes = readFile(mp3);
    EXPECT_FALSE(WriteFlacTags(mp3, r));
    EXPECT_EQ(readFile(mp3), mp3Bytes);

    std::string f = makeFlac(dir, "a.flac", 0.3, "--remove-all --dont-use-padding");
    std::string good = readFile(f);
    std::string cases[] = {
        "ID3\x03\x00\x00\x00\x00\x00\x00" + good,  // a FLAC behind an ID3 tag
        good.substr(0, 4) + "\x00\x00\x00\x22" + good.substr(8, 34) + "\x81\x10\x00\x00" +
            "short",  // past the end
        good.substr(0, 4) + std::string("\x81\x00\x00\x04", 4) + "abcd" +
            good.substr(42),                                            // no STREAMINFO first
        good.substr(0, 4) + char(good[4] & 0x7F) + good.substr(5, 37),  // nothing flagged last
    };
    for (const auto& c : cases) {
        writeFile(f, c);
        EXPECT_FALSE(WriteFlacTags(f, r));
        EXPECT_EQ(readFile(f), c);
    }
}

TEST(FlacWriterRefusal, FullDiskFailsAndLeavesFileUnchanged) {
    TempDir dir;
    std::string f = makeFlac(dir, "a.flac", 0.5);
    std::string before = readFile(f);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = before.size() + 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    bool ok = WriteFlacTags(f, downloadRequest(makeJpeg(200, 200)));
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(ok);
    EXPECT_EQ(readFile(f), before);
}

}  // namespace
}  // namespace mm::tags
