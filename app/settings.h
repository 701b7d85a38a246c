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

// The download manager's own settings, in a section of their own.
inline constexpr const char* kSectionDownloads = "下载管理";
inline constexpr const char* kKeyParallel = "同时下载数";
inline constexpr const char* kKeySkipDownloaded = "跳过已下载";
// Simultaneous downloads offered: 1 … kMaxParallel; the default is the
// download pool's size.
inline constexpr int kMaxParallel = 10;

void LoadSettings(AppContext& ctx);
void StoreSaveFolder(AppContext& ctx);
void StoreNamingScheme(AppContext& ctx, int scheme);  // 0, 1, 2
void StoreEmbedFlag(AppContext& ctx);
void StoreListenDownloadFlag(AppContext& ctx);
void StoreDesktopNoticesFlag(AppContext& ctx);
void StoreParallelDownloads(AppContext& ctx);
void StoreSkipDownloadedFlag(AppContext& ctx);

// Live values, read from the controls.
std::string SaveFolder(AppContext& ctx);
int NamingScheme(AppContext& ctx);
bool EmbedTags(AppContext& ctx);
bool ListenAndDownload(AppContext& ctx);
bool DesktopNotices(AppContext& ctx);
int ParallelDownloads(AppContext& ctx);  // 1 … kMaxParallel
bool SkipDownloaded(AppContext& ctx);
// The download pool takes at most that many downloads at once.
void ApplyParallelDownloads(AppContext& ctx);

// The default settings file: $XDG_CONFIG_HOME/morvane-music/config.ini
std::string DefaultConfigPath();
// The default folder of the download history: $XDG_DATA_HOME/morvane-music
std::string DefaultDataDir();

}  // namespace mm::app
