// The settings page of the real program, driven through its automation mode:
// the folder chooser, the naming radio buttons and the two check boxes each
// write the settings file, which the next start reads back.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/program/run_program.h"

namespace mm::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class SettingsProgram : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/mm-settings-program-XXXXXX";
        dir = ::mkdtemp(tmpl);
        config = dir + "/config.ini";
        std::ofstream(config) << "[音乐保存路径]\n路径=" << dir << "/start/\n";
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs the program on a script; the JSON lines it wrote.
    std::vector<json> Run(const std::string& script) {
        ProgramRun r = RunProgram(MM_PROGRAM, {"--automation", "--no-sound", "--config", config}, script);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::vector<json> lines;
        std::istringstream out(r.out);
        for (std::string line; std::getline(out, line);) lines.push_back(json::parse(line, nullptr, false));
        return lines;
    }
    static std::string Folder(const std::string& path) {
        return "{\"op\":\"folder\",\"path\":" + json(path).dump() + "}\n";
    }
    std::string ReadConfig() const {
        std::ifstream f(config);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
    // Texts of the save-folder label dumps, in order.
    static std::vector<std::string> LabelTexts(const std::vector<json>& lines) {
        std::vector<std::string> texts;
        for (const json& l : lines) {
            if (l.contains("dump") && l["dump"]["control"] == "标签_下载路径")
                texts.push_back(l["dump"]["text"]);
        }
        return texts;
    }

    std::string dir, config;
};

constexpr const char* kClickChooser = "{\"op\":\"click\",\"control\":\"按钮EX1\"}\n";
constexpr const char* kDumpLabel = "{\"op\":\"dump\",\"control\":\"标签_下载路径\"}\n";

TEST_F(SettingsProgram, FolderChooserTitleCancelTrailingSlashCreationAndStore) {
    const auto lines = Run(std::string("{\"op\":\"wait\",\"timeout_ms\":20000}\n") + kDumpLabel +
                           kClickChooser + kDumpLabel +  // no answer: cancelled
                           Folder(dir + "/chosen/deeper") + kClickChooser + kDumpLabel +
                           Folder(dir + "/with slash/") + kClickChooser + kDumpLabel);

    std::vector<std::string> starts;
    for (const json& l : lines) {
        if (l.contains("error")) ADD_FAILURE() << l.dump();
        if (l.contains("folder_chooser")) {
            EXPECT_EQ(l["folder_chooser"]["title"], "选择保存音乐的路径");
            starts.push_back(l["folder_chooser"]["start"]);
        }
    }
    // The chooser opens in the folder in use; a cancel keeps it.
    EXPECT_EQ(starts, (std::vector<std::string>{dir + "/start/", dir + "/start/", dir + "/chosen/deeper/"}));
    EXPECT_EQ(LabelTexts(lines), (std::vector<std::string>{dir + "/start/", dir + "/start/",
                                                           dir + "/chosen/deeper/", dir + "/with slash/"}));
    EXPECT_TRUE(fs::is_directory(dir + "/start")) << "the configured folder is made at start";
    EXPECT_TRUE(fs::is_directory(dir + "/chosen/deeper")) << "a chosen folder is made level by level";
    EXPECT_TRUE(fs::is_directory(dir + "/with slash"));
    EXPECT_NE(ReadConfig().find("路径=" + dir + "/with slash/\n"), std::string::npos) << ReadConfig();

    // The next start shows the stored folder.
    EXPECT_EQ(LabelTexts(Run(kDumpLabel)), (std::vector<std::string>{dir + "/with slash/"}));
}

TEST_F(SettingsProgram, NamingAndCheckBoxesWriteTheFileAndComeBackAtTheNextStart) {
    const std::string before = ReadConfig();
    Run("{\"op\":\"wait\",\"timeout_ms\":20000}\n");
    EXPECT_EQ(ReadConfig(), before) << "starting and closing write nothing";

    Run("{\"op\":\"click\",\"control\":\"单选框_命名3\"}\n"
        "{\"op\":\"click\",\"control\":\"选择框_嵌入封面\"}\n"
        "{\"op\":\"click\",\"control\":\"选择框_试听下载\"}\n"
        "{\"op\":\"click\",\"control\":\"选择框_试听下载\"}\n");
    std::string text = ReadConfig();
    EXPECT_NE(text.find("歌曲命名=2"), std::string::npos) << text;
    EXPECT_NE(text.find("自动嵌入=0"), std::string::npos) << text;
    EXPECT_NE(text.find("边听边下载=1"), std::string::npos) << text;

    const auto lines =
        Run("{\"op\":\"dump\",\"control\":\"单选框_命名1\"}\n"
            "{\"op\":\"dump\",\"control\":\"单选框_命名3\"}\n"
            "{\"op\":\"dump\",\"control\":\"选择框_嵌入封面\"}\n"
            "{\"op\":\"dump\",\"control\":\"选择框_试听下载\"}\n"
            "{\"op\":\"click\",\"control\":\"单选框_命名2\"}\n");
    std::vector<bool> checked;
    for (const json& l : lines) {
        if (l.contains("dump")) checked.push_back(l["dump"]["checked"]);
    }
    EXPECT_EQ(checked, (std::vector<bool>{false, true, false, true}));
    EXPECT_NE(ReadConfig().find("歌曲命名=1"), std::string::npos) << ReadConfig();
}

}  // namespace
}  // namespace mm::test
