// Downloads through the whole program, headless, against the demo catalogue:
// file names, tags read back by mutagen and metaflac, audio as the server sent it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <thread>

#include "app/control_names.h"
#include "app/images.h"
#include "democatalogue/song_table.h"
#include "download/download_job.h"
#include "platform/sys/files.h"
#include "tests/download/download_flow_helpers.h"

namespace mm::test {
namespace {

using democat::Tier;

std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

nlohmann::json ReadId3(const std::string& path) {
    std::string script = std::string(std::getenv("MM_SOURCE_DIR")) + "/tests/download/read_id3.py";
    int code = -1;
    std::string out = RunCommand("/usr/bin/python3 " + Quote(script) + " " + Quote(path), &code);
    EXPECT_EQ(code, 0) << out;
    return nlohmann::json::parse(out, nullptr, false);
}

TEST_F(DownloadFlowTest, HighTierMp3LandsNamedTaggedAndWhole) {
    StartProgram();
    DownloadByTitle("AC/DC", "AC*DC: Live?", 1);

    // The row: name, album, tier badge, end state; the counter went up and down again.
    ASSERT_EQ(model.rowCount(app::kDownloadList), 1);
    EXPECT_EQ(model.cellText(app::kDownloadList, 0, 0), "AC-DC- Live- - X \r\n[Rock Test]");
    EXPECT_EQ(model.cellIcon(app::kDownloadList, 0, 0), app::kImgBadgeHigh);
    EXPECT_EQ(Status(0), "下载完成");
    EXPECT_EQ(StatusIcon(0), app::kImgStatusDone);
    EXPECT_EQ(model.rowProgress(app::kDownloadList, 0), -1);
    EXPECT_EQ(model.text(app::kDownloadCount), "0");
    EXPECT_FALSE(model.visible(app::kTierPanel));

    // The address request as it went over the wire.
    auto req = catalogue.stats().Last(democat::Endpoint::kTrackAddress);
    ASSERT_TRUE(req);
    const auto* song = democat::FindSong(3);
    EXPECT_EQ(req->body,
              "mid=" + song->Mid(Tier::kHigh) + "&pmid=" + song->Pmid(Tier::kHigh) + "&q=1&lyr=true");
    EXPECT_EQ(req->Header("Content-Type"), "application/x-www-form-urlencoded");

    // Each forbidden character one dash; the singer's trailing space stays.
    ASSERT_EQ(SavedNames(), std::vector<std::string>{"AC-DC- Live- - X .mp3"});
    std::string file = Saved("AC-DC- Live- - X .mp3");
    EXPECT_EQ(AfterId3(file), ServerAudio(3, Tier::kHigh));

    auto tags = ReadId3(saveDir + "AC-DC- Live- - X .mp3");
    ASSERT_FALSE(tags.is_discarded());
    EXPECT_EQ(tags["version"][1], 3);
    EXPECT_EQ(tags["title"], "AC*DC: Live?");
    EXPECT_EQ(tags["artist"], "X ");
    EXPECT_EQ(tags["album"], "Rock Test");
    EXPECT_EQ(tags["copyright"], download::kCreditText);
    EXPECT_EQ(tags["lyrics"], song->Lyrics());
    std::string cover = ServerCover(3);
    ASSERT_FALSE(cover.empty());
    EXPECT_EQ(tags["picture"], Hex(cover));
}

TEST_F(DownloadFlowTest, LosslessFlacPassesFlacTestWithCommentsAndCover) {
    StartProgram();
    DownloadByTitle("晴天", "晴天里的风", 2);
    const std::string name = "晴天里的风 - 林小雨 .flac";
    ASSERT_EQ(SavedNames(), std::vector<std::string>{name});
    EXPECT_EQ(model.cellIcon(app::kDownloadList, 0, 0), app::kImgBadgeLossless);
    EXPECT_EQ(Status(0), "下载完成");

    std::string path = saveDir + name;
    int code = -1;
    std::string out = RunCommand("flac -t -s " + Quote(path) + " 2>&1", &code);
    EXPECT_EQ(code, 0) << out;
    std::string comments = RunCommand("metaflac --export-tags-to=- " + Quote(path), &code);
    EXPECT_EQ(code, 0);
    EXPECT_NE(comments.find("TITLE=晴天里的风\n"), std::string::npos) << comments;
    EXPECT_NE(comments.find("ARTIST=林小雨 \n"), std::string::npos) << comments;
    EXPECT_NE(comments.find("ALBUM=夏日信笺\n"), std::string::npos) << comments;
    EXPECT_NE(comments.find(std::string("COPYRIGHT=") + download::kCreditText), std::string::npos)
        << comments;
    // The lyrics are several lines; their first line is enough to find them.
    std::string lyrics = democat::FindSong(1)->Lyrics();
    EXPECT_NE(comments.find(lyrics.substr(0, lyrics.find('\n'))), std::string::npos) << comments;

    std::string picture = tempDir + "/cover.out";
    RunCommand("metaflac --export-picture-to=" + Quote(picture) + " " + Quote(path), &code);
    EXPECT_EQ(code, 0);
    std::string exported;
    sys::ReadFile(picture, exported);
    EXPECT_EQ(exported, ServerCover(1));

    // Only the metadata changed: the frames are the server's, byte for byte.
    std::string frames = FlacFrames(Saved(name));
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames, FlacFrames(ServerAudio(1, Tier::kLossless)));
}

TEST_F(DownloadFlowTest, NamingSchemeIsReadWhenTheJobRuns) {
    StartProgram();
    Search("Morning");
    int row = ResultRow("Morning Light");
    ASSERT_GE(row, 0);
    const char* radios[3] = {app::kRadioNaming1, app::kRadioNaming2, app::kRadioNaming3};
    for (int scheme = 0; scheme < 3; ++scheme) {
        Click(radios[scheme]);
        QueueFromTierWindow(row, 0);
        ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));
    }
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{"Morning Light - Nora Vale .mp3", "Morning Light.mp3",
                                                      "Nora Vale  - Morning Light.mp3"}));
    EXPECT_EQ(model.cellText(app::kDownloadList, 1, 0), "Nora Vale  - Morning Light\r\n[First Steps]");
    EXPECT_EQ(model.cellText(app::kDownloadList, 2, 0), "Morning Light\r\n[First Steps]");
}

