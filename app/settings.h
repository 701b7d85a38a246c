#pragma once
// The four user settings: read once into the settings page, written back the
// moment a control changes.
#include <string>

namespace mm::app {

struct AppContext;

inline constexpr const char* kSectionSaveFolder = "音乐保存路径";
inline constexpr const char* kKeySaveFolder = "路径";
inline constexpr const char* kSectionOther = "其他设置";
inline constexpr const char* kKeyNaming = "歌曲命名";
inline constexpr const char* kKeyEmbed = "自动嵌入";
inline constexpr const char* kKeyListenDownload = "边听边下载";
// The desktop's services: notifications when downloads end.
inline constexpr const char* kSectionDesktop = "桌面";
inline constexpr const char* kKeyDesktopNotices = "下载通知";

void LoadSettings(AppContext& ctx);
void StoreSaveFolder(AppContext& ctx);
void StoreNamingScheme(AppContext& ctx, int scheme);  // 0, 1, 2
void StoreEmbedFlag(AppContext& ctx);
void StoreListenDownloadFlag(AppContext& ctx);
void StoreDesktopNoticesFlag(AppContext& ctx);

// Live values, read from the controls.
std::string SaveFolder(AppContext& ctx);
int NamingScheme(AppContext& ctx);
bool EmbedTags(AppContext& ctx);
bool ListenAndDownload(AppContext& ctx);
bool DesktopNotices(AppContext& ctx);

// The default settings file: $XDG_CONFIG_HOME/morvane-music/config.ini
std::string DefaultConfigPath();

}  // namespace mm::app
