// Connection reuse across clients, concurrent clients, and JMap::FromHTTP.
#include <gtest/gtest.h>

#include <thread>

#include "platform/net/http_client.h"
#include "platform/net/jmap.h"
#include "tests/platform/net/test_server.h"

namespace mm::net {
namespace {

using test::Connection;
using test::Request;
using test::response;
using test::TestServer;

TEST(ConnectionTest, ShortLivedClientsReuseOneConnection) {
    TestServer server(
        [](const Request& req, Connection& c) { return c.send(response(200, "OK", req.target)); });
    for (int i = 0; i < 20; ++i) {
        HTTPWebClient client;  // one client per task, as the cover tasks do
        client.SetupTimeout(3, 3);
        std::string body;
        ASSERT_TRUE(client.Get(server.url("/cover/" + std::to_string(i)), body, false));
        EXPECT_EQ(body, "/cover/" + std::to_string(i));
    }
    EXPECT_EQ(server.requestsServed(), 20);
    RecordProperty("connections", server.connectionsAccepted());
    EXPECT_LE(server.connectionsAccepted(), 2);
}

TEST(ConnectionTest, ManyThreadsShareTheConnectionCache) {
    TestServer server(
        [](const Request& req, Connection& c) { return c.send(response(200, "OK", req.target)); });
    constexpr int kThreads = 8;
    constexpr int kEach = 15;
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                HTTPWebClient client;
                const std::string path = "/t" + std::to_string(t) + "/" + std::to_string(i);
                std::string body;
                if (client.Get(server.url(path), body) && body == path) ++good;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(good.load(), kThreads * kEach);
    RecordProperty("connections", server.connectionsAccepted());
    EXPECT_LE(server.connectionsAccepted(), kThreads * kEach / 2) << "connections should be reused";
}

TEST(ConnectionTest, FromHttpParsesTheBodyInAnyCharset) {
    // {"msg":"获取成功","list":[{"url":"http://x/wy/","text":"网易"}]} with the Chinese in GBK.
    const std::string gbkJson =
        "{\"msg\":\"\xBB\xF1\xC8\xA1\xB3\xC9\xB9\xA6\",\"list\":[{\"url\":\"http://x/wy/"
        "\",\"text\":\"\xCD\xF8\xD2\xD7\"}]}";
    TestServer server([&](const Request& req, Connection& c) {
        if (req.target == "/gbk")
            return c.send(response(200, "OK", gbkJson, "Content-Type: application/json; charset=gbk\r\n"));
        if (req.target == "/plain") return c.send(response(200, "OK", gbkJson));
        if (req.target == "/error")
            return c.send(response(500, "Internal Server Error", R"({"code":500,"msg":"busy"})"));
        if (req.target == "/html") return c.send(response(200, "OK", "<html>{}</html>"));
        c.waitClosed(5000);
        return false;
    });
    JMap m;
    ASSERT_TRUE(m.FromHTTP(server.url("/gbk"), "UCS-2", 10));
    EXPECT_EQ(m.GetString("//msg"), "获取成功");
    EXPECT_EQ(m.GetString("//list[1].text"), "网易");
    // No declared charset: the caller's hint decides.
    ASSERT_TRUE(m.FromHTTP(server.url("/plain"), "GBK", 10));
    EXPECT_EQ(m.GetString("//list[1].text"), "网易");
    // An error status with a JSON body is still read, so its message can be shown.
    ASSERT_TRUE(m.FromHTTP(server.url("/error"), "UCS-2", 10));
    EXPECT_EQ(m.GetInt("//code"), 500);
    EXPECT_FALSE(m.FromHTTP(server.url("/html"), "UCS-2", 10));
    EXPECT_EQ(m.Count(), 0);
    EXPECT_FALSE(m.FromHTTP(server.url("/hang"), "UCS-2", 1));
    EXPECT_FALSE(m.FromHTTP("http://127.0.0.1:" + std::to_string(test::closedPort()) + "/", "UCS-2", 1));
    EXPECT_FALSE(m.LastError().empty());
}

}  // namespace
}  // namespace mm::net
