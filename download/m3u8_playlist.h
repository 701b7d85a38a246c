#pragma once
// Extended M3U playlists in UTF-8 (.m3u8), as players read them:
//   #EXTM3U
//   #EXTINF:<seconds>,<singer> - <title>
//   <path relative to the playlist file>
// Pure functions: no files are touched here.
#include <string>
#include <string_view>
#include <vector>

namespace mm::download {

struct M3uEntry {
    int seconds = -1;     // -1: unknown
    std::string display;  // "<singer> - <title>"
    std::string path;     // as written in the playlist
};

std::string M3u8Text(const std::vector<M3uEntry>& entries);
// Reads what M3u8Text writes and what other programs write: a byte-order
// mark, CRLF line ends, other comment lines, paths without #EXTINF.
std::vector<M3uEntry> ParseM3u8(std::string_view text);

// "<singer> - <title>" with blanks trimmed; the title alone without a singer.
// Line breaks become spaces, so the text stays on its line.
std::string EntryDisplay(std::string_view singer, std::string_view title);
// Seconds of a duration shown as "MM:SS" (or "H:MM:SS"); -1 when it is not one.
int DurationSeconds(std::string_view text);

// The path of file relative to folder (both absolute, folder ending in "/"),
// going up with "../" where needed.
std::string RelativePath(const std::string& folder, const std::string& file);
// The absolute path an entry's path names, seen from folder (ending in "/").
std::string ResolvePath(const std::string& folder, const std::string& entryPath);

}  // namespace mm::download
