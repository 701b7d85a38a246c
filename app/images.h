#pragma once
#include <string>
// The program's pictures, registered in the control model by name at start-up.

namespace mm::app {

struct AppContext;

// Tier badges (result rows, tier submenu, player bar)
inline constexpr const char* kImgBadgeStandard = "badge_standard";
inline constexpr const char* kImgBadgeHigh = "badge_high";
inline constexpr const char* kImgBadgeLossless = "badge_lossless";
// Service icons of the source selector and submenu
inline constexpr const char* kImgServiceNetEase = "service_wy";
inline constexpr const char* kImgServiceQQ = "service_qq";
inline constexpr const char* kImgServiceKuwo = "service_kw";
inline constexpr const char* kImgServiceKugou = "service_kg";
inline constexpr const char* kImgServiceOther = "service_other";
// Status images of the download list
inline constexpr const char* kImgStatusDownloading = "status_downloading";
inline constexpr const char* kImgStatusDone = "status_done";
inline constexpr const char* kImgStatusFailed = "status_failed";
inline constexpr const char* kImgStatusParseFailed = "status_parse_failed";
inline constexpr const char* kImgStatusCoverFailed = "status_done_nocover";
// Downloads stopped by the user or by the program's end, and finished ones
// whose file is gone
inline constexpr const char* kImgStatusCancelled = "status_cancelled";
inline constexpr const char* kImgStatusPaused = "status_paused";
inline constexpr const char* kImgStatusInterrupted = "status_interrupted";
inline constexpr const char* kImgStatusMissing = "status_missing";
// Status images of the track address request
inline constexpr const char* kImgStatusConnectFailed = "status_connect_failed";
inline constexpr const char* kImgStatusServiceFailed = "status_service_failed";
// The default cover of the player bar (80 × 80 PNG)
inline constexpr const char* kImgDefaultCover = "default_cover";

const char* TierBadge(int tier);

// A PNG of exactly width × height made from picture bytes ("" when they are no picture).
std::string Thumbnail(const std::string& bytes, int width, int height);

// Registers every picture; the default cover is made as an 80 × 80 thumbnail.
void LoadImages(AppContext& ctx);
void FreeImages(AppContext& ctx);

}  // namespace mm::app
