// Downloads that continue a part file with a Range request, the answers that
// make them start over, the part file's safety, cancelling, and why a request
// failed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/net/download_file.h"
#include "platform/net/http_client.h"
#include "tests/platform/net/test_server.h"

namespace mm::net {
namespace {

using test::Connection;
using test::Request;
using test::response;
using test::TestServer;
namespace fs = std::filesystem;

std::string payload(size_t size, int seed = 1) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + i / 7 + seed * 17) & 0xFF);
    return s;
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

TEST(ContentRange, ParsesRangesAndRefusesNonsense) {
    detail::ContentRange r;
    ASSERT_TRUE(detail::parseContentRange("bytes 100-199/1000", r));
    EXPECT_EQ(r.first, 100);
    EXPECT_EQ(r.last, 199);
    EXPECT_EQ(r.total, 1000);
    ASSERT_TRUE(detail::parseContentRange("Bytes 0-0/*", r));
    EXPECT_EQ(r.total, -1);
    ASSERT_TRUE(detail::parseContentRange("bytes */5000", r));
    EXPECT_EQ(r.first, -1);
    EXPECT_EQ(r.total, 5000);
    for (const char* bad : {"", "bytes", "bytes 5-4/10", "bytes 0-10/10", "items 0-1/2", "bytes 1-2",
                            "bytes */*", "bytes -1-3/9", "bytes a-b/c"}) {
        EXPECT_FALSE(detail::parseContentRange(bad, r)) << bad;
    }
}

TEST(JudgeAnswer, OnlyAnExactRangeOfTheSameFileContinuesIt) {
    ResumeFrom from{400, 1000, "\"v1\"", "Mon, 01 Jan 2024 00:00:00 GMT"};
    DownloadAnswer a;
    using V = detail::Verdict;
    auto judge = [&](int status, detail::HeaderList h) { return detail::judgeAnswer(from, status, h, a); };

    EXPECT_EQ(judge(206, {{"Content-Range", "bytes 400-999/1000"}, {"ETag", "\"v1\""}}), V::kAppend);
    EXPECT_EQ(a.resumedAt, 400);
    EXPECT_EQ(a.total, 1000);
    EXPECT_EQ(a.etag, "\"v1\"");
    // A 206 is trusted without validators of its own (If-Range vouched for them).
    EXPECT_EQ(judge(206, {{"Content-Range", "bytes 400-999/1000"}}), V::kAppend);

    EXPECT_EQ(judge(206, {{"Content-Range", "bytes 0-999/1000"}}), V::kAskAgain);     // wrong start
    EXPECT_EQ(judge(206, {{"Content-Range", "bytes 400-1199/1200"}}), V::kAskAgain);  // other size
    EXPECT_EQ(judge(206, {{"Content-Range", "bytes 400-999/1000"}, {"ETag", "\"v2\""}}), V::kAskAgain);
    EXPECT_EQ(judge(206, {}), V::kAskAgain);

    EXPECT_EQ(judge(200, {{"Content-Length", "1000"}}), V::kStartOver);
    EXPECT_EQ(a.resumedAt, 0);
    EXPECT_EQ(a.total, 1000);
    EXPECT_EQ(judge(404, {}), V::kNotTheFile);
    EXPECT_EQ(judge(416, {{"Content-Range", "bytes */1000"}}), V::kAskAgain);  // 400 bytes are not all

    from.offset = 1000;
    EXPECT_EQ(judge(416, {{"Content-Range", "bytes */1000"}}), V::kComplete);

    // Without an ETag the date guards the resume.
    from = ResumeFrom{10, -1, "", "Mon, 01 Jan 2024 00:00:00 GMT"};
    EXPECT_EQ(
        judge(206, {{"Content-Range", "bytes 10-19/20"}, {"Last-Modified", "Tue, 02 Jan 2024 00:00:00 GMT"}}),
        V::kAskAgain);
    EXPECT_EQ(
        judge(206, {{"Content-Range", "bytes 10-19/20"}, {"Last-Modified", "Mon, 01 Jan 2024 00:00:00 GMT"}}),
        V::kAppend);

    // A plain request never takes a 206 for the file.
    from = ResumeFrom{};
    EXPECT_EQ(judge(206, {{"Content-Range", "bytes 0-9/20"}}), V::kNotTheFile);
    EXPECT_EQ(judge(200, {}), V::kStartOver);
    EXPECT_EQ(a.total, -1);
}

TEST(JudgeAnswer, IfRangeCarriesAStrongETagOrTheDate) {
    EXPECT_EQ(detail::ifRangeValue({5, 9, "\"abc\"", "Mon, 01 Jan 2024 00:00:00 GMT"}), "\"abc\"");
    EXPECT_EQ(detail::ifRangeValue({5, 9, "W/\"abc\"", "Mon, 01 Jan 2024 00:00:00 GMT"}),
              "Mon, 01 Jan 2024 00:00:00 GMT");
    EXPECT_EQ(detail::ifRangeValue({5, 9, "", ""}), "");
}

