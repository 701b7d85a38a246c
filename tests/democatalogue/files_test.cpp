// The audio files, checked by independent readers, and the song cache.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>

#include "democatalogue/democatalogue.h"
#include "test_support.h"

namespace mm::democat {
namespace {

using test::Quote;
using test::RunCommand;
using test::RunResult;

// Songs of every kind: all tiers, the 60 s one, partial tiers, the fake FLAC.
const int kChecked[] = {1, 13, 15, 18, 23};

TEST(DemoFiles, FlacFilesPassFlacTestAndHoldTheirLength) {
    for (int id : kChecked) {
        const Song& s = *FindSong(id);
        if (!s.tier(Tier::kLossless).present || s.tier(Tier::kLossless).codec != Codec::kFlac) continue;
        auto f = test::Shared().FileOf(id, Tier::kLossless);
        ASSERT_TRUE(f);
        RunResult t = RunCommand("flac -t -s " + Quote(f->path));
        EXPECT_EQ(t.exit_code, 0) << t.output;
        RunResult info =
            RunCommand("metaflac --show-total-samples --show-sample-rate --show-channels " + Quote(f->path));
        EXPECT_EQ(info.output, std::to_string(s.seconds * 44100) + "\n44100\n2\n") << s.title;
        EXPECT_EQ(f->size, std::filesystem::file_size(f->path));
    }
}

TEST(DemoFiles, Mp3FilesDecodeAndAreConstantBitRate) {
    for (int id : kChecked) {
        const Song& s = *FindSong(id);
        for (Tier t : kTiers) {
            const TierSpec& spec = s.tier(t);
            if (!spec.present || spec.codec == Codec::kFlac) continue;
            auto f = test::Shared().FileOf(id, t);
            ASSERT_TRUE(f);
            RunResult dec = RunCommand("mpg123 -q -t " + Quote(f->path));
            EXPECT_EQ(dec.exit_code, 0) << dec.output;
            EXPECT_EQ(dec.output, "") << "mpg123 complained about " << f->path;
            RunResult m = RunCommand(
                "/usr/bin/python3 -c \"import sys, mutagen.mp3; a = mutagen.mp3.MP3(sys.argv[1]).info; "
                "print(a.bitrate, a.sample_rate, a.channels, a.bitrate_mode, round(a.length, 1))\" " +
                Quote(f->path));
            ASSERT_EQ(m.exit_code, 0) << m.output;
            int kbps = spec.codec == Codec::kMp3_320 ? 320 : 128;
            // Without an Info frame mutagen cannot tell CBR for sure: its mode reads UNKNOWN (0).
            EXPECT_EQ(m.output.substr(0, m.output.rfind(' ')),
                      std::to_string(kbps * 1000) + " 44100 2 BitrateMode.UNKNOWN")
                << s.title;
            double length = std::stod(m.output.substr(m.output.rfind(' ')));
            EXPECT_NEAR(length, s.seconds, 0.2) << s.title;
            // Constant bit rate: the size follows from the length.
            EXPECT_NEAR(double(f->size), kbps * 1000 / 8.0 * s.seconds, kbps * 1000 / 8.0 * 0.2);
        }
    }
}

TEST(DemoCache, FilesAreMadeOnceAndReusedByTheNextRun) {
    test::TempDir dir;
    std::string bytes;
    {
        DemoCatalogue c(Options{.cache_dir = dir.path(), .background_workers = 0});
        ASSERT_TRUE(c.Start());
        // Eight clients ask for one uncached song at once.
        std::vector<std::string> bodies(8);
        std::vector<std::thread> threads;
        for (auto& body : bodies) {
            threads.emplace_back([&c, &body] {
                auto res = test::ClientFor(c)->Get(FindSong(11)->AudioPath(Tier::kStandard).c_str());
                if (res && res->status == 200) body = res->body;
            });
        }
        for (auto& t : threads) t.join();
        EXPECT_EQ(c.stats().Encodes(), 1);
        for (const auto& b : bodies) EXPECT_EQ(b, bodies[0]);
        bytes = bodies[0];
        EXPECT_GT(bytes.size(), 100000u);
    }
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        names.push_back(e.path().filename().string());
    }
    ASSERT_EQ(names.size(), 1u) << "one tier, one file, no temporary left behind";
    EXPECT_EQ(names[0].substr(0, 5), "0011-");

    DemoCatalogue again(Options{.cache_dir = dir.path(), .background_workers = 0});
    ASSERT_TRUE(again.Start());
    auto res = test::ClientFor(again)->Get(FindSong(11)->AudioPath(Tier::kStandard).c_str());
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body, bytes);
    EXPECT_EQ(again.stats().Encodes(), 0);
}

TEST(DemoCache, BackgroundWorkersFillTheCacheWithoutRequests) {
    test::TempDir dir;
    DemoCatalogue c(Options{.cache_dir = dir.path(), .background_workers = 1});
    ASSERT_TRUE(c.Start());
    // A wait, not a measure: one song is encoded in seconds, much slower
    // under a thread checker on a busy machine.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(600);
    while (c.stats().Encodes() < 1 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_GE(c.stats().Encodes(), 1);
    c.Stop();  // cancels whatever it is encoding
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_EQ(e.path().filename().string().find(".tmp."), std::string::npos) << e.path();
    }
}

TEST(DemoProgram, PrintsItsAddressServesAndStopsOnSigterm) {
    test::TempDir dir;
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::execl(MM_DEMOCAT_EXE, MM_DEMOCAT_EXE, "--port", "0", "--cache", dir.path().c_str(), "--workers",
                "0", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    std::string line;
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(out[0]);
    ASSERT_EQ(line.rfind("http://127.0.0.1:", 0), 0u) << line;
    int port = std::stoi(line.substr(17));
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(120, 0);
    auto res = client.Get("/api/source.php");
    ASSERT_TRUE(res);
    auto j = nlohmann::json::parse(res->body);
    EXPECT_EQ(j["list"][0]["url"], line + "/song/wy/");

    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace mm::democat
