// The download history across real runs of the program (automation mode, one
// process per run) against one demo catalogue: the list after a restart, a run
// killed mid-transfer or right after a rename, a broken history file and a
// second running copy.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "democatalogue/democatalogue.h"
#include "platform/sys/files.h"
#include "tests/download/program_process.h"

namespace mm::test {
namespace {

namespace fs = std::filesystem;
using democat::Endpoint;
using democat::Tier;
using nlohmann::json;
using namespace std::chrono_literals;

// The audio frames of a FLAC file: what follows its metadata blocks.
std::string FlacFrames(const std::string& file) {
    if (file.compare(0, 4, "fLaC") != 0) return {};
    std::size_t at = 4;
    for (;;) {
        if (at + 4 > file.size()) return {};
        const auto* h = reinterpret_cast<const unsigned char*>(file.data() + at);
        const std::size_t length = (std::size_t{h[1]} << 16) | (std::size_t{h[2]} << 8) | h[3];
        at += 4 + length;
        if (h[0] & 0x80) break;
    }
    return at <= file.size() ? file.substr(at) : std::string();
}

class HistoryRestartTest : public ::testing::Test {
protected:
    HistoryRestartTest() {
        char tmpl[] = "/tmp/mm-restart-XXXXXX";
        dir = mkdtemp(tmpl);
        saveDir = dir + "/save/";
        dataDir = dir + "/data";
        configPath = dir + "/config.ini";
        fs::create_directories(saveDir);
        std::ofstream(configPath) << "[音乐保存路径]\n路径=" << saveDir << "\n";
        EXPECT_TRUE(catalogue.Start(0));
    }
    ~HistoryRestartTest() override {
        catalogue.Stop();
        fs::remove_all(dir);
    }

    std::unique_ptr<ProgramProcess> Run() {
        auto p = std::make_unique<ProgramProcess>(std::vector<std::string>{
            "--config", configPath, "--data-dir", dataDir, "--catalogue", catalogue.BaseUrl()});
        EXPECT_TRUE(p->running());
        EXPECT_TRUE(p->WaitIdle());
        return p;
    }

    // Searches and queues the row titled title in a tier through the track menu.
    static void Queue(ProgramProcess& p, const std::string& keyword, const std::string& title, int tier) {
        p.Send({{"op", "set"}, {"control", "编辑框_搜索歌曲名"}, {"text", keyword}});
        p.Send({{"op", "enter"}, {"control", "编辑框_搜索歌曲名"}});
        json list = p.Dump("列表框_搜索");
        int row = -1;
        for (std::size_t r = 0; r < list["rows"].size(); ++r) {
            if (list["rows"][r][1] == title) row = static_cast<int>(r);
        }
        ASSERT_GE(row, 0) << title;
        p.Send({{"op", "rightclick"}, {"control", "列表框_搜索"}, {"row", row}});
        p.Send({{"op", "menushow"}, {"menu", "菜单_歌曲"}, {"id", 1}});
        p.Send({{"op", "menu"}, {"menu", "菜单_歌曲"}, {"id", 5001 + tier}});
    }

    static std::vector<std::string> Column(const json& list, int col) {
        std::vector<std::string> out;
        for (const auto& row : list["rows"]) out.push_back(row[col]);
        return out;
    }

    std::vector<std::string> PartFiles() const {
        std::vector<std::string> parts;
        for (auto& e : fs::directory_iterator(saveDir)) {
            if (e.path().extension() == ".part") parts.push_back(e.path().string());
        }
        return parts;
    }

    std::string ServerAudio(int song, Tier tier) {
        auto f = catalogue.FileOf(song, tier);
        std::string bytes;
        if (f) sys::ReadFile(f->path, bytes);
        return bytes;
    }

