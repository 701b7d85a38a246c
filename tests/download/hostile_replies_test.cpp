// What a misbehaving or hostile catalogue sends, through the whole program:
// titles that would make dangerous or hidden file names, an MP3 whose tag
// claims more bytes than the file holds, and replies of every kind that are
// far larger than any real one.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <stdexcept>

#include "app/control_names.h"
#include "democatalogue/faults.h"
#include "download/address_reply.h"
#include "download/download_rows.h"
#include "platform/net/http_client.h"
#include "platform/sys/files.h"
#include "search/list_lock.h"
#include "tests/download/download_flow_helpers.h"

namespace mm::test {
namespace {

using democat::BodyKind;
using democat::Endpoint;
using democat::Fault;
using democat::Tier;

class HostileReplies : public DownloadFlowTest {
protected:
    // A song of the demo catalogue that has a standard tier.
    static const democat::Song& SomeSong() {
        for (const democat::Song& s : democat::Songs()) {
            if (s.tier(Tier::kStandard).present && s.tier(Tier::kStandard).type == "mp3" && !s.empty_purl &&
                s.has_cover && !s.cover_missing)
                return s;
        }
        throw std::logic_error("no song with a standard tier");
    }
    // Every search answers one item: the song's own tiers under another title.
    void ListAs(const democat::Song& song, const std::string& title, const std::string& singer) {
        Answer(Endpoint::kSearch, SearchReply(song, title, singer));
    }
    void Answer(Endpoint e, std::string body, bool chunked = false) {
        Fault f;
        f.body = BodyKind::kRaw;
        f.raw_body = std::move(body);
        f.chunked = chunked;
        catalogue.faults().Set(e, std::move(f));
    }
    // The same JSON object made n bytes long with spaces after its "{": a
    // reply the program reads like the original when it reads it at all.
    static std::string Padded(std::string json, size_t n) {
        EXPECT_EQ(json.front(), '{');
        json.insert(1, n - json.size(), ' ');
        return json;
    }
    // The catalogue's own answer, fetched as the program would.
    std::string Fetch(const std::string& path, const std::string& form = {}) {
        net::HTTPWebClient client;
        std::string body;
        const std::string url = catalogue.BaseUrl() + path;
        EXPECT_TRUE(form.empty() ? client.Get(url, body, false) : client.Post(url, form, body, false))
            << path;
        return body;
    }
    std::string SearchReply(const democat::Song& song, const std::string& title, const std::string& singer) {
        nlohmann::json quality;
        for (Tier t : democat::kTiers) {
            quality[std::string(1, democat::TierLetter(t))] = {
                {"size", song.tier(t).present ? 1.5 : 0}, {"mid", song.Mid(t)}, {"pmid", song.Pmid(t)}};
        }
        nlohmann::json item = {{"name", title},       {"singer", {singer}},
                               {"album", song.album}, {"pic", catalogue.BaseUrl() + song.CoverPath()},
                               {"time", song.Time()}, {"publish", song.publish},
                               {"quality", quality}};
        return nlohmann::json{{"code", 200}, {"msg", "搜索成功"}, {"data", {item}}}.dump();
    }
    std::vector<std::string> Boxes() {
        std::vector<std::string> out;
        for (const auto& b : MessageBoxes()) out.push_back(b.title + "|" + b.text);
        return out;
    }
};

constexpr size_t kMiB = size_t{1} << 20;

TEST_F(HostileReplies, ControlCharactersAndLeadingDotsNeverReachAFileName) {
    StartProgram();
    const democat::Song& song = SomeSong();
    ListAs(song, "...Baby\nOne\tMore\x7FTime\r", ".hidden\x1B[31m");
    Search("x");
    ASSERT_EQ(model.rowCount(app::kResultList), 1);
    QueueFromTierWindow(0, 0);
    ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));

    // (The list writes each singer followed by a space.)
    const std::string name = "．．．Baby-One-More-Time- - .hidden-[31m ";
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{name + ".mp3"}));
    EXPECT_EQ(Status(0), "下载完成");
    // The row shows the same name as the file.
    const std::string row = model.cellText(app::kDownloadList, 0, 0);
    EXPECT_EQ(row.substr(0, row.find("\r\n")), name);
    EXPECT_EQ(download::RememberedFile(*ctx, 0), saveDir + name + ".mp3");
}

TEST_F(HostileReplies, AnMp3WhoseTagIsLongerThanTheFileIsKeptWhole) {
    std::string corrupt;
    ASSERT_TRUE(sys::ReadFile(std::string(MM_TEST_DATA) + "/corrupt/id3_tag_size_past_file.mp3", corrupt));
    Answer(Endpoint::kAudio, corrupt);
    StartProgram();
    const democat::Song& song = SomeSong();
    ListAs(song, "Kept", "Whole");
    Search("x");
    QueueFromTierWindow(0, 0);
    ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));

    // Tagging was refused, the audio arrived and is kept as it came.
    EXPECT_EQ(Status(0), "完成,写入封面失败.");
    ASSERT_EQ(SavedNames(), (std::vector<std::string>{"Kept - Whole .mp3"}));
    EXPECT_EQ(Saved("Kept - Whole .mp3"), corrupt);
}

