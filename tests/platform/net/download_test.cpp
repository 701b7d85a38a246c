// Downloads to a file against a real server on 127.0.0.1: progress, whole and
// cut bodies, stalls, write failures.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/net/http_client.h"
#include "tests/platform/net/test_server.h"

namespace mm::net {
namespace {

using test::Connection;
using test::Request;
using test::response;
using test::TestServer;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

std::string payload(size_t size) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
    return s;
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct ProgressCall {
    int tag;
    std::int64_t now, total;
};

class DownloadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        HTTPWebClient::SetDefaultTimeouts(2, 1);
        dir_ = fs::temp_directory_path() / ("mm_net_dl_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        HTTPWebClient::SetDefaultTimeouts(0, 0);
        fs::remove_all(dir_);
    }
    fs::path dir_;
};

TEST_F(DownloadTest, WritesTheBodyAndReportsProgressWithTheTag) {
    const std::string body = payload(3 << 20);
    TestServer server([&](const Request&, Connection& c) {
        return c.send(response(200, "OK", body, "Content-Type: audio/mpeg\r\n"));
    });
    const fs::path target = dir_ / "song.mp3.part";
    {
        std::ofstream old(target, std::ios::binary);
        old << std::string(5 << 20, 'o');  // a longer leftover must not survive
    }
    HTTPWebClient client;
    client.SetupTimeout(0, 60);
    client.SetTag(7);
    std::vector<ProgressCall> calls;
    ASSERT_TRUE(client.Download(server.url("/a.mp3"), target.string(),
                                [&](int tag, std::int64_t now, std::int64_t total) {
                                    calls.push_back({tag, now, total});
                                    return true;
                                }));
    EXPECT_EQ(client.GetRepoHTTPCode(), 200);
    EXPECT_TRUE(readFile(target) == body);
    ASSERT_FALSE(calls.empty());
    std::int64_t last = -1;
    for (const auto& c : calls) {
        EXPECT_EQ(c.tag, 7);
        EXPECT_GE(c.now, last);
        EXPECT_TRUE(c.total == -1 || c.total == static_cast<std::int64_t>(body.size()));
        last = c.now;
    }
    EXPECT_EQ(calls.back().now, static_cast<std::int64_t>(body.size()));
    EXPECT_EQ(calls.back().total, static_cast<std::int64_t>(body.size()));
}

TEST_F(DownloadTest, UnknownLengthIsReportedAsMinusOne) {
    const std::string body = payload(100000);
    TestServer server([&](const Request&, Connection& c) {
        std::string r = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
        for (size_t at = 0; at < body.size(); at += 30000) {
            const std::string part = body.substr(at, 30000);
            std::ostringstream size;
            size << std::hex << part.size();
            r += size.str() + "\r\n" + part + "\r\n";
        }
        return c.send(r + "0\r\n\r\n");
    });
    HTTPWebClient client;
    std::vector<ProgressCall> calls;
    ASSERT_TRUE(client.Download(server.url("/c"), (dir_ / "c").string(),
                                [&](int tag, std::int64_t now, std::int64_t total) {
                                    calls.push_back({tag, now, total});
                                    return true;
                                }));
    EXPECT_TRUE(readFile(dir_ / "c") == body);
    ASSERT_FALSE(calls.empty());
    for (const auto& c : calls) EXPECT_EQ(c.total, -1);
    EXPECT_EQ(calls.back().now, static_cast<std::int64_t>(body.size()));
}

TEST_F(DownloadTest, AnErrorPageIsNotWrittenAsTheFile) {
    TestServer server([](const Request&, Connection& c) {
        return c.send(response(404, "Not Found", "<html>expired address</html>"));
    });
    HTTPWebClient client;
    bool called = false;
    EXPECT_FALSE(
        client.Download(server.url("/expired"), (dir_ / "e").string(), [&](int, std::int64_t, std::int64_t) {
            called = true;
            return true;
        }));
    EXPECT_EQ(client.GetRepoHTTPCode(), 404);
    EXPECT_EQ(readFile(dir_ / "e"), "");
    EXPECT_FALSE(called);
}

TEST_F(DownloadTest, ABodyCutShortFails) {
    const std::string body = payload(200000);
    TestServer server([&](const Request& req, Connection& c) {
        c.send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
               body.substr(0, 50000));
        if (req.target == "/reset") c.reset();
        return false;  // closes the connection early
    });
    HTTPWebClient client;
    for (const char* path : {"/reset", "/close"}) {
        SCOPED_TRACE(path);
        const auto start = Clock::now();
        EXPECT_FALSE(client.Download(server.url(path), (dir_ / "cut").string()));
        EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 2.0);
        EXPECT_FALSE(client.LastError().empty());
        EXPECT_LE(fs::file_size(dir_ / "cut"), 50000u);
    }
}

TEST_F(DownloadTest, AStalledServerEndsInATimeOut) {
    TestServer server([](const Request&, Connection& c) {
        c.send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(20000, 'x'));
        c.waitClosed(15000);
        return false;
    });
    HTTPWebClient client;
    client.SetupTimeout(0, 1);  // the download job's rule, with 1 s instead of 60
    const auto start = Clock::now();
    EXPECT_FALSE(client.Download(server.url("/stall"), (dir_ / "s").string()));
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_GE(took, 0.9);
    EXPECT_LT(took, 4.0);
}

TEST_F(DownloadTest, ASlowDownloadThatKeepsFlowingIsNotCut) {
    const std::string body = payload(14 * 1024);
    TestServer server([&](const Request&, Connection& c) {
        c.send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n");
        for (size_t at = 0; at < body.size(); at += 1024) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (!c.send(body.substr(at, 1024))) return false;
        }
        return true;
    });
    HTTPWebClient client;
    client.SetupTimeout(0, 1);  // 1 s without data, while the whole takes ~2.8 s
    const auto start = Clock::now();
    ASSERT_TRUE(client.Download(server.url("/slow"), (dir_ / "slow").string())) << client.LastError();
    EXPECT_GT(std::chrono::duration<double>(Clock::now() - start).count(), 2.0);
    EXPECT_TRUE(readFile(dir_ / "slow") == body);
}

TEST_F(DownloadTest, TheProgressCallbackCanAbort) {
    const std::string body = payload(2 << 20);
    TestServer server([&](const Request&, Connection& c) {
        c.send(response(200, "OK", body));
        return false;
    });
    HTTPWebClient client;
    int calls = 0;
    EXPECT_FALSE(client.Download(server.url("/big"), (dir_ / "abort").string(),
                                 [&](int, std::int64_t now, std::int64_t) {
                                     ++calls;
                                     return now == 0;
                                 }));
    EXPECT_GE(calls, 1);
    EXPECT_LT(fs::file_size(dir_ / "abort"), body.size());
}

TEST_F(DownloadTest, WriteFailuresAreFailures) {
    TestServer server(
        [](const Request&, Connection& c) { return c.send(response(200, "OK", payload(300000))); });
    HTTPWebClient client;
    // /dev/full accepts the open and fails every write with ENOSPC: a full disk.
    EXPECT_FALSE(client.Download(server.url("/f"), "/dev/full"));
    EXPECT_FALSE(client.LastError().empty());

    const int servedBefore = server.requestsServed();
    EXPECT_FALSE(client.Download(server.url("/f"), (dir_ / "no-such-folder" / "x.mp3").string()));
    EXPECT_EQ(client.GetRepoHTTPCode(), 0);
    EXPECT_EQ(server.requestsServed(), servedBefore) << "no request when the file cannot be opened";
}

}  // namespace
}  // namespace mm::net
