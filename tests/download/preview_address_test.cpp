// The preview player's address request: the record is filled, and with
// "边听边下载" on the track is queued as well.
#include <gtest/gtest.h>

#include "app/control_names.h"
#include "app/images.h"
#include "download/address_request.h"
#include "search/list_lock.h"
#include "tests/download/download_flow_helpers.h"

namespace mm::test {
namespace {

class PreviewAddressTest : public DownloadFlowTest {
protected:
    download::PreviewAddress Request(int row1) {
        search::TrackRecord rec;
        {
            auto lk = search::LockList(ctx->listLock, search::kTaskLockWait);
            EXPECT_TRUE(lk);
            rec = ctx->ActiveList()[row1 - 1];
        }
        return download::RequestAddressForPreview(*ctx, rec.mid[0], rec.pmid[0], 0, app::kImgBadgeStandard,
                                                  row1);
    }
    std::string RecordUrl(int row1) {
        auto lk = search::LockList(ctx->listLock, search::kTaskLockWait);
        EXPECT_TRUE(lk);
        return ctx->ActiveList()[row1 - 1].fileUrl;
    }
};

TEST_F(PreviewAddressTest, ListenAndDownloadQueuesTheTrackUnderItsPlainName) {
    StartProgram();
    ASSERT_TRUE(model.checked(app::kCheckListenDownload));
    Click(app::kRadioNaming3);  // the preview's row ignores the naming setting
    Search("Morning");
    auto result = Request(1);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.fileType, "mp3");
    EXPECT_EQ(RecordUrl(1), result.fileUrl);
    EXPECT_EQ(result.downloadRow, 0);
    EXPECT_FALSE(model.visible(app::kAddToDownloadsAnimation));
    ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));
    EXPECT_EQ(model.cellText(app::kDownloadList, 0, 0), "Morning Light - Nora Vale \r\n[First Steps]");
    EXPECT_EQ(model.cellIcon(app::kDownloadList, 0, 0), app::kImgBadgeStandard);
    EXPECT_EQ(Status(0), "下载完成");
    // The job names the file by the setting of the moment.
    EXPECT_EQ(SavedNames(), std::vector<std::string>{"Morning Light.mp3"});
    // Never counted up, so never counted down.
    EXPECT_EQ(model.text(app::kDownloadCount), "0");
}

TEST_F(PreviewAddressTest, WithoutListenAndDownloadOnlyTheRecordChanges) {
    extraConfig = "[其他设置]\n边听边下载=0\n";
    StartProgram();
    Search("Morning");
    auto result = Request(1);
    ASSERT_TRUE(result.ok);
    EXPECT_FALSE(result.fileUrl.empty());
    EXPECT_EQ(result.downloadRow, -1);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(RecordUrl(1), result.fileUrl);
    EXPECT_EQ(model.rowCount(app::kDownloadList), 0);
    EXPECT_TRUE(SavedNames().empty());
}

TEST_F(PreviewAddressTest, FailuresTellThePlayerBarInPlaylistModeAndAlwaysShowABox) {
    StartProgram();
    Search("Morning");
    democat::Fault f;
    f.code = 500;
    f.msg = "版权受限";
    catalogue.faults().Set(democat::Endpoint::kTrackAddress, f);
    EXPECT_FALSE(Request(1).ok);
    EXPECT_EQ(model.text(app::kPlayerTitle), "");

    {
        auto lk = search::LockList(ctx->listLock, search::kTaskLockWait);
        EXPECT_TRUE(lk);
        ctx->playlist = ctx->searchResults;
        ctx->playlistMode = true;
        ctx->listGeneration.fetch_add(1);
    }
    democat::Fault html;
    html.body = democat::BodyKind::kHtml;
    catalogue.faults().Set(democat::Endpoint::kTrackAddress, html);
    EXPECT_FALSE(Request(1).ok);
    EXPECT_EQ(model.text(app::kPlayerTitle), "获取失败！");

    auto boxes = MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].title, "code:500");
    EXPECT_EQ(boxes[0].text, "版权受限");
    EXPECT_EQ(boxes[1].title, "code:886");
    EXPECT_EQ(boxes[1].text, "数据获取失败，请检查网络连接！");
    EXPECT_EQ(RecordUrl(1), "");  // a failed reply leaves the old address
    EXPECT_EQ(model.rowCount(app::kDownloadList), 0);
}

}  // namespace
}  // namespace mm::test
