// The desktop helpers with the launcher and the desktop bus replaced, so the
// exact calls are checked without a desktop; and the real launcher on real
// programs.
#include "support/shell.h"

#include "support/desktop_bus.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace mm::support {
namespace {

using Argv = std::vector<std::string>;

// The session bus as a file manager would answer it: records what it was
// asked and answers as told.
class FakeBus : public DesktopBus {
  public:
    bool ShowItems(const std::vector<std::string>& uris) override {
        shown.push_back(uris);
        return fileManager;
    }
    bool Notify(const std::string& summary, const std::string& body) override {
        notes.emplace_back(summary, body);
        return notifier;
    }
    bool fileManager = true;
    bool notifier = true;
    std::vector<std::vector<std::string>> shown;
    std::vector<std::pair<std::string, std::string>> notes;
};

class ShellTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/mm-shell-XXXXXX";
        dir_ = ::mkdtemp(tmpl);
        SetLauncher([this](const Argv& argv) {
            calls_.push_back(argv);
            return results_.empty() ? 0 : results_[std::min(calls_.size(), results_.size()) - 1];
        });
        bus_ = std::make_shared<FakeBus>();
        SetDesktopBus(bus_);
    }
    void TearDown() override {
        SetLauncher(nullptr);
        SetDesktopBus(nullptr);
        std::filesystem::remove_all(dir_);
    }

    std::string dir_;
    std::vector<Argv> calls_;
    std::vector<int> results_;  // exit status of the n-th call
    std::shared_ptr<FakeBus> bus_;
};

TEST_F(ShellTest, ShowsTheFileSelectedThroughTheFileManager) {
    std::string file = dir_ + "/歌手 - 歌名,live.mp3";
    std::ofstream(file) << "x";
    EXPECT_EQ(ShowInFolder(file), Shown::kFileSelected);
    EXPECT_TRUE(calls_.empty()) << "no program is started when the bus answers";
    ASSERT_EQ(bus_->shown.size(), 1u);
    // Space, comma and the UTF-8 bytes are percent-encoded in the URI.
    EXPECT_EQ(bus_->shown[0], (Argv{"file://" + dir_ + "/%E6%AD%8C%E6%89%8B%20-%20%E6%AD%8C%E5%90%8D%2Clive.mp3"}));
}

TEST_F(ShellTest, FallsBackToOpeningTheFolder) {
    std::string file = dir_ + "/a.flac";
    std::ofstream(file) << "x";
    bus_->fileManager = false;  // no file manager answers on the bus; xdg-open works
    EXPECT_EQ(ShowInFolder(file), Shown::kFolderOpened) << "the folder opened, but nothing is selected";
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_EQ(calls_[0], (Argv{"xdg-open", dir_}));

    calls_.clear();
    results_ = {3};
    EXPECT_EQ(ShowInFolder(file), Shown::kNothing) << "neither could be run";

    // Without a session bus at all the folder is opened the same way.
    SetDesktopBus(nullptr);
    calls_.clear();
    results_ = {};
    EXPECT_EQ(ShowInFolder(file), Shown::kFolderOpened);
    EXPECT_EQ(calls_, (std::vector<Argv>{{"xdg-open", dir_}}));

    // A relative path is made absolute before it leaves the program.
    SetDesktopBus(bus_);
    bus_->fileManager = true;
    bus_->shown.clear();
    auto old = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    EXPECT_EQ(ShowInFolder("a.flac"), Shown::kFileSelected);
    std::filesystem::current_path(old);
    ASSERT_EQ(bus_->shown.size(), 1u);
    EXPECT_EQ(bus_->shown[0], (Argv{"file://" + dir_ + "/a.flac"}));
}

TEST_F(ShellTest, NotificationsGoToTheBusOrNowhere) {
    EXPECT_TRUE(Notify("全部下载已结束", "45 首下载完成，2 首失败"));
    ASSERT_EQ(bus_->notes.size(), 1u);
    EXPECT_EQ(bus_->notes[0].second, "45 首下载完成，2 首失败");
    bus_->notifier = false;
    EXPECT_FALSE(Notify("a", "b"));
    SetDesktopBus(nullptr);
    EXPECT_FALSE(Notify("a", "b"));
    EXPECT_TRUE(calls_.empty()) << "no program stands in for a notification service";
}

TEST_F(ShellTest, NothingIsRunForAPathThatDoesNotExist) {
    EXPECT_EQ(ShowInFolder(dir_ + "/missing.mp3"), Shown::kNothing);
    EXPECT_EQ(ShowInFolder(""), Shown::kNothing);
    EXPECT_TRUE(calls_.empty());
    EXPECT_TRUE(bus_->shown.empty());
}

TEST_F(ShellTest, OpenUrlTakesOnlyWebAddresses) {
    EXPECT_EQ(OpenUrl("https://example.com/a?b=c d"), 1);
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_EQ(calls_[0], (Argv{"xdg-open", "https://example.com/a?b=c d"}));
    for (const char* bad : {"--help", "file:///etc/passwd", "javascript:alert(1)", "", "http://a\nb"})
        EXPECT_EQ(OpenUrl(bad), 0) << bad;
    EXPECT_EQ(calls_.size(), 1u);
}

TEST_F(ShellTest, LaunchLogRecordsInsteadOfRunning) {
    std::string log = dir_ + "/launch.log";
    ::setenv("MM_LAUNCH_LOG", log.c_str(), 1);
    EXPECT_EQ(OpenUrl("http://127.0.0.1/x"), 1);
    ::unsetenv("MM_LAUNCH_LOG");
    EXPECT_TRUE(calls_.empty());
    std::ifstream f(log);
    std::string line;
    std::getline(f, line);
    EXPECT_EQ(line, "xdg-open\thttp://127.0.0.1/x");
}

TEST(RunProgramTest, RunsWithoutAShellAndReportsTheExitStatus) {
    EXPECT_EQ(RunProgram({"true"}), 0);
    EXPECT_EQ(RunProgram({"false"}), 1);
    EXPECT_EQ(RunProgram({"sh", "-c", "exit 7"}), 7);
    EXPECT_EQ(RunProgram({"/no/such/program"}), -1);
    EXPECT_EQ(RunProgram({}), -1);
    // An argument with shell syntax is one plain argument.
    char tmpl[] = "/tmp/mm-run-XXXXXX";
    std::string dir = ::mkdtemp(tmpl);
    std::string marker = dir + "/made";
    EXPECT_EQ(RunProgram({"ls", "; touch " + marker}), 2);
    EXPECT_FALSE(std::filesystem::exists(marker));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace mm::support
