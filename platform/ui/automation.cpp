#include "platform/ui/automation.h"

#include <chrono>
#include <istream>
#include <limits>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <ostream>
#include <thread>

#include "platform/ui/automation_dump.h"
#include "platform/ui/headless_ui_thread.h"

namespace mm::ui {

using json = nlohmann::ordered_json;

namespace {

constexpr int kDefaultWaitMs = 10'000;
constexpr int kMaxSleepMs = 600'000;

bool getString(const json& j, const char* key, std::string& out) {
    auto it = j.find(key);
    if (it == j.end() || !it->is_string()) return false;
    out = it->get<std::string>();
    return true;
}

bool getInt(const json& j, const char* key, int& out) {
    auto it = j.find(key);
    if (it == j.end() || !it->is_number_integer()) return false;
    if (it->is_number_unsigned()) {
        auto v = it->get<std::uint64_t>();
        if (v > static_cast<std::uint64_t>(std::numeric_limits<int>::max())) return false;
        out = static_cast<int>(v);
        return true;
    }
    auto v = it->get<std::int64_t>();
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) return false;
    out = static_cast<int>(v);
    return true;
}

bool getBool(const json& j, const char* key, bool& out) {
    auto it = j.find(key);
    if (it == j.end() || !it->is_boolean()) return false;
    out = it->get<bool>();
    return true;
}

// Radio buttons whose names differ only in their trailing digits form one group
// (单选框_命名1, 单选框_命名2, ...): checking one unchecks the others.
std::string radioStem(const std::string& name) {
    size_t end = name.size();
    while (end > 0 && name[end - 1] >= '0' && name[end - 1] <= '9') --end;
    return name.substr(0, end);
}

}  // namespace

// Output shared by the command loop and the message-box presenter, which runs
// on whatever thread shows a box. Detached when the session ends.
struct Automation::Sink {
    std::mutex mu;
    std::ostream* out = nullptr;
    void write(const json& j) {
        std::lock_guard lk(mu);
        if (out) *out << jsonLine(j) << '\n' << std::flush;
    }
};

struct Automation::Session {
    Automation& a;
    std::shared_ptr<Sink> sink;
    int errors = 0;
    bool closed = false;

    void write(const json& j) { sink->write(j); }
    void error(const std::string& what) {
        ++errors;
        write({{"error", what}});
    }

    // Queues the event and returns once the UI thread has handled it.
    void fireAndWait(Event e) {
        a.events_.fire(std::move(e));
        settle();
    }
    bool settle() {
        if (RunAndWait(a.events_.uiThread(), [] {})) return true;
        error("the UI thread has stopped");
        return false;
    }

    bool control(const json& j, std::string& name, bool mustBeEnabled = true) {
        if (!getString(j, "control", name)) {
            error("needs \"control\" (text)");
            return false;
        }
        if (!a.model_.exists(name)) {
            error("unknown control \"" + name + "\"");
            return false;
        }
        // A user cannot operate a disabled control.
        if (mustBeEnabled && a.model_.disabled(name)) {
            error("control \"" + name + "\" is disabled");
            return false;
        }
        return true;
    }
    bool intField(const json& j, const char* key, int& out) {
        if (getInt(j, key, out)) return true;
        error(std::string("needs \"") + key + "\" (integer)");
        return false;
    }
    bool menuItem(const json& j, std::string& menu, int& id) {
        if (!getString(j, "menu", menu)) {
            error("needs \"menu\" (text)");
            return false;
        }
        if (!intField(j, "id", id)) return false;
        if (!a.model_.menuItem(menu, id)) {
            error("menu \"" + menu + "\" has no item " + std::to_string(id));
            return false;
        }
        return true;
    }

    void simple(const json& j, EventType type, int arg = 0) {
        std::string name;
        if (control(j, name)) fireAndWait({name, type, arg, {}});
    }
    void withRow(const json& j, EventType type) {
        std::string name;
        int row = 0;
        if (control(j, name) && intField(j, "row", row)) fireAndWait({name, type, row, {}});
    }
    void setChecked(const std::string& name, bool on) {
        if (on && a.model_.kind(name) == Kind::RadioButton) {
            const std::string stem = radioStem(name);
            for (const std::string& other : a.model_.names()) {
                if (other != name && stem != other && radioStem(other) == stem &&
                    a.model_.kind(other) == Kind::RadioButton) {
                    a.model_.setChecked(other, false);
                }
            }
        }
        a.model_.setChecked(name, on);
    }

