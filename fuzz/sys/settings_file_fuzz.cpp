// The settings file, whatever is on disk (edited by hand, cut short, written
// by a GBK system): every setting the program reads, then one written back.
// Input: the value to write, a NUL byte, the file. The first byte of the
// value picks the setting. A written value reads back as written, and the
// other settings keep theirs.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "platform/sys/ini_store.h"
#include "platform/sys/text_encoding.h"

namespace {

void Check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
}

// The program's sections and keys (app/settings.h, app/interface_state.cpp).
struct Setting {
    const char* section;
    const char* key;
};
constexpr Setting kSettings[] = {
    {"音乐保存路径", "路径"},   {"其他设置", "歌曲命名"}, {"其他设置", "自动嵌入"},
    {"其他设置", "边听边下载"}, {"桌面", "下载通知"},     {"下载管理", "同时下载数"},
    {"下载管理", "跳过已下载"}, {"界面", "页面"},         {"界面", "窗口位置"},
    {"界面", "音源"},
};
constexpr int kCount = static_cast<int>(std::size(kSettings));

const std::string& ScratchPath() {
    static const std::string path = [] {
        std::filesystem::path dir = std::filesystem::exists("/dev/shm") ? "/dev/shm"
                                                                         : std::filesystem::temp_directory_path();
        return (dir / ("mm-settings-fuzz-" + std::to_string(getpid())) / "config.ini").string();
    }();
    return path;
}

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    const size_t nul = in.find('\0');
    if (nul == std::string_view::npos || nul == 0) return 0;
    const int which = static_cast<unsigned char>(in[0]) % kCount;
    const std::string value(in.substr(1, nul - 1));
    const std::string_view file = in.substr(nul + 1);

    std::filesystem::create_directories(std::filesystem::path(ScratchPath()).parent_path());
    {
        std::ofstream out(ScratchPath(), std::ios::binary | std::ios::trunc);
        out.write(file.data(), static_cast<std::streamsize>(file.size()));
    }
    const mm::sys::IniStore ini(ScratchPath());
    std::string before[kCount];
    for (int i = 0; i < kCount; ++i) {
        before[i] = ini.Read(kSettings[i].section, kSettings[i].key);
        Check(mm::sys::isValidUtf8(before[i]), "a setting reads as UTF-8");
    }

    // The program writes UTF-8 texts (a folder from the chooser, numbers, flags).
    if (!mm::sys::isValidUtf8(value)) return 0;
    if (!ini.Write(kSettings[which].section, kSettings[which].key, value)) return 0;
    const std::string back = ini.Read(kSettings[which].section, kSettings[which].key);
    // Blanks around a value are not kept by the format.
    if (!value.empty() && !Blank(value.front()) && !Blank(value.back()))
        Check(back == value, "a written setting reads back as written");
    for (int i = 0; i < kCount; ++i) {
        if (i == which) continue;
        Check(ini.Read(kSettings[i].section, kSettings[i].key) == before[i], "a write keeps the other settings");
    }
    return 0;
}
