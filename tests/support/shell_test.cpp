// The desktop helpers with the launcher replaced, so the exact command lines
// are checked without a desktop; and the real launcher on real programs.
#include "support/shell.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace mm::support {
namespace {

using Argv = std::vector<std::string>;

class ShellTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/mm-shell-XXXXXX";
        dir_ = ::mkdtemp(tmpl);
        SetLauncher([this](const Argv& argv) {
            calls_.push_back(argv);
            return results_.empty() ? 0 : results_[std::min(calls_.size(), results_.size()) - 1];
        });
    }
    void TearDown() override {
        SetLauncher(nullptr);
        std::filesystem::remove_all(dir_);
    }

    std::string dir_;
    std::vector<Argv> calls_;
    std::vector<int> results_;  // exit status of the n-th call
};

TEST_F(ShellTest, ShowsTheFileSelectedThroughTheFileManager) {
    std::string file = dir_ + "/歌手 - 歌名,live.mp3";
    std::ofstream(file) << "x";
    EXPECT_EQ(ShowInFolder(file), 1);
    ASSERT_EQ(calls_.size(), 1u);
    const Argv& a = calls_[0];
    ASSERT_EQ(a.size(), 10u);
    EXPECT_EQ(a[0], "dbus-send");
    EXPECT_EQ(a[4], "--dest=org.freedesktop.FileManager1");
    EXPECT_EQ(a[7], "org.freedesktop.FileManager1.ShowItems");
    // Space, comma and the UTF-8 bytes are percent-encoded in the URI.
    EXPECT_EQ(a[8],
              "array:string:file://" + dir_ + "/%E6%AD%8C%E6%89%8B%20-%20%E6%AD%8C%E5%90%8D%2Clive.mp3");
    EXPECT_EQ(a[9], "string:");
}

TEST_F(ShellTest, FallsBackToOpeningTheFolder) {
    std::string file = dir_ + "/a.flac";
    std::ofstream(file) << "x";
    results_ = {1, 0};  // no file manager answers on the bus; xdg-open works
    EXPECT_EQ(ShowInFolder(file), 1);
    ASSERT_EQ(calls_.size(), 2u);
    EXPECT_EQ(calls_[1], (Argv{"xdg-open", dir_}));

    calls_.clear();
    results_ = {1, 3};
    EXPECT_EQ(ShowInFolder(file), 0) << "neither could be run";

    // A relative path is made absolute before it leaves the program.
    calls_.clear();
    results_ = {};
    auto old = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    EXPECT_EQ(ShowInFolder("a.flac"), 1);
    std::filesystem::current_path(old);
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_EQ(calls_[0][8], "array:string:file://" + dir_ + "/a.flac");
}

TEST_F(ShellTest, NothingIsRunForAPathThatDoesNotExist) {
    EXPECT_EQ(ShowInFolder(dir_ + "/missing.mp3"), 0);
    EXPECT_EQ(ShowInFolder(""), 0);
    EXPECT_TRUE(calls_.empty());
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
