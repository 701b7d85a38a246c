// Downloads that survive a cut: resuming with a Range request against the demo
// catalogue, the answers that force a fresh start, pause / continue / cancel,
// and what the content of a file really is.
#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "app/control_names.h"
#include "app/images.h"
#include "download/address_request.h"
#include "download/download_job.h"
#include "download/job_control.h"
#include "platform/sys/files.h"
#include "tests/download/download_flow_helpers.h"

namespace mm::test {
namespace {

using democat::Endpoint;
using democat::Fault;
using democat::Tier;
using download::DownloadSpec;
using download::JobResult;
using download::ResumeRecord;

class ResumeFlowTest : public DownloadFlowTest {
protected:
    ResumeFlowTest() {
        // Byte-for-byte comparisons with the server's files: no tags.
        extraConfig = "[其他设置]\n自动嵌入=0\n";
    }
    // Starts the program and listens to what downloads tell the history.
    void Start() {
        StartProgram();
        download::JobEvents events;
        events.transferring = [this](const DownloadSpec&, const ResumeRecord& r) {
            std::lock_guard lk(mu_);
            transfers_.push_back(r);
        };
        events.finished = [this](const DownloadSpec& spec, const JobResult& result) {
            std::lock_guard lk(mu_);
            ended_.emplace_back(spec, result);
        };
        download::SetJobEvents(*ctx, events);
    }
    std::vector<std::pair<DownloadSpec, JobResult>> Ended() {
        std::lock_guard lk(mu_);
        return ended_;
    }
    std::vector<ResumeRecord> Transfers() {
        std::lock_guard lk(mu_);
        return transfers_;
    }
    // Queues the row's download again from what its last attempt left, as
    // "重试" / "继续" do, and waits for it.
    void Restart(const std::pair<DownloadSpec, JobResult>& last) {
        DownloadSpec spec = last.first;
        spec.resume = last.second.resume;
        ASSERT_TRUE(download::RestartDownload(*ctx, spec));
        ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));
    }
    std::vector<democat::RequestRecord> AudioRequests() {
        return catalogue.stats().Requests(Endpoint::kAudio);
    }
    // Waits until the row's transfer has written some bytes.
    void WaitForBytes(const std::string& part) {
        for (int i = 0; i < 3000 && sys::FileSize(part) <= 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_GT(sys::FileSize(part), 0);
    }

    const std::string kFlac = "晴天里的风 - 林小雨 .flac";

private:
    std::mutex mu_;
    std::vector<std::pair<DownloadSpec, JobResult>> ended_;
    std::vector<ResumeRecord> transfers_;
};

TEST_F(ResumeFlowTest, ATransferResetAt60PercentResumesWithARangeAndEndsByteIdentical) {
    Start();
    Fault reset;
    reset.reset_mid_body = true;
    reset.at_percent = 60;
    reset.times = 1;
    catalogue.faults().Set(Endpoint::kAudio, reset);
    Search("晴天");
    QueueFromTierWindow(ResultRow("晴天里的风"), 2);
    ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));
    EXPECT_EQ(Status(0), "下载失败");
    EXPECT_EQ(model.cellTip(app::kDownloadList, 0, 1), "连接被重置");

    const std::string served = ServerAudio(1, Tier::kLossless);
    auto ended = Ended();
    ASSERT_EQ(ended.size(), 1u);
    const ResumeRecord kept = ended[0].second.resume;
    EXPECT_EQ(kept.partPath, saveDir + kFlac + ".part");
    EXPECT_EQ(kept.total, static_cast<std::int64_t>(served.size()));
    EXPECT_FALSE(kept.etag.empty());
    EXPECT_FALSE(kept.lastModified.empty());
    EXPECT_EQ(kept.bytes, sys::FileSize(kept.partPath));
    ASSERT_GT(kept.bytes, 0);
    ASSERT_LE(kept.bytes, static_cast<std::int64_t>(served.size()) * 60 / 100);
    EXPECT_EQ(Saved(kFlac + ".part"), served.substr(0, static_cast<std::size_t>(kept.bytes)));

    Restart(ended[0]);
    EXPECT_EQ(Status(0), "下载完成");
    EXPECT_EQ(model.cellTip(app::kDownloadList, 0, 1), "");
    EXPECT_EQ(SavedNames(), std::vector<std::string>{kFlac});
    EXPECT_TRUE(Saved(kFlac) == served);
    // A fresh address, then the rest of the file, asked for where the part ends.
    EXPECT_EQ(catalogue.stats().Count(Endpoint::kTrackAddress), 2);
    auto audio = AudioRequests();
    ASSERT_EQ(audio.size(), 2u);
    EXPECT_EQ(audio[0].Header("Range"), "");
    EXPECT_EQ(audio[1].Header("Range"), "bytes=" + std::to_string(kept.bytes) + "-");
    EXPECT_EQ(audio[1].Header("If-Range"), kept.etag);
    ASSERT_EQ(Transfers().size(), 2u);
    EXPECT_EQ(Transfers()[1].bytes, kept.bytes);  // the second answer continued the part
}

