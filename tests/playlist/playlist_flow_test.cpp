// Importing shared playlists, headless, against the demo catalogue.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <map>

#include "app/control_names.h"
#include "app/images.h"
#include "download/download_rows.h"
#include "download/file_naming.h"
#include "search/track_menu.h"
#include "tests/flow/flow_fixture.h"

using namespace mm;
using mm::democat::Endpoint;
using ui::EventType;

namespace {

class PlaylistFlow : public test::FlowFixture {
protected:
    void SetUp() override { StartProgram(); }

    // Opens the panel of a service picture, pastes text and clicks import.
    void Import(const char* picture, const std::string& text) {
        Click(picture);
        ASSERT_TRUE(model.visible(app::kPlaylistPanel));
        Fire(app::kPlaylistLink, EventType::FocusIn);
        EXPECT_EQ(model.text(app::kPlaylistLink), "") << "focus clears the hint";
        model.setText(app::kPlaylistLink, text);
        Click(app::kPlaylistImport);
        ASSERT_TRUE(WaitIdle());
    }
    std::string Url(const std::string& path) { return catalogue.BaseUrl() + path; }
    std::string LastBoxText() {
        auto boxes = MessageBoxes();
        return boxes.empty() ? "" : boxes.back().title + "|" + boxes.back().text;
    }
};

TEST_F(PlaylistFlow, ShortLinkWithWordsAroundIsFollowedAndListed) {
    Click(app::kImportQQ);
    EXPECT_EQ(model.text(app::kPlaylistLink), "请输入QQ音乐分享的链接。");
    Import(app::kImportQQ, "分享歌单《夏日》" + Url("/share/qq/s/8001") + " 快来听！");
    EXPECT_TRUE(MessageBoxes().empty()) << LastBoxText();
    EXPECT_EQ(model.rowCount(app::kResultList), 12);
    EXPECT_TRUE(ctx->playlistMode.load());
    EXPECT_FALSE(model.visible(app::kPlaylistPanel));
    EXPECT_FALSE(model.visible(app::kLoading));
    EXPECT_FALSE(model.visible(app::kPlaylistWait));
    EXPECT_FALSE(model.menuItem(app::kTrackMenu, search::kMenuDownloadAll)->disabled);
    EXPECT_EQ(ctx->sources.Current(), catalogue.SongBase() + "qq/");
    // The short link is asked twice; its target once per follow too.
    EXPECT_EQ(catalogue.stats().Count("/share/qq/s/8001"), 2);
    auto list = catalogue.stats().Last(Endpoint::kPlaylist);
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(list->target, "/song/qq/?type=list&id=8001");
}

TEST_F(PlaylistFlow, FortyFiveSongsWithQuotesAndSingersInOneStep) {
    int searchesBefore = catalogue.stats().Count(Endpoint::kSearch);
    Import(app::kImportNetEase, Url("/share/wy/s/7045"));
    ASSERT_EQ(model.rowCount(app::kResultList), 45) << LastBoxText();
    EXPECT_EQ(model.cellText(app::kResultList, 0, 0), "01");
    EXPECT_EQ(model.cellText(app::kResultList, 44, 0), "45");

    const auto& songs = catalogue.songs();
    auto song = [&](int id) { return songs.at(static_cast<size_t>(id - 1)); };
    // First song: its album's inner quotes show as "*".
    std::string album = song(5).album;
    for (char& c : album)
        if (c == '"') c = '*';
    EXPECT_EQ(ctx->playlist.at(0).album, album);
    EXPECT_NE(album, song(5).album) << "the demo's first song should carry a quote";
    // Two or more singers become one text joined by commas, with the trailing space.
    bool sawSeveral = false;
    for (size_t i = 0; i < ctx->playlist.size(); ++i) {
        if (ctx->playlist[i].singer.find(',') == std::string::npos) continue;
        sawSeveral = true;
        EXPECT_EQ(ctx->playlist[i].singer.back(), ' ');
    }
    EXPECT_TRUE(sawSeveral);
    // Best tier by mid: a song without a lossless mid but with a high one gets the high badge.
    bool sawHigh = false;
    for (size_t i = 0; i < ctx->playlist.size(); ++i) {
        const auto& t = ctx->playlist[i];
        if (t.mid[2].empty() && !t.mid[1].empty()) {
            sawHigh = true;
            EXPECT_EQ(t.bestTier, 1);
            EXPECT_EQ(model.cellIcon(app::kResultList, static_cast<int>(i), 1), app::kImgBadgeHigh);
        }
    }
    EXPECT_TRUE(sawHigh);

    // Playlist mode: scrolling past the end asks no further page.
    Fire(app::kResultList, EventType::ScrolledPastEnd);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(catalogue.stats().Count(Endpoint::kSearch), searchesBefore);
    EXPECT_EQ(model.rowCount(app::kResultList), 45);
}

TEST_F(PlaylistFlow, KugouCodeGoesAsPastedWithoutAnyShareRequest) {
    Import(app::kImportKugou, " 1234567 ");
    EXPECT_EQ(model.rowCount(app::kResultList), 8) << LastBoxText();
    EXPECT_EQ(catalogue.stats().Count(Endpoint::kShare), 0);
    auto list = catalogue.stats().Last(Endpoint::kPlaylist);
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(list->target, "/song/kg/?type=list&id=%201234567%20") << "spaces travel encoded";
}

TEST_F(PlaylistFlow, FailuresAreShownAndTheWindowStaysUsable) {
    {
        SCOPED_TRACE("no address in the pasted text");
        Import(app::kImportNetEase, "just some words");
        EXPECT_EQ(LastBoxText(), "code:404|未找到歌单链接！\r\n请确认复制内容是否存在http、https链接地址！");
        EXPECT_TRUE(model.visible(app::kPlaylistPanel)) << "the panel stays open";
        EXPECT_EQ(catalogue.stats().Count(Endpoint::kPlaylist), 0);
    }
    {
        SCOPED_TRACE("the address holds no id");
        Import(app::kImportNetEase, Url("/share/wy/playlist?userid=5"));
        EXPECT_EQ(LastBoxText(), "code:404|解析歌单失败，请重试！\r\n或检查复制内容是否正确！");
        EXPECT_FALSE(model.visible(app::kLoading));
        EXPECT_FALSE(model.visible(app::kPlaylistWait));
    }
    {
        SCOPED_TRACE("the playlist does not exist: the service's code and msg");
        Import(app::kImportQQ, Url("/share/qq/playlist?id=999"));
        EXPECT_EQ(LastBoxText(), "404|歌单不存在");
        EXPECT_EQ(model.rowCount(app::kResultList), 0);
    }
    {
        SCOPED_TRACE("a body that is no JSON");
        democat::Fault f;
        f.body = democat::BodyKind::kHtml;
        catalogue.faults().Set(Endpoint::kPlaylist, f);
        Import(app::kImportKuwo, Url("/share/kw/s/2907"));
        EXPECT_EQ(LastBoxText(), "code:404|解析歌单失败，请重试！\r\n晚点再试试吧？");
        catalogue.faults().ClearAll();
    }
}

TEST_F(PlaylistFlow, FailedImportAfterAnImportLeavesNoRowToActOn) {
    Import(app::kImportQQ, Url("/share/qq/s/8001"));
    ASSERT_EQ(model.rowCount(app::kResultList), 12);
    Import(app::kImportQQ, Url("/share/qq/playlist?id=999"));
    EXPECT_EQ(model.rowCount(app::kResultList), 0);
    EXPECT_TRUE(ctx->playlist.empty());
    int addressesBefore = catalogue.stats().Count(Endpoint::kTrackAddress);
    Fire(app::kResultList, EventType::RowRightClick, 3);
    Menu(app::kTrackMenu, search::kMenuTierStandard);
    Menu(app::kTrackMenu, search::kMenuDownloadOne);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(catalogue.stats().Count(Endpoint::kTrackAddress), addressesBefore);
    EXPECT_EQ(model.rowCount(app::kDownloadList), 0);
}

TEST_F(PlaylistFlow, DownloadOfAPlaylistRowAsksThePlaylistBase) {
    Import(app::kImportKuwo, Url("/share/kw/s/2907"));
    ASSERT_EQ(model.rowCount(app::kResultList), 10) << LastBoxText();
    Fire(app::kResultList, EventType::RowRightClick, 0);
    Menu(app::kTrackMenu, search::kMenuTierStandard);
    ASSERT_TRUE(WaitIdle());
    auto post = catalogue.stats().Last(Endpoint::kTrackAddress);
    ASSERT_TRUE(post.has_value());
    EXPECT_EQ(post->path, "/song/kw/");
    EXPECT_EQ(model.rowCount(app::kDownloadList), 1);
}

TEST_F(PlaylistFlow, TipsAndClosingThePanel) {
    Fire(app::kImportKugou, EventType::MouseEnter);
    EXPECT_TRUE(model.tip().shown);
    EXPECT_EQ(model.tip().text, "我是酷狗！\r\n\r\n复制好歌单链接点我，懂我意思吧？");
    Fire(app::kImportKugou, EventType::MouseLeave);
    EXPECT_FALSE(model.tip().shown);

    Click(app::kImportKuwo);
    Fire(app::kPlaylistPanel, EventType::WindowClose, 0);
    EXPECT_FALSE(model.visible(app::kPlaylistPanel));
    EXPECT_EQ(model.text(app::kPlaylistLink), "\r\n请输入完整歌单链接\r\n\r\n支持企鹅、网抑云、酷沃歌单");
}

}  // namespace