// A server of one file that honours Range and If-Range like a web server,
// unless told to ignore ranges; it logs the range headers it saw.
class RangeServer {
public:
    explicit RangeServer(std::string body) : body_(std::move(body)) {}
    void SetBody(std::string body, std::string etag) {
        std::lock_guard lk(mu_);
        body_ = std::move(body);
        etag_ = std::move(etag);
    }
    std::atomic<bool> ignoreRange{false};
    std::atomic<long> cutAfter{-1};  // send this many body bytes, then reset
    std::vector<std::string> Ranges() {
        std::lock_guard lk(mu_);
        return ranges_;
    }
    std::vector<std::string> IfRanges() {
        std::lock_guard lk(mu_);
        return ifRanges_;
    }
    bool Serve(const Request& req, Connection& c) {
        std::string body, etag;
        {
            std::lock_guard lk(mu_);
            ranges_.push_back(req.header("Range"));
            ifRanges_.push_back(req.header("If-Range"));
            body = body_;
            etag = etag_;
        }
        std::string range = req.header("Range");
        std::string ifRange = req.header("If-Range");
        const std::string validators =
            "ETag: " + etag + "\r\nLast-Modified: Mon, 01 Jan 2024 00:00:00 GMT\r\n";
        size_t from = 0;
        bool partial = !range.empty() && !ignoreRange && (ifRange.empty() || ifRange == etag);
        if (partial) from = std::stoul(range.substr(6));
        if (partial && from >= body.size()) {
            return c.send("HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" +
                          std::to_string(body.size()) + "\r\nContent-Length: 0\r\n\r\n");
        }
        std::string head = partial ? "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " +
                                         std::to_string(from) + "-" + std::to_string(body.size() - 1) + "/" +
                                         std::to_string(body.size()) + "\r\n"
                                   : "HTTP/1.1 200 OK\r\n";
        std::string rest = body.substr(from);
        head += validators + "Content-Length: " + std::to_string(rest.size()) + "\r\n\r\n";
        long cut = cutAfter.exchange(-1);
        if (cut >= 0) {
            c.send(head + rest.substr(0, static_cast<size_t>(cut)));
            c.reset();
            return false;
        }
        return c.send(head + rest);
    }

private:
    std::mutex mu_;
    std::string body_;
    std::string etag_ = "\"v1\"";
    std::vector<std::string> ranges_, ifRanges_;
};

class ResumeTest : public ::testing::Test {
protected:
    void SetUp() override {
        HTTPWebClient::SetDefaultTimeouts(2, 2);
        dir_ = fs::temp_directory_path() / ("mm_net_resume_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        HTTPWebClient::SetDefaultTimeouts(0, 0);
        fs::remove_all(dir_);
    }
    fs::path dir_;
};

TEST_F(ResumeTest, ACutTransferContinuesWithARangeAndEndsWhole) {
    const std::string body = payload(600000);
    RangeServer file(body);
    TestServer server([&](const Request& r, Connection& c) { return file.Serve(r, c); });
    const fs::path part = dir_ / "song.mp3.part";

    // The first transfer is reset after 60 %; the bytes that came are kept.
    file.cutAfter = 360000;
    HTTPWebClient client;
    DownloadAnswer first;
    std::vector<DownloadAnswer> told;
    DownloadOptions options;
    options.answered = [&](const DownloadAnswer& a) { told.push_back(a); };
    EXPECT_FALSE(client.Download(server.url("/song"), part.string(), options, &first));
    EXPECT_EQ(client.LastFailure(), Failure::kReset) << client.LastError();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].total, 600000);
    EXPECT_EQ(told[0].etag, "\"v1\"");
    const std::int64_t kept = static_cast<std::int64_t>(fs::file_size(part));
    ASSERT_GT(kept, 0);
    ASSERT_LE(kept, 360000);

    // The second asks for the rest, with the first answer's validators.
    options.resume = ResumeFrom{kept, first.total, first.etag, first.lastModified};
    std::vector<std::int64_t> seen;
    options.progress = [&](int, std::int64_t now, std::int64_t total) {
        EXPECT_EQ(total, 600000);
        seen.push_back(now);
        return true;
    };
    DownloadAnswer second;
    ASSERT_TRUE(client.Download(server.url("/song"), part.string(), options, &second)) << client.LastError();
    EXPECT_EQ(second.status, 206);
    EXPECT_EQ(second.resumedAt, kept);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[1].resumedAt, kept);
    EXPECT_EQ(file.Ranges().back(), "bytes=" + std::to_string(kept) + "-");
    EXPECT_EQ(file.IfRanges().back(), "\"v1\"");
    ASSERT_FALSE(seen.empty());
    EXPECT_GE(seen.front(), kept);
    EXPECT_EQ(seen.back(), 600000);
    EXPECT_TRUE(readFile(part) == body);
}