TEST_F(ResumeFlowTest, AnswersThatCannotContinueThePartStartFromZeroAndStillEndWhole) {
    Start();
    Search("晴天");
    const int row = ResultRow("晴天里的风");
    Fault reset;
    reset.reset_mid_body = true;
    reset.at_percent = 60;
    reset.times = 1;

    {
        SCOPED_TRACE("a server that ignores Range");
        catalogue.faults().Set(Endpoint::kAudio, reset);
        QueueFromTierWindow(row, 2);
        ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));
        ASSERT_EQ(Status(0), "下载失败");
        Fault ignore;
        ignore.ignore_range = true;
        catalogue.faults().Set(Endpoint::kAudio, ignore);
        Restart(Ended().back());
        EXPECT_EQ(Status(0), "下载完成");
        EXPECT_TRUE(Saved(kFlac) == ServerAudio(1, Tier::kLossless));
        EXPECT_NE(AudioRequests().back().Header("Range"), "");  // asked for the rest …
        EXPECT_EQ(Transfers().back().bytes, 0);                 // … and got the whole file
        EXPECT_EQ(SavedNames(), std::vector<std::string>{kFlac});
    }
    {
        SCOPED_TRACE("the file changed on the server between the two requests");
        catalogue.faults().Set(Endpoint::kAudio, reset);
        QueueFromTierWindow(row, 2);
        ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));
        ASSERT_EQ(Status(1), "下载失败");
        const std::string oldTag = Ended().back().second.resume.etag;
        Fault changed;
        changed.substitute_song = 18;  // another, longer recording under the same address
        changed.substitute_tier = 2;
        catalogue.faults().Set(Endpoint::kAudio, changed);
        Restart(Ended().back());
        EXPECT_EQ(Status(1), "下载完成");
        const auto last = AudioRequests().back();
        EXPECT_EQ(last.Header("If-Range"), oldTag);
        EXPECT_NE(Transfers().back().etag, oldTag);
        EXPECT_EQ(Transfers().back().bytes, 0);
        const auto names = SavedNames();
        ASSERT_EQ(names.size(), 2u) << ::testing::PrintToString(names);
        EXPECT_TRUE(Saved(names[1] == kFlac ? names[0] : names[1]) == ServerAudio(18, Tier::kLossless));
    }
}

TEST_F(ResumeFlowTest, PauseKeepsThePartForContinueAndCancelRemovesIt) {
    Start();
    Search("晴天");
    const int row = ResultRow("晴天里的风");
    Fault slow;
    slow.bytes_per_second = 256 * 1024;
    catalogue.faults().Set(Endpoint::kAudio, slow);
    const std::string part = saveDir + kFlac + ".part";

    QueueFromTierWindow(row, 2);
    WaitForBytes(part);
    ASSERT_TRUE(download::StopDownload(*ctx, 0, download::StopKind::kPause));
    EXPECT_EQ(Status(0), "已暂停");  // at once, before the job has noticed
    ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));
    EXPECT_EQ(Status(0), "已暂停");
    auto ended = Ended();
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].second.end, JobResult::End::kPaused);
    EXPECT_EQ(ended[0].second.resume.partPath, part);
    const std::int64_t paused = sys::FileSize(part);
    EXPECT_GT(paused, 0);
    EXPECT_EQ(ended[0].second.resume.bytes, paused);
    EXPECT_FALSE(download::StopDownload(*ctx, 0, download::StopKind::kCancel)) << "nothing runs to stop";

    catalogue.faults().Clear(Endpoint::kAudio);
    Restart(ended[0]);  // "继续"
    EXPECT_EQ(Status(0), "下载完成");
    EXPECT_TRUE(Saved(kFlac) == ServerAudio(1, Tier::kLossless));
    EXPECT_EQ(AudioRequests().back().Header("Range"), "bytes=" + std::to_string(paused) + "-");

    // Cancelled mid-transfer: the part file goes.
    catalogue.faults().Set(Endpoint::kAudio, slow);
    QueueFromTierWindow(row, 0);
    const std::string part2 = saveDir + "晴天里的风 - 林小雨 .mp3.part";
    WaitForBytes(part2);
    ASSERT_TRUE(download::StopDownload(*ctx, 1, download::StopKind::kCancel));
    EXPECT_EQ(Status(1), "已取消");
    ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));
    EXPECT_EQ(Status(1), "已取消");
    EXPECT_FALSE(sys::PathExists(part2));
    EXPECT_EQ(Ended().back().second.end, JobResult::End::kCancelled);

    // Cancelled while its address request still waits: no transfer at all.
    Fault late;
    late.delay_ms = 20000;
    catalogue.faults().Set(Endpoint::kTrackAddress, late);
    const int audioBefore = catalogue.stats().Count(Endpoint::kAudio);
    const int asked = catalogue.stats().Count(Endpoint::kTrackAddress);
    QueueFromTierWindow(row, 1);
    for (int i = 0; i < 2000 && catalogue.stats().Count(Endpoint::kTrackAddress) == asked; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(model.rowCount(app::kDownloadList), 3);
    ASSERT_TRUE(download::StopDownload(*ctx, 2, download::StopKind::kCancel));
    ASSERT_TRUE(WaitIdle(std::chrono::seconds(15)));  // well before the 20 s answer
    EXPECT_EQ(Status(2), "已取消");
    EXPECT_TRUE(MessageBoxes().empty());
    EXPECT_EQ(catalogue.stats().Count(Endpoint::kAudio), audioBefore);
    EXPECT_EQ(SavedNames(), std::vector<std::string>{kFlac});
}

