#include "platform/ui/automation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "platform/ui/headless_ui_thread.h"

namespace mm::ui {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

// A small window with handlers like the program's: a search box, a list with a
// context menu, settings controls and a worker that reports through a box.
class AutomationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        model.define("窗口EX1", Kind::Window);
        model.define("编辑框_搜索歌曲名", Kind::EditBox);
        model.define("控制_搜索", Kind::Button);
        model.define("列表框_搜索", Kind::ListBox);
        model.define("标签_状态", Kind::Label);
        model.define("组合框_音源选择", Kind::ComboBox);
        model.define("单选框_命名1", Kind::RadioButton);
        model.define("单选框_命名2", Kind::RadioButton);
        model.define("选择框_嵌入封面", Kind::CheckBox);
        model.define("播放栏_音乐音量", Kind::Slider);
        model.define("时钟_试听封面旋转", Kind::Timer);
        model.define("按钮_后台", Kind::Button);
        model.setChecked("单选框_命名1", true);
        model.setMaximum("播放栏_音乐音量", 100);
        model.addComboItem("组合框_音源选择", {"qq", "QQ音乐", 0, 1});
        model.addComboItem("组合框_音源选择", {"wy", "网易云", 0, 2});
        model.defineMenu("track");
        model.insertMenuItem("track", 1, item(1, "下载 - 单曲", false));
        model.insertMenuItem("track", 2, item(6, "下载 - 歌单全部歌曲", true));

        auto search = [this](const Event&) {
            const std::string keyword = model.text("编辑框_搜索歌曲名");
            if (keyword.empty()) {
                model.messageBox({"code:404", "请输入歌曲名", "好的", "窗口EX1"});
                return;
            }
            model.deleteRow("列表框_搜索", -1);
            for (int i = 0; i < 2; ++i) {
                int r = model.insertRow("列表框_搜索", -1);
                model.setCellText("列表框_搜索", r, 0, std::to_string(r + 1));
                model.setCellText("列表框_搜索", r, 1, keyword + " " + std::to_string(r + 1));
                model.setCellIcon("列表框_搜索", r, 1, "badge");
            }
            model.setRowProgress("列表框_搜索", 1, 40);
            model.setCellTip("列表框_搜索", 1, 1, "连接被重置");
        };
        events.on("控制_搜索", EventType::Click, search);
        events.on("编辑框_搜索歌曲名", EventType::KeyUp, [search](const Event& e) {
            if (e.arg == 13) search(e);
        });
        events.on("列表框_搜索", EventType::RowRightClick, [this](const Event& e) {
            currentRow = e.arg + 1;
            model.popUpMenu("track");
        });
        events.on("track", EventType::MenuChoice, [this](const Event& e) {
            model.setText("标签_状态",
                          "menu " + std::to_string(e.arg) + " row " + std::to_string(currentRow));
        });
        events.on("组合框_音源选择", EventType::ComboChanged, [this](const Event& e) {
            model.setText("标签_状态", "source " + model.comboItem("组合框_音源选择", e.arg)->text);
        });
        events.on("时钟_试听封面旋转", EventType::TimerTick, [this](const Event&) {
            model.setAngle("时钟_试听封面旋转", model.angle("时钟_试听封面旋转") + 1);
        });
        events.on("按钮_后台", EventType::Click, [this](const Event&) {
            worker = std::thread([this] {
                std::this_thread::sleep_for(30ms);
                model.messageBox({"code:886", "数据获取失败，请检查网络连接！", "好的", "窗口EX1"});
            });
        });
        events.on("窗口EX1", EventType::WindowClose, [this](const Event& e) { closes.push_back(e.arg); });

        ui.AttachTimers(model, events);
        ui.SetAutoTimers(false);
        ui.Start();
    }
    void TearDown() override {
        if (worker.joinable()) worker.join();
        ui.Stop();
    }

    static MenuItem item(int id, const std::string& text, bool disabled) {
        MenuItem i;
        i.id = id;
        i.text = text;
        i.disabled = disabled;
        return i;
    }

    // Runs a script; returns the output lines parsed.
    std::vector<json> run(const std::string& script, int* errors = nullptr) {
        Automation::Options options;
        options.waitIdle = [this](int ms) {
            if (worker.joinable()) worker.join();  // the "pools" of this little program
            return ui.WaitIdle(std::chrono::milliseconds(ms));
        };
        Automation automation(model, events, options);
        std::istringstream in(script);
        std::ostringstream out;
        int e = automation.run(in, out);
        if (errors) *errors = e;
        std::vector<json> lines;
        std::istringstream text(out.str());
        for (std::string line; std::getline(text, line);) {
            json j = json::parse(line, nullptr, false);
            EXPECT_FALSE(j.is_discarded()) << line;
            lines.push_back(j);
        }
        return lines;
    }

    ControlModel model;
    HeadlessUiThread ui;
    EventDispatcher events{ui};
    int currentRow = 0;       // UI thread only
    std::vector<int> closes;  // UI thread only
    std::thread worker;
};

