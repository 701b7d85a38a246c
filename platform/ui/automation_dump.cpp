#include "platform/ui/automation_dump.h"

#include <algorithm>

namespace mm::ui {

using json = nlohmann::ordered_json;

namespace {

void addListRows(const ControlModel& model, const std::string& name, json& out) {
    const std::vector<std::string> headers = model.columns(name);
    const int count = model.rowCount(name);
    std::vector<std::vector<Cell>> rows;
    size_t width = headers.size();
    for (int r = 0; r < count; ++r) {
        rows.push_back(model.rowCells(name, r));
        width = std::max(width, rows.back().size());
    }
    // Rows are padded to one width so that a script can index any cell.
    json texts = json::array(), icons = json::array(), tips = json::array(), progress = json::array();
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        json t = json::array(), i = json::array(), tip = json::array();
        for (size_t c = 0; c < width; ++c) {
            const bool has = c < rows[static_cast<size_t>(r)].size();
            t.push_back(has ? rows[static_cast<size_t>(r)][c].text : "");
            i.push_back(has ? rows[static_cast<size_t>(r)][c].icon : "");
            tip.push_back(has ? rows[static_cast<size_t>(r)][c].tip : "");
        }
        texts.push_back(std::move(t));
        icons.push_back(std::move(i));
        tips.push_back(std::move(tip));
        progress.push_back(model.rowProgress(name, r));
    }
    out["columns"] = headers;
    out["rows"] = std::move(texts);
    out["icons"] = std::move(icons);
    out["tips"] = std::move(tips);
    out["progress"] = std::move(progress);
    out["row_height"] = model.rowHeight(name);
}

void addComboItems(const ControlModel& model, const std::string& name, json& out) {
    json items = json::array();
    const int count = model.comboCount(name);
    for (int i = 0; i < count; ++i) {
        std::optional<ComboItem> item = model.comboItem(name, i);
        if (!item) break;  // cleared meanwhile by a worker
        items.push_back({{"text", item->text}, {"icon", item->icon}, {"value", item->value}});
    }
    out["items"] = std::move(items);
}

}  // namespace

json dumpControl(const ControlModel& model, const std::string& name) {
    const std::optional<Kind> kind = model.kind(name);
    json out = {
        {"control", name},
        {"kind", kind ? kindName(*kind) : ""},
        {"text", model.text(name)},
        {"visible", model.visible(name)},
        {"disabled", model.disabled(name)},
        {"checked", model.checked(name)},
        {"selection", model.selection(name)},
        {"position", model.position(name)},
        {"maximum", model.maximum(name)},
        {"angle", model.angle(name)},
        {"picture_bytes", model.picture(name).size()},
        {"tooltip", model.toolTip(name)},
    };
    if (kind == Kind::Timer) out["interval"] = model.interval(name);
    if (kind == Kind::ListBox) addListRows(model, name, out);
    if (kind == Kind::ComboBox) addComboItems(model, name, out);
    return out;
}

json dumpMenu(const ControlModel& model, const std::string& menu) {
    json items = json::array();
    for (const MenuItem& i : model.menuItems(menu)) {
        items.push_back({{"id", i.id},
                         {"parent", i.parentId},
                         {"text", i.text},
                         {"icon", i.icon},
                         {"disabled", i.disabled},
                         {"text_color", i.textColor},
                         {"disabled_text_color", i.disabledTextColor}});
    }
    return {{"menu", menu}, {"popped_up", model.isMenuPoppedUp(menu)}, {"items", std::move(items)}};
}

json messageBoxJson(const MessageBoxRequest& box) {
    json j = {{"title", box.title}, {"text", box.text}, {"button", box.button}};
    // A question lists every button it offers.
    if (!box.moreButtons.empty()) j["buttons"] = box.buttons();
    return j;
}

std::string jsonLine(const json& j) {
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

namespace {

json figuresJson(const StallProbe::Figures& f) {
    return json{{"count", f.count}, {"p50_ms", f.p50Ms}, {"p90_ms", f.p90Ms}, {"p99_ms", f.p99Ms}, {"max_ms", f.maxMs}};
}

}  // namespace

json stallsJson(const StallProbe::Summary& s) {
    json out;
    out["seconds"] = s.seconds;
    out["work"] = figuresJson(s.work);
    out["cpu"] = figuresJson(s.cpu);
    for (int k = 0; k < StallProbe::kKinds; ++k) {
        const auto kind = static_cast<StallProbe::Kind>(k);
        out[StallProbe::KindName(kind)] = figuresJson(s.byKind[static_cast<std::size_t>(k)]);
    }
    out["timer_late"] = figuresJson(s.timerLate);
    json worst = json::array();
    for (const StallProbe::Worst& w : s.worst) worst.push_back(json{{"ms", w.ms}, {"cpu_ms", w.cpuMs}, {"what", w.what}});
    out["worst"] = std::move(worst);
    return out;
}

}  // namespace mm::ui