TEST_F(ResumeTest, AnswersThatDoNotContinueTheFileStartItOver) {
    const std::string body = payload(300000);
    RangeServer file(body);
    TestServer server([&](const Request& r, Connection& c) { return file.Serve(r, c); });
    const fs::path part = dir_ / "p.part";
    HTTPWebClient client;
    DownloadOptions options;
    DownloadAnswer answer;

    {
        SCOPED_TRACE("a server that ignores Range answers 200: the file is rewritten");
        writeFile(part, std::string(100000, 'x'));  // wrong bytes: only a rewrite mends them
        file.ignoreRange = true;
        options.resume = ResumeFrom{100000, 300000, "\"v1\"", ""};
        ASSERT_TRUE(client.Download(server.url("/f"), part.string(), options, &answer));
        EXPECT_EQ(answer.status, 200);
        EXPECT_EQ(answer.resumedAt, 0);
        EXPECT_TRUE(readFile(part) == body);
        file.ignoreRange = false;
    }
    {
        SCOPED_TRACE("the file changed (new ETag): If-Range gets the whole new file");
        const std::string changed = payload(250000, 9);
        file.SetBody(changed, "\"v2\"");
        writeFile(part, body.substr(0, 120000));
        options.resume = ResumeFrom{120000, 300000, "\"v1\"", ""};
        ASSERT_TRUE(client.Download(server.url("/f"), part.string(), options, &answer));
        EXPECT_EQ(answer.status, 200);
        EXPECT_EQ(answer.etag, "\"v2\"");
        EXPECT_TRUE(readFile(part) == changed);
        EXPECT_EQ(file.IfRanges().back(), "\"v1\"");
    }
    {
        SCOPED_TRACE("a 206 of a file of another size: asked again without a range");
        const std::string changed = payload(280000, 5);
        file.SetBody(changed, "\"v3\"");
        writeFile(part, changed.substr(0, 50000));
        options.resume = ResumeFrom{50000, 300000, "", ""};  // no validators: only the size can tell
        const size_t before = file.Ranges().size();
        ASSERT_TRUE(client.Download(server.url("/f"), part.string(), options, &answer)) << client.LastError();
        auto ranges = file.Ranges();
        ASSERT_EQ(ranges.size(), before + 2);
        EXPECT_EQ(ranges[before], "bytes=50000-");
        EXPECT_EQ(ranges[before + 1], "");
        EXPECT_EQ(answer.status, 200);
        EXPECT_TRUE(readFile(part) == changed);
    }
    {
        SCOPED_TRACE("a part file that is already whole: 416 with its size");
        const std::string whole = readFile(part);
        options.resume = ResumeFrom{static_cast<std::int64_t>(whole.size()),
                                    static_cast<std::int64_t>(whole.size()), "\"v3\"", ""};
        ASSERT_TRUE(client.Download(server.url("/f"), part.string(), options, &answer)) << client.LastError();
        EXPECT_EQ(answer.status, 416);
        EXPECT_TRUE(readFile(part) == whole);
    }
}

TEST_F(ResumeTest, AnExpiredAddressLeavesThePartFileAsItWas) {
    TestServer server([](const Request&, Connection& c) {
        return c.send(response(403, "Forbidden", "<html>expired</html>"));
    });
    const fs::path part = dir_ / "keep.part";
    writeFile(part, "0123456789");
    HTTPWebClient client;
    DownloadOptions options;
    options.resume = ResumeFrom{10, 100, "\"e\"", ""};
    EXPECT_FALSE(client.Download(server.url("/x"), part.string(), options));
    EXPECT_EQ(client.LastFailure(), Failure::kHttpStatus);
    EXPECT_EQ(client.GetRepoHTTPCode(), 403);
    EXPECT_EQ(readFile(part), "0123456789");
}

TEST_F(ResumeTest, ThePartFileIsNeverOpenedThroughALink) {
    TestServer server(
        [](const Request&, Connection& c) { return c.send(response(200, "OK", payload(5000))); });
    const fs::path victim = dir_ / "precious.txt";
    writeFile(victim, "keep me");
    const fs::path part = dir_ / "a.mp3.part";
    fs::create_symlink(victim, part);
    HTTPWebClient client;
    for (bool resume : {false, true}) {
        DownloadOptions options;
        if (resume) options.resume.offset = 3;
        EXPECT_FALSE(client.Download(server.url("/a"), part.string(), options));
        EXPECT_EQ(client.LastFailure(), Failure::kCannotOpen);
        EXPECT_EQ(client.LastErrno(), ELOOP);
        EXPECT_EQ(readFile(victim), "keep me");
        EXPECT_TRUE(fs::is_symlink(part));
    }
}

