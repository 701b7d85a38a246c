#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/sys/text_encoding.h"

namespace mm::tags::fuzz {

const std::string& scratchPath() {
    static const std::string path = [] {
        std::filesystem::path dir = std::filesystem::exists("/dev/shm") ? "/dev/shm"
                                                                         : std::filesystem::temp_directory_path();
        return (dir / ("mm-tags-fuzz-" + std::to_string(getpid()))).string();
    }();
    return path;
}

bool putFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::string getFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
}

void checkTextSlots(const TagRequest& r) {
    for (int n = 1; n <= TagRequest::kSlotCount; ++n) {
        if (n == static_cast<int>(Slot::Picture)) continue;
        check(sys::isValidUtf8(r.slot(n)), "text slot is valid UTF-8");
    }
}

TagRequest downloadRequest() {
    TagRequest r;
    r.set(Slot::Artist, "周杰伦");
    r.set(Slot::Title, "晴天");
    r.set(Slot::Album, "Album 🎵");
    r.set(Slot::Copyright, "图片、歌词由 Vantorell 写入");
    r.set(Slot::Lyrics, "[00:01.00]故事的小黄花\n");
    r.set(Slot::Picture, std::string("\xFF\xD8\xFF\xE0 small cover \xFF\xD9", 19));
    return r;
}

}  // namespace mm::tags::fuzz
