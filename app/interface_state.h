#pragma once
// What the window remembers between starts, in a section of its own in the
// settings file: where the window stood and how large it was, the page shown
// last, the volume and the chosen source.
#include <string>

namespace mm::app {

struct AppContext;

inline constexpr const char* kSectionInterface = "界面";
inline constexpr const char* kKeyWindowPosition = "窗口位置";  // "x,y"
inline constexpr const char* kKeyWindowSize = "窗口大小";      // "width,height"
inline constexpr const char* kKeyWindowMaximized = "窗口最大化";  // "1" or "0"
inline constexpr const char* kKeyPage = "页面";                // 0 search, 1 downloads, 2 settings
inline constexpr const char* kKeyVolume = "音量";              // 0 … 100
inline constexpr const char* kKeySource = "音源";              // the source's name in the selector

struct WindowPlacement {
    bool hasPosition = false;
    int x = 0, y = 0;
    bool hasSize = false;
    int width = 0, height = 0;
    bool maximized = false;
};

WindowPlacement LoadWindowPlacement(const std::string& configPath);
void StoreWindowPlacement(const std::string& configPath, const WindowPlacement& placement);

// Creation sequence: the page and the volume into their controls.
void LoadInterfaceState(AppContext& ctx);
// Closing: the page and the volume the user chose (also while muted).
void StoreInterfaceState(AppContext& ctx);

// The source selector's choice, by its name.
void StoreChosenSource(AppContext& ctx, const std::string& name);
std::string ChosenSource(AppContext& ctx);

}  // namespace mm::app
