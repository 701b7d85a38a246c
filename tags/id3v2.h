#pragma once
// ID3v2 tags of MP3 files: an ID3v2.3 writer and a reader of versions 2.2 to 2.4.
#include <optional>
#include <string>
#include <string_view>

#include "tags/tag_request.h"

namespace mm::tags {

// How the writer stores text.
enum class Id3TextEncoding {
    kGbk,      // ID3v2.3, GBK bytes under encoding 0 (UTF-16 for a text GBK cannot hold)
    kUtf16,    // ID3v2.3, UTF-16 with byte-order mark (encoding 1)
    kUtf8V24,  // ID3v2.4, UTF-8 (encoding 3)
};

// Puts an ID3v2.3 tag (ID3v2.4 for kUtf8V24) with the request's values in front of the audio,
// replacing the frames this writer owns in an existing tag and keeping the
// others. Works in place. False when the file does not exist, cannot be
// opened, has a tag longer than the file itself, or the write failed; a file
// refused before writing is left untouched.
bool WriteId3v2(const std::string& path, const TagRequest& request,
                Id3TextEncoding encoding = Id3TextEncoding::kGbk);

// Fills the request from the file's ID3v2 tag. False (and the request left
// empty) when the file cannot be read or has no tag.
bool ReadId3v2(const std::string& path, TagRequest& out);

// The buffer-level halves of the two operations above.
//
// Length of the tag at the start of a file, from its first bytes (at least
// 10 are needed to see one), clamped to the file size; 0 when there is none.
uint64_t Id3v2TagLength(std::string_view head, uint64_t fileSize);
// The new tag for a file whose current tag is oldTag (empty when it has none);
// nullopt when the values do not fit into an ID3v2 tag.
std::optional<std::string> BuildId3v2Tag(std::string_view oldTag, const TagRequest& request,
                                         Id3TextEncoding encoding = Id3TextEncoding::kGbk);
// Reads the values of a whole tag (header included). False when it is not one.
bool ParseId3v2(std::string_view tag, TagRequest& out);

}  // namespace mm::tags
