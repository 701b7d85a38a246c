// The settings file against real files in a temporary folder.
#include "app/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/controls.h"
#include "app/startup.h"
#include "platform/sys/files.h"
#include "platform/ui/headless_ui_thread.h"

namespace fs = std::filesystem;
using namespace mm::app;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/mm-settings-XXXXXX";
        dir = mkdtemp(tmpl);
        DefineMainWindowControls(model);
        ctx.configPath = dir + "/conf/config.ini";
    }
    void TearDown() override {
        chmod((dir + "/conf").c_str(), 0755);
        fs::remove_all(dir);
    }
    void WriteConfig(const std::string& bytes) {
        fs::create_directories(dir + "/conf");
        std::ofstream(ctx.configPath, std::ios::binary) << bytes;
    }
    std::string ReadConfig() {
        std::string s;
        mm::sys::ReadFile(ctx.configPath, s);
        return s;
    }

    std::string dir;
    mm::ui::ControlModel model;
    mm::ui::HeadlessUiThread uiThread;
    mm::ui::EventDispatcher events{uiThread};
    AppContext ctx{model, events, nullptr};
};

TEST_F(SettingsTest, MissingFileGivesDefaultsAndIsNotCreated) {
    LoadSettings(ctx);
    EXPECT_EQ(model.text(kLabelSavePath), "");
    EXPECT_TRUE(model.checked(kRadioNaming1));
    EXPECT_FALSE(model.checked(kRadioNaming2));
    EXPECT_FALSE(model.checked(kRadioNaming3));
    EXPECT_TRUE(model.checked(kCheckEmbed));
    EXPECT_TRUE(model.checked(kCheckListenDownload));
    EXPECT_FALSE(mm::sys::PathExists(ctx.configPath)) << "loading must not write the file";
    EXPECT_EQ(NamingScheme(ctx), 0);
}

TEST_F(SettingsTest, OnlyExactValuesCount) {
    WriteConfig("[其他设置]\n歌曲命名=3\n自动嵌入=no\n边听边下载=00\n");
    LoadSettings(ctx);
    EXPECT_TRUE(model.checked(kRadioNaming1)) << "\"3\" is scheme 0";
    EXPECT_TRUE(model.checked(kCheckEmbed)) << "\"no\" is on";
    EXPECT_TRUE(model.checked(kCheckListenDownload)) << "\"00\" is on";
    EXPECT_NE(ReadConfig().find("歌曲命名=3"), std::string::npos) << "the file keeps 3 until a click";

    WriteConfig("[其他设置]\n歌曲命名=2\n自动嵌入=0\n边听边下载=0\n");
    LoadSettings(ctx);
    EXPECT_TRUE(model.checked(kRadioNaming3));
    EXPECT_FALSE(model.checked(kRadioNaming1));
    EXPECT_FALSE(model.checked(kCheckEmbed));
    EXPECT_FALSE(model.checked(kCheckListenDownload));
    EXPECT_EQ(NamingScheme(ctx), 2);
}

TEST_F(SettingsTest, StoresOneKeyAtATimeAndRoundTrips) {
    WriteConfig("; written by hand\n[其他设置]\n歌曲命名=0\n");
    model.setText(kLabelSavePath, dir + "/音乐/");
    StoreSaveFolder(ctx);
    StoreNamingScheme(ctx, 1);
    model.setChecked(kCheckEmbed, false);
    StoreEmbedFlag(ctx);
    model.setChecked(kCheckListenDownload, true);
    StoreListenDownloadFlag(ctx);

    std::string text = ReadConfig();
    EXPECT_NE(text.find("; written by hand"), std::string::npos) << "other lines survive";
    EXPECT_NE(text.find("[音乐保存路径]\n路径=" + dir + "/音乐/"), std::string::npos) << text;
    EXPECT_NE(text.find("歌曲命名=1"), std::string::npos);
    EXPECT_EQ(text.find("歌曲命名=0"), std::string::npos);
    EXPECT_NE(text.find("自动嵌入=0"), std::string::npos);
    EXPECT_NE(text.find("边听边下载=1"), std::string::npos);

    mm::ui::ControlModel model2;
    DefineMainWindowControls(model2);
    AppContext ctx2{model2, events, nullptr};
    ctx2.configPath = ctx.configPath;
    LoadSettings(ctx2);
    EXPECT_EQ(model2.text(kLabelSavePath), dir + "/音乐/");
    EXPECT_TRUE(model2.checked(kRadioNaming2));
    EXPECT_FALSE(model2.checked(kCheckEmbed));
}

TEST_F(SettingsTest, ReadsAFileWrittenInGbk) {
    // "[音乐保存路径]\n路径=/tmp/歌\n" in GBK
    WriteConfig("[\xD2\xF4\xC0\xD6\xB1\xA3\xB4\xE6\xC2\xB7\xBE\xB6]\n\xC2\xB7\xBE\xB6=/tmp/\xB8\xE8/\n");
    LoadSettings(ctx);
    EXPECT_EQ(model.text(kLabelSavePath), "/tmp/歌/");
}

TEST_F(SettingsTest, UnwritableFolderKeepsOldFileAndLiveControls) {
    WriteConfig("[其他设置]\n自动嵌入=1\n");
    if (geteuid() == 0) {
        // Root writes into read-only folders; a file where the folder should be
        // cannot be written by anyone.
        std::string old = ReadConfig();
        ctx.configPath = dir + "/conf/config.ini/config.ini";
        model.setChecked(kCheckEmbed, false);
        StoreEmbedFlag(ctx);
        EXPECT_FALSE(model.checked(kCheckEmbed));
        ctx.configPath = dir + "/conf/config.ini";
        EXPECT_EQ(ReadConfig(), old);
        return;
    }
    chmod((dir + "/conf").c_str(), 0555);
    model.setChecked(kCheckEmbed, false);
    StoreEmbedFlag(ctx);
    EXPECT_FALSE(model.checked(kCheckEmbed));
    EXPECT_NE(ReadConfig().find("自动嵌入=1"), std::string::npos);
}

TEST_F(SettingsTest, SaveFolderIsCreatedLevelByLevel) {
    std::string folder = dir + "/a/b/c/";
    EnsureSaveFolder(folder);
    EXPECT_TRUE(mm::sys::IsDirectory(dir + "/a/b/c"));
    // Typed without the trailing separator: the folder keeps its whole name.
    EnsureSaveFolder(dir + "/x/Music");
    EXPECT_TRUE(mm::sys::IsDirectory(dir + "/x/Music"));
    // Fewer than three characters after the separator is dropped: never
    // created. Relative to a working folder of the test's own, given back
    // before the folder is deleted.
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    EnsureSaveFolder("ab/");
    const bool created = mm::sys::PathExists(dir + "/ab");
    fs::current_path(before);
    EXPECT_FALSE(created);
    EXPECT_EQ(fs::current_path(), before);
}

}  // namespace