TEST_F(AutomationTest, ScriptDrivesHandlersAndReportsBoxesAndDumps) {
    int errors = -1;
    auto lines = run(R"({"op":"click","control":"控制_搜索"}
{"op":"set","control":"编辑框_搜索歌曲名","text":"晴天"}
{"op":"enter","control":"编辑框_搜索歌曲名"}
{"op":"dump","control":"列表框_搜索"}
{"op":"rightclick","control":"列表框_搜索","row":1}
{"op":"dump","menu":"track"}
{"op":"menu","menu":"track","id":1}
{"op":"combo","control":"组合框_音源选择","index":1}
{"op":"dump","control":"标签_状态"}
{"op":"click","control":"按钮_后台"}
{"op":"wait","timeout_ms":2000}
{"op":"messages"}
{"op":"close"}
{"op":"click","control":"控制_搜索"}
)",
                     &errors);
    EXPECT_EQ(errors, 0);
    ASSERT_EQ(lines.size(), 7u) << json(lines).dump();

    // A box shown by a handler is reported before the next command runs.
    EXPECT_EQ(lines[0],
              json::parse(R"({"messagebox":{"title":"code:404","text":"请输入歌曲名","button":"好的"}})"));

    const json& list = lines[1]["dump"];
    EXPECT_EQ(list["kind"], "ListBox");
    EXPECT_EQ(list["rows"], json::parse(R"([["1","晴天 1"],["2","晴天 2"]])"));
    EXPECT_EQ(list["icons"], json::parse(R"([["","badge"],["","badge"]])"));
    EXPECT_EQ(list["tips"], json::parse(R"([["",""],["","连接被重置"]])"));
    EXPECT_EQ(list["progress"], json::parse("[-1,40]"));

    const json& menu = lines[2]["dump"];
    EXPECT_EQ(menu["popped_up"], true);
    ASSERT_EQ(menu["items"].size(), 2u);
    EXPECT_EQ(menu["items"][1]["disabled"], true);
    EXPECT_FALSE(model.isMenuPoppedUp("track"));  // the choice closed it

    EXPECT_EQ(lines[3]["dump"]["text"], "source 网易云");
    EXPECT_EQ(model.selection("组合框_音源选择"), 1);

    // The worker's box, then the wait that outlasted it.
    EXPECT_EQ(lines[4]["messagebox"]["title"], "code:886");
    EXPECT_EQ(lines[5], json::parse(R"({"waited":true})"));
    ASSERT_EQ(lines[6]["messages"].size(), 2u);
    EXPECT_EQ(lines[6]["messages"][1]["text"], "数据获取失败，请检查网络连接！");

    // Nothing after "close" ran: one WindowClose, and no second 404 box.
    EXPECT_EQ(model.messageBoxLog().size(), 2u);
    std::vector<int> seen;
    ASSERT_TRUE(ui.RunOnUiThreadAndWait([&] { seen = closes; }));
    EXPECT_EQ(seen, std::vector<int>{0});
}

TEST_F(AutomationTest, MenuChoiceSeesTheRowThatWasRightClicked) {
    run(R"({"op":"set","control":"编辑框_搜索歌曲名","text":"x"}
{"op":"click","control":"控制_搜索"}
{"op":"rightclick","control":"列表框_搜索","row":1}
{"op":"menu","menu":"track","id":1}
)");
    EXPECT_EQ(model.text("标签_状态"), "menu 1 row 2");
}

