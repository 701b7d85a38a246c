// The kill campaign's judge of a save folder, against the demo catalogue's
// real files and the real readers (flac, mpg123, mutagen): a judge that let a
// torn file pass would hide the very faults the campaign looks for.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "bench/kill_campaign/folder_check.h"
#include "bench/kill_campaign/served_audio.h"
#include "democatalogue/encoders.h"
#include "platform/sys/files.h"
#include "tags/flac.h"
#include "tags/id3v2.h"
#include "tags/tag_request.h"

namespace mm::bench {
namespace {

namespace fs = std::filesystem;
using democat::Tier;

// Two songs of playlist wy 7045, each with all three tiers.
constexpr int kSong = 31;
constexpr int kOther = 32;

class FolderCheckTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        catalogue = new democat::DemoCatalogue();
        ASSERT_TRUE(catalogue->Start(0));
        ASSERT_TRUE(served.Load(*catalogue, {kSong, kOther}));
    }
    static void TearDownTestSuite() {
        delete catalogue;
        catalogue = nullptr;
    }
    FolderCheckTest() {
        char tmpl[] = "/tmp/mm-folder-check-XXXXXX";
        dir = std::string(mkdtemp(tmpl)) + "/";
    }
    ~FolderCheckTest() override { fs::remove_all(dir); }

    static const ServedFile& Served(int song, Tier tier) {
        for (const ServedFile& f : served.files()) {
            if (f.song == song && f.tier == tier) return f;
        }
        throw std::runtime_error("not served");
    }

    // The served file written under name, tagged as the program tags it.
    std::string Tagged(const std::string& name, int song, Tier tier, const std::string& title = {}) {
        const std::string path = dir + name;
        std::ofstream(path, std::ios::binary) << Served(song, tier).bytes;
        const democat::Song* s = democat::FindSong(song);
        tags::TagRequest req;
        req.set(tags::Slot::Title, title.empty() ? s->title : title);
        req.set(tags::Slot::Artist, s->singers[0] + " ");
        req.set(tags::Slot::Album, s->album);
        req.set(tags::Slot::Picture, *democat::MakeCoverJpeg(song));
        const bool ok = Served(song, tier).flac ? tags::WriteFlacTags(path, req) : tags::WriteId3v2(path, req);
        EXPECT_TRUE(ok) << name;
        return path;
    }

    static std::string Bytes(const std::string& path) {
        std::string b;
        sys::ReadFile(path, b);
        return b;
    }

    static inline democat::DemoCatalogue* catalogue = nullptr;
    static inline ServedAudio served;
    std::string dir;
};

TEST_F(FolderCheckTest, APartFileShowsHowFarItsDownloadGot) {
    for (Tier tier : {Tier::kStandard, Tier::kLossless}) {
        const ServedFile& f = Served(kSong, tier);
        const ServedFile* match = nullptr;
        EXPECT_EQ(served.Stage(f.bytes.substr(0, f.bytes.size() / 2), &match), PartStage::kTransfer);
        EXPECT_EQ(match, &f);
        EXPECT_EQ(served.Stage(f.bytes, &match), PartStage::kFull);
        const std::string tagged = Bytes(Tagged("t", kSong, tier));
        EXPECT_EQ(served.Stage(tagged, &match), PartStage::kTagged);
        EXPECT_EQ(match, &f);
        // Tags half moved in: the file grown, the audio not yet behind them.
        EXPECT_EQ(served.Stage(f.bytes + std::string(20000, '\0'), &match), PartStage::kTagging);
        // Complete tags with audio cut short are no finished file either.
        EXPECT_EQ(served.Stage(tagged.substr(0, tagged.size() - 1000), &match), PartStage::kTagging);
        EXPECT_EQ(served.MatchWhole(tagged.substr(0, tagged.size() - 1)), nullptr);
    }
}

TEST_F(FolderCheckTest, OnlyWholeCorrectlyTaggedFilesPassUnderASongsName) {
    const std::string goodFlac = Tagged("good.flac", kSong, Tier::kLossless);
    const std::string goodMp3 = Tagged("good.mp3", kOther, Tier::kHigh);
    const std::string torn = Tagged("torn.flac", kOther, Tier::kLossless);
    fs::resize_file(torn, fs::file_size(torn) - 5000);
    Tagged("wrong-title.mp3", kSong, Tier::kStandard, "Another Song");
    Tagged("mp3-named.flac", kSong, Tier::kHigh);
    std::ofstream(dir + "song.flac.part", std::ios::binary) << Served(kSong, Tier::kLossless).bytes.substr(0, 9000);
    std::ofstream(dir + "stray.tmp") << "x";

    FolderCheck check(served, std::string(MM_KILL_CAMPAIGN_DIR) + "/read_tags.py");
    FolderReport r = check.Look(dir);
    std::vector<std::string> bad;
    for (const std::string& p : r.problems) bad.push_back(p.substr(dir.size(), p.find(':') - dir.size()));
    std::sort(bad.begin(), bad.end());
    EXPECT_EQ(bad, (std::vector<std::string>{"mp3-named.flac", "stray.tmp", "torn.flac", "wrong-title.mp3"}));
    EXPECT_EQ(r.whole[kSong], std::vector<std::string>{goodFlac});
    EXPECT_EQ(r.whole[kOther], std::vector<std::string>{goodMp3});
    ASSERT_EQ(r.parts.size(), 1u);
    EXPECT_EQ(r.parts[0].stage, PartStage::kTransfer);
    EXPECT_EQ(r.checkedNow, 5);

    // Judged files are not read again until they change.
    EXPECT_EQ(check.Look(dir).checkedNow, 0);
    std::ofstream(goodMp3, std::ios::binary | std::ios::app) << "junk";
    FolderReport again = check.Look(dir);
    EXPECT_EQ(again.checkedNow, 1);
    EXPECT_EQ(again.problems.size(), 5u);
}

}  // namespace
}  // namespace mm::bench
