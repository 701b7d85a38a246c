// Files that fit a music library, through the whole program against the demo
// catalogue: name templates with sub-folders, lyrics files, the MP3 tag text
// encodings and album folder covers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <nlohmann/json.hpp>
#include <regex>

#include "app/control_names.h"
#include "app/library_settings.h"
#include "democatalogue/song_table.h"
#include "platform/sys/files.h"
#include "platform/sys/ini_store.h"
#include "search/track_menu.h"
#include "tests/download/download_flow_helpers.h"

namespace mm::test {
namespace {

namespace fs = std::filesystem;
using democat::Tier;
using ui::EventType;

constexpr const char* kTemplateConfig = "[文件命名]\n自定义=1\n模板={singer}/{album}/{title} - {singer}\n";

// Every file below the save folder, as paths relative to it, sorted.
std::vector<std::string> FilesBelow(const std::string& dir) {
    std::vector<std::string> out;
    for (auto& e : fs::recursive_directory_iterator(dir)) {
        if (e.is_regular_file()) out.push_back(fs::relative(e.path(), dir).string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

nlohmann::json MutagenText(const std::string& path) {
    std::string script = std::string(std::getenv("MM_SOURCE_DIR")) + "/tests/tags/mutagen_text.py";
    int code = -1;
    std::string out = RunCommand("/usr/bin/python3 " + Quote(script) + " " + Quote(path) + " 2>&1", &code);
    EXPECT_EQ(code, 0) << out;
    return nlohmann::json::parse(out, nullptr, false);
}

class LibraryFlow : public DownloadFlowTest {
protected:
    LibraryFlow() {
        // Called off the UI thread.
        ctx->shell.showInFolder = [this](const std::string& path) {
            std::lock_guard lock(shownMutex);
            shown.push_back(path);
            return true;
        };
    }
    // Types a template into the edit box, as the view does: text, then TextChanged.
    void TypeTemplate(const std::string& text) {
        model.setText(app::kEditNameTemplate, text);
        Fire(app::kEditNameTemplate, EventType::TextChanged, 0, text);
    }
    void ChooseCombo(const char* combo, int index) {
        model.setSelection(combo, index);
        Fire(combo, EventType::ComboChanged, index);
    }
    void Check(const char* box, bool on) {
        model.setChecked(box, on);
        Click(box);
    }
    std::string Setting(const char* section, const char* key) const {
        return sys::IniStore(configPath).Read(section, key);
    }
    // The download list's show-in-folder action for a row.
    std::string ShowInFolder(int row) {
        {
            std::lock_guard lock(shownMutex);
            shown.clear();
        }
        Fire(app::kDownloadList, EventType::RowRightClick, row);
        Menu(app::kDownloadMenu, search::kMenuOpenFolder);
        EXPECT_TRUE(WaitIdle());
        std::lock_guard lock(shownMutex);
        return shown.empty() ? "" : shown.back();
    }

    std::mutex shownMutex;
    std::vector<std::string> shown;
};

TEST_F(LibraryFlow, TemplateWithSubFoldersPutsTheFileAtTheExactPath) {
    extraConfig = kTemplateConfig;
    StartProgram();
    EXPECT_TRUE(model.checked(app::kRadioNaming4));
    EXPECT_FALSE(model.checked(app::kRadioNaming1));
    EXPECT_EQ(model.text(app::kLabelNameExample), "示例：周杰伦/叶惠美/晴天 - 周杰伦.mp3");

    DownloadByTitle("晴天", "晴天里的风", 2);
    const std::string rel = "林小雨/夏日信笺/晴天里的风 - 林小雨.flac";
    EXPECT_EQ(FilesBelow(saveDir), std::vector<std::string>{rel});
    EXPECT_EQ(Status(0), "下载完成");
    int code = -1;
    std::string out = RunCommand("flac -t -s " + Quote(saveDir + rel) + " 2>&1", &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_EQ(FlacFrames(Saved(rel)), FlacFrames(ServerAudio(1, Tier::kLossless)));
    // The row shows the file's name; its actions find the file in its folder.
    EXPECT_EQ(model.cellText(app::kDownloadList, 0, 0), "晴天里的风 - 林小雨\r\n[夏日信笺]");
    EXPECT_EQ(ShowInFolder(0), saveDir + rel);
    // Played from the list: the file is found and opened in its folder.
    Fire(app::kDownloadList, EventType::RowRightClick, 0);
    Menu(app::kDownloadMenu, search::kMenuPlayFile);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(model.text(app::kPlayerTime), "00:24");
    EXPECT_TRUE(MessageBoxes().empty()) << MessageBoxes().back().text;
}

TEST_F(LibraryFlow, SlashesAndColonsOfATitleStayInsideOneFolderLevel) {
    extraConfig = "[文件命名]\n自定义=1\n模板={singer}/{title}\n";
    StartProgram();
    DownloadByTitle("AC/DC", "AC*DC: Live?", 1);
    EXPECT_EQ(FilesBelow(saveDir), std::vector<std::string>{"X/AC-DC- Live-.mp3"});
    EXPECT_EQ(AfterId3(Saved("X/AC-DC- Live-.mp3")), ServerAudio(3, Tier::kHigh));

    // A singer that is a path, and a title with a dot in front, stay names.
    DownloadByTitle("Back", "Back*Slash", 0);
    DownloadByTitle("A/B", "A*B Test", 0);
    for (const std::string& f : FilesBelow(saveDir)) {
        EXPECT_EQ(std::count(f.begin(), f.end(), '/'), 1) << f;
    }
    EXPECT_TRUE(sys::IsRegularFile(saveDir + "Path Finder/Back-Slash.mp3"));
    EXPECT_TRUE(sys::IsRegularFile(saveDir + "Path Finder/A-B Test.mp3"));
}

TEST_F(LibraryFlow, TemplatesThatLeaveTheSaveFolderAreRefusedWhenTyped) {
    extraConfig = "[文件命名]\n自定义=1\n模板={singer}/{title}\n";
    StartProgram();
    for (std::string bad : {"../x", "/etc/x", ""}) {
        TypeTemplate(bad);
        EXPECT_EQ(model.text(app::kLabelNameExample).rfind("示例：", 0), std::string::npos) << bad;
        EXPECT_FALSE(model.text(app::kLabelNameExample).empty()) << bad;
        EXPECT_EQ(Setting(app::kSectionNaming, app::kKeyNameTemplate), "{singer}/{title}") << "never stored";
    }
    EXPECT_NE(model.text(app::kLabelNameExample).find("不能为空"), std::string::npos);
    TypeTemplate("../x");
    EXPECT_NE(model.text(app::kLabelNameExample).find(".."), std::string::npos);

    // A download while the box holds a refused template uses the last good one.
    DownloadByTitle("Morning", "Morning Light", 0);
    EXPECT_EQ(FilesBelow(saveDir), std::vector<std::string>{"Nora Vale/Morning Light.mp3"});
    EXPECT_FALSE(sys::PathExists(tempDir + "/x"));
    EXPECT_FALSE(sys::PathExists(tempDir + "/x.mp3"));

    // Typing a good one shows its example at once and stores it.
    TypeTemplate("{album}/{index} {title}");
    EXPECT_EQ(model.text(app::kLabelNameExample), "示例：叶惠美/01 晴天.mp3");
    EXPECT_EQ(Setting(app::kSectionNaming, app::kKeyNameTemplate), "{album}/{index} {title}");

    // Back to a scheme: custom naming goes off, the Parts' key is written as before.
    Click(app::kRadioNaming2);
    EXPECT_FALSE(model.checked(app::kRadioNaming4));
    EXPECT_EQ(Setting(app::kSectionNaming, app::kKeyCustomNaming), "0");
    EXPECT_EQ(Setting("其他设置", "歌曲命名"), "1");
}

TEST_F(LibraryFlow, CustomCannotBeChosenWithoutATemplateThatCanBeUsed) {
    StartProgram();
    EXPECT_TRUE(model.checked(app::kRadioNaming1));
    TypeTemplate("/etc/{title}");
    Click(app::kRadioNaming4);
    EXPECT_FALSE(model.checked(app::kRadioNaming4));
    EXPECT_TRUE(model.checked(app::kRadioNaming1));
    EXPECT_EQ(Setting(app::kSectionNaming, app::kKeyCustomNaming), "");
    TypeTemplate("{source}/{title} [{tier}]");
    Click(app::kRadioNaming4);
    EXPECT_TRUE(model.checked(app::kRadioNaming4));
    EXPECT_EQ(Setting(app::kSectionNaming, app::kKeyCustomNaming), "1");
    DownloadByTitle("Morning", "Morning Light", 2);
    ASSERT_EQ(FilesBelow(saveDir).size(), 1u);
    std::string source = model.comboItem(app::kSourceCombo, 0)->text;
    EXPECT_EQ(FilesBelow(saveDir)[0], source + "/Morning Light [无损].flac");
}

TEST_F(LibraryFlow, ACollisionInsideATemplateFolderGetsTheDatedNameThere) {
    extraConfig = kTemplateConfig;
    StartProgram();
    DownloadByTitle("晴天", "晴天里的风", 2);
    QueueFromTierWindow(ResultRow("晴天里的风"), 2);
    ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));
    auto files = FilesBelow(saveDir);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0], "林小雨/夏日信笺/晴天里的风 - 林小雨.flac");
    std::regex dated(
        "林小雨/夏日信笺/晴天里的风 - "
        "林小雨_\\d{4}年\\d{1,2}月\\d{1,2}日(\\d{1,2}时(\\d{1,2}分(\\d{1,2}秒)?)?)?\\.flac");
    EXPECT_TRUE(std::regex_match(files[1], dated)) << files[1];
    EXPECT_EQ(FlacFrames(Saved(files[1])), FlacFrames(Saved(files[0])));
    EXPECT_EQ(ShowInFolder(1), saveDir + files[1]);
}

TEST_F(LibraryFlow, TagTextEncodingFollowsItsChoice) {
    StartProgram();
    EXPECT_EQ(model.selection(app::kComboTagEncoding), 0);
    struct Case {
        int choice;
        const char* stored;
        int version;
        int encoding;
    };
    int n = 0;
    for (Case c : {Case{1, "UTF-16", 3, 1}, Case{2, "ID3v2.4", 4, 3}, Case{0, "GBK", 3, 0}}) {
        SCOPED_TRACE(c.stored);
        ChooseCombo(app::kComboTagEncoding, c.choice);
        EXPECT_EQ(Setting(app::kSectionTags, app::kKeyTagEncoding), c.stored);
        // Each download lands beside the last one; the naming tells them apart.
        Click(n == 0 ? app::kRadioNaming1 : n == 1 ? app::kRadioNaming2 : app::kRadioNaming3);
        DownloadByTitle("晴天", "晴天里的风", 1);
        std::string name = n == 0   ? "晴天里的风 - 林小雨 .mp3"
                           : n == 1 ? "林小雨  - 晴天里的风.mp3"
                                    : "晴天里的风.mp3";
        ++n;
        ASSERT_TRUE(sys::IsRegularFile(saveDir + name)) << name;
        auto m = MutagenText(saveDir + name);
        EXPECT_EQ(m["version"][1], c.version);
        EXPECT_EQ(m["frames"]["TIT2"]["encoding"], c.encoding);
        EXPECT_EQ(m["frames"]["TIT2"]["text"], "晴天里的风");
        EXPECT_EQ(m["frames"]["TPE1"]["text"], "林小雨 ");
        EXPECT_EQ(m["frames"]["USLT"]["text"], democat::FindSong(1)->Lyrics());
        EXPECT_EQ(AfterId3(Saved(name)), ServerAudio(1, Tier::kHigh));
    }
}

TEST_F(LibraryFlow, LyricsFilesInEachEncodingAndNoneWithoutLyrics) {
    extraConfig = "[歌词文件]\n保存=1\n";
    StartProgram();
    EXPECT_TRUE(model.checked(app::kCheckLyricsFile));
    const std::string lyrics = democat::FindSong(1)->Lyrics();
    struct Case {
        int choice;
        const char* stored;
        const char* charset;
        bool mark;
    };
    int n = 0;
    for (Case c : {Case{0, "UTF-8", "UTF-8", false}, Case{1, "UTF-8-BOM", "UTF-8", true},
                   Case{2, "GBK", "GBK", false}}) {
        SCOPED_TRACE(c.stored);
        ChooseCombo(app::kComboLyricsEncoding, c.choice);
        EXPECT_EQ(Setting(app::kSectionLyricsFile, app::kKeyLyricsFileEncoding), c.stored);
        Click(n == 0 ? app::kRadioNaming1 : n == 1 ? app::kRadioNaming2 : app::kRadioNaming3);
        DownloadByTitle("晴天", "晴天里的风", 2);
        std::string base = n == 0 ? "晴天里的风 - 林小雨 " : n == 1 ? "林小雨  - 晴天里的风" : "晴天里的风";
        ++n;
        ASSERT_TRUE(sys::IsRegularFile(saveDir + base + ".flac"));
        std::string lrc = saveDir + base + ".lrc";
        ASSERT_TRUE(sys::IsRegularFile(lrc));
        EXPECT_FALSE(sys::PathExists(lrc + ".part"));
        int code = -1;
        std::string text =
            RunCommand("iconv -f " + std::string(c.charset) + " -t UTF-8 " + Quote(lrc), &code);
        EXPECT_EQ(code, 0);
        EXPECT_EQ(text, (c.mark ? "\xEF\xBB\xBF" : "") + lyrics);
    }

    // No lyrics in the reply: no lyrics file.
    Click(app::kRadioNaming1);
    DownloadByTitle("No Lyrics", "No Lyrics", 0);
    EXPECT_TRUE(sys::IsRegularFile(saveDir + "No Lyrics - Ethan Cole .mp3"));
    EXPECT_FALSE(sys::PathExists(saveDir + "No Lyrics - Ethan Cole .lrc"));

    // A lyrics file that is there already is never written over.
    sys::WriteFileAtomic(saveDir + "Morning Light - Nora Vale .lrc", "mine");
    DownloadByTitle("Morning", "Morning Light", 0);
    std::string kept;
    sys::ReadFile(saveDir + "Morning Light - Nora Vale .lrc", kept);
    EXPECT_EQ(kept, "mine");

    // Turned off: no more lyrics files.
    Check(app::kCheckLyricsFile, false);
    EXPECT_EQ(Setting(app::kSectionLyricsFile, app::kKeyLyricsFileOn), "0");
    DownloadByTitle("Sixty", "Sixty Seconds", 0);
    EXPECT_TRUE(sys::IsRegularFile(saveDir + "Sixty Seconds - Mia Stone .mp3"));
    EXPECT_FALSE(sys::PathExists(saveDir + "Sixty Seconds - Mia Stone .lrc"));
}

TEST_F(LibraryFlow, AlbumFolderGetsTheCoverOnceWhenATemplateMakesAlbumFolders) {
    extraConfig = std::string(kTemplateConfig) + "[标签]\n文件夹封面=1\n";
    StartProgram();
    EXPECT_TRUE(model.checked(app::kCheckFolderCover));
    DownloadByTitle("晴天", "晴天里的风", 0);
    std::string cover;
    ASSERT_TRUE(sys::ReadFile(saveDir + "林小雨/夏日信笺/cover.jpg", cover));
    EXPECT_EQ(cover, ServerCover(1));

    // A folder with a cover of its own keeps it.
    fs::create_directories(saveDir + "Nora Vale/First Steps");
    sys::WriteFileAtomic(saveDir + "Nora Vale/First Steps/Folder.PNG", "theirs");
    DownloadByTitle("Morning", "Morning Light", 0);
    EXPECT_TRUE(sys::IsRegularFile(saveDir + "Nora Vale/First Steps/Morning Light - Nora Vale.mp3"));
    EXPECT_FALSE(sys::PathExists(saveDir + "Nora Vale/First Steps/cover.jpg"));

    // A song without a cover leaves none; a template without album folders makes none.
    DownloadByTitle("没有封面", "没有封面", 0);
    EXPECT_TRUE(sys::IsRegularFile(saveDir + "陈一鸣/城市之光/没有封面 - 陈一鸣.mp3"));
    EXPECT_FALSE(sys::PathExists(saveDir + "陈一鸣/城市之光/cover.jpg"));
    TypeTemplate("{singer}/{title}");
    DownloadByTitle("Sixty", "Sixty Seconds", 0);
    EXPECT_TRUE(sys::IsRegularFile(saveDir + "Mia Stone/Sixty Seconds.mp3"));
    EXPECT_FALSE(sys::PathExists(saveDir + "Mia Stone/cover.jpg"));
}

}  // namespace
}  // namespace mm::test