namespace {

// Runs a shell command and returns its exit status.
int Shell(const std::string& cmd) { return std::system(cmd.c_str()); }

class PlaylistDownloadAll : public PlaylistFlow {
protected:
    // Downloads every row of the 45-song playlist and checks each file.
    void DownloadAll(bool bestTier) {
        Import(app::kImportNetEase, Url("/share/wy/s/7045"));
        ASSERT_EQ(model.rowCount(app::kResultList), 45) << LastBoxText();
        model.setChecked(app::kPlaylistBestTier, bestTier);
        Menu(app::kTrackMenu, search::kMenuDownloadAll);
        ASSERT_TRUE(WaitIdle(std::chrono::seconds(240)));
        ASSERT_EQ(model.rowCount(app::kDownloadList), 45);

        int expectFlac = 0, expectMp3 = 0, expectFailed = 0;
        for (const auto& t : ctx->playlist) {
            int tier = bestTier ? t.bestTier : 0;
            if (t.mid[static_cast<size_t>(tier)].empty()) ++expectFailed;
            else if (tier == 2) ++expectFlac;
            else ++expectMp3;
        }
        int done = 0;
        for (int r = 0; r < 45; ++r) done += model.cellText(app::kDownloadList, r, 1) == "下载完成";
        EXPECT_EQ(done, expectFlac + expectMp3);

        int flac = 0, mp3 = 0;
        std::string flacs;
        for (const auto& e : std::filesystem::directory_iterator(saveDir)) {
            std::string p = e.path().string();
            if (e.path().extension() == ".flac") {
                ++flac;
                flacs += " '" + p + "'";
            } else if (e.path().extension() == ".mp3") {
                ++mp3;
            } else if (e.path().extension() != ".m3u8") {  // the playlist file
                ADD_FAILURE() << "unexpected file " << p;
            }
        }
        EXPECT_EQ(flac, expectFlac);
        EXPECT_EQ(mp3, expectMp3);
        if (flac) {
            EXPECT_EQ(Shell("flac -t -s" + flacs), 0);
        }
        ExpectEveryFileHasItsCover();
    }

