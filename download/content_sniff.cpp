#include "download/content_sniff.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstring>

namespace mm::download {

namespace {

// Bytes of audio looked at after any ID3v2 tag: enough for the first frames,
// a VBR header and the frames averaged, and for junk some encoders put first.
constexpr std::size_t kLookAt = 256 * 1024;
// Frames in a row that must chain (each header where the last frame ends)
// before a run of bytes counts as MPEG audio: text never does this by chance.
constexpr int kChainFrames = 4;
// Frames averaged for a file without a VBR header.
constexpr int kAverageFrames = 200;
// The lowest and highest rates of the MPEG audio tables (8 and 448 kbps),
// with what rounds to them.
constexpr double kLowestKbps = 7.5;
constexpr double kHighestKbps = 448.5;

std::uint32_t Be32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

const unsigned char* Bytes(std::string_view s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

// Size of an ID3v2 tag at the start (header, footer included); 0 when none.
std::size_t Id3v2Size(std::string_view head) {
    if (head.size() < 10 || head.substr(0, 3) != "ID3") return 0;
    const unsigned char* p = Bytes(head);
    if ((p[6] | p[7] | p[8] | p[9]) & 0x80) return 0;  // not syncsafe: not a tag
    std::size_t size =
        (std::size_t{p[6]} << 21) | (std::size_t{p[7]} << 14) | (std::size_t{p[8]} << 7) | p[9];
    size += 10;
    if (p[5] & 0x10) size += 10;  // footer
    return size;
}

struct Frame {
    int version = 0;  // 10, 20, 25
    int layer = 0;
    int bitrate = 0;  // kbps
    int sampleRate = 0;
    int channels = 0;
    bool crc = false;
    std::size_t length = 0;
    int samples = 0;
};

bool ParseFrame(const unsigned char* p, Frame& f) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
    const int v = (p[1] >> 3) & 3;
    const int l = (p[1] >> 1) & 3;
    const int b = p[2] >> 4;
    const int s = (p[2] >> 2) & 3;
    if (v == 1 || l == 0 || b == 0 || b == 15 || s == 3) return false;  // reserved, free format, bad
    static const int kRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
    static const int kBitrates[2][3][15] = {
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
    f.version = v == 3 ? 10 : v == 2 ? 20 : 25;
    f.layer = 4 - l;
    const int vi = v == 3 ? 0 : v == 2 ? 1 : 2;
    f.sampleRate = kRates[vi][s];
    f.bitrate = kBitrates[vi == 0 ? 0 : 1][f.layer - 1][b];
    f.crc = (p[1] & 1) == 0;
    f.channels = ((p[3] >> 6) & 3) == 3 ? 1 : 2;
    const int padding = (p[2] >> 1) & 1;
    if (f.layer == 1) {
        f.samples = 384;
        f.length = static_cast<std::size_t>((12 * f.bitrate * 1000 / f.sampleRate + padding) * 4);
    } else {
        f.samples = f.layer == 3 && f.version != 10 ? 576 : 1152;
        f.length = static_cast<std::size_t>(f.samples / 8 * f.bitrate * 1000 / f.sampleRate + padding);
    }
    return f.length >= 4;
}

// Frames of one stream keep version, layer and sample rate.
bool SameStream(const Frame& a, const Frame& b) {
    return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate;
}

// The first place where kChainFrames frames follow one another; npos if none.
// A chain that runs into the end of the bytes counts when at least two frames
// were whole (a very short file).
std::size_t FindStream(std::string_view data, Frame& first) {
    const unsigned char* p = Bytes(data);
    const std::size_t n = data.size();
    for (std::size_t at = 0; at + 4 <= n; ++at) {
        if (p[at] != 0xFF) continue;
        Frame f;
        if (!ParseFrame(p + at, f)) continue;
        std::size_t next = at + f.length;
        int chained = 1;
        bool ok = true;
        while (chained < kChainFrames) {
            Frame g;
            if (next + 4 > n) break;
            if (!ParseFrame(p + next, g) || !SameStream(f, g)) {
                ok = false;
                break;
            }
            ++chained;
            next += g.length;
        }
        if (ok && (chained >= kChainFrames || (chained >= 2 && next + 4 > n))) {
            first = f;
            return at;
        }
    }
    return std::string_view::npos;
}

// The Xing/Info or VBRI header of the first frame, if any, and the LAME header
// behind a Xing/Info one. Fills the rate of a variable file from its counts.
void ReadVbrHeader(std::string_view frame, const Frame& f, ContentInfo& info) {
    const unsigned char* p = Bytes(frame);
    std::size_t side = f.version == 10 ? (f.channels == 1 ? 17 : 32) : (f.channels == 1 ? 9 : 17);
    std::size_t at = 4 + (f.crc ? 2 : 0) + side;
    std::uint64_t frames = 0, bytes = 0;
    if (at + 8 <= frame.size() && (frame.substr(at, 4) == "Xing" || frame.substr(at, 4) == "Info")) {
        info.vbrHeader = std::string(frame.substr(at, 4));
        const std::uint32_t flags = Be32(p + at + 4);
        std::size_t field = at + 8;
        if ((flags & 1) && field + 4 <= frame.size()) frames = Be32(p + field), field += 4;
        if ((flags & 2) && field + 4 <= frame.size()) bytes = Be32(p + field), field += 4;
        if (flags & 4) field += 100;
        if (flags & 8) field += 4;
        if (field + 21 <= frame.size() &&
            (frame.substr(field, 4) == "LAME" || frame.substr(field, 4) == "Lavf" ||
             frame.substr(field, 4) == "Lavc")) {
            info.lameTag = true;
            const int method = p[field + 9] & 0x0F;
            const int abr = p[field + 20];
            // 1 and 8 are constant rates; 2 and 9 average rates, whose target
            // this byte holds (255 meaning 255 or more).
            if ((method == 2 || method == 9) && abr > 0 && abr < 255) {
                info.variable = false;  // the target rate says the quality
                info.bitrateKbps = abr;
                return;
            }
            if (method == 1 || method == 8) {
                info.variable = false;
                info.bitrateKbps = f.bitrate;
                return;
            }
        }
        // A Xing header, or an average rate whose target was 255K or more
        // (the byte says no more): the mean of the counts tells the rate.
        info.variable = info.vbrHeader == "Xing";
    } else {
        at = 4 + 32;
        if (at + 18 <= frame.size() && frame.substr(at, 4) == "VBRI") {
            info.vbrHeader = "VBRI";
            info.variable = true;
            bytes = Be32(p + at + 10);
            frames = Be32(p + at + 14);
        }
    }
    double mean = 0;
    if (frames > 0 && bytes > 0 && f.sampleRate > 0) {
        const double seconds = static_cast<double>(frames) * f.samples / f.sampleRate;
        mean = static_cast<double>(bytes) * 8 / seconds / 1000;
    }
    // Counts that give a rate no MPEG stream has are damaged: the first
    // frame's own rate is all there is to go by, as when counts are missing.
    if (mean >= kLowestKbps && mean <= kHighestKbps) {
        info.bitrateKbps = static_cast<int>(mean + 0.5);
    } else if (!info.vbrHeader.empty()) {
        info.bitrateKbps = f.bitrate;
    }
}

// The rate of a file without a usable VBR header: the average over its first
// frames (equal to the frame rate for a constant one).
void AverageFrames(std::string_view data, std::size_t at, const Frame& first, ContentInfo& info) {
    const unsigned char* p = Bytes(data);
    double bits = 0, seconds = 0;
    bool varies = false;
    Frame f = first;
    for (int i = 0; i < kAverageFrames; ++i) {
        bits += static_cast<double>(f.bitrate) * 1000 * f.samples / f.sampleRate;
        seconds += static_cast<double>(f.samples) / f.sampleRate;
        varies = varies || f.bitrate != first.bitrate;
        at += f.length;
        if (at + 4 > data.size() || !ParseFrame(p + at, f) || !SameStream(first, f)) break;
    }
    info.bitrateKbps = seconds > 0 ? static_cast<int>(bits / seconds / 1000 + 0.5) : first.bitrate;
    info.variable = varies;
}

bool SniffFlac(std::string_view audio, ContentInfo& info) {
    // "fLaC", then STREAMINFO first: type 0, length 34.
    if (audio.size() < 4 + 4 + 34 || audio.substr(0, 4) != "fLaC") return false;
    const unsigned char* p = Bytes(audio) + 4;
    if ((p[0] & 0x7F) != 0 || ((p[1] << 16) | (p[2] << 8) | p[3]) != 34) return false;
    const unsigned char* si = p + 4;
    info.kind = ContentKind::kFlac;
    info.sampleRate = (si[10] << 12) | (si[11] << 4) | (si[12] >> 4);
    info.channels = ((si[12] >> 1) & 7) + 1;
    info.bitsPerSample = (((si[12] & 1) << 4) | (si[13] >> 4)) + 1;
    info.totalSamples = (std::uint64_t{si[13] & 0x0Fu} << 32) | Be32(si + 14);
    return true;
}

bool OtherAudio(std::string_view a) {
    static const unsigned char kAsf[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                           0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
    return a.substr(0, 4) == "OggS" || (a.size() >= 8 && a.substr(4, 4) == "ftyp") ||
           (a.size() >= 12 && a.substr(0, 4) == "RIFF" && a.substr(8, 4) == "WAVE") ||
           a.substr(0, 4) == "MAC " || a.substr(0, 4) == "wvpk" ||
           (a.size() >= 16 && std::memcmp(a.data(), kAsf, 16) == 0);
}

ContentInfo SniffAudio(std::string_view audio) {
    ContentInfo info;
    if (SniffFlac(audio, info)) return info;
    if (OtherAudio(audio)) {
        info.kind = ContentKind::kOtherAudio;
        return info;
    }
    audio = audio.substr(0, kLookAt);
    Frame first;
    const std::size_t at = FindStream(audio, first);
    if (at == std::string_view::npos) return info;
    info.kind = ContentKind::kMpeg;
    info.layer = first.layer;
    info.version = first.version;
    info.sampleRate = first.sampleRate;
    info.channels = first.channels;
    ReadVbrHeader(audio.substr(at, first.length), first, info);
    if (info.vbrHeader.empty()) AverageFrames(audio, at, first, info);
    return info;
}

}  // namespace

ContentInfo SniffContent(std::string_view head) {
    std::size_t tag = Id3v2Size(head);
    if (tag > head.size()) return {};  // the tag alone fills what we were given
    return SniffAudio(head.substr(tag));
}

ContentInfo SniffFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    auto readAt = [fd](std::size_t offset, std::size_t n) {
        std::string out(n, '\0');
        std::size_t got = 0;
        while (got < n) {
            ssize_t r = ::pread(fd, out.data() + got, n - got, static_cast<off_t>(offset + got));
            if (r <= 0) break;
            got += static_cast<std::size_t>(r);
        }
        out.resize(got);
        return out;
    };
    // The audio behind an ID3v2 tag of any size (a big cover).
    const std::size_t tag = Id3v2Size(readAt(0, 10));
    std::string audio = readAt(tag, kLookAt);
    if (tag > 0 && audio.empty()) {
        // A tag that claims more than the file holds: damaged, but only audio
        // carries one. The frames may follow its header; if none are found,
        // the file is kept as the service named it.
        ContentInfo info = SniffAudio(readAt(10, kLookAt));
        ::close(fd);
        if (info.kind == ContentKind::kNotAudio) info.kind = ContentKind::kOtherAudio;
        return info;
    }
    ::close(fd);
    return SniffAudio(audio);
}

std::string ExtensionFor(const ContentInfo& info) {
    if (info.kind == ContentKind::kFlac) return "flac";
    if (info.kind == ContentKind::kMpeg && info.layer == 3) return "mp3";
    return {};
}

int TierKbps(int tier) {
    return tier == 1 ? 320 : tier == 2 ? 0 : 128;
}

bool BelowTier(const ContentInfo& info, int tier) {
    const int promised = TierKbps(tier);
    if (info.kind != ContentKind::kMpeg || promised == 0 || info.bitrateKbps <= 0) return false;
    const int percent = info.variable ? 60 : 80;
    return std::int64_t{info.bitrateKbps} * 100 < std::int64_t{promised} * percent;
}

}  // namespace mm::download
