// The playlist file written after download-all of an imported playlist, and
// the second run that finds every song there already.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/control_names.h"
#include "democatalogue/song_table.h"
#include "download/file_naming.h"
#include "platform/sys/files.h"
#include "platform/sys/text_encoding.h"
#include "search/track_menu.h"
#include "tests/download/download_flow_helpers.h"

namespace mm::test {
namespace {

namespace fs = std::filesystem;
using democat::Endpoint;
using ui::EventType;

struct Entry {
    int seconds = 0;
    std::string display;
    std::string path;
};

// Reads the playlist file line by line, as a player would.
bool ReadPlaylist(const std::string& text, std::vector<Entry>& out) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t nl = text.find('\n', start);
        if (nl == std::string::npos) return false;  // every line ends in a line feed
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    if (lines.empty() || lines[0] != "#EXTM3U" || lines.size() % 2 != 1) return false;
    for (std::size_t i = 1; i < lines.size(); i += 2) {
        const std::string& info = lines[i];
        if (info.rfind("#EXTINF:", 0) != 0) return false;
        std::size_t comma = info.find(',');
        if (comma == std::string::npos) return false;
        out.push_back({std::stoi(info.substr(8, comma - 8)), info.substr(comma + 1), lines[i + 1]});
    }
    return true;
}

std::string Trimmed(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    while (!s.empty() && s.front() == ' ') s.erase(0, 1);
    return s;
}

class PlaylistFileFlow : public DownloadFlowTest {
protected:
    void ImportPlaylist(const char* picture, const std::string& sharePath) {
        Click(picture);
        Fire(app::kPlaylistLink, EventType::FocusIn);
        model.setText(app::kPlaylistLink, catalogue.BaseUrl() + sharePath);
        Click(app::kPlaylistImport);
        ASSERT_TRUE(WaitIdle());
    }
    void DownloadAll() {
        Menu(app::kTrackMenu, search::kMenuDownloadAll);
        ASSERT_TRUE(WaitIdle(std::chrono::seconds(300)));
    }
    std::string LastBox() const {
        auto boxes = MessageBoxes();
        return boxes.empty() ? "" : boxes.back().title + "|" + boxes.back().text;
    }
};

TEST_F(PlaylistFileFlow, DownloadAllWritesThePlaylistInOrderAndASecondRunDownloadsNothingNew) {
    StartProgram();
    ImportPlaylist(app::kImportNetEase, "/share/wy/s/7045");
    ASSERT_EQ(model.rowCount(app::kResultList), 45);
    model.setChecked(app::kPlaylistBestTier, false);
    DownloadAll();
    ASSERT_EQ(model.rowCount(app::kDownloadList), 45);

    const std::string listPath = saveDir + "网易云音乐_7045.m3u8";
    std::string text;
    ASSERT_TRUE(sys::ReadFile(listPath, text));
    EXPECT_TRUE(sys::isValidUtf8(text));
    EXPECT_NE(text.substr(0, 3), "\xEF\xBB\xBF") << "UTF-8 without a mark";
    std::vector<Entry> entries;
    ASSERT_TRUE(ReadPlaylist(text, entries)) << text;
    const std::vector<int>& ids = democat::FindPlaylist("wy", "7045")->songs;
    ASSERT_EQ(entries.size(), ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) {
        SCOPED_TRACE(i);
        const auto& rec = ctx->playlist[i];
        EXPECT_EQ(entries[i].seconds, democat::FindSong(ids[i])->seconds);
        std::string singer = Trimmed(rec.singer);
        EXPECT_EQ(entries[i].display, singer.empty() ? rec.title : singer + " - " + rec.title);
        // Relative to the playlist file, and the song's own file.
        EXPECT_EQ(entries[i].path, download::BaseName(rec.title, rec.singer, 0) + ".mp3");
        EXPECT_TRUE(sys::IsRegularFile(saveDir + entries[i].path));
    }
    EXPECT_EQ(LastBox(),
              "code:200|歌单文件已同步：网易云音乐_7045.m3u8\r\n共 45 首：已有 0 首，新下载 45 首。");

    // Again: nothing is asked for or downloaded, the file stays as it was.
    const int addresses = catalogue.stats().Count(Endpoint::kTrackAddress);
    const int audio = catalogue.stats().Count(Endpoint::kAudio);
    DownloadAll();
    EXPECT_EQ(model.rowCount(app::kDownloadList), 45);
    EXPECT_EQ(catalogue.stats().Count(Endpoint::kTrackAddress), addresses);
    EXPECT_EQ(catalogue.stats().Count(Endpoint::kAudio), audio);
    EXPECT_EQ(LastBox(),
              "code:200|歌单文件已同步：网易云音乐_7045.m3u8\r\n共 45 首：已有 45 首，新下载 0 首。");
    std::string again;
    ASSERT_TRUE(sys::ReadFile(listPath, again));
    EXPECT_EQ(again, text);

    // A file deleted meanwhile is the only one downloaded again, in its place.
    ASSERT_TRUE(sys::RemoveFile(saveDir + entries[3].path));
    DownloadAll();
    EXPECT_EQ(model.rowCount(app::kDownloadList), 46);
    EXPECT_EQ(catalogue.stats().Count(Endpoint::kTrackAddress), addresses + 1);
    EXPECT_EQ(LastBox(),
              "code:200|歌单文件已同步：网易云音乐_7045.m3u8\r\n共 45 首：已有 44 首，新下载 1 首。");
    ASSERT_TRUE(sys::ReadFile(listPath, again));
    EXPECT_EQ(again, text);
}

TEST_F(PlaylistFileFlow, PathsIntoTemplateFoldersAndSongsThatFailedAreLeftOut) {
    extraConfig = "[文件命名]\n自定义=1\n模板={singer}/{album}/{index} {title}\n";
    StartProgram();
    ImportPlaylist(app::kImportQQ, "/share/qq/s/8001");
    ASSERT_EQ(model.rowCount(app::kResultList), 12);
    model.setChecked(app::kPlaylistBestTier, true);
    DownloadAll();

    std::string text;
    ASSERT_TRUE(sys::ReadFile(saveDir + "QQ音乐_8001.m3u8", text));
    std::vector<Entry> entries;
    ASSERT_TRUE(ReadPlaylist(text, entries)) << text;
    // The song whose address is empty has no file, so no entry; the others keep their order.
    const std::vector<int>& ids = democat::FindPlaylist("qq", "8001")->songs;
    std::vector<int> expected;
    for (int id : ids) {
        if (!democat::FindSong(id)->empty_purl) expected.push_back(id);
    }
    ASSERT_EQ(entries.size(), expected.size()) << text;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(entries[i].path);
        EXPECT_EQ(entries[i].seconds, democat::FindSong(expected[i])->seconds);
        EXPECT_NE(entries[i].path.front(), '/');
        EXPECT_EQ(std::count(entries[i].path.begin(), entries[i].path.end(), '/'), 2);
        EXPECT_TRUE(sys::IsRegularFile(saveDir + entries[i].path));
    }
    EXPECT_EQ(entries[0].path, "林小雨/夏日信笺/01 晴天里的风.flac");
    EXPECT_NE(LastBox().find("已有 0 首，新下载 11 首，未能下载 1 首"), std::string::npos) << LastBox();
}

}  // namespace
}  // namespace mm::test
