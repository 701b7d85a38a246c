// The fixed content: the songs, playlists and lyrics other parts of the
// program are tested against, and the synthesized audio and covers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

#include "democatalogue/encoders.h"
#include "democatalogue/song_table.h"
#include "democatalogue/synth.h"
#include "platform/sys/text_encoding.h"
#include "test_support.h"

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

namespace mm::democat {
namespace {

const Song* ByTitle(const std::string& title) {
    for (const auto& s : Songs()) {
        if (s.title == title) return &s;
    }
    return nullptr;
}

int CountIf(bool (*pred)(const Song&)) {
    return static_cast<int>(std::count_if(Songs().begin(), Songs().end(), pred));
}

TEST(DemoContent, HasTheSongsOtherTestsNeed) {
    ASSERT_GE(Songs().size(), 60u);
    for (std::size_t i = 0; i < Songs().size(); ++i) EXPECT_EQ(Songs()[i].id, static_cast<int>(i + 1));

    const Song* acdc = ByTitle("AC/DC: Live?");
    ASSERT_NE(acdc, nullptr);
    EXPECT_EQ(acdc->singers, std::vector<std::string>{"X"});

    for (char c : std::string("/\\\":?*")) {
        EXPECT_TRUE(std::any_of(Songs().begin(), Songs().end(),
                                [c](const Song& s) { return s.title.find(c) != std::string::npos; }))
            << "no title with " << c;
    }
    EXPECT_GE(CountIf([](const Song& s) { return s.singers.size() == 2; }), 2);
    EXPECT_GE(CountIf([](const Song& s) { return s.singers.empty(); }), 1);
    EXPECT_GE(CountIf([](const Song& s) { return s.album.empty(); }), 1);
    EXPECT_GE(CountIf([](const Song& s) { return !s.tier(Tier::kStandard).present; }), 2);
    EXPECT_GE(CountIf([](const Song& s) { return !s.tier(Tier::kLossless).present; }), 5);
    EXPECT_GE(CountIf([](const Song& s) { return s.empty_purl; }), 1);
    EXPECT_GE(CountIf([](const Song& s) { return !s.has_cover; }), 1);
    EXPECT_GE(CountIf([](const Song& s) { return !s.has_lyrics; }), 1);
    EXPECT_GE(CountIf([](const Song& s) {
                  return s.tier(Tier::kLossless).present && s.tier(Tier::kLossless).codec != Codec::kFlac &&
                         s.tier(Tier::kLossless).type == "flac";
              }),
              1);
    EXPECT_GE(CountIf([](const Song& s) { return s.tier(Tier::kStandard).type == "MP3"; }), 1);
    // Chinese and Latin titles both, and a title GBK cannot hold.
    EXPECT_GE(CountIf([](const Song& s) { return static_cast<unsigned char>(s.title[0]) >= 0x80; }), 10);
    EXPECT_GE(CountIf([](const Song& s) { return s.title[0] >= 'A' && s.title[0] <= 'Z'; }), 10);
    EXPECT_GE(CountIf([](const Song& s) { return !sys::utf8ToGbk(s.title).has_value(); }), 1);

    for (const auto& s : Songs()) {
        EXPECT_GE(s.seconds, 20) << s.title;
        EXPECT_LE(s.seconds, 60) << s.title;
        EXPECT_TRUE(sys::isValidUtf8(s.title + s.album));
        EXPECT_TRUE(s.tier(Tier::kStandard).present || s.tier(Tier::kHigh).present ||
                    s.tier(Tier::kLossless).present);
    }
}

TEST(DemoContent, MidsNameTheirSongAndTierAndPmidsDiffer) {
    std::set<std::string> pmids;
    for (const auto& s : Songs()) {
        for (Tier t : kTiers) {
            if (!s.tier(t).present) {
                EXPECT_EQ(s.Mid(t), "");
                EXPECT_EQ(s.Pmid(t), "");
                continue;
            }
            int id = 0;
            Tier back = Tier::kStandard;
            ASSERT_TRUE(ParseMid(s.Mid(t), &id, &back)) << s.Mid(t);
            EXPECT_EQ(id, s.id);
            EXPECT_EQ(back, t);
            EXPECT_TRUE(pmids.insert(s.Pmid(t)).second) << "pmid used twice: " << s.Pmid(t);
        }
    }
    int id = 0;
    Tier t = Tier::kStandard;
    EXPECT_FALSE(ParseMid("", &id, &t));
    EXPECT_FALSE(ParseMid("M9999l", &id, &t));
    EXPECT_FALSE(ParseMid("M0011h", &id, &t));  // song 11 has only the standard tier
    EXPECT_FALSE(ParseMid("M00x1l", &id, &t));
}

TEST(DemoContent, KeywordsMatchTitleSingerAlbumWithoutCase) {
    const std::size_t all = Songs().size();
    EXPECT_EQ(MatchSongs("").size(), all);
    EXPECT_EQ(MatchSongs("*").size(), all);
    EXPECT_EQ(MatchSongs("DEMO").size(), all);
    EXPECT_EQ(MatchSongs("  ").size(), all);

    auto ids = MatchSongs("ac/dc");
    ASSERT_EQ(ids.size(), 1u);
    EXPECT_EQ(FindSong(ids[0])->title, "AC/DC: Live?");
    EXPECT_TRUE(MatchSongs("no such song at all").empty());

    // "*N" repeats the catalogue up to N rows, capped; anything else after "*" is a keyword.
    auto many = MatchSongs("*1000");
    ASSERT_EQ(many.size(), 1000u);
    EXPECT_EQ(many[0], 1);
    EXPECT_EQ(many[all], 1);
    EXPECT_EQ(many[999], static_cast<int>(999 % all) + 1);
    EXPECT_EQ(MatchSongs("*9999").size(), static_cast<std::size_t>(kMaxRepeatedRows));
    EXPECT_TRUE(MatchSongs("*12a").empty());

    auto by_singer = MatchSongs("林小雨");
    EXPECT_GE(by_singer.size(), 3u);
    for (int id : by_singer) {
        const Song& s = *FindSong(id);
        EXPECT_TRUE(std::find(s.singers.begin(), s.singers.end(), "林小雨") != s.singers.end() ||
                    s.title.find("林小雨") != std::string::npos ||
                    s.album.find("林小雨") != std::string::npos);
    }
    EXPECT_FALSE(MatchSongs("escapes").empty());  // album "Escapes"
    EXPECT_TRUE(std::is_sorted(by_singer.begin(), by_singer.end()));
}

TEST(DemoContent, PlaylistsHoldKnownSongs) {
    const Playlist* big = FindPlaylist("wy", "7045");
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->songs.size(), 45u);
    EXPECT_NE(FindSong(big->songs[0])->album.find('"'), std::string::npos);
    EXPECT_TRUE(std::any_of(big->songs.begin(), big->songs.end(),
                            [](int id) { return FindSong(id)->singers.size() >= 2; }));
    for (const char* service : {"wy", "qq", "kw", "kg"}) {
        EXPECT_TRUE(std::any_of(Playlists().begin(), Playlists().end(), [&](const Playlist& p) {
            return p.service == service && !p.songs.empty();
        })) << service;
    }
    for (const auto& p : Playlists()) {
        for (int id : p.songs) EXPECT_NE(FindSong(id), nullptr) << p.service << " " << p.id;
    }
    EXPECT_EQ(FindPlaylist("qq", "7045"), nullptr);
}

TEST(DemoContent, LyricsAreTimedLrcWithinTheSong) {
    for (const auto& s : Songs()) {
        std::string lrc = s.Lyrics();
        if (!s.has_lyrics) {
            EXPECT_EQ(lrc, "");
            continue;
        }
        EXPECT_EQ(lrc.rfind("[ti:" + s.title + "]\n", 0), 0u);
        double last = -1;
        int timed = 0;
        bool chinese = false;
        std::size_t at = 0;
        while (at < lrc.size()) {
            std::size_t end = lrc.find('\n', at);
            std::string text = lrc.substr(at, end - at);
            at = end == std::string::npos ? lrc.size() : end + 1;
            int mm = 0, ss = 0, cc = 0, used = 0;
            if (std::sscanf(text.c_str(), "[%2d:%2d.%2d]%n", &mm, &ss, &cc, &used) != 3 || used != 10)
                continue;
            double t = mm * 60 + ss + cc / 100.0;
            EXPECT_GT(t, last) << s.title;
            EXPECT_LT(t, s.seconds) << s.title;
            last = t;
            ++timed;
            chinese =
                chinese || std::any_of(text.begin() + used, text.end(), [](char c) { return c & 0x80; });
        }
        EXPECT_GE(timed, 4) << s.title;
        EXPECT_TRUE(chinese) << s.title;
    }
}

TEST(DemoSynth, IsDeterministicAudibleUnclippedAndDiffersPerSong) {
    Pcm a = Synthesize(7, 20);
    Pcm b = Synthesize(7, 20);
    Pcm c = Synthesize(8, 20);
    ASSERT_EQ(a.frames(), 20u * 44100);
    EXPECT_EQ(a.samples, b.samples);
    EXPECT_NE(a.samples, c.samples);
    double sum = 0;
    int peak = 0;
    for (auto s : a.samples) {
        sum += double(s) * s;
        peak = std::max(peak, std::abs(int(s)));
    }
    double rms = std::sqrt(sum / a.samples.size());
    EXPECT_GT(rms, 1000.0);
    EXPECT_LT(peak, 32767);
    // Fades in from silence and out to silence.
    EXPECT_EQ(a.samples[0], 0);
    EXPECT_LT(std::abs(a.samples[a.samples.size() - 2]), 200);
}

struct Decoded {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
};

Decoded DecodeJpeg(const std::string& bytes) {
    Decoded d;
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    if (jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK) {
        cinfo.out_color_space = JCS_RGB;
        jpeg_start_decompress(&cinfo);
        d.width = static_cast<int>(cinfo.output_width);
        d.height = static_cast<int>(cinfo.output_height);
        d.rgb.resize(std::size_t(d.width) * d.height * 3);
        while (cinfo.output_scanline < cinfo.output_height) {
            unsigned char* row = &d.rgb[std::size_t(cinfo.output_scanline) * d.width * 3];
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
    }
    jpeg_destroy_decompress(&cinfo);
    return d;
}

TEST(DemoCover, IsA300SquareJpegWithAPatternOfItsOwn) {
    auto one = MakeCoverJpeg(1), two = MakeCoverJpeg(2);
    ASSERT_TRUE(one && two);
    ASSERT_GE(one->size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>((*one)[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>((*one)[1]), 0xD8);
    Decoded a = DecodeJpeg(*one), b = DecodeJpeg(*two);
    EXPECT_EQ(a.width, 300);
    EXPECT_EQ(a.height, 300);
    ASSERT_EQ(a.rgb.size(), b.rgb.size());
    // Not a flat colour, and not the picture of another song.
    auto [lo, hi] = std::minmax_element(a.rgb.begin(), a.rgb.end());
    EXPECT_GT(*hi - *lo, 100);
    long diff = 0;
    for (std::size_t i = 0; i < a.rgb.size(); ++i) diff += std::abs(int(a.rgb[i]) - int(b.rgb[i]));
    EXPECT_GT(diff / long(a.rgb.size()), 10);
}

}  // namespace
}  // namespace mm::democat