    std::string dir, saveDir, dataDir, configPath;
    democat::DemoCatalogue catalogue;
};

TEST_F(HistoryRestartTest, TheNextRunListsTheHistoryNewestFirstWithTheRightStatuses) {
    {
        auto p = Run();
        Queue(*p, "Morning", "Morning Light", 1);
        ASSERT_TRUE(p->WaitIdle());
        democat::Fault gone;
        gone.http_status = 404;
        catalogue.faults().Set(Endpoint::kAudio, gone);
        Queue(*p, "Morning", "Morning Light", 0);
        ASSERT_TRUE(p->WaitIdle());
        catalogue.faults().ClearAll();
        Queue(*p, "晴天", "晴天里的风", 2);
        json list = p->Dump("列表框_下载");
        ASSERT_EQ(Column(list, 1), (std::vector<std::string>{"下载完成", "下载失败", "下载完成"}));
        int status = p->Close();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    ASSERT_TRUE(fs::remove(saveDir + "晴天里的风 - 林小雨 .flac"));

    auto p = Run();
    json list = p->Dump("列表框_下载");
    EXPECT_EQ(Column(list, 0), (std::vector<std::string>{"晴天里的风 - 林小雨 \r\n[夏日信笺]",
                                                         "Morning Light - Nora Vale \r\n[First Steps]",
                                                         "Morning Light - Nora Vale \r\n[First Steps]"}));
    EXPECT_EQ(Column(list, 1), (std::vector<std::string>{"文件已丢失", "下载失败", "下载完成"}));
    EXPECT_EQ(list["icons"][0][0], "badge_lossless");
    EXPECT_EQ(list["icons"][0][1], "status_missing");
    EXPECT_EQ(list["icons"][2][1], "status_done");
    EXPECT_TRUE(p->MessageBoxes().empty());

    // The listed rows act as this run's: a retry of the failed one.
    p->Send({{"op", "rightclick"}, {"control", "列表框_下载"}, {"row", 1}});
    p->Send({{"op", "menu"}, {"menu", "菜单_下载列表"}, {"id", 13}});
    list = p->Dump("列表框_下载");
    EXPECT_EQ(Column(list, 1), (std::vector<std::string>{"文件已丢失", "下载完成", "下载完成"}));
    p->Close();
}

TEST_F(HistoryRestartTest, ARunKilledMidTransferLeavesAnInterruptedRowThatRetryFinishes) {
    democat::Fault slow;
    slow.bytes_per_second = 64 * 1024;
    catalogue.faults().Set(Endpoint::kAudio, slow);
    {
        auto p = Run();
        Queue(*p, "晴天", "晴天里的风", 2);
        for (int i = 0; i < 3000; ++i) {
            auto parts = PartFiles();
            if (parts.size() == 1 && sys::FileSize(parts[0]) > 64 * 1024) break;
            std::this_thread::sleep_for(10ms);
        }
        ASSERT_EQ(PartFiles().size(), 1u);
        int status = p->Kill();
        EXPECT_TRUE(WIFSIGNALED(status));
    }
    const std::string part = PartFiles().at(0);
    const std::int64_t cut = sys::FileSize(part);
    EXPECT_GT(cut, 0);
    EXPECT_LT(cut, static_cast<std::int64_t>(ServerAudio(1, Tier::kLossless).size()));

    catalogue.faults().ClearAll();
    auto p = Run();
    json list = p->Dump("列表框_下载");
    ASSERT_EQ(Column(list, 1), std::vector<std::string>{"已中断"});
    EXPECT_EQ(list["icons"][0][1], "status_interrupted");
    p->Send({{"op", "rightclick"}, {"control", "列表框_下载"}, {"row", 0}});
    json menu;
    p->Send({{"op", "dump"}, {"menu", "菜单_下载列表"}});
    menu = p->ReadUntil([](const json& l) { return l.contains("dump"); })["dump"];
    std::map<int, bool> enabled;
    for (const auto& item : menu["items"]) enabled[item["id"]] = !item["disabled"].get<bool>();
    EXPECT_TRUE(enabled[13]);   // 重试
    EXPECT_TRUE(enabled[17]);   // 取消
    EXPECT_FALSE(enabled[15]);  // 暂停
    const int audioBefore = catalogue.stats().Count(Endpoint::kAudio);
    p->Send({{"op", "menu"}, {"menu", "菜单_下载列表"}, {"id", 13}});
    list = p->Dump("列表框_下载");
    EXPECT_EQ(Column(list, 1), std::vector<std::string>{"下载完成"});
    ASSERT_TRUE(sys::IsRegularFile(saveDir + "晴天里的风 - 林小雨 .flac"));
    EXPECT_TRUE(PartFiles().empty());
    p->Close();

    // One more audio request, for the rest of the part file only.
    auto audio = catalogue.stats().Requests(Endpoint::kAudio);
    ASSERT_EQ(static_cast<int>(audio.size()), audioBefore + 1);
    EXPECT_EQ(audio.back().Header("Range"), "bytes=" + std::to_string(cut) + "-");
    // The audio is the served file's, byte for byte, behind this program's tags.
    std::string file;
    sys::ReadFile(saveDir + "晴天里的风 - 林小雨 .flac", file);
    const std::string frames = FlacFrames(ServerAudio(1, Tier::kLossless));
    ASSERT_FALSE(frames.empty());
    EXPECT_TRUE(FlacFrames(file) == frames) << "the frames differ";
}

TEST_F(HistoryRestartTest, ARunKilledRightAfterARenameListsTheRowDoneAndDownloadsNothingTwice) {
    democat::Fault slow;
    slow.bytes_per_second = 256 * 1024;
    catalogue.faults().Set(Endpoint::kAudio, slow);
    {
        auto p = Run();
        const int watch = inotify_init1(IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(inotify_add_watch(watch, saveDir.c_str(), IN_MOVED_TO), 0);
        Queue(*p, "晴天", "晴天里的风", 2);
        // The moment the file is renamed into place, before the run can record its end.
        pollfd pfd{watch, POLLIN, 0};
        const bool renamed = poll(&pfd, 1, 60000) == 1;
        const int status = p->Kill();
        close(watch);
        ASSERT_TRUE(renamed);
        EXPECT_TRUE(WIFSIGNALED(status));
    }
    const std::string file = saveDir + "晴天里的风 - 林小雨 .flac";
    ASSERT_TRUE(sys::IsRegularFile(file));

    catalogue.faults().ClearAll();
    const int audioBefore = catalogue.stats().Count(Endpoint::kAudio);
    auto p = Run();
    json list = p->Dump("列表框_下载");
    EXPECT_EQ(Column(list, 1), std::vector<std::string>{"下载完成"});
    EXPECT_EQ(list["icons"][0][1], "status_done");
    p->Send({{"op", "rightclick"}, {"control", "列表框_下载"}, {"row", 0}});
    p->Send({{"op", "menu"}, {"menu", "菜单_下载列表"}, {"id", 14}});  // 全部重试: nothing to retry
    EXPECT_TRUE(p->WaitIdle());
    p->Close();
    EXPECT_EQ(catalogue.stats().Count(Endpoint::kAudio), audioBefore);
    std::vector<std::string> files;
    for (auto& e : fs::directory_iterator(saveDir)) files.push_back(e.path().string());
    EXPECT_EQ(files, std::vector<std::string>{file});
}

TEST_F(HistoryRestartTest, ABrokenHistoryFileIsMovedAsideWithOneMessageAndTheProgramWorks) {
    fs::create_directories(dataDir);
    const std::string junk = "not a database: " + std::string(3000, '#');
    std::ofstream(dataDir + "/library.sqlite3", std::ios::binary) << junk;
    {
        auto p = Run();
        auto boxes = p->MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_NE(boxes[0]["text"].get<std::string>().find("已改名保存"), std::string::npos) << boxes[0];
        Queue(*p, "Morning", "Morning Light", 1);
        json list = p->Dump("列表框_下载");
        EXPECT_EQ(Column(list, 1), std::vector<std::string>{"下载完成"});
        p->Close();
        EXPECT_EQ(p->MessageBoxes().size(), 1u);
    }
    std::vector<std::string> aside;
    for (auto& e : fs::directory_iterator(dataDir)) {
        std::string name = e.path().filename().string();
        if (name.rfind("library.sqlite3.broken-", 0) == 0) aside.push_back(e.path().string());
    }
    ASSERT_EQ(aside.size(), 1u);
    std::string kept;
    sys::ReadFile(aside[0], kept);
    EXPECT_EQ(kept, junk);

    // The fresh file kept this run's download.
    auto p = Run();
    EXPECT_TRUE(p->MessageBoxes().empty());
    EXPECT_EQ(Column(p->Dump("列表框_下载"), 1), std::vector<std::string>{"下载完成"});
    p->Close();
}

TEST_F(HistoryRestartTest, ASecondRunningCopyIsToldAndDoesNotWriteTheHistory) {
    auto first = Run();
    EXPECT_TRUE(first->MessageBoxes().empty());
    {
        auto second = Run();
        auto boxes = second->MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_NE(boxes[0]["text"].get<std::string>().find("另一个运行中"), std::string::npos) << boxes[0];
        // It still downloads, for this run only.
        Queue(*second, "Morning", "Morning Light", 0);
        EXPECT_EQ(Column(second->Dump("列表框_下载"), 1), std::vector<std::string>{"下载完成"});
        second->Close();
    }
    Queue(*first, "晴天", "晴天里的风", 1);
    EXPECT_EQ(Column(first->Dump("列表框_下载"), 1), std::vector<std::string>{"下载完成"});
    first->Close();

    auto third = Run();
    EXPECT_TRUE(third->MessageBoxes().empty());
    EXPECT_EQ(Column(third->Dump("列表框_下载"), 0),
              std::vector<std::string>{"晴天里的风 - 林小雨 \r\n[夏日信笺]"});
    third->Close();
}

}  // namespace
}  // namespace mm::test
