// The first bytes of a download, whatever the service sent: what they are
// told to be must make sense, and reading the same bytes from a file must
// tell the same.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "download/content_sniff.h"

using namespace mm::download;

namespace {

void Check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
}

const std::string& ScratchPath() {
    static const std::string path = [] {
        std::filesystem::path dir = std::filesystem::exists("/dev/shm") ? "/dev/shm"
                                                                         : std::filesystem::temp_directory_path();
        return (dir / ("mm-sniff-fuzz-" + std::to_string(getpid()))).string();
    }();
    return path;
}

bool Same(const ContentInfo& a, const ContentInfo& b) {
    return a.kind == b.kind && a.layer == b.layer && a.version == b.version && a.sampleRate == b.sampleRate &&
           a.channels == b.channels && a.bitrateKbps == b.bitrateKbps && a.variable == b.variable &&
           a.vbrHeader == b.vbrHeader && a.lameTag == b.lameTag && a.bitsPerSample == b.bitsPerSample &&
           a.totalSamples == b.totalSamples;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view head(reinterpret_cast<const char*>(data), size);
    const ContentInfo info = SniffContent(head);
    const std::string ext = ExtensionFor(info);
    switch (info.kind) {
    case ContentKind::kMpeg:
        Check(info.layer >= 1 && info.layer <= 3, "an MPEG layer is 1, 2 or 3");
        Check(info.version == 10 || info.version == 20 || info.version == 25, "an MPEG version is 1, 2 or 2.5");
        Check(info.sampleRate >= 8000 && info.sampleRate <= 48000, "an MPEG sample rate is one of the table");
        Check(info.channels == 1 || info.channels == 2, "MPEG audio is mono or stereo");
        Check(info.bitrateKbps >= 0, "a bit rate is not negative");
        Check(ext == (info.layer == 3 ? "mp3" : ""), "layer III asks for .mp3");
        break;
    case ContentKind::kFlac:
        Check(info.channels >= 1 && info.channels <= 8, "FLAC has 1 to 8 channels");
        Check(info.bitsPerSample >= 1 && info.bitsPerSample <= 32, "FLAC has 1 to 32 bits a sample");
        Check(ext == "flac", "FLAC asks for .flac");
        break;
    default:
        Check(ext.empty(), "other content asks for no extension");
    }
    for (int tier = 0; tier <= 2; ++tier) {
        const bool below = BelowTier(info, tier);
        Check(!below || (info.kind == ContentKind::kMpeg && tier != 2), "only MPEG is below a lossy tier");
    }

    // A file holding just these bytes: the same answer, unless an ID3v2 tag
    // claims at least the whole file (a damaged file, which is read behind
    // the tag's header instead).
    const bool tagFillsFile = head.substr(0, 3) == "ID3" && info.kind == ContentKind::kNotAudio;
    if (!tagFillsFile) {
        {
            std::ofstream out(ScratchPath(), std::ios::binary | std::ios::trunc);
            out.write(head.data(), static_cast<std::streamsize>(head.size()));
        }
        Check(Same(SniffFile(ScratchPath()), info), "a file tells what its bytes tell");
    }
    return 0;
}
