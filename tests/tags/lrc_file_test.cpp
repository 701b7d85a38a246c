// Lyrics files: each encoding decoded back by iconv(1), which is not ours;
// never a file without lyrics, never one written over another.
#include "tags/lrc_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tag_fixtures.h"

namespace mm::tags {
namespace {

using namespace test;

const std::string kLyrics = "[ti:晴天]\n[00:01.00]故事的小黄花\n[00:03.20]Walking down the empty road\n";

// The file decoded to UTF-8 by iconv(1); "" when iconv refuses it.
std::string iconvToUtf8(const std::string& path, const std::string& from) {
    std::string out;
    if (run("iconv -f " + from + " -t UTF-8 " + quote(path), &out) != 0) return "";
    return out;
}

TEST(LrcFile, EachEncodingDecodesBackToTheLyrics) {
    TempDir dir;
    struct Case {
        LrcEncoding encoding;
        const char* charset;
        std::string head;  // the file's first bytes
    };
    for (const Case& c :
         {Case{LrcEncoding::kUtf8, "UTF-8", "[ti:"}, Case{LrcEncoding::kUtf8Bom, "UTF-8", "\xEF\xBB\xBF[ti:"},
          Case{LrcEncoding::kGbk, "GBK", "[ti:\xC7\xE7\xCC\xEC"}}) {
        SCOPED_TRACE(c.charset + c.head);
        std::string path = dir.path("song" + std::to_string(static_cast<int>(c.encoding)) + ".lrc");
        ASSERT_EQ(WriteLrcFile(path, kLyrics, c.encoding), LrcResult::kWritten);
        std::string bytes = readFile(path);
        EXPECT_EQ(bytes.substr(0, c.head.size()), c.head);
        std::string text = iconvToUtf8(path, c.charset);
        if (c.encoding == LrcEncoding::kUtf8Bom) {
            ASSERT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
            text = text.substr(3);
        }
        EXPECT_EQ(text, kLyrics);
        struct stat st;
        EXPECT_NE(stat((path + ".part").c_str(), &st), 0) << "no part file is left";
    }
}

TEST(LrcFile, GbkThatCannotHoldTheTextFallsBackToMarkedUtf8) {
    const std::string lyrics = "[ti:Emoji 🎵 Song]\n[00:01.00]노래\n";
    std::string bytes = LrcBytes(lyrics, LrcEncoding::kGbk);
    EXPECT_EQ(bytes, "\xEF\xBB\xBF" + lyrics);
    // Invalid UTF-8 in the reply never reaches the file as it is.
    EXPECT_EQ(LrcBytes(std::string("a\xFF", 2), LrcEncoding::kUtf8), "a\xEF\xBF\xBD");
}

TEST(LrcFile, NoLyricsNoFileAndAnExistingFileIsNeverReplaced) {
    TempDir dir;
    std::string path = dir.path("a.lrc");
    EXPECT_EQ(WriteLrcFile(path, "", LrcEncoding::kUtf8), LrcResult::kNoLyrics);
    EXPECT_EQ(WriteLrcFile(path, " \r\n\t", LrcEncoding::kUtf8), LrcResult::kNoLyrics);
    struct stat st;
    EXPECT_NE(stat(path.c_str(), &st), 0);

    writeFile(path, "mine");
    EXPECT_EQ(WriteLrcFile(path, kLyrics, LrcEncoding::kUtf8), LrcResult::kExists);
    EXPECT_EQ(readFile(path), "mine");
    EXPECT_NE(stat((path + ".part").c_str(), &st), 0);

    // A part file left by a crash does not stop the next write.
    std::string other = dir.path("b.lrc");
    writeFile(other + ".part", "half");
    EXPECT_EQ(WriteLrcFile(other, kLyrics, LrcEncoding::kUtf8), LrcResult::kWritten);
    EXPECT_EQ(readFile(other), kLyrics);

    EXPECT_EQ(WriteLrcFile(dir.path("missing/c.lrc"), kLyrics, LrcEncoding::kUtf8), LrcResult::kFailed);
}

TEST(LrcFile, PathReplacesTheExtensionOfTheFileOnly) {
    EXPECT_EQ(LrcPathFor("/m/周杰伦/晴天 - 周杰伦.flac"), "/m/周杰伦/晴天 - 周杰伦.lrc");
    EXPECT_EQ(LrcPathFor("/m/a.b/Song.MP3"), "/m/a.b/Song.lrc");
    EXPECT_EQ(LrcPathFor("/m/a.b/Song"), "/m/a.b/Song.lrc");
    EXPECT_EQ(LrcPathFor("/m/.hidden"), "/m/.hidden.lrc");
}

}  // namespace
}  // namespace mm::tags
