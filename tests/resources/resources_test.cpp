// The embedded artwork: every picture is a whole PNG of the size its role needs.
#include "resources/resources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace {

struct PngSize {
    bool ok = false;
    std::uint32_t width = 0, height = 0;
};

std::uint32_t be32(std::string_view b, std::size_t at) {
    return (std::uint32_t(std::uint8_t(b[at])) << 24) | (std::uint32_t(std::uint8_t(b[at + 1])) << 16) |
           (std::uint32_t(std::uint8_t(b[at + 2])) << 8) | std::uint32_t(std::uint8_t(b[at + 3]));
}

// Walks the chunks: signature, IHDR first, every length inside the file, IEND last.
PngSize ReadPng(std::string_view b) {
    static const char kSignature[] = "\x89PNG\r\n\x1a\n";
    if (b.size() < 8 + 25 || b.substr(0, 8) != std::string_view(kSignature, 8)) return {};
    PngSize out;
    std::size_t at = 8;
    bool first = true;
    while (at + 12 <= b.size()) {
        const std::uint32_t len = be32(b, at);
        const std::string_view type = b.substr(at + 4, 4);
        if (len > b.size() - at - 12) return {};
        if (first) {
            if (type != "IHDR" || len != 13) return {};
            out.width = be32(b, at + 8);
            out.height = be32(b, at + 12);
            first = false;
        }
        at += 12 + len;
        if (type == "IEND") {
            out.ok = at == b.size();
            return out;
        }
    }
    return {};
}

TEST(Resources, EveryPictureIsAWholePngMatchingItsFile) {
    const auto& names = mm::ResourceNames();
    ASSERT_GE(names.size(), 30u);
    for (std::string_view name : names) {
        const std::string_view bytes = mm::Resource(name);
        const PngSize png = ReadPng(bytes);
        EXPECT_TRUE(png.ok) << name;
        // The embedded copy is the committed file, byte for byte.
        std::ifstream f(std::string(MM_SOURCE_DIR_RESOURCES) + "/" + std::string(name), std::ios::binary);
        const std::string file((std::istreambuf_iterator<char>(f)), {});
        EXPECT_EQ(file, bytes) << name;
    }
}

TEST(Resources, LookupIsExactAndUnknownNamesAreEmpty) {
    EXPECT_TRUE(mm::Resource("").empty());
    EXPECT_TRUE(mm::Resource("play").empty());
    EXPECT_TRUE(mm::Resource("PLAY.PNG").empty());
    EXPECT_TRUE(mm::Resource("zzz.png").empty());
    EXPECT_FALSE(mm::Resource("play.png").empty());
    EXPECT_NE(mm::Resource("play.png"), mm::Resource("pause.png"));
    const auto& names = mm::ResourceNames();
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_EQ(std::set<std::string_view>(names.begin(), names.end()).size(), names.size());
}

TEST(Resources, RolesHaveTheirPicturesAndSizes) {
    // The service logos: three small ones and the large Kugou one.
    for (const char* logo : {"logo_qq.png", "logo_netease.png", "logo_kuwo.png"}) {
        const PngSize s = ReadPng(mm::Resource(logo));
        EXPECT_EQ(s.width, 30u) << logo;
        EXPECT_EQ(s.height, 30u) << logo;
    }
    const PngSize kugou = ReadPng(mm::Resource("logo_kugou.png"));
    EXPECT_EQ(kugou.width, 256u);
    EXPECT_EQ(kugou.height, 256u);
    // Ten status images: five for the download job, two for the address
    // request, and the three tier badges.
    for (const char* status :
         {"status_downloading.png", "status_done.png", "status_failed.png", "status_parse_failed.png",
          "status_done_nocover.png", "status_connect_failed.png", "status_service_failed.png",
          "badge_standard.png", "badge_high.png", "badge_lossless.png"}) {
        EXPECT_TRUE(ReadPng(mm::Resource(status)).ok) << status;
    }
    // The mute button tells its state by comparing picture bytes.
    EXPECT_NE(mm::Resource("muted.png"), mm::Resource("volume.png"));
    const PngSize cover = ReadPng(mm::Resource("default_cover.png"));
    EXPECT_GE(cover.width, 80u);
    EXPECT_GE(cover.height, 80u);
}

}  // namespace
