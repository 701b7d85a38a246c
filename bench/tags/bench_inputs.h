#pragma once
// Inputs of the tag-writing benchmark: an untagged FLAC and MP3 of the sizes
// a download has, and the values a download job writes.
#include <cstdint>
#include <string>

namespace mm::bench {

struct TagValues {
    std::string title = "晴天";
    std::string artist = "周杰伦";
    std::string album = "叶惠美";
    std::string credit = "图片、歌词由 Vantorell 写入";
    std::string lyrics;  // about 2 KB of LRC
    std::string cover;   // about 100 KB of JPEG
};

TagValues makeValues();
// Real files made with the flac and lame tools from noise; empty on failure.
std::string makeFlac(const std::string& dir, uint64_t approxBytes);
std::string makeMp3(const std::string& dir, uint64_t approxBytes);

std::string readAll(const std::string& path);
bool writeAll(const std::string& path, const std::string& bytes);
// Runs a shell command, its output discarded; true when it exits with 0.
bool shell(const std::string& command);
std::string quote(const std::string& s);

}  // namespace mm::bench
