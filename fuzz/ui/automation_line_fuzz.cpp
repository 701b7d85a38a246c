// One line of an automation script against a small window of every kind of
// control, run by the real command loop on a headless UI thread. Never a
// crash; every output line is JSON; every error is counted.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "platform/ui/automation.h"
#include "platform/ui/headless_ui_thread.h"

using namespace mm::ui;

namespace {

void Check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
}

struct Window {
    ControlModel model;
    HeadlessUiThread ui;
    EventDispatcher events{ui};
    std::string folder;

    Window() {
        model.define("窗口EX1", Kind::Window);
        model.define("选择夹EX1", Kind::Tab);
        model.define("编辑框_搜索歌曲名", Kind::EditBox);
        model.define("控制_搜索", Kind::Button);
        model.define("按钮_禁用", Kind::Button);
        model.setDisabled("按钮_禁用", true);
        model.define("列表框_搜索", Kind::ListBox);
        model.define("标签_状态", Kind::Label);
        model.define("组合框_音源选择", Kind::ComboBox);
        model.addComboItem("组合框_音源选择", {"qq", "QQ音乐", 0, 1});
        model.addComboItem("组合框_音源选择", {"wy", "网易云", 0, 2});
        model.define("单选框_命名1", Kind::RadioButton);
        model.define("单选框_命名2", Kind::RadioButton);
        model.define("单选框_命名", Kind::RadioButton);
        model.define("选择框_嵌入封面", Kind::CheckBox);
        model.define("播放栏_音乐音量", Kind::Slider);
        model.setMaximum("播放栏_音乐音量", 100);
        model.define("播放栏_无上限", Kind::Slider);
        model.define("时钟_试听封面旋转", Kind::Timer);
        model.define("图片框_封面", Kind::PictureBox);
        model.define("工具_下载", Kind::ToolEntry);
        model.defineMenu("track");
        MenuItem a;
        a.id = 1;
        a.text = "下载 - 单曲";
        model.insertMenuItem("track", 1, a);
        MenuItem b;
        b.id = 6;
        b.text = "下载 - 歌单全部歌曲";
        b.disabled = true;
        model.insertMenuItem("track", 2, b);
        for (int r = 0; r < 3; ++r) {
            const int row = model.insertRow("列表框_搜索", -1);
            model.setCellText("列表框_搜索", row, 1, "歌 " + std::to_string(r));
        }

        // Handlers that touch the model the way the program's do, boxes included.
        events.on("控制_搜索", EventType::Click, [this](const Event&) {
            if (model.text("编辑框_搜索歌曲名").empty())
                model.messageBox({"code:404", "请输入歌曲名", "好的", "窗口EX1"});
        });
        events.on("列表框_搜索", EventType::RowRightClick, [this](const Event& e) {
            if (e.arg >= 0 && e.arg < model.rowCount("列表框_搜索")) model.popUpMenu("track");
        });
        events.on("列表框_搜索", EventType::RowDoubleClick, [this](const Event& e) {
            model.setText("标签_状态", "row " + std::to_string(e.arg));
        });
        events.on("track", EventType::MenuChoice, [this](const Event& e) {
            model.setText("标签_状态", "menu " + std::to_string(e.arg));
        });
        events.on("组合框_音源选择", EventType::ComboChanged, [this](const Event& e) {
            if (auto item = model.comboItem("组合框_音源选择", e.arg)) model.setText("标签_状态", item->text);
        });
        events.on("编辑框_搜索歌曲名", EventType::TextChanged,
                  [this](const Event& e) { model.setText("标签_状态", e.text); });
        events.on("窗口EX1", EventType::Shortcut, [this](const Event& e) { model.setText("标签_状态", e.text); });
        ui.AttachTimers(model, events);
        ui.SetAutoTimers(false);
        ui.Start();
    }
    ~Window() { ui.Stop(); }
};

// The op of a command, as the loop will read it; "" when there is none.
std::string Op(const std::string& line) {
    const auto j = nlohmann::json::parse(line, nullptr, false);
    if (!j.is_object()) return {};
    auto it = j.find("op");
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string line(reinterpret_cast<const char*>(data), size);
    line = line.substr(0, line.find('\n'));
    // A sleep does what it is told, up to ten minutes: nothing to learn there.
    if (Op(line) == "sleep") return 0;

    // A fresh window for every line: what one line leaves behind (boxes,
    // queued answers) must not pile up or decide the next.
    Window w;
    Automation::Options options;
    options.answerFolder = [&w](const std::string& path) { w.folder = path; };
    Automation automation(w.model, w.events, options);
    std::istringstream in(line + "\n");
    std::ostringstream out;
    const int errors = automation.run(in, out);

    std::istringstream lines(out.str());
    int errorLines = 0;
    for (std::string l; std::getline(lines, l);) {
        const auto j = nlohmann::json::parse(l, nullptr, false);
        Check(j.is_object(), "every output line is a JSON object");
        if (j.contains("error")) ++errorLines;
    }
    Check(errorLines == errors, "every error is written and counted");
    return 0;
}
