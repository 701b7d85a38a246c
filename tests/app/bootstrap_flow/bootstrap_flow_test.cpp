// Start-up against the demo catalogue: update notice, source list, report.
#include <gtest/gtest.h>

#include <mutex>
#include <regex>

#include "app/app_context.h"
#include "app/bootstrap.h"
#include "app/control_names.h"
#include "app/images.h"
#include "search/track_menu.h"
#include "tests/flow/flow_fixture.h"

namespace mm::test {
namespace {

using democat::Endpoint;

class BootstrapFlow : public FlowFixture {
  protected:
    void SetNotice(const std::string& version, const std::string& web = {}, const std::string& web2 = {},
                   const std::string& msg = {}, bool update = false, const std::string& code = "200") {
        democat::UpdateNotice n;
        n.code = code;
        n.version = version;
        n.web = web;
        n.web2 = web2;
        n.msg = msg;
        n.update = update;
        catalogue.faults().SetUpdateNotice(n);
    }
    // Records how many pages had been opened when each message box appeared.
    void WatchBoxes() {
        model.setMessageBoxPresenter([this](const ui::MessageBoxRequest&) {
            std::lock_guard lk(boxMu);
            urlsAtBox.push_back(OpenedUrls().size());
        });
    }
    std::mutex boxMu;
    std::vector<size_t> urlsAtBox;
};

TEST_F(BootstrapFlow, FillsSelectorSubmenuImportEntriesAndReports) {
    StartProgram();
    EXPECT_TRUE(MessageBoxes().empty());
    const std::string base = catalogue.BaseUrl();

    const char* icons[] = {app::kImgServiceNetEase, app::kImgServiceQQ, app::kImgServiceKuwo,
                           app::kImgServiceKugou, app::kImgServiceOther};
    const char* texts[] = {"网易云音乐", "QQ音乐", "酷我音乐", "酷狗音乐", "咪咕音乐"};
    ASSERT_EQ(model.comboCount(app::kSourceCombo), 5);
    for (int i = 0; i < 5; ++i) {
        auto item = model.comboItem(app::kSourceCombo, i);
        ASSERT_TRUE(item);
        EXPECT_EQ(item->icon, icons[i]);
        EXPECT_EQ(item->text, texts[i]);
        EXPECT_EQ(item->color, 0xFF9FA4B4u);
        EXPECT_EQ(item->value, 20);

        auto menu = model.menuItem(app::kTrackMenu, 101 + i);
        ASSERT_TRUE(menu) << "source submenu entry " << 101 + i;
        EXPECT_EQ(menu->parentId, search::kMenuChangeSource);
        EXPECT_EQ(menu->text, texts[i]);
        EXPECT_EQ(menu->icon, icons[i]);
        EXPECT_EQ(menu->width, 80);
        EXPECT_EQ(menu->height, 40);
        EXPECT_EQ(menu->disabled, i == 0) << "only the current source is greyed";
    }
    EXPECT_EQ(model.menuItem(app::kTrackMenu, 101)->disabledTextColor, 0xFF808080u);
    EXPECT_EQ(model.selection(app::kSourceCombo), 0);
    EXPECT_EQ(ctx->sources.Current(), base + "/song/wy/");
    EXPECT_EQ(ctx->sources.Urls().size(), 5u);
    for (const char* entry : {app::kImportNetEase, app::kImportQQ, app::kImportKuwo, app::kImportKugou}) {
        EXPECT_TRUE(model.visible(entry)) << entry;
    }
    EXPECT_FALSE(model.visible(app::kLoading));

    auto reports = catalogue.stats().ReportBodies();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(std::regex_match(reports[0], std::regex(R"(plat=pcmv&device=\(1\.1\)[0-9A-F]{16})")))
        << reports[0];
    EXPECT_TRUE(OpenedUrls().empty());
}

TEST_F(BootstrapFlow, SameVersionShowsNoNotice) {
    SetNotice("1.1", "http://web.example/a", "http://web2.example/b", "new!", true);
    StartProgram();
    EXPECT_TRUE(MessageBoxes().empty());
    EXPECT_TRUE(OpenedUrls().empty());
    EXPECT_EQ(exitCode, -1) << "update only counts with a notice";
    EXPECT_EQ(model.comboCount(app::kSourceCombo), 5);
}

TEST_F(BootstrapFlow, EmptyVersionShowsNoNotice) {
    SetNotice("", "http://web.example/a", "http://web2.example/b", "new!", true);
    StartProgram();
    EXPECT_TRUE(MessageBoxes().empty());
    EXPECT_TRUE(OpenedUrls().empty());
    EXPECT_EQ(exitCode, -1);
}

TEST_F(BootstrapFlow, OlderVersionStillGetsTheNoticeWithPagesAroundIt) {
    SetNotice("1.0", "下载: https://web.example/get?v=2 ，谢谢", "先看 http://web2.example/news#top 再说",
              "第一行\\n第二行\\n");
    WatchBoxes();
    StartProgram();
    auto boxes = MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "code:666");
    EXPECT_EQ(boxes[0].text, "第一行\r\n第二行\r\n");
    EXPECT_EQ(boxes[0].button, "OK");
    EXPECT_EQ(boxes[0].owner, app::kWindow);
    EXPECT_EQ(OpenedUrls(),
              (std::vector<std::string>{"http://web2.example/news#top", "https://web.example/get?v=2"}));
    ASSERT_EQ(urlsAtBox.size(), 1u);
    EXPECT_EQ(urlsAtBox[0], 1u) << "web2 opens before the notice, web after it";
    EXPECT_EQ(exitCode, -1);
    EXPECT_EQ(model.comboCount(app::kSourceCombo), 5) << "without update the program goes on";
}

TEST_F(BootstrapFlow, Web2WithoutAddressOpensNothingBeforeTheNotice) {
    SetNotice("2.0", "http://web.example/x", "ftp://nope and www.example.com", "hi");
    WatchBoxes();
    StartProgram();
    ASSERT_EQ(urlsAtBox.size(), 1u);
    EXPECT_EQ(urlsAtBox[0], 0u);
    EXPECT_EQ(OpenedUrls(), (std::vector<std::string>{"http://web.example/x"}));
}

TEST_F(BootstrapFlow, ForcedUpdateEndsTheProgramBeforeTheSourceList) {
    SetNotice("2.0", "", "", "请更新", true);
    StartProgram();
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(catalogue.stats().Count(Endpoint::kSourceList), 0);
    EXPECT_EQ(catalogue.stats().Count(Endpoint::kReport), 0);
    EXPECT_EQ(model.comboCount(app::kSourceCombo), 0);
    EXPECT_TRUE(ctx->sources.Current().empty());
}

TEST_F(BootstrapFlow, Code404SuppressesTheSourcesButStillReports) {
    SetNotice("1.1", "", "", "", false, "404");
    StartProgram();
    EXPECT_TRUE(MessageBoxes().empty());
    EXPECT_EQ(model.comboCount(app::kSourceCombo), 0);
    EXPECT_TRUE(ctx->sources.Current().empty());
    EXPECT_TRUE(ctx->sources.Urls().empty());
    EXPECT_FALSE(model.menuItem(app::kTrackMenu, 101));
    for (const char* entry : {app::kImportNetEase, app::kImportQQ, app::kImportKuwo, app::kImportKugou}) {
        EXPECT_FALSE(model.visible(entry)) << entry;
    }
    EXPECT_EQ(catalogue.stats().Count(Endpoint::kReport), 1);
}

TEST_F(BootstrapFlow, SourceListWithAnotherMessageFails) {
    democat::Fault f;
    f.msg = "维护中";
    catalogue.faults().Set(Endpoint::kSourceList, f);
    StartProgram();
    auto boxes = MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "code:404");
    EXPECT_EQ(boxes[0].text, "获取音源失败！\r\n维护中\r\n重新打开软件试试吧！");
    EXPECT_EQ(boxes[0].button, "好的");
    EXPECT_EQ(model.comboCount(app::kSourceCombo), 0) << "the list was present but is not used";
    EXPECT_FALSE(model.visible(app::kLoading));
    EXPECT_EQ(catalogue.stats().Count(Endpoint::kReport), 0);
}

TEST_F(BootstrapFlow, UnreadableSourceListAndUpdateHost) {
    democat::Fault garbage;
    garbage.body = democat::BodyKind::kHtml;
    catalogue.faults().Set(Endpoint::kSourceList, garbage);
    catalogue.faults().Set(Endpoint::kUpdate, garbage);
    StartProgram();
    auto boxes = MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u) << "an unreadable notice is no notice";
    EXPECT_EQ(boxes[0].text, "获取音源失败！\r\n\r\n重新打开软件试试吧！");
}

TEST(BootstrapRules, ServiceByAddressAndWebAddress) {
    EXPECT_EQ(app::ServiceOfAddress("http://h/song/qqwy/"), "wy") << "wy is tested first";
    EXPECT_EQ(app::ServiceOfAddress("http://h/kg/kw"), "kw");
    EXPECT_EQ(app::ServiceOfAddress("http://h/WY/"), "") << "case-sensitive";
    EXPECT_EQ(app::ExtractWebAddress("去 HTTPS://a.b/c?d=1&e=%20 看"), "HTTPS://a.b/c?d=1&e=%20");
    EXPECT_EQ(app::ExtractWebAddress("none here"), "");
}

}  // namespace
}  // namespace mm::test
