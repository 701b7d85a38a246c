#pragma once
// How a downloaded track is named in the save folder. Pure functions: no
// files are touched here (see target_file.h for that).
#include <cstddef>
#include <ctime>
#include <string>

namespace mm::download {

// One value of a name (a title, a singer) through the file-name filter: it can
// never make or leave a folder.
std::string FileNamePart(const std::string& text);

// Naming schemes as the settings page numbers them: 0 "title - singer",
// 1 "singer - title", 2 "title". Each part goes through the file-name filter;
// an unknown scheme counts as 0.
// The name never starts with a dot (see VisibleName).
std::string BaseName(const std::string& title, const std::string& singer, int scheme);

// A name starting with "." is hidden on Linux, where a user would never find
// the download: each leading dot becomes the full-width stop "．" (U+FF0E).
inline constexpr const char* kFullWidthStop = "\xEF\xBC\x8E";
std::string VisibleName(const std::string& name);

// The extension for a reply's file type: kept as received (case included), but
// made harmless as part of a name: no slash, no NUL, no more than 16 bytes.
std::string SafeExtension(const std::string& type);

// "2026年12月6日18时5分7秒": the time part stops at the last non-zero field,
// and is absent at exactly midnight.
std::string DateTimeSuffix(const std::tm& t);

// base + tail when it fits into maxBytes; otherwise base cut at a UTF-8
// character boundary so that it does. tail is never cut.
std::string FitName(const std::string& base, const std::string& tail, std::size_t maxBytes);

// Bytes kept free under the file system's limit for the ".part" of a name in
// flight.
inline constexpr std::size_t kPartSuffixBytes = 5;
inline constexpr const char* kPartSuffix = ".part";

// The plain file name (no folder) for base and extension, shortened to fit a
// limit of maxBytes with room for ".part".
std::string PlainFileName(const std::string& base, const std::string& ext, std::size_t maxBytes);
// The dated file name, "base_<date-time>[_n].ext", likewise shortened; n > 1
// tells apart names taken within one second.
std::string DatedFileName(const std::string& base, const std::string& ext, const std::tm& t, int n,
                          std::size_t maxBytes);

}  // namespace mm::download
