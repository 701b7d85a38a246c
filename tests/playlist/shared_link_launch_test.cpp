// Share links handed to the program from outside the window: which service
// they belong to, and the playlist panel they open (headless, and through
// the real program's command line in automation mode).
#include "playlist/shared_link_launch.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/control_names.h"
#include "app/images.h"
#include "tests/flow/flow_fixture.h"

namespace mm::test {
namespace {

using playlist::ServiceOfSharedText;

TEST(SharedLinkService, ByTheHostTheLinkPointsTo) {
    EXPECT_EQ(ServiceOfSharedText("https://y.qq.com/n/ryqq/playlist/8001"), "qq");
    EXPECT_EQ(ServiceOfSharedText("分享 https://c6.y.qq.com/base/fcgi-bin/u?__=abc 来自QQ音乐"), "qq");
    EXPECT_EQ(ServiceOfSharedText("https://music.163.com/playlist?id=7045&userid=5"), "wy");
    EXPECT_EQ(ServiceOfSharedText("http://163cn.tv/abcd"), "wy");
    EXPECT_EQ(ServiceOfSharedText("https://m.kuwo.cn/newh5app/playlist_detail/2907?from=ip"), "kw");
    EXPECT_EQ(ServiceOfSharedText("https://WWW.KUGOU.COM/share/zlist.html?code=1"), "kg");
    // The demo catalogue's share pages stand in for the services on loopback.
    EXPECT_EQ(ServiceOfSharedText("http://127.0.0.1:8080/share/wy/s/7045"), "wy");
    EXPECT_EQ(ServiceOfSharedText("http://127.0.0.1:8080/share/kw/s/2907"), "kw");
    // A bare Kugou code.
    EXPECT_EQ(ServiceOfSharedText(" 1234567 "), "kg");
}

TEST(SharedLinkService, LookAlikesBelongToNone) {
    // The host decides, not a service's name somewhere in the address.
    EXPECT_EQ(ServiceOfSharedText("https://evilqq.com/playlist"), "");
    EXPECT_EQ(ServiceOfSharedText("https://example.com/?next=y.qq.com/"), "");
    EXPECT_EQ(ServiceOfSharedText("https://music.163.com.example.net/x"), "");
    EXPECT_EQ(ServiceOfSharedText("https://example.com/a/share/qq/"), "") << "only right after the host";
    EXPECT_EQ(ServiceOfSharedText("12"), "") << "too short for a code";
    EXPECT_EQ(ServiceOfSharedText("晴天"), "");
    EXPECT_EQ(ServiceOfSharedText(""), "");
}

class SharedLinkFlow : public FlowFixture {};

TEST_F(SharedLinkFlow, OpensThePanelOfTheServiceWithTheText) {
    StartProgram();
    model.setSelection(app::kTabs, 2);
    const std::string kuwo = "http://127.0.0.1:9/share/kw/s/2907";
    bool opened = false;
    OnUi([&] { opened = playlist::OpenSharedText(*ctx, kuwo); });
    EXPECT_TRUE(opened);
    EXPECT_TRUE(model.visible(app::kPlaylistPanel));
    EXPECT_EQ(model.selection(app::kTabs), 0);
    EXPECT_EQ(model.picture(app::kPlaylistLogo), model.image(app::kImgServiceKuwo));
    EXPECT_EQ(model.text(app::kPlaylistLink), kuwo);

    // A link of no known service: the panel as its logo counts, QQ Music.
    OnUi([&] { opened = playlist::OpenSharedText(*ctx, "https://example.com/list/1"); });
    EXPECT_TRUE(opened);
    EXPECT_EQ(model.picture(app::kPlaylistLogo), model.image(app::kImgServiceQQ));

    // Nothing to import: the panel is left as it was.
    model.setVisible(app::kPlaylistPanel, false);
    OnUi([&] { opened = playlist::OpenSharedText(*ctx, "晴天"); });
    EXPECT_FALSE(opened);
    EXPECT_FALSE(model.visible(app::kPlaylistPanel));
}

#ifdef MM_PROGRAM
TEST_F(SharedLinkFlow, TheCommandLineOpensThePanelAndImportWorks) {
    // The real program, headless: a share link after the options.
    const std::string link = catalogue.BaseUrl() + "/share/wy/s/7045";
    const std::string script = tempDir + "/script.jsonl";
    {
        std::FILE* f = std::fopen(script.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs(R"({"op":"dump","control":"编辑框_歌单_链接"}
{"op":"dump","control":"窗口_歌单解析"}
{"op":"click","control":"按钮_歌单_导入"}
{"op":"wait","timeout_ms":30000}
{"op":"dump","control":"列表框_搜索"}
)",
                   f);
        std::fclose(f);
    }
    const std::string cmd = std::string(MM_PROGRAM) + " --automation --no-sound --config " + configPath +
                            " --catalogue " + catalogue.BaseUrl() + " '" + link + "' < " + script + " 2>&1";
    std::FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    EXPECT_EQ(::pclose(p), 0) << out;
    EXPECT_NE(out.find(R"("control":"编辑框_歌单_链接","kind":"EditBox","text":")" + link + "\""), std::string::npos)
        << out;
    EXPECT_NE(out.find(R"("control":"窗口_歌单解析","kind":"Window","text":"","visible":true)"), std::string::npos)
        << out;
    // The imported playlist: 45 songs, so the 45th row is there.
    EXPECT_NE(out.find(R"(["45",)"), std::string::npos) << out;
}
#endif

}  // namespace
}  // namespace mm::test