    void opSet(const json& j) {
        std::string name, text;
        if (!control(j, name)) return;
        if (!getString(j, "text", text)) return error("needs \"text\" (text)");
        a.model_.setText(name, text);
        fireAndWait({name, EventType::TextChanged, 0, text});
    }
    void opClick(const json& j) {
        std::string name;
        if (!control(j, name)) return;
        const std::optional<Kind> kind = a.model_.kind(name);
        if (kind == Kind::CheckBox) setChecked(name, !a.model_.checked(name));
        if (kind == Kind::RadioButton) setChecked(name, true);
        fireAndWait({name, EventType::Click, 0, {}});
    }
    void opCheck(const json& j) {
        std::string name;
        bool on = false;
        if (!control(j, name)) return;
        if (!getBool(j, "checked", on)) return error("needs \"checked\" (true or false)");
        setChecked(name, on);
        fireAndWait({name, EventType::Click, 0, {}});
    }
    void opMenu(const json& j, EventType type) {
        std::string menu;
        int id = 0;
        if (!menuItem(j, menu, id)) return;
        if (type == EventType::MenuChoice) {
            if (a.model_.menuItem(menu, id)->disabled)
                return error("menu item " + std::to_string(id) + " is disabled");
            a.model_.setMenuClosed(menu);  // choosing an entry closes the menu, as it does on screen
        }
        fireAndWait({menu, type, id, {}});
    }
    void opCombo(const json& j) {
        std::string name;
        int index = 0;
        if (!control(j, name) || !intField(j, "index", index)) return;
        if (index < 0 || index >= a.model_.comboCount(name)) return error("no item " + std::to_string(index));
        a.model_.setSelection(name, index);
        fireAndWait({name, EventType::ComboChanged, index, {}});
    }
    // A position asked for, kept within the slider's range.
    int sliderPosition(const std::string& name, int pos) {
        const int max = a.model_.maximum(name);
        pos = std::max(pos, 0);
        return max > 0 ? std::min(pos, max) : pos;
    }
    void opSlider(const json& j) {
        std::string name;
        int pos = 0;
        if (!control(j, name) || !intField(j, "position", pos)) return;
        pos = sliderPosition(name, pos);
        a.model_.setPosition(name, pos);
        fireAndWait({name, EventType::SliderChanged, pos, {}});
    }
    // The handle held and moved, not let go: the slider keeps its position.
    void opDrag(const json& j) {
        std::string name;
        int pos = 0;
        if (!control(j, name) || !intField(j, "position", pos)) return;
        pos = sliderPosition(name, pos);
        fireAndWait({name, EventType::SliderMoved, pos, {}});
    }
    void opWait(const json& j) {
        int ms = kDefaultWaitMs;
        if (j.contains("timeout_ms") && !intField(j, "timeout_ms", ms)) return;
        bool idle = settle();
        if (idle && a.options_.waitIdle) idle = a.options_.waitIdle(std::max(ms, 0));
        write({{"waited", idle}});
    }
    void opSleep(const json& j) {
        int ms = 0;
        if (!intField(j, "ms", ms)) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::clamp(ms, 0, kMaxSleepMs)));
    }
    void opDump(const json& j) {
        std::string name;
        if (getString(j, "menu", name)) {
            if (!a.model_.menuExists(name)) return error("unknown menu \"" + name + "\"");
            return write({{"dump", dumpMenu(a.model_, name)}});
        }
        if (control(j, name, false)) write({{"dump", dumpControl(a.model_, name)}});
    }
    void opMessages(const json&) {
        json boxes = json::array();
        for (const MessageBoxRequest& b : a.model_.messageBoxLog()) boxes.push_back(messageBoxJson(b));
        write({{"messages", std::move(boxes)}});
    }
    void opStalls(const json& j) {
        bool reset = false;
        if (j.contains("reset") && !getBool(j, "reset", reset)) return error("\"reset\" is true or false");
        StallProbe& probe = a.events_.uiThread().stallProbe();
        write({{"stalls", stallsJson(probe.Snapshot())}});
        if (reset) probe.Reset();
    }
    void opKey(const json& j) {
        std::string keys;
        if (!getString(j, "keys", keys)) return error("needs \"keys\" (text)");
        fireAndWait({a.options_.closeTarget, EventType::Shortcut, 0, keys});
    }
    void opClose(const json&) { close(); }
    void opAnswer(const json& c) {
        std::string button;
        if (!getString(c, "button", button)) return error("\"answer\" needs \"button\" (text)");
        a.model_.queueAnswer(button);
    }
    void opFolder(const json& c) {
        std::string path;
        if (!getString(c, "path", path)) return error("\"folder\" needs \"path\" (text; \"\" cancels)");
        if (!a.options_.answerFolder) return error("this program has no folder chooser");
        a.options_.answerFolder(path);
    }

    void close() {
        closed = true;
        fireAndWait({a.options_.closeTarget, EventType::WindowClose, 0, {}});
    }

    void handle(const std::string& line) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) return;
        json j = json::parse(line, nullptr, false);
        if (j.is_discarded()) return error("not JSON: " + line.substr(0, 200));
        if (!j.is_object()) return error("a command is a JSON object");
        std::string op;
        if (!getString(j, "op", op)) return error("needs \"op\" (text)");
        using Handler = void (*)(Session&, const json&);
        static const std::map<std::string, Handler> kOps = {
            {"set", [](Session& s, const json& c) { s.opSet(c); }},
            {"click", [](Session& s, const json& c) { s.opClick(c); }},
            {"enter", [](Session& s, const json& c) { s.simple(c, EventType::KeyUp, 13); }},
            {"focus", [](Session& s, const json& c) { s.simple(c, EventType::FocusIn); }},
            {"blur", [](Session& s, const json& c) { s.simple(c, EventType::FocusOut); }},
            {"rightclick", [](Session& s, const json& c) { s.withRow(c, EventType::RowRightClick); }},
            {"dblclick", [](Session& s, const json& c) { s.withRow(c, EventType::RowDoubleClick); }},
            {"scroll", [](Session& s, const json& c) { s.simple(c, EventType::ScrolledPastEnd); }},
            {"menu", [](Session& s, const json& c) { s.opMenu(c, EventType::MenuChoice); }},
            {"menushow", [](Session& s, const json& c) { s.opMenu(c, EventType::MenuAboutToShow); }},
            {"combo", [](Session& s, const json& c) { s.opCombo(c); }},
            {"slider", [](Session& s, const json& c) { s.opSlider(c); }},
            {"drag", [](Session& s, const json& c) { s.opDrag(c); }},
            {"check", [](Session& s, const json& c) { s.opCheck(c); }},
            {"tick", [](Session& s, const json& c) { s.simple(c, EventType::TimerTick); }},
            {"wait", [](Session& s, const json& c) { s.opWait(c); }},
            {"sleep", [](Session& s, const json& c) { s.opSleep(c); }},
            {"dump", [](Session& s, const json& c) { s.opDump(c); }},
            {"messages", [](Session& s, const json& c) { s.opMessages(c); }},
            {"stalls", [](Session& s, const json& c) { s.opStalls(c); }},
            {"close", [](Session& s, const json& c) { s.opClose(c); }},
            {"key", [](Session& s, const json& c) { s.opKey(c); }},
            {"folder", [](Session& s, const json& c) { s.opFolder(c); }},
            {"answer", [](Session& s, const json& c) { s.opAnswer(c); }},
        };
        auto it = kOps.find(op);
        if (it == kOps.end()) return error("unknown op \"" + op + "\"");
        it->second(*this, j);
    }
};

