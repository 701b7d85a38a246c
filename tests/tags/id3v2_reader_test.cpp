#include <gtest/gtest.h>

#include "tag_fixtures.h"
#include "tags/id3v2.h"

namespace mm::tags {
namespace {

using namespace test;

bool mutagenTag(const std::string& path, const std::string& statements, int version) {
    std::string py =
        "from mutagen.id3 import ID3, TIT2, TPE1, TALB, TYER, TRCK, TCON, TCOM, TENC, TCOP, APIC, USLT, "
        "COMM, WXXX\n"
        "t = ID3()\n" +
        statements + "\nt.save(" + quote(path) + ", v2_version=" + std::to_string(version) + ")\n";
    return run("/usr/bin/python3 -c " + quote(py) + " 2>&1") == 0;
}

TEST(Id3Reader, ReadsBackEverySlotTheWriterWrote) {
    TempDir dir;
    std::string mp3 = makeMp3(dir, "a.mp3", 0.5);
    TagRequest in;
    in.set(Slot::Year, "2003");
    in.set(Slot::Title, "晴天");
    in.set(Slot::Artist, "Singer 🎤");  // not in GBK: goes through UTF-16
    in.set(Slot::Encoder, "LAME");
    in.set(Slot::Copyright, "图片、歌词由 Vantorell 写入");
    in.set(Slot::TrackNumber, "3/10");
    in.set(Slot::Album, "叶惠美");
    in.set(Slot::Genre, "流行");
    in.set(Slot::Composer, "作曲者");
    in.set(Slot::Url, "http://example.com/x?y=1");
    in.set(Slot::Comment, "评论 comment");
    in.set(Slot::Picture, makeJpeg(20, 20));
    in.set(Slot::Lyrics, "[00:00.00]第一行\n[00:01.00]second\n");
    ASSERT_TRUE(WriteId3v2(mp3, in));
    TagRequest out;
    ASSERT_TRUE(ReadId3v2(mp3, out));
    for (int n = 1; n <= TagRequest::kSlotCount; ++n) EXPECT_EQ(out.slot(n), in.slot(n)) << "slot " << n;
    EXPECT_EQ(out.pictureMime(), "image/jpeg");
}

// Covers written by other programs carry descriptions and other MIME types.
TEST(Id3Reader, PicturesFromOtherTaggersGiveExactlyTheirBytes) {
    TempDir dir;
    std::string mp3 = makeMp3(dir, "a.mp3", 0.3);
    std::string png = makePng(10, 10);
    writeFile(dir.path("c.png"), png);
    ASSERT_TRUE(
        mutagenTag(mp3,
                   "t.add(APIC(encoding=0, mime='image/gif', type=0, desc='back', data=b'GIF89a-other'))\n"
                   "t.add(APIC(encoding=1, mime='image/png', type=3, desc='Front cover art', data=open(" +
                       quote(dir.path("c.png")) + ",'rb').read()))",
                   4));
    TagRequest out;
    ASSERT_TRUE(ReadId3v2(mp3, out));
    EXPECT_EQ(out.get(Slot::Picture), png);
    EXPECT_EQ(out.pictureMime(), "image/png");
}

TEST(Id3Reader, DecodesEveryTextEncodingAndSkipsLanguageAndDescriptor) {
    TempDir dir;
    std::string mp3 = makeMp3(dir, "a.mp3", 0.3);
    ASSERT_TRUE(
        mutagenTag(mp3,
                   "t.add(TIT2(encoding=3, text='UTF-8 标题'))\n"
                   "t.add(TPE1(encoding=1, text='UTF-16 歌手'))\n"
                   "t.add(TALB(encoding=2, text='UTF-16BE 专辑'))\n"
                   "t.add(TCON(encoding=0, text='Caf\\xe9'))\n"
                   "t.add(COMM(encoding=1, lang='eng', desc='note', text='the comment'))\n"
                   "t.add(USLT(encoding=3, lang='deu', desc='Text', text='Zeile eins\\nZeile zwei'))\n"
                   "t.add(WXXX(encoding=1, desc='home', url='http://a.example/'))\n"
                   "t.add(TRCK(encoding=3, text=['1', '2']))",
                   4));
    TagRequest out;
    ASSERT_TRUE(ReadId3v2(mp3, out));
    EXPECT_EQ(out.get(Slot::Title), "UTF-8 标题");
    EXPECT_EQ(out.get(Slot::Artist), "UTF-16 歌手");
    EXPECT_EQ(out.get(Slot::Album), "UTF-16BE 专辑");
    EXPECT_EQ(out.get(Slot::Comment), "the comment");
    EXPECT_EQ(out.get(Slot::Lyrics), "Zeile eins\nZeile zwei");
    EXPECT_EQ(out.get(Slot::Url), "http://a.example/");
    EXPECT_EQ(out.get(Slot::TrackNumber), "12");  // values joined, zero bytes dropped
    // Encoding 0 is taken as GBK: the single byte E9 is no GBK character.
    EXPECT_EQ(out.get(Slot::Genre), "Caf\xEF\xBF\xBD");
}

TEST(Id3Reader, TitleStartingWithALanguageCodeIsKept) {
    TempDir dir;
    std::string mp3 = makeMp3(dir, "a.mp3", 0.3);
    TagRequest in;
    in.set(Slot::Title, "english rose");
    in.set(Slot::Artist, "chinese choir");
    ASSERT_TRUE(WriteId3v2(mp3, in));
    TagRequest out;
    ASSERT_TRUE(ReadId3v2(mp3, out));
    EXPECT_EQ(out.get(Slot::Title), "english rose");
    EXPECT_EQ(out.get(Slot::Artist), "chinese choir");
}

// ID3v2.2: three-letter names, six-byte frame headers with 24-bit sizes.
TEST(Id3Reader, Version22NamesAreMapped) {
    std::string frames;
    auto frame = [&](const char* id, const std::string& content) {
        frames += std::string(id, 3);
        frames += {char(content.size() >> 16), char(content.size() >> 8), char(content.size())};
        frames += content;
    };
    frame("TT2", std::string("\0\xC7\xE7\xCC\xEC", 5));  // GBK 晴天
    frame("TP1", std::string("\x01\xFF\xFEH\0i\0", 7));  // UTF-16 LE "Hi"
    frame("ULT", std::string("\0eng"
                             "desc\0words",
                             14));                                 // language, descriptor, text
    frame("PIC", std::string("\0PNG\x03\0", 6) + "\x89PNG-data");  // format, type, empty description
    frame("TXX", std::string("\0x\0y", 4));                        // not one of ours
    std::string tag = std::string("ID3\x02\x00\x00", 6);
    size_t size = frames.size() + 20;
    tag +=
        {char((size >> 21) & 0x7F), char((size >> 14) & 0x7F), char((size >> 7) & 0x7F), char(size & 0x7F)};
    tag += frames + std::string(20, '\0');

    TagRequest out;
    ASSERT_TRUE(ParseId3v2(tag, out));
    EXPECT_EQ(out.get(Slot::Title), "晴天");
    EXPECT_EQ(out.get(Slot::Artist), "Hi");
    EXPECT_EQ(out.get(Slot::Lyrics), "words");
    EXPECT_EQ(out.get(Slot::Picture), "\x89PNG-data");
    EXPECT_EQ(out.pictureMime(), "image/png");
}

TEST(Id3Reader, FrameClaimingMoreThanTheTagEndsTheWalk) {
    std::string tag("ID3\x03\x00\x00\x00\x00\x00\x30", 10);        // size 48
    tag += std::string("TIT2\x00\x00\x00\x03\x00\x00\x00ok", 13);  // whole frame
    tag += std::string(
        "TPE1\x7F\xFF\xFF\xFF\x00\x00\x00"
        "abc",
        14);  // claims 2 GB
    tag += std::string(48 - 27, 'Z');
    TagRequest out;
    ASSERT_TRUE(ParseId3v2(tag, out));
    EXPECT_EQ(out.get(Slot::Title), "ok");
    EXPECT_FALSE(out.has(Slot::Artist));

    // The tag says more than the buffer holds: read what is there.
    TagRequest cut;
    ASSERT_TRUE(ParseId3v2(tag.substr(0, 23), cut));
    EXPECT_EQ(cut.get(Slot::Title), "ok");
}

TEST(Id3Reader, UnsynchronisedTagIsRestored) {
    // Tag-wide unsynchronisation (2.3): FF 00 stands for FF.
    std::string frames("APIC\x00\x00\x00\x0F\x00\x00\x00image/png\x00\x03\x00\xFF\x00\xD8", 27);
    // Frame size counts the restored bytes: 1 + 10 + 1 + 1 + 2 = 15.
    std::string tag("ID3\x03\x00\x80\x00\x00\x00", 9);
    tag += char(frames.size());
    tag += frames;
    TagRequest out;
    ASSERT_TRUE(ParseId3v2(tag, out));
    EXPECT_EQ(out.get(Slot::Picture), "\xFF\xD8");
}

TEST(Id3Reader, FileWithoutTagLeavesRequestEmpty) {
    TempDir dir;
    std::string mp3 = makeMp3(dir, "a.mp3", 0.3);
    TagRequest out;
    EXPECT_FALSE(ReadId3v2(mp3, out));
    EXPECT_FALSE(ReadId3v2(dir.path("missing.mp3"), out));
    EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace mm::tags
