#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "platform/sys/text_encoding.h"
#include "tag_fixtures.h"
#include "tags/id3v2.h"

namespace mm::tags {
namespace {

using json = nlohmann::json;
using namespace test;

const std::string kTitle = "晴天";  // GBK C7 E7 CC EC
const std::string kSinger = "周杰伦";
const std::string kCredit = "图片、歌词由 Vantorell 写入";
const std::string kLyrics = "[00:01.00]晴天\n[00:02.50]故事的小黄花\n";

uint32_t syncsafe(const std::string& b, size_t at) {
    return (uint32_t(uint8_t(b[at])) << 21) | (uint32_t(uint8_t(b[at + 1])) << 14) |
           (uint32_t(uint8_t(b[at + 2])) << 7) | uint8_t(b[at + 3]);
}
uint32_t be32(const std::string& b, size_t at) {
    return (uint32_t(uint8_t(b[at])) << 24) | (uint32_t(uint8_t(b[at + 1])) << 16) |
           (uint32_t(uint8_t(b[at + 2])) << 8) | uint8_t(b[at + 3]);
}
std::string hex(const std::string& b) {
    static const char* d = "0123456789abcdef";
    std::string h;
    for (unsigned char c : b) h += {d[c >> 4], d[c & 15]};
    return h;
}

json mutagen(const std::string& path) {
    std::string out = mutagenDump(path);
    auto j = json::parse(out, nullptr, false);
    EXPECT_FALSE(j.is_discarded()) << out;
    return j;
}
std::vector<std::string> frameIds(const json& j) {
    std::vector<std::string> ids;
    for (const auto& f : j["frames"]) ids.push_back(f["id"]);
    return ids;
}
// Frame ids of a tag in file order, without the ones the writer owns.
std::vector<std::string> foreignIds(const json& j) {
    static const std::vector<std::string> owned{"TYER", "TIT2", "TPE1", "TENC", "TCOP", "TRCK", "TALB",
                                                "TCON", "TCOM", "WXXX", "COMM", "APIC", "USLT"};
    std::vector<std::string> ids;
    for (const auto& id : frameIds(j)) {
        if (std::find(owned.begin(), owned.end(), id) == owned.end()) ids.push_back(id);
    }
    return ids;
}
std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
const json* frame(const json& j, const std::string& id) {
    for (const auto& f : j["frames"]) {
        if (f["id"] == id) return &f;
    }
    return nullptr;
}

// Builds an ID3 tag with mutagen: python statements run with `t` an empty ID3 and
// everything of mutagen.id3 imported, then saved in the given version.
bool mutagenTag(const std::string& path, const std::string& statements, int version) {
    std::string py =
        "from mutagen.id3 import ID3, TIT2, TPE1, TALB, TPOS, TXXX, PRIV, APIC, USLT, COMM, WXXX\nt = "
        "ID3()\n" +
        statements + "\nt.save(" + quote(path) + ", v2_version=" + std::to_string(version) + ")\n";
    return run("/usr/bin/python3 -c " + quote(py) + " 2>&1") == 0;
}

TagRequest downloadRequest(const std::string& cover) {
    TagRequest r;
    r.set(Slot::Artist, kSinger);
    r.set(Slot::Title, kTitle);
    r.set(Slot::Album, "叶惠美");
    r.set(Slot::Copyright, kCredit);
    r.set(Slot::Lyrics, kLyrics);
    r.set(Slot::Picture, cover);
    return r;
}

class Id3WriterTest : public ::testing::Test {
  protected:
    TempDir dir;
    std::string mp3 = makeMp3(dir, "song.mp3", 1.0);
    std::string audio = readFile(mp3);
    std::string cover = makeJpeg(32, 32);
};

TEST_F(Id3WriterTest, UntaggedFileGetsTagFramesAndPaddingInFrontOfUnchangedAudio) {
    ASSERT_FALSE(audio.empty());
    ASSERT_TRUE(WriteId3v2(mp3, downloadRequest(cover)));
    std::string out = readFile(mp3);

    ASSERT_EQ(out.substr(0, 6), std::string("ID3\x03\x00\x00", 6));
    const uint32_t size = syncsafe(out, 6);
    ASSERT_EQ(out.size(), 10 + size + audio.size());
    EXPECT_EQ(tail(out, 10 + size), audio);
    EXPECT_EQ(out.substr(10 + size - 50, 50), std::string(50, '\0'));

    // First frame: TIT2, size = GBK length + 1, flags 0, encoding 0, GBK bytes, no terminator.
    EXPECT_EQ(out.substr(10, 15), std::string("TIT2\x00\x00\x00\x05\x00\x00\x00\xC7\xE7\xCC\xEC", 15));

    json j = mutagen(mp3);
    EXPECT_EQ(j["version"], json({2, 3, 0}));
    EXPECT_EQ(frameIds(j), (std::vector<std::string>{"TIT2", "TPE1", "TCOP", "TALB", "APIC", "USLT"}));
    EXPECT_EQ((*frame(j, "TPE1"))["hex"], hex(*sys::utf8ToGbk(kSinger)));
    EXPECT_EQ((*frame(j, "TCOP"))["hex"], hex(*sys::utf8ToGbk(kCredit)));
    const json& apic = *frame(j, "APIC");
    EXPECT_EQ(apic["mime"], "image/jpeg");
    EXPECT_EQ(apic["type"], 3);
    EXPECT_EQ(apic["desc"], "");
    EXPECT_EQ(apic["data"], hex(cover));
    const json& uslt = *frame(j, "USLT");
    EXPECT_EQ(uslt["lang"], "XXX");
    EXPECT_EQ(uslt["desc"], "");
    EXPECT_EQ(uslt["text"], kLyrics);
}

TEST_F(Id3WriterTest, LyricsAreBigEndianUtf16AfterTheMarkFeFf) {
    TagRequest r;
    r.set(Slot::Lyrics, "晴a");
    ASSERT_TRUE(WriteId3v2(mp3, r));
    std::string out = readFile(mp3);
    // Size 8 + 6, encoding 1, "XXX", empty descriptor FF FE 00 00, FE FF, U+6674, U+0061.
    EXPECT_EQ(out.substr(10, 24), std::string("USLT\x00\x00\x00\x0E\x00\x00"
                                              "\x01XXX\xFF\xFE\x00\x00\xFE\xFF\x66\x74\x00\x61",
                                              24));
}

TEST_F(Id3WriterTest, TextGbkCannotHoldIsWrittenAsUtf16AndSurvives) {
    TagRequest r;
    r.set(Slot::Title, "Song 🎵 노래");
    r.set(Slot::Artist, "Plain");
    ASSERT_TRUE(WriteId3v2(mp3, r));
    std::string out = readFile(mp3);
    EXPECT_EQ(out.substr(20, 3), "\x01\xFE\xFF");
    json j = mutagen(mp3);
    EXPECT_EQ((*frame(j, "TIT2"))["encoding"], 1);
    EXPECT_EQ((*frame(j, "TIT2"))["text"], "Song 🎵 노래");
    EXPECT_EQ((*frame(j, "TPE1"))["encoding"], 0);
}

TEST_F(Id3WriterTest, EmptySlotsWriteNoFramesAndCommentAndUrlAreReadableElsewhere) {
    TagRequest r;
    r.set(Slot::Album, "Album");
    r.set(Slot::Comment, "一条评论");
    r.set(Slot::Url, "http://example.com/a");
    r.set(Slot::Year, "2003");
    ASSERT_TRUE(WriteId3v2(mp3, r));
    json j = mutagen(mp3);
    EXPECT_EQ(frameIds(j), (std::vector<std::string>{"TYER", "TALB", "WXXX", "COMM"}));
    EXPECT_EQ((*frame(j, "WXXX"))["url"], "http://example.com/a");
    // Encoding 0 holds GBK bytes; mutagen hands them back as Latin-1 characters.
    std::string gbk = *sys::utf8ToGbk("一条评论");
    std::string latin1;
    for (unsigned char c : gbk) latin1 += sys::toUtf8(std::string(1, char(c)), "ISO-8859-1");
    EXPECT_EQ((*frame(j, "COMM"))["text"], latin1);
}

TEST_F(Id3WriterTest, RewriteDropsOwnedFramesKeepsOthersAfterTheNewOnes) {
    ASSERT_TRUE(
        mutagenTag(mp3,
                   "t.add(TIT2(encoding=3, text='old title'))\n"
                   "t.add(TXXX(encoding=1, desc='source', text='catalogue'))\n"
                   "t.add(TPE1(encoding=3, text='old singer'))\n"
                   "t.add(PRIV(owner='morvane', data=b'\\x00\\x01\\x02'))\n"
                   "t.add(APIC(encoding=0, mime='image/png', type=3, desc='', data=b'\\x89PNG old'))\n"
                   "t.add(USLT(encoding=1, lang='eng', desc='', text='old words'))",
                   3));
    std::string before = readFile(mp3);
    uint64_t oldLen = Id3v2TagLength(before, before.size());
    ASSERT_GT(oldLen, 0u);
    auto kept = foreignIds(mutagen(mp3));
    ASSERT_EQ(kept.size(), 2u);

    TagRequest r;
    r.set(Slot::Title, "New");
    ASSERT_TRUE(WriteId3v2(mp3, r));
    std::string out = readFile(mp3);
    uint64_t newLen = Id3v2TagLength(out, out.size());
    EXPECT_EQ(tail(out, newLen), tail(before, oldLen));

    json j = mutagen(mp3);
    EXPECT_EQ(frameIds(j), std::vector<std::string>{"TIT2"} + kept);
    EXPECT_EQ((*frame(j, "TXXX"))["text"], "catalogue");
    EXPECT_EQ((*frame(j, "PRIV"))["data"], "000102");
}

TEST_F(Id3WriterTest, Version24FramesOf128BytesOrMoreAreKeptWhole) {
    // Syncsafe sizes differ from plain ones from 128 on: 300 = 00 00 02 2C syncsafe.
    ASSERT_TRUE(mutagenTag(mp3,
                           "t.add(TIT2(encoding=3, text='t' * 200))\n"
                           "t.add(TXXX(encoding=3, desc='long', text='x' * 300))\n"
                           "t.add(COMM(encoding=3, lang='eng', desc='', text='c' * 150))\n"
                           "t.add(TPOS(encoding=3, text='1/2'))",
                           4));
    std::string before = readFile(mp3);
    ASSERT_EQ(before[3], '\x04');
    auto kept = foreignIds(mutagen(mp3));
    TagRequest r;
    r.set(Slot::Title, "Short");
    ASSERT_TRUE(WriteId3v2(mp3, r));
    std::string out = readFile(mp3);
    EXPECT_EQ(tail(out, Id3v2TagLength(out, out.size())),
              tail(before, Id3v2TagLength(before, before.size())));

    json j = mutagen(mp3);
    EXPECT_EQ(j["version"], json({2, 3, 0}));
    EXPECT_EQ(frameIds(j), std::vector<std::string>{"TIT2"} + kept);
    EXPECT_EQ((*frame(j, "TXXX"))["text"], std::string(300, 'x'));
    EXPECT_EQ((*frame(j, "TPOS"))["text"], "1/2");
    // The kept frame carries a plain 32-bit size now, its content unchanged.
    size_t was = before.find("TXXX"), at = out.find("TXXX");
    ASSERT_NE(at, std::string::npos);
    ASSERT_GE(syncsafe(before, was + 4), 306u);
    EXPECT_EQ(be32(out, at + 4), syncsafe(before, was + 4));
    EXPECT_EQ(out.substr(at + 10, be32(out, at + 4)), before.substr(was + 10, syncsafe(before, was + 4)));
}

// 2.4 frame flags have no 2.3 form for unsynchronisation and data length: the
// kept frame is stored plainly instead.
TEST_F(Id3WriterTest, Version24FrameFlagsAreUndoneOrMoved) {
    std::string frames;
    // PRIV, unsynchronised (02) with a data length indicator (01): FF E0 stored as FF 00 E0.
    frames += std::string("PRIV\x00\x00\x00\x0C\x00\x03", 10) + std::string("\x00\x00\x00\x07", 4) +
              std::string("own\0\xFF\x00\xE0\x01", 8);
    // TXXX in group 7 (40): the group byte leads the content.
    frames += std::string("TXXX\x00\x00\x00\x05\x00\x40", 10) + std::string(
                                                                    "\x07\x00"
                                                                    "d\0v",
                                                                    5);
    std::string tag = std::string("ID3\x04\x00\x00\x00\x00\x00", 9) + char(frames.size() + 10) + frames +
                      std::string(10, '\0');
    writeFile(mp3, tag + audio);

    TagRequest r;
    r.set(Slot::Title, "t");
    ASSERT_TRUE(WriteId3v2(mp3, r));
    std::string out = readFile(mp3);
    size_t at = out.find("PRIV");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(out.substr(at, 17), std::string("PRIV\x00\x00\x00\x07\x00\x00own\0\xFF\xE0\x01", 17));
    at = out.find("TXXX");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(out.substr(at, 15), std::string("TXXX\x00\x00\x00\x05\x00\x20\x07\x00"
                                              "d\0v",
                                              15));
    json j = mutagen(mp3);
    ASSERT_NE(frame(j, "PRIV"), nullptr) << j.dump();
    EXPECT_EQ((*frame(j, "PRIV"))["data"], "ffe001");
    EXPECT_EQ(tail(out, Id3v2TagLength(out, out.size())), audio);
}

TEST_F(Id3WriterTest, TenRewritesStayValidAndGrowByFiftyBytesEach) {
    TagRequest r = downloadRequest(cover);
    ASSERT_TRUE(WriteId3v2(mp3, r));
    uint64_t size = readFile(mp3).size();
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(WriteId3v2(mp3, r)) << i;
        std::string out = readFile(mp3);
        EXPECT_EQ(out.size(), size + 50) << i;
        size = out.size();
        EXPECT_EQ(tail(out, Id3v2TagLength(out, out.size())), audio) << i;
    }
    json j = mutagen(mp3);
    EXPECT_EQ(frameIds(j), (std::vector<std::string>{"TIT2", "TPE1", "TCOP", "TALB", "APIC", "USLT"}));
    EXPECT_EQ((*frame(j, "APIC"))["data"], hex(cover));
}

TEST_F(Id3WriterTest, SmallerTagMovesAudioForwardAndShortensFile) {
    TagRequest big = downloadRequest(makeJpeg(400, 400));
    ASSERT_TRUE(WriteId3v2(mp3, big));
    TagRequest small;
    small.set(Slot::Title, "t");
    ASSERT_TRUE(WriteId3v2(mp3, small));
    std::string out = readFile(mp3);
    uint64_t len = Id3v2TagLength(out, out.size());
    EXPECT_LT(len, 1000u);
    EXPECT_EQ(tail(out, len), audio);
    EXPECT_EQ(frameIds(mutagen(mp3)), std::vector<std::string>{"TIT2"});
}

TEST_F(Id3WriterTest, PngCoverIsDeclaredAsPng) {
    std::string png = makePng(8, 8);
    TagRequest r;
    r.set(Slot::Picture, png);
    ASSERT_TRUE(WriteId3v2(mp3, r));
    json j = mutagen(mp3);
    const json& apic = *frame(j, "APIC");
    EXPECT_EQ(apic["mime"], "image/png");
    EXPECT_EQ(apic["data"], hex(png));
}

TEST(Id3WriterRefusal, MissingFileOrFolderIsNotCreatedNorTouched) {
    TempDir dir;
    TagRequest r;
    r.set(Slot::Title, "x");
    EXPECT_FALSE(WriteId3v2(dir.path("absent.mp3"), r));
    EXPECT_FALSE(std::filesystem::exists(dir.path("absent.mp3")));
    std::filesystem::create_directory(dir.path("folder.mp3"));
    EXPECT_FALSE(WriteId3v2(dir.path("folder.mp3"), r));
}

// A write that runs out of space reports failure and leaves the file as it was.
TEST_F(Id3WriterTest, FullDiskFailsAndLeavesFileUnchanged) {
    ASSERT_TRUE(WriteId3v2(mp3, downloadRequest(cover)));
    std::string before = readFile(mp3);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = before.size() + 10;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    bool ok = WriteId3v2(mp3, downloadRequest(makeJpeg(300, 300)));
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(ok);
    EXPECT_EQ(readFile(mp3), before);
}

}  // namespace
}  // namespace mm::tags
