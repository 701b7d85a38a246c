#include "app/interface_state.h"

#include <algorithm>
#include <charconv>

#include "app/app_context.h"
#include "app/control_names.h"
#include "platform/sys/ini_store.h"

namespace mm::app {
namespace {

constexpr int kPages = 3;
constexpr int kDefaultPage = 0;
constexpr int kDefaultVolume = 100;

bool ParseInt(std::string_view text, int& out) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && p == end;
}

// "a,b" into two numbers; anything else is no value.
bool ParsePair(const std::string& text, int& a, int& b) {
    const auto comma = text.find(',');
    if (comma == std::string::npos) return false;
    return ParseInt(std::string_view(text).substr(0, comma), a) &&
           ParseInt(std::string_view(text).substr(comma + 1), b);
}

// Writes the key only when the value differs from what the file says (a
// missing key meaning the default): a start and a close that change nothing
// leave the file as it was.
void WriteIfChanged(const sys::IniStore& ini, const char* key, int value, int fallback) {
    const std::string text = ini.Read(kSectionInterface, key);
    int stored = 0;
    const bool same = text.empty() ? value == fallback : ParseInt(text, stored) && stored == value;
    if (!same) ini.Write(kSectionInterface, key, std::to_string(value));
}

}  // namespace

WindowPlacement LoadWindowPlacement(const std::string& configPath) {
    sys::IniStore ini(configPath);
    WindowPlacement p;
    p.hasPosition = ParsePair(ini.Read(kSectionInterface, kKeyWindowPosition), p.x, p.y);
    p.hasSize = ParsePair(ini.Read(kSectionInterface, kKeyWindowSize), p.width, p.height) && p.width > 0 &&
                p.height > 0;
    p.maximized = ini.Read(kSectionInterface, kKeyWindowMaximized) == "1";
    return p;
}

void StoreWindowPlacement(const std::string& configPath, const WindowPlacement& p) {
    sys::IniStore ini(configPath);
    if (p.hasPosition)
        ini.Write(kSectionInterface, kKeyWindowPosition, std::to_string(p.x) + "," + std::to_string(p.y));
    if (p.hasSize)
        ini.Write(kSectionInterface, kKeyWindowSize, std::to_string(p.width) + "," + std::to_string(p.height));
    ini.Write(kSectionInterface, kKeyWindowMaximized, p.maximized ? "1" : "0");
}

void LoadInterfaceState(AppContext& ctx) {
    sys::IniStore ini(ctx.configPath);
    int page = 0;
    if (ParseInt(ini.Read(kSectionInterface, kKeyPage), page) && page >= 0 && page < kPages)
        ctx.ui.setSelection(kTabs, page);
    int volume = 0;
    if (ParseInt(ini.Read(kSectionInterface, kKeyVolume), volume))
        ctx.ui.setPosition(kPlayerVolume, std::clamp(volume, 0, 100));
}

void StoreInterfaceState(AppContext& ctx) {
    sys::IniStore ini(ctx.configPath);
    const int page = ctx.ui.selection(kTabs);
    if (page >= 0 && page < kPages) WriteIfChanged(ini, kKeyPage, page, kDefaultPage);
    const int volume = ctx.actions.chosenVolume ? ctx.actions.chosenVolume() : ctx.ui.position(kPlayerVolume);
    WriteIfChanged(ini, kKeyVolume, std::clamp(volume, 0, 100), kDefaultVolume);
}

void StoreChosenSource(AppContext& ctx, const std::string& name) {
    sys::IniStore(ctx.configPath).Write(kSectionInterface, kKeySource, name);
}

std::string ChosenSource(AppContext& ctx) {
    return sys::IniStore(ctx.configPath).Read(kSectionInterface, kKeySource);
}

}  // namespace mm::app