Automation::Automation(ControlModel& model, EventDispatcher& events, Options options)
    : model_(model), events_(events), options_(std::move(options)) {}
Automation::Automation(ControlModel& model, EventDispatcher& events) : Automation(model, events, Options{}) {}
Automation::~Automation() = default;

void Automation::reportMessageBoxes(std::ostream& out) {
    auto sink = std::make_shared<Sink>();
    sink->out = &out;
    sink_ = sink;
    // Headless, a box is answered as soon as it is shown.
    model_.setMessageBoxPresenter([sink](const MessageBoxRequest& box) {
        sink->write({{"messagebox", messageBoxJson(box)}});
    });
}

void Automation::reportFolderChooser(const std::string& title, const std::string& start) {
    if (sink_) sink_->write({{"folder_chooser", {{"title", title}, {"start", start}}}});
}

int Automation::run(std::istream& in, std::ostream& out) {
    if (!sink_ || sink_->out != &out) reportMessageBoxes(out);
    std::shared_ptr<Sink> sink = sink_;
    Session s{*this, sink};
    std::string line;
    while (!s.closed && std::getline(in, line)) s.handle(line);
    if (!s.closed) s.close();  // the end of input closes the window
    model_.setMessageBoxPresenter(nullptr);
    {
        // A worker still showing a box now writes nowhere: `out` may go away.
        std::lock_guard lk(sink->mu);
        sink->out = nullptr;
    }
    sink_.reset();
    return s.errors;
}

}  // namespace mm::ui
