// Telling a file's content from its bytes, on files made by the real encoders
// (LAME, libFLAC) and on what a server sends instead of audio.
#include "download/content_sniff.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "democatalogue/encoders.h"
#include "democatalogue/synth.h"

namespace mm::download {
namespace {

using democat::Mp3Options;

const democat::Pcm& Music() {
    static const democat::Pcm pcm = democat::Synthesize(7, 6);
    return pcm;
}

std::string Mp3(Mp3Options o) {
    auto bytes = democat::EncodeMp3(Music(), o);
    EXPECT_TRUE(bytes.has_value());
    return bytes.value_or("");
}

Mp3Options Constant(int kbps, bool info) {
    Mp3Options o;
    o.kbps = kbps;
    o.infoTag = info;
    return o;
}

TEST(ContentSniff, ConstantRateMp3TellsItsRateAndWhichTiersItFallsShortOf) {
    for (bool info : {false, true}) {
        SCOPED_TRACE(info ? "with an Info frame" : "bare frames");
        ContentInfo low = SniffContent(Mp3(Constant(128, info)));
        ASSERT_EQ(low.kind, ContentKind::kMpeg);
        EXPECT_EQ(low.layer, 3);
        EXPECT_EQ(low.version, 10);
        EXPECT_EQ(low.sampleRate, 44100);
        EXPECT_EQ(low.bitrateKbps, 128);
        EXPECT_FALSE(low.variable);
        EXPECT_EQ(low.vbrHeader, info ? "Info" : "");
        EXPECT_EQ(low.lameTag, info);
        EXPECT_EQ(ExtensionFor(low), "mp3");
        EXPECT_TRUE(BelowTier(low, 1));  // 128K sent as 320K
        EXPECT_FALSE(BelowTier(low, 0));
        EXPECT_FALSE(BelowTier(low, 2));  // lossless promises no MP3 rate

        ContentInfo high = SniffContent(Mp3(Constant(320, info)));
        EXPECT_EQ(high.bitrateKbps, 320);
        EXPECT_FALSE(BelowTier(high, 1));
    }
    // 256K is a plain high-quality rate, not a mismatch; 192K is.
    EXPECT_FALSE(BelowTier(SniffContent(Mp3(Constant(256, false))), 1));
    EXPECT_TRUE(BelowTier(SniffContent(Mp3(Constant(192, false))), 1));
    EXPECT_TRUE(BelowTier(SniffContent(Mp3(Constant(64, false))), 0));
}

TEST(ContentSniff, VariableAndAverageRatesComeFromTheirHeaders) {
    Mp3Options vbr;
    vbr.mode = Mp3Options::Mode::kVariable;
    vbr.quality = 0;
    const std::string file = Mp3(vbr);
    ContentInfo v = SniffContent(file);
    ASSERT_EQ(v.kind, ContentKind::kMpeg);
    EXPECT_EQ(v.vbrHeader, "Xing");
    EXPECT_TRUE(v.lameTag);
    EXPECT_TRUE(v.variable);
    // The mean from the header's counts agrees with size over length.
    const double seconds = static_cast<double>(Music().frames()) / democat::Pcm::kRate;
    const double mean = static_cast<double>(file.size()) * 8 / seconds / 1000;
    EXPECT_NEAR(v.bitrateKbps, mean, mean * 0.1);

    Mp3Options abr;
    abr.mode = Mp3Options::Mode::kAverage;
    abr.kbps = 96;
    ContentInfo a = SniffContent(Mp3(abr));
    ASSERT_EQ(a.kind, ContentKind::kMpeg);
    EXPECT_TRUE(a.lameTag);
    EXPECT_EQ(a.bitrateKbps, 96);  // the target, not what the tones needed
    EXPECT_TRUE(BelowTier(a, 0));
    abr.kbps = 320;
    EXPECT_FALSE(BelowTier(SniffContent(Mp3(abr)), 1));
}

// Found by the content fuzzer: a Xing header counting one frame of 4 GB gave a
// rate past what an int holds. Such counts are damage; the first frame's rate
// stands in for them.
TEST(ContentSniff, CountsThatGiveNoPossibleRateFallBackToTheFrameRate) {
    auto read = [](const char* name) {
        std::ifstream in(std::string(MM_TEST_DATA) + "/fuzz/" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const ContentInfo l3 = SniffContent(read("sniff_xing_counts_overflow.mp3"));
    ASSERT_EQ(l3.kind, ContentKind::kMpeg);
    EXPECT_EQ(l3.vbrHeader, "Xing");
    EXPECT_EQ(l3.bitrateKbps, 32);
    EXPECT_TRUE(BelowTier(l3, 0));
    EXPECT_TRUE(BelowTier(l3, 1));
    const ContentInfo l1 = SniffContent(read("sniff_xing_counts_past_int.mp1"));
    ASSERT_EQ(l1.kind, ContentKind::kMpeg);
    EXPECT_EQ(l1.layer, 1);
    EXPECT_EQ(l1.bitrateKbps, 448);
    EXPECT_FALSE(BelowTier(l1, 1));

    // A rate no file can have never wraps around into a low one.
    ContentInfo huge;
    huge.kind = ContentKind::kMpeg;
    huge.layer = 3;
    huge.bitrateKbps = 2'000'000'000;
    EXPECT_FALSE(BelowTier(huge, 1));
}

TEST(ContentSniff, FlacIsKnownByItsMarkerAndStreamInfo) {
    auto flac = democat::EncodeFlac(Music());
    ASSERT_TRUE(flac);
    ContentInfo f = SniffContent(*flac);
    ASSERT_EQ(f.kind, ContentKind::kFlac);
    EXPECT_EQ(f.sampleRate, 44100);
    EXPECT_EQ(f.channels, 2);
    EXPECT_EQ(f.bitsPerSample, 16);
    EXPECT_EQ(f.totalSamples, Music().frames());
    EXPECT_EQ(ExtensionFor(f), "flac");
    EXPECT_FALSE(BelowTier(f, 1));
    // "fLaC" alone, without STREAMINFO, is not enough.
    EXPECT_EQ(SniffContent("fLaC" + std::string(100, '\x01')).kind, ContentKind::kNotAudio);
}

TEST(ContentSniff, TagsAndJunkInFrontAreSteppedOver) {
    const std::string mp3 = Mp3(Constant(128, false));
    // An ID3v2 tag of 3 MB (a big cover) in front of the frames.
    const std::size_t tagSize = 3 << 20;
    std::string tag("ID3\x03\x00\x00", 6);
    tag += static_cast<char>((tagSize >> 21) & 0x7F);
    tag += static_cast<char>((tagSize >> 14) & 0x7F);
    tag += static_cast<char>((tagSize >> 7) & 0x7F);
    tag += static_cast<char>(tagSize & 0x7F);
    tag += std::string(tagSize, '\xFF');  // bytes that look like syncs, inside the tag
    char tmpl[] = "/tmp/mm-sniff-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    const std::string path = dir + "/tagged.mp3";
    std::ofstream(path, std::ios::binary) << tag << mp3;
    ContentInfo tagged = SniffFile(path);
    EXPECT_EQ(tagged.kind, ContentKind::kMpeg);
    EXPECT_EQ(tagged.bitrateKbps, 128);
    std::filesystem::remove_all(dir);

    ContentInfo junk = SniffContent(std::string(700, '\0') + mp3);
    EXPECT_EQ(junk.kind, ContentKind::kMpeg);
    EXPECT_EQ(junk.bitrateKbps, 128);
    EXPECT_EQ(SniffFile("/no/such/file").kind, ContentKind::kNotAudio);
}

TEST(ContentSniff, PagesAndOtherNonAudioAreNotAudio) {
    const std::string html =
        "<!DOCTYPE html>\n<html><head><title>502 Bad Gateway</title></head><body>"
        "<center><h1>502 Bad Gateway</h1></center><hr><center>nginx</center></body></html>\n";
    EXPECT_EQ(SniffContent(html).kind, ContentKind::kNotAudio);
    EXPECT_EQ(SniffContent(R"({"code":403,"msg":"expired"})").kind, ContentKind::kNotAudio);
    EXPECT_EQ(SniffContent("").kind, ContentKind::kNotAudio);
    // Stray frame syncs that do not chain into frames.
    std::string noise;
    std::uint32_t s = 12345;
    for (int i = 0; i < 200000; ++i) {
        s = s * 1664525u + 1013904223u;
        noise += static_cast<char>(i % 97 == 0 ? 0xFF : s >> 24);
    }
    EXPECT_EQ(SniffContent(noise).kind, ContentKind::kNotAudio);
    // The first three frames of an MP3, cut off there, still count.
    EXPECT_EQ(SniffContent(Mp3(Constant(128, false)).substr(0, 1500)).kind, ContentKind::kMpeg);
}

TEST(ContentSniff, OtherContainersAreAudioThatKeepsItsName) {
    for (std::string head : {std::string("OggS\0\x02", 6),
                             std::string("\0\0\0\x20"
                                         "ftypM4A ",
                                         12),
                             std::string("RIFF\x24\0\0\0WAVEfmt ", 16)}) {
        ContentInfo c = SniffContent(head + std::string(64, '\0'));
        EXPECT_EQ(c.kind, ContentKind::kOtherAudio);
        EXPECT_EQ(ExtensionFor(c), "");
    }
}

}  // namespace
}  // namespace mm::download
