#pragma once
// The preview's second try, for an address the engine cannot stream: the
// whole file fetched to a temporary file and played from there.
#include <cstdint>
#include <string>

namespace mm::audio {
class AudioEngine;
}

namespace mm::player {

// Redirects the fallback follows, as the engine's own stream does.
inline constexpr int kFallbackRedirects = 5;

// Downloads `url` (following up to kFallbackRedirects http(s) redirects) into
// a temporary file and opens it as a file stream. The file is unlinked as
// soon as the stream holds it open, so nothing is left behind and the only
// size limit is the free space of the temporary folder. 0 when the download
// or the stream failed.
std::uint32_t FetchWholeAndOpen(audio::AudioEngine& engine, const std::string& url);

// The folder the fallback spools into: $TMPDIR, or /tmp.
std::string FallbackFolder();

}  // namespace mm::player