TEST_F(DownloadFlowTest, SameTrackTwiceGivesADatedSecondFileAndKeepsTheFirst) {
    StartProgram();
    DownloadByTitle("Morning", "Morning Light", 0);
    std::string first = Saved("Morning Light - Nora Vale .mp3");
    ASSERT_FALSE(first.empty());
    QueueFromTierWindow(ResultRow("Morning Light"), 0);
    ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));

    auto names = SavedNames();
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], "Morning Light - Nora Vale .mp3");
    static const std::regex dated(
        "Morning Light - Nora Vale "
        "_\\d{4}年\\d{1,2}月\\d{1,2}日(\\d{1,2}时(\\d{1,2}分(\\d{1,2}秒)?)?)?\\.mp3");
    EXPECT_TRUE(std::regex_match(names[1], dated)) << names[1];
    EXPECT_EQ(Saved(names[0]), first);
    EXPECT_EQ(Saved(names[1]), first);
    EXPECT_EQ(Status(1), "下载完成");
}

TEST_F(DownloadFlowTest, ConcurrentDownloadsOfOneNameEndAsTwoFiles) {
    // Slow audio keeps the first job running while the second starts.
    democat::Fault slow;
    slow.bytes_per_second = 400 * 1024;
    catalogue.faults().Set(democat::Endpoint::kAudio, slow);
    StartProgram();
    Search("Morning");
    int row = ResultRow("Morning Light");
    ASSERT_GE(row, 0);
    QueueFromTierWindow(row, 1);
    for (int i = 0; i < 500 && Status(0) != "正在下载"; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(Status(0), "正在下载");
    QueueFromTierWindow(row, 1);
    ASSERT_TRUE(WaitIdle(std::chrono::seconds(90)));
    auto names = SavedNames();
    ASSERT_EQ(names.size(), 2u) << ::testing::PrintToString(names);
    EXPECT_EQ(names[0], "Morning Light - Nora Vale .mp3");
    EXPECT_EQ(AfterId3(Saved(names[0])), ServerAudio(2, Tier::kHigh));
    EXPECT_EQ(AfterId3(Saved(names[1])), ServerAudio(2, Tier::kHigh));
}

TEST_F(DownloadFlowTest, EmbeddingOffSavesTheServersBytesAndKeepsTheCounter) {
    extraConfig = "[其他设置]\n自动嵌入=0\n";
    StartProgram();
    ASSERT_FALSE(model.checked(app::kCheckEmbed));
    DownloadByTitle("晴天", "晴天里的风", 2);
    EXPECT_EQ(Saved("晴天里的风 - 林小雨 .flac"), ServerAudio(1, Tier::kLossless));
    EXPECT_EQ(Status(0), "下载完成");
    // Only a tagging job counts the label down again.
    EXPECT_EQ(model.text(app::kDownloadCount), "1");
}

TEST_F(DownloadFlowTest, CapitalMp3TypeKeepsItsCaseAndGetsAnId3Tag) {
    StartProgram();
    DownloadByTitle("CAPS", "CAPS TYPE", 1);
    ASSERT_EQ(SavedNames(), std::vector<std::string>{"CAPS TYPE - Upper Case .MP3"});
    EXPECT_EQ(AfterId3(Saved("CAPS TYPE - Upper Case .MP3")), ServerAudio(16, Tier::kHigh));
    auto tags = ReadId3(saveDir + "CAPS TYPE - Upper Case .MP3");
    EXPECT_EQ(tags["title"], "CAPS TYPE");
    EXPECT_EQ(Status(0), "下载完成");
}

TEST_F(DownloadFlowTest, Mp3SentAsFlacIsSavedAndTaggedAsTheMp3ItIs) {
    StartProgram();
    DownloadByTitle("假无损", "假无损", 2);
    ASSERT_EQ(SavedNames(), std::vector<std::string>{"假无损 - 测试歌手 .mp3"});
    const std::string path = saveDir + "假无损 - 测试歌手 .mp3";
    EXPECT_EQ(AfterId3(Saved("假无损 - 测试歌手 .mp3")), ServerAudio(15, Tier::kLossless));
    auto tags = ReadId3(path);
    ASSERT_FALSE(tags.is_discarded());
    EXPECT_EQ(tags["title"], "假无损");
    EXPECT_EQ(tags["artist"], "测试歌手 ");
    EXPECT_EQ(tags["copyright"], download::kCreditText);
    EXPECT_EQ(tags["picture"], Hex(ServerCover(15)));
    EXPECT_EQ(Status(0), "下载完成(实为MP3)");
    EXPECT_EQ(StatusIcon(0), app::kImgStatusDone);
    EXPECT_EQ(model.text(app::kDownloadCount), "0");
}

TEST_F(DownloadFlowTest, A128KFileSentAs320KIsKeptAndSaysSo) {
    StartProgram();
    DownloadByTitle("假高品", "假高品", 1);
    ASSERT_EQ(SavedNames(), std::vector<std::string>{"假高品 - 测试歌手 .mp3"});
    EXPECT_EQ(AfterId3(Saved("假高品 - 测试歌手 .mp3")), ServerAudio(67, Tier::kHigh));
    EXPECT_EQ(ReadId3(saveDir + "假高品 - 测试歌手 .mp3")["title"], "假高品");
    EXPECT_EQ(Status(0), "音质不符: 128K");
    EXPECT_EQ(StatusIcon(0), app::kImgStatusDone);
    // The same file asked for as what it is: nothing odd.
    QueueFromTierWindow(ResultRow("假高品"), 0);
    ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));
    EXPECT_EQ(Status(1), "下载完成");
}

TEST_F(DownloadFlowTest, ProgressBarMovesWhileDownloading) {
    democat::Fault slow;
    slow.bytes_per_second = 300 * 1024;
    catalogue.faults().Set(democat::Endpoint::kAudio, slow);
    StartProgram();
    Search("晴天");
    QueueFromTierWindow(ResultRow("晴天里的风"), 2);
    std::set<int> seen;
    for (int i = 0; i < 3000 && Status(0) != "下载完成"; ++i) {
        int p = model.rowProgress(app::kDownloadList, 0);
        if (Status(0) == "正在下载" && p >= 0) seen.insert(p);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));
    EXPECT_EQ(Status(0), "下载完成");
    EXPECT_EQ(model.rowProgress(app::kDownloadList, 0), -1);
    ASSERT_GE(seen.size(), 3u);  // more than a start and an end
    EXPECT_LE(*seen.rbegin(), 100);
    EXPECT_GT(*seen.rbegin(), 50);
}

}  // namespace
}  // namespace mm::test