TEST_F(ResumeTest, ThePartFileIsCreatedWithMode0644UnderTheUmask) {
    TestServer server([](const Request&, Connection& c) { return c.send(response(200, "OK", "data")); });
    HTTPWebClient client;
    const mode_t old = ::umask(022);
    ASSERT_TRUE(client.Download(server.url("/a"), (dir_ / "a.part").string()));
    ::umask(027);
    ASSERT_TRUE(client.Download(server.url("/b"), (dir_ / "b.part").string()));
    ::umask(old);
    struct stat a {
    }, b{};
    ASSERT_EQ(::stat((dir_ / "a.part").c_str(), &a), 0);
    ASSERT_EQ(::stat((dir_ / "b.part").c_str(), &b), 0);
    EXPECT_EQ(a.st_mode & 0777, 0644u);
    EXPECT_EQ(b.st_mode & 0777, 0640u);
}

TEST_F(ResumeTest, TheCancelCheckStopsARequestStillWaitingForItsAnswer) {
    std::atomic<bool> stop{false};
    std::atomic<bool> asked{false};
    TestServer server([&](const Request&, Connection& c) {
        asked = true;
        c.waitClosed(20000);  // never answers; ends when the client gives up
        return false;
    });
    HTTPWebClient client;
    client.SetupTimeout(10, 10);
    client.SetCancelCheck([&] {
        if (asked) stop = true;  // the user cancels once the request is out
        return stop.load();
    });
    std::string out;
    EXPECT_FALSE(client.Post(server.url("/song"), "mid=1", out));
    EXPECT_EQ(client.LastFailure(), Failure::kCancelled);
    EXPECT_TRUE(out.empty());
    // Already cancelled: nothing goes out at all.
    const int served = server.requestsServed();
    EXPECT_FALSE(client.Download(server.url("/f"), (dir_ / "never.part").string()));
    EXPECT_EQ(client.LastFailure(), Failure::kCancelled);
    EXPECT_EQ(server.requestsServed(), served);
}

TEST_F(ResumeTest, FailuresSayWhatWentWrong) {
    TestServer server([](const Request& req, Connection& c) {
        if (req.target == "/missing") return c.send(response(404, "Not Found", "no"));
        c.send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(1000, 'x'));
        if (req.target == "/reset") c.reset();
        if (req.target == "/stall") c.waitClosed(15000);
        return false;
    });
    // The same with a cancel check installed, which runs the transfer in a
    // loop of its own: stalls and resets must be told apart there too.
    for (bool cancellable : {false, true}) {
        SCOPED_TRACE(cancellable ? "with a cancel check" : "without");
        HTTPWebClient client;
        client.SetupTimeout(0, 1);
        if (cancellable) client.SetCancelCheck([] { return false; });
        const std::string f = (dir_ / "f.part").string();
        EXPECT_FALSE(client.Download(server.url("/missing"), f));
        EXPECT_EQ(client.LastFailure(), Failure::kHttpStatus);
        EXPECT_FALSE(client.Download(server.url("/reset"), f));
        EXPECT_EQ(client.LastFailure(), Failure::kReset);
        EXPECT_FALSE(client.Download(server.url("/close"), f));
        EXPECT_EQ(client.LastFailure(), Failure::kCutShort);
        EXPECT_FALSE(client.Download(server.url("/stall"), f));
        EXPECT_EQ(client.LastFailure(), Failure::kTimeout);
        EXPECT_FALSE(client.Download(server.url("/x"), "/dev/full"));
        EXPECT_EQ(client.LastFailure(), Failure::kWriteFailed);
        EXPECT_EQ(client.LastErrno(), ENOSPC);
        EXPECT_FALSE(client.Download(server.url("/x"), (dir_ / "no" / "x.part").string()));
        EXPECT_EQ(client.LastFailure(), Failure::kCannotOpen);
        EXPECT_EQ(client.LastErrno(), ENOENT);
        EXPECT_FALSE(client.Download("http://127.0.0.1:" + std::to_string(test::closedPort()) + "/", f));
        EXPECT_EQ(client.LastFailure(), Failure::kConnect);
        std::string out;
        EXPECT_FALSE(client.Get(server.url("/missing"), out));
        EXPECT_EQ(client.LastFailure(), Failure::kHttpStatus);
        EXPECT_EQ(client.LastError(), "");
        EXPECT_EQ(out, "no");
    }
}

}  // namespace
}  // namespace mm::net
