#pragma once
// What a downloaded file really holds, told from its bytes and not from the
// name the service gave it: FLAC (the "fLaC" marker and its STREAMINFO), MPEG
// audio (frame headers: version, layer, bit rate; the Xing/Info, VBRI and LAME
// headers of variable bit rate files), another audio container, or something
// that is no audio at all (an HTML error page sent with status 200).
#include <cstdint>
#include <string>
#include <string_view>

namespace mm::download {

enum class ContentKind {
    kNotAudio,  // nothing this program knows as audio
    kFlac,
    kMpeg,        // MPEG audio frames (layer in `layer`)
    kOtherAudio,  // another container (Ogg, MP4, WAV, APE, ASF): kept as named
};

struct ContentInfo {
    ContentKind kind = ContentKind::kNotAudio;
    // MPEG audio
    int layer = 0;          // 1, 2 or 3
    int version = 0;        // 10 MPEG-1, 20 MPEG-2, 25 MPEG-2.5
    int sampleRate = 0;     // Hz (FLAC too)
    int channels = 0;       // FLAC too
    int bitrateKbps = 0;    // constant rate, the target of an average one, the mean of a variable one
    bool variable = false;  // a variable rate, whose mean follows the music
    std::string vbrHeader;  // "Xing", "Info", "VBRI" or ""
    bool lameTag = false;   // a LAME header follows the Xing/Info header
    // FLAC
    int bitsPerSample = 0;
    std::uint64_t totalSamples = 0;
};

// Looks at the first bytes of a file (an ID3v2 tag in front is stepped over
// when the bytes hold all of it).
ContentInfo SniffContent(std::string_view head);
// Reads what it needs of the file at path (past an ID3v2 tag of any size).
ContentInfo SniffFile(const std::string& path);

// The extension (and tag format) the content asks for: "mp3" for MPEG layer
// III, "flac" for FLAC, "" when the content does not decide it (other audio,
// MPEG layers I and II, no audio).
std::string ExtensionFor(const ContentInfo& info);

// The bit rate a tier promises: 128 for the standard tier, 320 for the high
// one, 0 for lossless (no MPEG rate promised).
int TierKbps(int tier);
// True when an MPEG file's rate is plainly below what the tier promises (a
// 128K file sent as 320K): under 80 % of it for a constant or average rate,
// under 60 % for a variable one, whose average follows the music.
bool BelowTier(const ContentInfo& info, int tier);

}  // namespace mm::download
