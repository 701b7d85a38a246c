#pragma once
// FLAC metadata: Vorbis comments and a front-cover PICTURE block.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tags/tag_request.h"

namespace mm::tags {

// Replaces the file's Vorbis comments with the request's values and adds its
// picture as a front cover, keeping the other blocks. Works in place. False
// when the file does not exist, cannot be opened, is not a well-formed FLAC
// file ("fLaC" and STREAMINFO first), or the write failed; a file refused
// before writing is left untouched.
bool WriteFlacTags(const std::string& path, const TagRequest& request);

// Fills the request with the stream properties, the comments and the cover.
// False (and the request left empty) when the file is not FLAC.
bool ReadFlacTags(const std::string& path, TagRequest& out);

// The buffer-level halves of the two operations above; metadata is the start
// of a file: "fLaC" and the metadata blocks.
//
// The new metadata replacing oldMetadata, or nullopt when oldMetadata is not
// well formed (every block whole, the last one flagged) or a block would grow
// past what a block length can say. metadataLength is set to the length of the
// old metadata, which is where the audio starts.
std::optional<std::string> BuildFlacMetadata(std::string_view oldMetadata, const TagRequest& request,
                                             uint64_t& metadataLength);
bool ParseFlacMetadata(std::string_view metadata, uint64_t fileSize, TagRequest& out);

}  // namespace mm::tags