TEST_F(ResumeFlowTest, TwoTiersQueuedCloseTogetherEachGetTheirOwnFile) {
    Start();
    Search("晴天");
    const int row = ResultRow("晴天里的风");
    // Both address replies land before either job reads anything.
    ctx->downloadPool.Pause();
    QueueFromTierWindow(row, 1);
    for (int i = 0; i < 2000 && ctx->downloadPool.Queued() < 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    QueueFromTierWindow(row, 2);
    for (int i = 0; i < 2000 && ctx->downloadPool.Queued() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(ctx->downloadPool.Queued(), 2);
    ctx->downloadPool.Resume();
    ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));
    EXPECT_EQ(SavedNames(),
              (std::vector<std::string>{"晴天里的风 - 林小雨 .flac", "晴天里的风 - 林小雨 .mp3"}));
    EXPECT_TRUE(Saved("晴天里的风 - 林小雨 .mp3") == ServerAudio(1, Tier::kHigh));
    EXPECT_TRUE(Saved("晴天里的风 - 林小雨 .flac") == ServerAudio(1, Tier::kLossless));
}

TEST_F(ResumeFlowTest, AnHtmlPageSentWith200IsAFailureAndLeavesNoFile) {
    Start();
    Fault html;
    html.body = democat::BodyKind::kHtml;
    catalogue.faults().Set(Endpoint::kAudio, html);
    DownloadByTitle("晴天", "晴天里的风", 1);
    EXPECT_EQ(Status(0), "下载失败");
    EXPECT_EQ(StatusIcon(0), app::kImgStatusFailed);
    EXPECT_EQ(model.cellTip(app::kDownloadList, 0, 1), "服务器发来的不是音频文件");
    EXPECT_TRUE(SavedNames().empty()) << ::testing::PrintToString(SavedNames());
    ASSERT_EQ(Ended().size(), 1u);
    EXPECT_TRUE(Ended()[0].second.resume.partPath.empty());
}

// A mount without renameat2 and hard links (FUSE, exFAT) refuses both.
int RefuseEinval(const char*, const char*) {
    errno = EINVAL;
    return -1;
}
int RefuseEperm(const char*, const char*) {
    errno = EPERM;
    return -1;
}

// Puts the system's calls back however the test ends.
struct RenameCallsGuard {
    ~RenameCallsGuard() { sys::SetRenameCalls(sys::SystemRenameCalls()); }
};

TEST_F(ResumeFlowTest, AMountWithoutNoReplaceRenameOrLinksStillGetsItsFile) {
    Start();
    RenameCallsGuard restore;
    sys::SetRenameCalls({RefuseEinval, RefuseEperm, ::rename});
    DownloadByTitle("晴天", "晴天里的风", 2);
    EXPECT_EQ(Status(0), "下载完成");
    EXPECT_EQ(SavedNames(), std::vector<std::string>{kFlac});
    EXPECT_TRUE(Saved(kFlac) == ServerAudio(1, Tier::kLossless));

    // And when even a plain rename is refused, the whole download stays in its part file.
    sys::SetRenameCalls({RefuseEinval, RefuseEperm, RefuseEperm});
    QueueFromTierWindow(ResultRow("晴天里的风"), 0);
    ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));
    EXPECT_EQ(Status(1), "下载失败");
    EXPECT_EQ(model.cellTip(app::kDownloadList, 1, 1), "无法保存文件: 没有写入权限");
    const std::string part = "晴天里的风 - 林小雨 .mp3.part";
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{kFlac, part}));
    EXPECT_TRUE(Saved(part) == ServerAudio(1, Tier::kStandard));
    EXPECT_EQ(Ended().back().second.resume.partPath, saveDir + part);
}

}  // namespace
}  // namespace mm::test
