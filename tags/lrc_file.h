#pragma once
// Lyrics files (.lrc) beside the audio, for players and car stereos that read
// lyrics from a file of the song's name rather than from its tag.
#include <string>
#include <string_view>

namespace mm::tags {

enum class LrcEncoding {
    kUtf8,     // what current players expect
    kUtf8Bom,  // UTF-8 with the mark EF BB BF, for players that guess otherwise
    kGbk,      // for old devices that read only the Chinese code page
};

// The bytes of a lyrics file. A text with a character GBK cannot hold is
// written as UTF-8 with its mark instead of GBK, so nothing is lost.
std::string LrcBytes(std::string_view utf8, LrcEncoding encoding);

enum class LrcResult {
    kWritten,
    kNoLyrics,  // nothing but blanks: no file
    kExists,    // a file of that name is there already and is left alone
    kFailed,
};
// Writes the lyrics to "<path>.part" and renames it to path when whole, never
// replacing an existing file.
LrcResult WriteLrcFile(const std::string& path, std::string_view utf8, LrcEncoding encoding);

// The lyrics file of an audio file: its extension replaced by ".lrc".
std::string LrcPathFor(const std::string& audioPath);

}  // namespace mm::tags
