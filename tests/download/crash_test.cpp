// A download killed with SIGKILL never leaves a file under the song's name, and
// the next download of that name succeeds.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "democatalogue/democatalogue.h"
#include "platform/sys/files.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using mm::democat::Tier;

struct Child {
    pid_t pid = -1;
    FILE* out = nullptr;
};

Child Spawn(const std::vector<std::string>& args) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(CRASH_CHILD));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    Child c;
    if (posix_spawn(&c.pid, CRASH_CHILD, &actions, nullptr, argv.data(), environ) != 0) c.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    c.out = fdopen(fds[0], "r");
    return c;
}

std::string ReadLine(FILE* f) {
    char buf[512];
    if (!fgets(buf, sizeof buf, f)) return {};
    std::string s = buf;
    if (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
}

int Wait(Child& c) {
    int status = 0;
    waitpid(c.pid, &status, 0);
    fclose(c.out);
    return status;
}

class CrashTest : public ::testing::Test {
protected:
    CrashTest() {
        char tmpl[] = "/tmp/mm-crash-XXXXXX";
        dir = std::string(mkdtemp(tmpl)) + "/";
        EXPECT_TRUE(catalogue.Start(0));
        song = catalogue.FileOf(2, Tier::kHigh);
        EXPECT_TRUE(song);
        url = catalogue.BaseUrl() + "/audio/0002-h.mp3";
    }
    ~CrashTest() override {
        catalogue.Stop();
        fs::remove_all(dir);
    }

    // The song's name must not exist; whatever else is there is a part file.
    void ExpectNoSongFile() {
        EXPECT_FALSE(mm::sys::PathExists(dir + kName));
        for (auto& e : fs::directory_iterator(dir)) {
            EXPECT_EQ(e.path().filename().string(), std::string(kName) + ".part");
        }
    }

    // A download that is let run to its end (continuing what a record says).
    void DownloadAgainSucceeds(const std::string& resume = {}) {
        catalogue.faults().ClearAll();
        std::vector<std::string> args{dir, url, "mp3", "none"};
        if (!resume.empty()) args.push_back(resume);
        Child c = Spawn(args);
        ASSERT_GT(c.pid, 0);
        EXPECT_EQ(ReadLine(c.out), "下载完成");
        int status = Wait(c);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        std::vector<std::string> names;
        for (auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
        EXPECT_EQ(names, std::vector<std::string>{kName});
        std::string file, server;
        mm::sys::ReadFile(dir + kName, file);
        mm::sys::ReadFile(song->path, server);
        ASSERT_GT(file.size(), server.size());
        EXPECT_EQ(file.substr(0, 3), "ID3");
        EXPECT_EQ(file.substr(file.size() - server.size()), server);
    }

    static constexpr const char* kName = "Crash- Test - Kill Nine .mp3";
    std::string dir;
    std::string url;
    mm::democat::DemoCatalogue catalogue;
    std::optional<mm::democat::AudioFile> song;
};

TEST_F(CrashTest, KilledMidTransferKeepsItsPartFileAndTheRestartResumesIt) {
    mm::democat::Fault slow;
    slow.bytes_per_second = 64 * 1024;
    catalogue.faults().Set(mm::democat::Endpoint::kAudio, slow);
    Child c = Spawn({dir, url, "mp3", "transfer"});
    ASSERT_GT(c.pid, 0);
    ASSERT_EQ(ReadLine(c.out), "transfer");
    // What the history would hold: the answer's size and validators.
    std::string record = ReadLine(c.out);
    ASSERT_EQ(record.rfind("record ", 0), 0u) << record;
    record = record.substr(7);
    // Some of the body, not all of it, is on disk when the kill lands.
    std::string part = dir + kName + ".part";
    for (int i = 0; i < 500 && mm::sys::FileSize(part) <= 0; ++i) std::this_thread::sleep_for(10ms);
    ASSERT_GT(mm::sys::FileSize(part), 0);
    kill(c.pid, SIGKILL);
    int status = Wait(c);
    EXPECT_TRUE(WIFSIGNALED(status));
    const std::int64_t kept = mm::sys::FileSize(part);
    EXPECT_LT(kept, static_cast<std::int64_t>(song->size));
    ExpectNoSongFile();

    // The restart asks only for the rest.
    DownloadAgainSucceeds(record);
    auto audio = catalogue.stats().Requests(mm::democat::Endpoint::kAudio);
    ASSERT_EQ(audio.size(), 2u);
    EXPECT_EQ(audio[1].Header("Range"), "bytes=" + std::to_string(kept) + "-");
    EXPECT_FALSE(audio[1].Header("If-Range").empty());
}

TEST_F(CrashTest, KilledMidTransferWithoutARecordStartsOver) {
    mm::democat::Fault slow;
    slow.bytes_per_second = 64 * 1024;
    catalogue.faults().Set(mm::democat::Endpoint::kAudio, slow);
    Child c = Spawn({dir, url, "mp3", "transfer"});
    ASSERT_GT(c.pid, 0);
    ASSERT_EQ(ReadLine(c.out), "transfer");
    std::string part = dir + kName + ".part";
    for (int i = 0; i < 500 && mm::sys::FileSize(part) <= 0; ++i) std::this_thread::sleep_for(10ms);
    ASSERT_GT(mm::sys::FileSize(part), 0);
    kill(c.pid, SIGKILL);
    Wait(c);
    // A part file nobody recorded is replaced by the next download of that name.
    DownloadAgainSucceeds();
    auto audio = catalogue.stats().Requests(mm::democat::Endpoint::kAudio);
    ASSERT_EQ(audio.size(), 2u);
    EXPECT_EQ(audio[1].Header("Range"), "");
}

TEST_F(CrashTest, KilledWhileTagging) {
    Child c = Spawn({dir, url, "mp3", "tag"});
    ASSERT_GT(c.pid, 0);
    ASSERT_EQ(ReadLine(c.out), "tag");
    kill(c.pid, SIGKILL);
    int status = Wait(c);
    EXPECT_TRUE(WIFSIGNALED(status));
    ExpectNoSongFile();
    EXPECT_TRUE(mm::sys::PathExists(dir + kName + ".part"));
    DownloadAgainSucceeds();
}

}  // namespace
