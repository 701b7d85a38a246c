#pragma once
// Real test inputs made at run time: PCM tones, MP3s from lame, FLACs from
// the flac tool, JPEG and PNG covers; and the independent readers that check
// what the writers produced.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace mm::tags::test {

// A fresh folder under the system's temporary folder, removed on destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string path(const std::string& name) const { return (dir_ / name).string(); }

  private:
    std::filesystem::path dir_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

// Runs a shell command; returns its exit status and collects its standard output.
int run(const std::string& command, std::string* output = nullptr);
std::string quote(const std::string& s);

// Signed 16-bit little-endian stereo tone at 44.1 kHz.
std::string tonePcm(double seconds, double hz = 440.0);
// An MP3 made by lame from a tone; empty on failure.
std::string makeMp3(const TempDir& dir, const std::string& name, double seconds);
// A FLAC made by the flac tool from a tone (STREAMINFO, SEEKTABLE,
// VORBIS_COMMENT, PADDING). extraMetaflac, when not empty, is run as
// "metaflac <extraMetaflac> file" afterwards.
std::string makeFlac(const TempDir& dir, const std::string& name, double seconds,
                     const std::string& extraMetaflac = "");

std::string makeJpeg(int width, int height);
std::string makePng(int width, int height);

// One block as listed by "metaflac --list".
struct ListedBlock {
    int type = -1;
    bool last = false;
    uint32_t length = 0;
};
std::vector<ListedBlock> metaflacList(const std::string& path);
bool flacTestPasses(const std::string& path);
// "NAME=value" lines from "metaflac --export-tags-to=-".
std::vector<std::string> metaflacTags(const std::string& path);
std::string metaflacVendor(const std::string& path);

// Frames as mutagen reads them, in file order, one JSON object each (see mutagen_dump.py).
std::string mutagenDump(const std::string& path);

// The bytes of the file after its leading tag of the given length.
std::string tail(const std::string& bytes, size_t from);

}  // namespace mm::tags::test