TEST_F(AutomationTest, StallsReportTheHandlersThatRanAndStartAfreshOnReset) {
    ui.stallProbe().Reset();  // the start-up is not part of the script
    auto lines = run(R"({"op":"set","control":"编辑框_搜索歌曲名","text":"x"}
{"op":"click","control":"控制_搜索"}
{"op":"tick","control":"时钟_试听封面旋转"}
{"op":"stalls","reset":true}
{"op":"stalls"}
{"op":"stalls","reset":"yes"}
)");
    ASSERT_EQ(lines.size(), 3u);
    const json& first = lines[0]["stalls"];
    // The click and the tick ran handlers; the text change had none to run
    // but was a queued call all the same.
    EXPECT_EQ(first["handler"]["count"], 2);
    EXPECT_GE(first["work"]["count"].get<int>(), 3);
    EXPECT_EQ(first["work"]["count"].get<int>(),
              first["handler"]["count"].get<int>() + first["queued call"]["count"].get<int>());
    EXPECT_GE(first["work"]["max_ms"].get<double>(), first["work"]["p50_ms"].get<double>());
    EXPECT_EQ(first["cpu"]["count"], first["work"]["count"]);
    bool clickNamed = false;
    for (const json& w : first["worst"]) clickNamed = clickNamed || w["what"] == "handler: Click 控制_搜索";
    EXPECT_TRUE(clickNamed) << first.dump();
    EXPECT_EQ(lines[1]["stalls"]["work"]["count"], 0);
    EXPECT_TRUE(lines[1]["stalls"]["worst"].empty());
    EXPECT_TRUE(lines[2].contains("error"));
}

TEST_F(AutomationTest, MalformedAndImpossibleCommandsReportErrorsAndGoOn) {
    int errors = 0;
    model.setDisabled("控制_搜索", true);
    auto lines = run(R"(not json at all
[1,2]
{"control":"控制_搜索"}
{"op":"fly"}
{"op":"click"}
{"op":"click","control":"幽灵"}
{"op":"click","control":"控制_搜索"}
{"op":"menu","menu":"track","id":6}
{"op":"menu","menu":"track","id":99}
{"op":"combo","control":"组合框_音源选择","index":5}
{"op":"rightclick","control":"列表框_搜索","row":"one"}
{"op":"rightclick","control":"列表框_搜索","row":99999999999}
{"op":"dump","menu":"nope"}

{"op":"set","control":"编辑框_搜索歌曲名","text":"still here"}
{"op":"dump","control":"编辑框_搜索歌曲名"}
)",
                     &errors);
    EXPECT_EQ(errors, 13);
    ASSERT_EQ(lines.size(), 14u);
    for (size_t i = 0; i < 13; ++i) EXPECT_TRUE(lines[i].contains("error")) << lines[i].dump();
    EXPECT_EQ(lines[13]["dump"]["text"], "still here");
    EXPECT_TRUE(model.messageBoxLog().empty());  // the disabled button never ran its handler
    EXPECT_EQ(model.text("标签_状态"), "");      // nor did the disabled menu item
}

TEST_F(AutomationTest, EndOfInputClosesTheWindow) {
    run(R"({"op":"tick","control":"时钟_试听封面旋转"}
{"op":"tick","control":"时钟_试听封面旋转"})");
    EXPECT_EQ(model.angle("时钟_试听封面旋转"), 2);
    std::vector<int> seen;
    ASSERT_TRUE(ui.RunOnUiThreadAndWait([&] { seen = closes; }));
    EXPECT_EQ(seen, std::vector<int>{0});
}

TEST_F(AutomationTest, ClicksMoveRadioGroupsAndToggleCheckBoxes) {
    run(R"({"op":"click","control":"单选框_命名2"}
{"op":"click","control":"选择框_嵌入封面"}
{"op":"slider","control":"播放栏_音乐音量","position":250}
)");
    EXPECT_FALSE(model.checked("单选框_命名1"));
    EXPECT_TRUE(model.checked("单选框_命名2"));
    EXPECT_TRUE(model.checked("选择框_嵌入封面"));
    EXPECT_EQ(model.position("播放栏_音乐音量"), 100);  // a slider stops at its maximum

    run(R"({"op":"check","control":"选择框_嵌入封面","checked":false}
{"op":"check","control":"单选框_命名1","checked":true})");
    EXPECT_FALSE(model.checked("选择框_嵌入封面"));
    EXPECT_TRUE(model.checked("单选框_命名1"));
    EXPECT_FALSE(model.checked("单选框_命名2"));
}