    // Every written file, read by mutagen: its front cover is there exactly
    // when the song's record got a cover picture, and its title is there.
    void ExpectEveryFileHasItsCover() {
        std::map<std::string, bool> coverOf;  // the row's name -> its record has a cover
        for (const auto& t : ctx->playlist) coverOf[download::BaseName(t.title, t.singer, 0)] = !t.cover.empty();
        int withCover = 0, checked = 0;
        for (int r = 0; r < model.rowCount(app::kDownloadList); ++r) {
            const std::string path = download::RememberedFile(*ctx, r);
            if (path.empty()) continue;  // a row that failed wrote nothing
            const std::string text = model.cellText(app::kDownloadList, r, 0);
            const std::string name = text.substr(0, text.find("\r\n"));
            SCOPED_TRACE(path);
            ASSERT_TRUE(coverOf.count(name)) << name;
            const std::string tags = TagsOf(path);
            EXPECT_NE(tags.find("title "), std::string::npos) << tags;
            EXPECT_EQ(tags.find("cover 3") != std::string::npos, coverOf[name]) << tags;
            withCover += coverOf[name];
            ++checked;
        }
        int audioFiles = 0;
        for (const auto& e : std::filesystem::directory_iterator(saveDir)) {
            audioFiles += e.path().extension() != ".m3u8";
        }
        EXPECT_EQ(checked, audioFiles);
        EXPECT_GT(withCover, 0);
    }

    // "title ok" (title and, for MP3, copyright) and "cover <picture type>"
    // lines of one file, by mutagen.
    static std::string TagsOf(const std::string& path) {
        const std::string cmd =
            "/usr/bin/python3 -c \"import os, mutagen, mutagen.id3\n"
            "f = mutagen.File(os.environ['MM_TAGGED_FILE'])\n"
            "if isinstance(f.tags, mutagen.id3.ID3):\n"
            "    pics = [p.type for p in f.tags.getall('APIC')]\n"
            "    title = f.tags.getall('TIT2') and f.tags.getall('TCOP')\n"
            "else:\n"
            "    pics = [p.type for p in f.pictures]\n"
            "    title = f.tags.get('TITLE') if f.tags else None\n"
            "print('title ok' if title else 'no title')\n"
            "for t in pics: print('cover', int(t))\n\"";
        // The path travels outside the command line: no quoting to get wrong.
        ::setenv("MM_TAGGED_FILE", path.c_str(), 1);
        std::string out;
        if (FILE* p = ::popen(cmd.c_str(), "r")) {
            char buf[256];
            while (std::fgets(buf, sizeof buf, p)) out += buf;
            ::pclose(p);
        }
        return out;
    }
};

TEST_F(PlaylistDownloadAll, BestTierTicked) { DownloadAll(true); }
TEST_F(PlaylistDownloadAll, StandardTier) { DownloadAll(false); }

}  // namespace
