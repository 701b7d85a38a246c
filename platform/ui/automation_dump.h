#pragma once
// JSON pictures of controls, menus and message boxes for the automation output.
#include <nlohmann/json.hpp>
#include <string>

#include "platform/ui/control_model.h"

namespace mm::ui {

nlohmann::json dumpControl(const ControlModel& model, const std::string& name);
nlohmann::json dumpMenu(const ControlModel& model, const std::string& menu);
nlohmann::json messageBoxJson(const MessageBoxRequest& box);

// One output line: UTF-8 as is; bytes that are not UTF-8 become U+FFFD instead of failing.
std::string jsonLine(const nlohmann::json& j);

}  // namespace mm::ui