TEST_F(AutomationTest, ADragMovesTheHandleWithoutLettingGo) {
    std::vector<int> moved;  // UI thread only
    events.on("播放栏_音乐音量", EventType::SliderMoved, [&moved](const Event& e) { moved.push_back(e.arg); });
    model.setPosition("播放栏_音乐音量", 30);
    run(R"({"op":"drag","control":"播放栏_音乐音量","position":70}
{"op":"drag","control":"播放栏_音乐音量","position":500})");
    EXPECT_EQ(model.position("播放栏_音乐音量"), 30) << "held, never let go";
    std::vector<int> seen;
    ASSERT_TRUE(ui.RunOnUiThreadAndWait([&] { seen = moved; }));
    EXPECT_EQ(seen, (std::vector<int>{70, 100}));
}

TEST_F(AutomationTest, TextThatIsNotUtf8StillMakesAValidLine) {
    model.setText("标签_状态", std::string("bad \xC3\x28 bytes", 12));
    auto lines = run(R"({"op":"dump","control":"标签_状态"})");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["dump"]["text"].get<std::string>(), "bad \xEF\xBF\xBD( bytes");
}

TEST_F(AutomationTest, BoxesOfTheStartUpAreReportedWhenAskedForEarly) {
    Automation automation(model, events);
    std::ostringstream out;
    automation.reportMessageBoxes(out);
    ASSERT_TRUE(ui.RunOnUiThreadAndWait([&] {
        model.messageBox({"code:886", "试听插件初始化失败", "好的", "窗口EX1"});
    }));
    std::istringstream in(R"({"op":"dump","control":"标签_状态"})");
    EXPECT_EQ(automation.run(in, out), 0);
    const std::string afterRun = out.str();
    EXPECT_EQ(afterRun.substr(0, afterRun.find('\n')),
              R"({"messagebox":{"title":"code:886","text":"试听插件初始化失败","button":"好的"}})");
    // Dumps keep their members in a fixed order, the control's name first.
    EXPECT_NE(afterRun.find("\n{\"dump\":{\"control\":\"标签_状态\",\"kind\":\"Label\","), std::string::npos);

    // Once the session is over, boxes go back to returning silently.
    model.messageBox({"code:404", "late", "好的", {}});
    EXPECT_EQ(out.str(), afterRun);
    EXPECT_EQ(model.messageBoxLog().size(), 2u);
}

TEST_F(AutomationTest, KeyFiresTheShortcutOnTheWindowAndDumpsCarryToolTips) {
    std::vector<std::string> keys;
    events.on("窗口EX1", EventType::Shortcut, [&](const Event& e) { keys.push_back(e.text); });
    model.insertRow("列表框_搜索", -1);
    model.setCellText("列表框_搜索", 0, 2, "很长的歌手...");
    model.setCellTip("列表框_搜索", 0, 2, "很长的歌手名字全部在这里");
    model.setToolTip("列表框_搜索", "回车试听");
    int errors = 0;
    auto lines = run(R"({"op":"key","keys":"Ctrl+D"}
{"op":"key","keys":"Space"}
{"op":"key"}
{"op":"dump","control":"列表框_搜索"}
{"op":"dump","control":"编辑框_搜索歌曲名"}
)",
                     &errors);
    EXPECT_EQ(keys, (std::vector<std::string>{"Ctrl+D", "Space"}));
    EXPECT_EQ(errors, 1) << "a key op without keys";
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1]["dump"]["tips"], json::parse(R"([["","","很长的歌手名字全部在这里"]])"));
    EXPECT_EQ(lines[1]["dump"]["tooltip"], "回车试听");
    EXPECT_EQ(lines[2]["dump"]["tooltip"], "");
}

}  // namespace
}  // namespace mm::ui

namespace {

// The folder chooser of a headless run takes its answers from the script.
TEST(AutomationFolder, AnswersAreHandedOnInOrder) {
    mm::ui::ControlModel model;
    model.define("按钮EX1", mm::ui::Kind::Button, "更改");
    mm::ui::HeadlessUiThread ui;
    mm::ui::EventDispatcher events(ui);
    ui.Start();
    std::vector<std::string> answers;
    mm::ui::Automation::Options options;
    options.answerFolder = [&](const std::string& p) { answers.push_back(p); };
    mm::ui::Automation automation(model, events, options);
    std::istringstream in(R"({"op":"folder","path":"/tmp/音乐/"})" "\n" R"({"op":"folder","path":""})" "\n"
                          R"({"op":"folder"})" "\n");
    std::ostringstream out;
    automation.run(in, out);
    ui.Stop();
    EXPECT_EQ(answers, (std::vector<std::string>{"/tmp/音乐/", ""}));
    EXPECT_NE(out.str().find("{\"error\":"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("needs"), std::string::npos) << out.str();
}

}  // namespace
