#include <gtest/gtest.h>

#include <cmath>

#include "tag_fixtures.h"
#include "tags/flac.h"

namespace mm::tags {
namespace {

using namespace test;

uint64_t shown(const std::string& option, const std::string& path) {
    std::string out;
    run("metaflac " + option + " " + quote(path), &out);
    return std::stoull(out);
}

TEST(FlacReader, StreamPropertiesMatchWhatMetaflacShows) {
    TempDir dir;
    std::string f = makeFlac(dir, "a.flac", 3.6);
    TagRequest out;
    ASSERT_TRUE(ReadFlacTags(f, out));
    const uint64_t samples = shown("--show-total-samples", f), rate = shown("--show-sample-rate", f);
    ASSERT_EQ(samples, 158760u);
    EXPECT_EQ(out.get(Slot::SampleRate), "44100");
    EXPECT_EQ(out.get(Slot::Channels), "立体声");
    EXPECT_EQ(out.get(Slot::Duration), "00:04");  // 3.6 s rounds up
    double size = static_cast<double>(readFile(f).size());
    EXPECT_EQ(out.get(Slot::Compression), std::to_string(std::llround(size * 100 / (samples * 2 * 2))));
    EXPECT_EQ(rate, 44100u);
    EXPECT_EQ(out.get(Slot::Encoder), "Free Lossless Audio Codec(" + metaflacVendor(f) + ")");
}

TEST(FlacReader, CommentNamesInCapitalsOrWithFirstLetterCapital) {
    TempDir dir;
    std::string f = makeFlac(dir, "a.flac", 0.3);
    ASSERT_EQ(run("metaflac --no-utf8-convert --set-tag=Artist=歌手 --set-tag=album=ignored "
                  "--set-tag=ALBUM=专辑 --set-tag=DATE=2003 --set-tag=TiTlE=ignored --set-tag=Tracknumber=7 "
                  "--set-tag=COPYRIGHT=版权 --set-tag=Lyrics=" +
                  quote("[00:01]一\n[00:02]二") + " " + quote(f)),
              0);
    TagRequest out;
    ASSERT_TRUE(ReadFlacTags(f, out));
    EXPECT_EQ(out.get(Slot::Artist), "歌手");
    EXPECT_EQ(out.get(Slot::Album), "专辑");
    EXPECT_EQ(out.get(Slot::Year), "2003");
    EXPECT_FALSE(out.has(Slot::Title));
    EXPECT_EQ(out.get(Slot::TrackNumber), "7");
    EXPECT_EQ(out.get(Slot::Copyright), "版权");
    EXPECT_EQ(out.get(Slot::Lyrics), "[00:01]一\n[00:02]二");
}

TEST(FlacReader, CoverFromAnotherProgramWithDescriptionIsExact) {
    TempDir dir;
    std::string f = makeFlac(dir, "a.flac", 0.3);
    std::string png = makePng(9, 9);
    writeFile(dir.path("c.png"), png);
    ASSERT_EQ(run("metaflac --import-picture-from=" +
                  quote("4|image/png|the back|9x9x24|" + dir.path("c.png")) + " " + quote(f)),
              0);
    TagRequest out;
    ASSERT_TRUE(ReadFlacTags(f, out));
    EXPECT_EQ(out.get(Slot::Picture), png);
    EXPECT_EQ(out.pictureMime(), "image/png");

    // Once a front cover is written it is the one read, the old picture staying beside it.
    std::string jpeg = makeJpeg(10, 10);
    TagRequest in;
    in.set(Slot::Picture, jpeg);
    ASSERT_TRUE(WriteFlacTags(f, in));
    TagRequest again;
    ASSERT_TRUE(ReadFlacTags(f, again));
    EXPECT_EQ(again.get(Slot::Picture), jpeg);
    EXPECT_EQ(again.pictureMime(), "image/jpeg");
}

TEST(FlacReader, WriterValuesReadBack) {
    TempDir dir;
    std::string f = makeFlac(dir, "a.flac", 0.3);
    TagRequest in;
    for (Slot s : {Slot::Artist, Slot::Album, Slot::Title, Slot::TrackNumber, Slot::Year, Slot::Genre,
                   Slot::Comment, Slot::Url, Slot::Copyright}) {
        in.set(s, "值 " + std::to_string(static_cast<int>(s)));
    }
    in.set(Slot::Lyrics, "[00:00.00]歌词\n");
    ASSERT_TRUE(WriteFlacTags(f, in));
    TagRequest out;
    ASSERT_TRUE(ReadFlacTags(f, out));
    for (Slot s : {Slot::Artist, Slot::Album, Slot::Title, Slot::TrackNumber, Slot::Year, Slot::Genre,
                   Slot::Comment, Slot::Url, Slot::Copyright, Slot::Lyrics}) {
        EXPECT_EQ(out.get(s), in.get(s)) << static_cast<int>(s);
    }
    EXPECT_EQ(out.get(Slot::Encoder), "Free Lossless Audio Codec(reference libFLAC 1.3.1 20141125)");
}

// A STREAMINFO body: block sizes and frame sizes, then rate, channels, bits and samples packed in 64 bits.
std::string streamInfo(uint32_t rate, uint32_t channels, uint32_t bits, uint64_t samples, bool last = true) {
    std::string b("\x10\x00\x10\x00\x00\x00\x00\x00\x00\x00", 10);
    uint64_t packed =
        (uint64_t{rate} << 44) | (uint64_t{channels - 1} << 41) | (uint64_t{bits - 1} << 36) | samples;
    for (int i = 7; i >= 0; --i) b += static_cast<char>((packed >> (8 * i)) & 0xFF);
    b += std::string(16, '\x00');  // MD5
    return std::string("fLaC") + (last ? '\x80' : '\x00') + std::string("\x00\x00\x22", 3) + b;
}

TEST(FlacReader, DurationChannelsAndCompressionEdgeValues) {
    struct Case {
        uint32_t rate, channels, bits;
        uint64_t samples, fileSize;
        const char *duration, *channelText, *compression;
    };
    const Case cases[] = {
        {8000, 1, 8, 8000ull * 725, 2900000, "12:05", "单声道", "50"},        // 725 s mono
        {48000, 6, 24, 48000ull * 3600 * 2, 100, "120:00", "多声道", "0"},    // two hours, minutes past 99
        {44100, 2, 16, 44100 * 9 + 22050, 1000000, "00:10", "立体声", "60"},  // 9.5 s rounds up; 59.67 %
        {0, 2, 16, 1000, 1000, "00:00", "立体声", "25"},  // no sample rate; the size ratio stands
        {44100, 2, 16, 0, 1000, "00:00", "立体声", ""},   // unknown length
    };
    for (const auto& c : cases) {
        TagRequest out;
        ASSERT_TRUE(ParseFlacMetadata(streamInfo(c.rate, c.channels, c.bits, c.samples), c.fileSize, out));
        EXPECT_EQ(out.get(Slot::Duration), c.duration) << c.samples;
        EXPECT_EQ(out.get(Slot::Channels), c.channelText) << c.channels;
        EXPECT_EQ(out.get(Slot::Compression), c.compression) << c.samples;
        EXPECT_EQ(out.get(Slot::SampleRate), std::to_string(c.rate));
    }
}

TEST(FlacReader, TruncatedAndLyingBlocksAreReadSafely) {
    std::string si = streamInfo(44100, 2, 16, 44100, false);
    // A comment block whose entry count and lengths claim far more than is there.
    std::string body;
    body += std::string("\x04\x00\x00\x00", 4) + "vend";
    body += std::string("\xFF\xFF\xFF\xFF", 4);  // 4 billion entries
    body += std::string("\x07\x00\x00\x00", 4) + "TITLE=x";
    body += std::string("\xF0\xFF\xFF\x7F", 4) + "ARTIST=y";  // longer than the block
    std::string vc = std::string("\x04\x00\x00", 3) + char(body.size()) + body;
    std::string picture = std::string("\x86\x00\x00\x10", 4) +
                          std::string("\x00\x00\x00\x03\xFF\xFF\xFF\xF0", 8) + std::string(8, 'p');
    TagRequest out;
    ASSERT_TRUE(ParseFlacMetadata(si + vc + picture, 1000, out));
    EXPECT_EQ(out.get(Slot::Title), "x");
    EXPECT_FALSE(out.has(Slot::Artist));
    EXPECT_FALSE(out.has(Slot::Picture));
    EXPECT_EQ(out.get(Slot::Encoder), "Free Lossless Audio Codec(vend)");

    TagRequest none;
    EXPECT_FALSE(ParseFlacMetadata("ID3\x03", 4, none));
    EXPECT_TRUE(none.empty());
}

}  // namespace
}  // namespace mm::tags
