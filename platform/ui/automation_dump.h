#pragma once
// JSON pictures (members in a fixed order) of controls, menus and message boxes for the automation output.
#include <nlohmann/json.hpp>
#include <string>

#include "platform/ui/control_model.h"
#include "platform/ui/stall_probe.h"

namespace mm::ui {

nlohmann::ordered_json dumpControl(const ControlModel& model, const std::string& name);
nlohmann::ordered_json dumpMenu(const ControlModel& model, const std::string& menu);
nlohmann::ordered_json messageBoxJson(const MessageBoxRequest& box);
nlohmann::ordered_json stallsJson(const StallProbe::Summary& s);

// One output line: UTF-8 as is; bytes that are not UTF-8 become U+FFFD instead of failing.
std::string jsonLine(const nlohmann::ordered_json& j);

}  // namespace mm::ui
