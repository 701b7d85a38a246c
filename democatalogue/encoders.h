#pragma once
// Audio and picture encoders for the demo content. All work in memory and
// return nullopt when the library fails or `cancel` turns true.
#include <atomic>
#include <optional>
#include <string>

#include "democatalogue/synth.h"

namespace mm::democat {

// Constant bit rate MPEG-1 Layer III, no Xing/Info frame and no ID3 tag: the
// file is frames from its first byte.
std::optional<std::string> EncodeMp3(const Pcm& pcm, int kbps, const std::atomic<bool>* cancel = nullptr);

// Other kinds of MP3 as encoders write them, for tests of what reads them: a
// variable rate (LAME quality 0-9) or an average rate (kbps), or a constant
// one with its Info frame; each with the Xing/Info frame and LAME header first.
struct Mp3Options {
    enum class Mode { kConstant, kVariable, kAverage };
    Mode mode = Mode::kConstant;
    int kbps = 128;       // constant and average rates
    int quality = 2;      // variable rate: 0 best, 9 smallest
    bool infoTag = true;  // the Xing/Info frame with the LAME header
};
std::optional<std::string> EncodeMp3(const Pcm& pcm, const Mp3Options& options,
                                     const std::atomic<bool>* cancel = nullptr);

// FLAC, 16 bit, with STREAMINFO (total samples and MD5 filled in), a vendor-
// only VORBIS_COMMENT and 1 KiB of PADDING.
std::optional<std::string> EncodeFlac(const Pcm& pcm, const std::atomic<bool>* cancel = nullptr);

// A 300×300 baseline JPEG with a colour pattern of its own for every seed.
std::optional<std::string> MakeCoverJpeg(int seed);

}  // namespace mm::democat
