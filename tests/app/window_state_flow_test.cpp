// The window's keyboard shortcuts, what it remembers between starts and the
// folder choice of the settings page, headless against the demo catalogue.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/control_names.h"
#include "app/interface_state.h"
#include "app/startup.h"
#include "platform/sys/files.h"
#include "platform/sys/ini_store.h"
#include "resources/resources.h"
#include "search/track_menu.h"
#include "tests/flow/flow_fixture.h"

namespace mm::test {
namespace {

using namespace std::chrono_literals;
using ui::EventType;

constexpr const char* kClosedPrompt = "\r\n请输入完整歌单链接\r\n\r\n支持企鹅、网抑云、酷沃歌单";

class WindowStateFlow : public FlowFixture {
protected:
    void Key(const std::string& keys) { Fire(app::kWindow, EventType::Shortcut, 0, keys); }
    std::string Ini(const std::string& key) {
        return sys::IniStore(configPath).Read(app::kSectionInterface, key);
    }
    bool ShowsPause() { return model.picture(app::kPlayerPlay) == std::string(Resource("pause.png")); }
};

// ---- shortcuts

TEST_F(WindowStateFlow, PagesFollowCtrlDigitsAndCtrlFGoesToTheSearchPage) {
    StartProgram();
    Key("Ctrl+2");
    EXPECT_EQ(model.selection(app::kTabs), 1);
    Key("Ctrl+3");
    EXPECT_EQ(model.selection(app::kTabs), 2);
    Key("Ctrl+F");
    EXPECT_EQ(model.selection(app::kTabs), 0);
    Key("Ctrl+2");
    Key("Ctrl+1");
    EXPECT_EQ(model.selection(app::kTabs), 0);
    Key("Ctrl+9");  // not a shortcut of this window
    EXPECT_EQ(model.selection(app::kTabs), 0);
}

TEST_F(WindowStateFlow, CtrlDOpensTheTierWindowOfTheSelectedRowOnly) {
    StartProgram();
    Search("demo");
    Key("Ctrl+D");
    EXPECT_FALSE(model.visible(app::kTierPanel)) << "no row selected";

    model.setSelection(app::kResultList, 2);
    Key("Ctrl+3");
    Key("Ctrl+D");
    EXPECT_TRUE(model.visible(app::kTierPanel));
    EXPECT_EQ(model.selection(app::kTabs), 0) << "the tier window belongs to the result list";
    EXPECT_EQ(ctx->currentRow.load(), 3);
    EXPECT_EQ(model.text(app::kTierTitle), ctx->searchResults[2].title);
    EXPECT_EQ(model.text(app::kTierButtonStandard).rfind("标准音质 128K - ", 0), 0u);

    // Its buttons download that row, as from the menu.
    Click(app::kTierButtonStandard);
    ASSERT_TRUE(WaitIdle(60s));
    ASSERT_EQ(model.rowCount(app::kDownloadList), 1);
    EXPECT_NE(model.cellText(app::kDownloadList, 0, 0).find("[" + ctx->searchResults[2].album + "]"),
              std::string::npos);
}

TEST_F(WindowStateFlow, EscapeClosesThePlaylistWindowFirstThenTheTierWindow) {
    StartProgram();
    Search("demo");
    model.setSelection(app::kResultList, 0);
    Key("Ctrl+D");
    Click(app::kImportNetEase);
    ASSERT_TRUE(model.visible(app::kPlaylistPanel));
    ASSERT_TRUE(model.visible(app::kTierPanel));

    Key("Escape");
    EXPECT_FALSE(model.visible(app::kPlaylistPanel));
    EXPECT_EQ(model.text(app::kPlaylistLink), kClosedPrompt) << "closed as by its close button";
    EXPECT_TRUE(model.visible(app::kTierPanel));
    Key("Escape");
    EXPECT_FALSE(model.visible(app::kTierPanel));
    Key("Escape");  // nothing open: nothing happens
    EXPECT_FALSE(model.visible(app::kPlaylistPanel));
}

TEST_F(WindowStateFlow, SpacePausesAndResumesThePreview) {
    StartProgram();
    Key("Space");  // no stream yet: nothing
    EXPECT_FALSE(ShowsPause());
    Search("demo");
    Fire(app::kResultList, EventType::RowDoubleClick, 0);
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(ShowsPause());
    Key("Space");
    EXPECT_FALSE(ShowsPause());
    Key("Space");
    EXPECT_TRUE(ShowsPause());
}

// ---- the service tips and the playlist window

TEST_F(WindowStateFlow, ServiceTipClosesWhenItsWindowOpensAndStaysAwayWhileOpen) {
    StartProgram();
    Fire(app::kImportQQ, EventType::MouseEnter);
    ASSERT_TRUE(model.tip().shown);
    Click(app::kImportQQ);
    EXPECT_FALSE(model.tip().shown);
    Fire(app::kImportKuwo, EventType::MouseEnter);
    EXPECT_FALSE(model.tip().shown) << "a tip would cover the open playlist window";
    Fire(app::kPlaylistPanel, EventType::WindowClose, 0);
    Fire(app::kImportKuwo, EventType::MouseEnter);
    EXPECT_TRUE(model.tip().shown);
}

TEST_F(WindowStateFlow, LinkBoxGainingTheFocusClearsOnlyAPrompt) {
    StartProgram();
    Click(app::kImportNetEase);
    ASSERT_EQ(model.text(app::kPlaylistLink), "请输入网易分享的链接。");
    Fire(app::kPlaylistLink, EventType::FocusIn);
    EXPECT_EQ(model.text(app::kPlaylistLink), "");
    // A link written before the user clicked elsewhere and back stays.
    model.setText(app::kPlaylistLink, "https://music.163.com/playlist?id=7045");
    Fire(app::kPlaylistLink, EventType::FocusIn);
    EXPECT_EQ(model.text(app::kPlaylistLink), "https://music.163.com/playlist?id=7045");
    Fire(app::kPlaylistPanel, EventType::WindowClose, 0);
    ASSERT_EQ(model.text(app::kPlaylistLink), kClosedPrompt);
    Fire(app::kPlaylistLink, EventType::FocusIn);
    EXPECT_EQ(model.text(app::kPlaylistLink), "");
}

TEST_F(WindowStateFlow, PlaylistHeadingAndEndLine) {
    StartProgram();
    Click(app::kImportNetEase);
    Fire(app::kPlaylistLink, EventType::FocusIn);
    model.setText(app::kPlaylistLink, catalogue.BaseUrl() + "/share/wy/s/7045");
    // The playlist answers late, so the heading is seen while it loads.
    democat::Fault late;
    late.delay_ms = 1500;
    late.times = 1;
    catalogue.faults().Set(democat::Endpoint::kPlaylist, late);
    Click(app::kPlaylistImport);
    EXPECT_EQ(model.text(app::kListHeading), "导入歌单 · 网易云") << "while it loads";
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(model.rowCount(app::kResultList), 45);
    EXPECT_EQ(model.text(app::kListHeading), "歌单 7045 · 网易云");
    EXPECT_TRUE(model.visible(app::kListNotice));
    EXPECT_EQ(model.text(app::kListNotice), "已经到底了，没有更多歌曲了");

    // A Kugou code that the catalogue does not know: the list stays empty and names nothing.
    Click(app::kImportKugou);
    Fire(app::kPlaylistLink, EventType::FocusIn);
    model.setText(app::kPlaylistLink, "999999999");
    Click(app::kPlaylistImport);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(model.rowCount(app::kResultList), 0);
    EXPECT_EQ(model.text(app::kListHeading), "");
    EXPECT_FALSE(model.visible(app::kListNotice));
    ASSERT_EQ(MessageBoxes().size(), 1u);
}

// ---- remembered across starts

TEST_F(WindowStateFlow, PageAndVolumeComeBackFromTheSettingsFile) {
    extraConfig = "[界面]\n页面=2\n音量=42\n";
    StartProgram();
    EXPECT_EQ(model.selection(app::kTabs), 2);
    EXPECT_EQ(model.position(app::kPlayerVolume), 42);
}

TEST_F(WindowStateFlow, NonsenseInTheSectionLeavesTheDefaults) {
    extraConfig = "[界面]\n页面=7\n音量=loud\n窗口大小=wide\n窗口位置=1,\n";
    StartProgram();
    EXPECT_EQ(model.selection(app::kTabs), 0);
    EXPECT_EQ(model.position(app::kPlayerVolume), 100);
    const app::WindowPlacement p = app::LoadWindowPlacement(configPath);
    EXPECT_FALSE(p.hasSize);
    EXPECT_FALSE(p.hasPosition);
    EXPECT_FALSE(p.maximized);
    // A volume beyond the slider's range is brought into it.
    sys::IniStore(configPath).Write(app::kSectionInterface, app::kKeyVolume, "250");
    OnUi([this] { app::LoadInterfaceState(*ctx); });
    EXPECT_EQ(model.position(app::kPlayerVolume), 100);
}

TEST_F(WindowStateFlow, ClosingStoresPageAndTheChosenVolumeEvenWhenMuted) {
    StartProgram();
    model.setPosition(app::kPlayerVolume, 55);
    Fire(app::kPlayerVolume, EventType::SliderChanged, 55);
    Click(app::kPlayerMute);
    ASSERT_EQ(model.position(app::kPlayerVolume), 0) << "muted";
    Key("Ctrl+2");
    OnUi([this] { app::RunClosing(*ctx); });
    EXPECT_EQ(Ini(app::kKeyPage), "1");
    EXPECT_EQ(Ini(app::kKeyVolume), "55");
    // The four settings of the other sections are untouched.
    EXPECT_EQ(sys::IniStore(configPath).Read("音乐保存路径", "路径"), saveDir);
}

TEST_F(WindowStateFlow, ClosingWritesOnlyWhatChanged) {
    // Back on the first page, the default: the stored page follows all the same.
    extraConfig = "[界面]\n页面=2\n音量=42\n";
    StartProgram();
    Key("Ctrl+1");
    OnUi([this] { app::RunClosing(*ctx); });
    EXPECT_EQ(Ini(app::kKeyPage), "0");
    EXPECT_EQ(Ini(app::kKeyVolume), "42");
}

TEST_F(WindowStateFlow, ChosenSourceIsRememberedByName) {
    StartProgram();
    ASSERT_GE(model.comboCount(app::kSourceCombo), 3);
    model.setSelection(app::kSourceCombo, 2);
    Fire(app::kSourceCombo, EventType::ComboChanged, 2);
    EXPECT_EQ(Ini(app::kKeySource), model.comboItem(app::kSourceCombo, 2)->text);
}

class RestoredSourceFlow : public WindowStateFlow {};

TEST_F(RestoredSourceFlow, TheSourceOfTheLastRunIsChosenAgain) {
    // The catalogue's third source, by its name.
    extraConfig = "[界面]\n音源=酷我音乐\n";
    StartProgram();
    ASSERT_TRUE(WaitIdle());
    const int index = model.selection(app::kSourceCombo);
    ASSERT_GE(index, 0);
    EXPECT_EQ(model.comboItem(app::kSourceCombo, index)->text, "酷我音乐");
    const auto urls = ctx->sources.Urls();
    EXPECT_EQ(ctx->sources.Current(), urls.at(static_cast<size_t>(index)));
    const auto ids = ctx->sources.MenuIds();
    for (size_t j = 0; j < ids.size(); ++j)
        EXPECT_EQ(model.menuItem(app::kTrackMenu, ids[j])->disabled, static_cast<int>(j) == index) << j;
    Search("Nora");
    EXPECT_NE(catalogue.stats().Last(democat::Endpoint::kSearch)->target.find("/song/kw/"), std::string::npos);
}

TEST_F(RestoredSourceFlow, AnUnknownNameKeepsTheFirstSource) {
    extraConfig = "[界面]\n音源=早已下线的音源\n";
    StartProgram();
    EXPECT_EQ(model.selection(app::kSourceCombo), 0);
    EXPECT_EQ(ctx->sources.Current(), ctx->sources.Urls().at(0));
}

TEST(WindowPlacement, RoundTripsThroughTheSettingsFile) {
    char tmpl[] = "/tmp/mm-placement-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    const std::string path = dir + "/config.ini";
    app::WindowPlacement p;
    p.hasPosition = true;
    p.x = -12;
    p.y = 40;
    p.hasSize = true;
    p.width = 1280;
    p.height = 800;
    p.maximized = true;
    app::StoreWindowPlacement(path, p);
    const app::WindowPlacement q = app::LoadWindowPlacement(path);
    EXPECT_TRUE(q.hasPosition);
    EXPECT_EQ(q.x, -12);
    EXPECT_EQ(q.y, 40);
    EXPECT_TRUE(q.hasSize);
    EXPECT_EQ(q.width, 1280);
    EXPECT_EQ(q.height, 800);
    EXPECT_TRUE(q.maximized);
    EXPECT_EQ(sys::IniStore(path).Read("界面", "窗口大小"), "1280,800");
    std::filesystem::remove_all(dir);
}

// ---- the folder choice

class FolderChoiceFlow : public WindowStateFlow {
protected:
    void Answer(const std::string& path) {
        ctx->shell.chooseFolder = [this, path](const std::string& title, const std::string& start) {
            titles.push_back(title);
            starts.push_back(start);
            return path;
        };
    }
    void TearDown() override {
        if (!immutable.empty()) std::system(("chattr -i '" + immutable + "' 2>/dev/null").c_str());
    }
    // A folder no file can be created in: read-only for a user, immutable for root.
    std::string ReadOnlyFolder() {
        const std::string dir = tempDir + "/只读";
        std::filesystem::create_directories(dir);
        chmod(dir.c_str(), 0555);
        if (sys::CanCreateFilesIn(dir) &&
            std::system(("chattr +i '" + dir + "' 2>/dev/null").c_str()) == 0) {
            immutable = dir;
        }
        return dir;
    }
    std::vector<std::string> titles, starts;
    std::string immutable;
};

TEST_F(FolderChoiceFlow, ChosenFolderIsCreatedShownAndStored) {
    StartProgram();
    const std::string chosen = tempDir + "/新的/音乐";
    Answer(chosen);
    Click(app::kButtonChangeFolder);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(titles[0], "选择保存音乐的路径");
    EXPECT_EQ(starts[0], saveDir) << "the chooser opens in the folder in use";
    EXPECT_TRUE(sys::IsDirectory(chosen));
    EXPECT_EQ(model.text(app::kLabelSavePath), chosen + "/");
    EXPECT_EQ(sys::IniStore(configPath).Read("音乐保存路径", "路径"), chosen + "/");
    EXPECT_TRUE(MessageBoxes().empty());
}

TEST_F(FolderChoiceFlow, FolderThatTakesNoFilesIsRefusedAndTheOldOneStays) {
    StartProgram();
    const std::string dir = ReadOnlyFolder();
    if (sys::CanCreateFilesIn(dir)) GTEST_SKIP() << "no way to make a read-only folder here";
    Answer(dir);
    Click(app::kButtonChangeFolder);
    ASSERT_EQ(MessageBoxes().size(), 1u);
    const auto box = MessageBoxes()[0];
    EXPECT_EQ(box.title, "code:403");
    EXPECT_NE(box.text.find("不能写入"), std::string::npos);
    EXPECT_NE(box.text.find(dir), std::string::npos) << "the message names the folder";
    EXPECT_EQ(box.button, "好的");
    EXPECT_EQ(model.text(app::kLabelSavePath), saveDir);
    EXPECT_EQ(sys::IniStore(configPath).Read("音乐保存路径", "路径"), saveDir);

    // A folder that cannot even be made (a file stands in its way) is refused the same way.
    std::ofstream(tempDir + "/a-file") << "x";
    Answer(tempDir + "/a-file/音乐");
    Click(app::kButtonChangeFolder);
    EXPECT_EQ(MessageBoxes().size(), 2u);
    EXPECT_EQ(model.text(app::kLabelSavePath), saveDir);
}

TEST_F(FolderChoiceFlow, CancelChangesNothing) {
    StartProgram();
    Answer("");
    Click(app::kButtonChangeFolder);
    EXPECT_EQ(model.text(app::kLabelSavePath), saveDir);
    EXPECT_TRUE(MessageBoxes().empty());
}

}  // namespace
}  // namespace mm::test