TEST_F(HostileReplies, OversizedCoversAreDroppedAndTheListStays) {
    StartProgram();
    const democat::Song& song = SomeSong();
    ListAs(song, "Cover", "Big");
    auto cover = [&] {
        auto lock = search::LockList(ctx->listLock, search::kTaskLockWait);
        EXPECT_TRUE(lock);
        return ctx->searchResults.empty() ? std::string("no row") : ctx->searchResults[0].cover;
    };
    Search("x");
    EXPECT_FALSE(cover().empty()) << "the cover as the catalogue has it";

    Answer(Endpoint::kCover, std::string(16 * kMiB + 1, '\xFF'));
    Search("x");
    ASSERT_EQ(model.rowCount(app::kResultList), 1);
    EXPECT_EQ(cover(), "");
    EXPECT_TRUE(MessageBoxes().empty());
}

// (Where the cap lies exactly, and a reply whose length is not announced, is
// the HTTP client's own test; here each kind takes its failure path.)
TEST_F(HostileReplies, OversizedSearchRepliesFailLikeAnyUnreadableReply) {
    StartProgram();
    const std::string reply = SearchReply(SomeSong(), "Padded", "Reply");
    Answer(Endpoint::kSearch, Padded(reply, 32 * kMiB + 1));
    Search("x");
    EXPECT_EQ(model.rowCount(app::kResultList), 0);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"code:404|搜索失败\r\n\r\n换个音源试试吧！"}));
    // The same reply of a normal size is listed.
    Answer(Endpoint::kSearch, reply);
    Search("x");
    EXPECT_EQ(model.rowCount(app::kResultList), 1);
    EXPECT_EQ(Boxes().size(), 1u);
}

TEST_F(HostileReplies, AnOversizedAddressReplyIsAFailedConnection) {
    StartProgram();
    const democat::Song& song = SomeSong();
    ListAs(song, "Address", "Big");
    Search("x");
    const std::string reply =
        Fetch("/song/wy/?type=song",
              download::AddressFormBody(song.Mid(Tier::kStandard), song.Pmid(Tier::kStandard), 0));
    Answer(Endpoint::kTrackAddress, Padded(reply, kMiB + 1));
    QueueFromTierWindow(0, 0);
    ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));
    // As with a connection that failed: the box says so, nothing is written.
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"code:886|数据获取失败，请检查网络连接！"}));
    EXPECT_TRUE(SavedNames().empty());

    // At the cap the same reply is read and the song downloaded.
    Answer(Endpoint::kTrackAddress, Padded(reply, kMiB));
    QueueFromTierWindow(0, 0);
    ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));
    EXPECT_EQ(Status(1), "下载完成");
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{"Address - Big .mp3"}));
}

TEST_F(HostileReplies, OversizedStartUpRepliesTakeTheirOwnFailurePaths) {
    // A notice of a newer version, and the real source list, each padded past
    // its cap: the notice counts as unreachable (start-up goes on quietly),
    // the source list as failed.
    democat::UpdateNotice notice;
    notice.version = "9.9";
    notice.msg = "新版本";
    catalogue.faults().SetUpdateNotice(notice);
    Answer(Endpoint::kUpdate, Padded(Fetch("/VOKA/voka.json"), kMiB + 1));
    Answer(Endpoint::kSourceList, Padded(Fetch("/api/source.php"), 32 * kMiB + 1));
    StartProgram();
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].substr(0, Boxes()[0].find("\r\n")), "code:404|获取音源失败！");
    EXPECT_EQ(model.comboCount(app::kSourceCombo), 0);
}

TEST_F(HostileReplies, AnUpdateNoticeAtItsCapIsRead) {
    democat::UpdateNotice notice;
    notice.version = "9.9";
    notice.msg = "新版本";
    catalogue.faults().SetUpdateNotice(notice);
    Answer(Endpoint::kUpdate, Padded(Fetch("/VOKA/voka.json"), kMiB));
    StartProgram();
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"code:666|新版本"}));
    EXPECT_EQ(model.comboCount(app::kSourceCombo), 5);
}

TEST_F(HostileReplies, AnOversizedPlaylistIsABadReply) {
    StartProgram();
    const std::string reply = Fetch("/song/kg/?type=list&id=1234567");
    for (bool oversized : {true, false}) {
        Answer(Endpoint::kPlaylist, oversized ? Padded(reply, 32 * kMiB + 1) : reply);
        Click(app::kImportKugou);
        model.setText(app::kPlaylistLink, "1234567");
        Click(app::kPlaylistImport);
        ASSERT_TRUE(WaitIdle());
        if (oversized) {
            EXPECT_EQ(Boxes(),
                      (std::vector<std::string>{"code:404|解析歌单失败，请重试！\r\n晚点再试试吧？"}));
            EXPECT_EQ(model.rowCount(app::kResultList), 0);
        } else {
            EXPECT_EQ(model.rowCount(app::kResultList), 8) << "the same reply of a normal size is listed";
        }
    }
}

}  // namespace
}  // namespace mm::test
