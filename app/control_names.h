#pragma once
// Names of the main window's controls and menus, as the program addresses them.

namespace mm::app {

inline constexpr const char* kWindow = "窗口EX1";
inline constexpr const char* kTabs = "选择夹EX1";
inline constexpr const char* kToolSearch = "工具栏_搜索音乐";
inline constexpr const char* kToolDownloads = "工具栏_本地下载";
inline constexpr const char* kToolSettings = "工具栏_设置";

// Settings page
inline constexpr const char* kLabelSavePath = "标签_下载路径";
inline constexpr const char* kButtonChangeFolder = "按钮EX1";
inline constexpr const char* kRadioNaming1 = "单选框_命名1";
inline constexpr const char* kRadioNaming2 = "单选框_命名2";
inline constexpr const char* kRadioNaming3 = "单选框_命名3";
inline constexpr const char* kCheckEmbed = "选择框_嵌入封面";
inline constexpr const char* kCheckListenDownload = "选择框_试听下载";
// Desktop notifications when downloads end (a setting of its own section).
inline constexpr const char* kCheckDesktopNotices = "选择框_桌面通知";
// Settings page: files for a music library
inline constexpr const char* kRadioNaming4 = "单选框_命名4";
inline constexpr const char* kEditNameTemplate = "编辑框_命名模板";
inline constexpr const char* kLabelNameExample = "标签_命名示例";
inline constexpr const char* kLabelLibrary = "标签_音乐库";
inline constexpr const char* kCheckLyricsFile = "选择框_歌词文件";
inline constexpr const char* kComboLyricsEncoding = "组合框_歌词编码";
inline constexpr const char* kComboTagEncoding = "组合框_标签编码";
inline constexpr const char* kCheckFolderCover = "选择框_文件夹封面";
inline constexpr const char* kLabelParallel = "标签EX5";
inline constexpr const char* kParallelCombo = "组合框_同时下载数";

// Search page
inline constexpr const char* kSearchBox = "编辑框_搜索歌曲名";
inline constexpr const char* kSearchButton = "控制_搜索";
inline constexpr const char* kSourceCombo = "组合框_音源选择";
inline constexpr const char* kLoading = "图片框_加载动画";
inline constexpr const char* kResultList = "列表框_搜索";
inline constexpr const char* kImportNetEase = "图片框_网易";
inline constexpr const char* kImportQQ = "图片框_企鹅";
inline constexpr const char* kImportKuwo = "图片框_酷我";
inline constexpr const char* kImportKugou = "图片框_酷狗";
inline constexpr const char* kAddToDownloadsAnimation = "图片框_加入下载列表动画";
// What the result list shows ("搜索: 晴天 · 网易云音乐"), and its empty-state or end line.
inline constexpr const char* kListHeading = "标签_列表说明";
inline constexpr const char* kListNotice = "标签_列表提示";

// Tier panel
inline constexpr const char* kTierPanel = "窗口_下载选择";
inline constexpr const char* kTierTitle = "标签_歌曲名";
inline constexpr const char* kTierSinger = "标签_艺术家";
inline constexpr const char* kTierButtonStandard = "按钮_下载_标准音质";
inline constexpr const char* kTierButtonHigh = "按钮_下载_高品音质";
inline constexpr const char* kTierButtonLossless = "按钮_下载_无损音质";

// Playlist panel
inline constexpr const char* kPlaylistPanel = "窗口_歌单解析";
inline constexpr const char* kPlaylistLink = "编辑框_歌单_链接";
inline constexpr const char* kPlaylistImport = "按钮_歌单_导入";
inline constexpr const char* kPlaylistLogo = "图片框_歌单类型图片";
inline constexpr const char* kPlaylistBestTier = "选择框_歌单_下载品质";
inline constexpr const char* kCheckSkipDownloaded = "选择框_歌单_跳过已下载";
inline constexpr const char* kPlaylistHint = "标签_歌单_解析提示";
inline constexpr const char* kPlaylistWait = "标签EX4";

// Download list page
inline constexpr const char* kDownloadList = "列表框_下载";
inline constexpr const char* kDownloadCount = "标签_下载列表歌曲";
// How to add songs, shown while the download list is empty.
inline constexpr const char* kDownloadListHint = "标签_下载列表提示";
// The number of downloads still running, beside the tool bar entry of the download page.
inline constexpr const char* kRunningDownloads = "标签_正在下载";

// Player bar
inline constexpr const char* kPlayerTitle = "播放栏_歌曲名";
inline constexpr const char* kPlayerTime = "播放栏_最长时间";
inline constexpr const char* kPlayerProgress = "播放栏_进度";
inline constexpr const char* kPlayerPlay = "播放栏_播放";
inline constexpr const char* kPlayerNext = "播放栏_下一首";
inline constexpr const char* kPlayerPrevious = "播放栏_上一首";
inline constexpr const char* kPlayerMute = "播放栏_音量";
inline constexpr const char* kPlayerVolume = "播放栏_音乐音量";
inline constexpr const char* kPlayerDownload = "播放栏_下载";
inline constexpr const char* kPlayerBadgeStandard = "播放栏_品质_标准";
inline constexpr const char* kPlayerBadgeHigh = "播放栏_品质_高品";
inline constexpr const char* kPlayerBadgeLossless = "播放栏_品质_无损";
inline constexpr const char* kPlayerCover = "图片框_音乐封面";
inline constexpr const char* kTimerPlay = "时钟_试听播放";
inline constexpr const char* kTimerCoverSpin = "时钟_试听封面旋转";

// Menus
inline constexpr const char* kTrackMenu = "菜单_歌曲";
inline constexpr const char* kDownloadMenu = "菜单_下载列表";

}  // namespace mm::app
