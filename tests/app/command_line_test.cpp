// What the command line accepts, and where the addresses end up.
#include "app/command_line.h"

#include <gtest/gtest.h>

namespace mm::app {
namespace {

TEST(ParseCommandLine, AcceptedFormsFillTheLine) {
    CommandLineResult r =
        ParseCommandLine({"--automation", "--config=/tmp/a b.ini", "--no-sound", "--catalogue",
                          "HTTPS://catalogue.example:8443/base", "--stats-host", "http://stats.example",
                          "--catalogue", "http://second.example"});
    ASSERT_EQ(r.error, "");
    EXPECT_TRUE(r.line.automation);
    EXPECT_TRUE(r.line.noSound);
    EXPECT_FALSE(r.line.help);
    EXPECT_EQ(r.line.configPath, "/tmp/a b.ini");
    EXPECT_EQ(r.line.deployment.catalogueBase, "http://second.example") << "the later one wins";

    Deployment d = r.line.deployment;
    FillDeploymentDefaults(d);
    EXPECT_EQ(d.songBase, "http://second.example/song/");
    EXPECT_EQ(d.updateHost, "http://second.example");
    EXPECT_EQ(d.statsHost, "http://stats.example");

    EXPECT_EQ(ParseCommandLine({}).error, "");
    // What is no option is a share link to open.
    CommandLineResult links =
        ParseCommandLine({"https://y.qq.com/n/ryqq/playlist?id=1", "--no-sound", "1234567"});
    EXPECT_EQ(links.error, "");
    EXPECT_EQ(links.line.sharedTexts,
              (std::vector<std::string>{"https://y.qq.com/n/ryqq/playlist?id=1", "1234567"}));
    EXPECT_TRUE(links.line.noSound);
    EXPECT_TRUE(ParseCommandLine({"-h"}).line.help);
    EXPECT_TRUE(ParseCommandLine({"--version"}).line.version);
    EXPECT_EQ(ParseCommandLine({"--data-dir", "/tmp/h"}).line.dataDir, "/tmp/h");
    EXPECT_NE(ParseCommandLine({"--data-dir="}).error, "") << "an empty folder is a mistake, not the default";
}

TEST(ParseCommandLine, AddressesMustBeHttpWithAHost) {
    for (const char* good : {"http://a", "https://a.b/c?d=1", "http://127.0.0.1:8080/", "HtTp://x"}) {
        EXPECT_TRUE(IsHttpAddress(good)) << good;
    }
    for (const char* bad : {"", "http:/a", "http://", "https:///x", "http://:80", "ftp://a", "a.example",
                            "http://a b", "http://a\n", "javascript:alert(1)"}) {
        EXPECT_FALSE(IsHttpAddress(bad)) << bad;
        EXPECT_NE(ParseCommandLine({"--catalogue", bad}).error, "") << bad;
    }
}

}  // namespace
}  // namespace mm::app
