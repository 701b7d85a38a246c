#pragma once
// The settings of the files a download leaves in a music library: the custom
// name template, the lyrics file, the MP3 tag text encoding and the album
// folder cover. They live in sections of their own beside the four settings
// of the settings page's first rows; like those, the controls hold the live
// values and each is written back the moment its control changes.
#include <string>

#include "tags/id3v2.h"
#include "tags/lrc_file.h"

namespace mm::app {

struct AppContext;

inline constexpr const char* kSectionNaming = "文件命名";
inline constexpr const char* kKeyCustomNaming = "自定义";
inline constexpr const char* kKeyNameTemplate = "模板";
inline constexpr const char* kSectionLyricsFile = "歌词文件";
inline constexpr const char* kKeyLyricsFileOn = "保存";
inline constexpr const char* kKeyLyricsFileEncoding = "编码";
inline constexpr const char* kSectionTags = "标签";
inline constexpr const char* kKeyTagEncoding = "编码";
inline constexpr const char* kKeyFolderCover = "文件夹封面";

// The template the edit box shows when none is stored.
inline constexpr const char* kDefaultNameTemplate = "{singer}/{album}/{title} - {singer}";

// Reads the keys into the controls; runs after LoadSettings.
void LoadLibrarySettings(AppContext& ctx);
// The handlers of the controls above.
void RegisterLibrarySettingsHandlers(AppContext& ctx);
// A naming radio button of the first three was clicked: custom naming is off.
void CustomNamingOff(AppContext& ctx);

// Live values, read from the controls. The template is "" when custom naming
// is off; while the edit box holds a template that is refused, the last one
// accepted (the one in the settings file) stays in force.
std::string NameTemplate(AppContext& ctx);
bool SaveLyricsFile(AppContext& ctx);
tags::LrcEncoding LyricsFileEncoding(AppContext& ctx);
tags::Id3TextEncoding TagTextEncoding(AppContext& ctx);
bool WriteFolderCover(AppContext& ctx);

}  // namespace mm::app
