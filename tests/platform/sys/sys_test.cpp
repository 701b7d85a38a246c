// Text encodings, files and the device tag.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/sys/cpu_id.h"
#include "platform/sys/files.h"
#include "platform/sys/ini_store.h"
#include "platform/sys/text_encoding.h"

using namespace mm::sys;

TEST(TextEncoding, GbkRoundTripAndWhatGbkCannotHold) {
    auto gbk = utf8ToGbk("图片、歌词 ABC");
    ASSERT_TRUE(gbk.has_value());
    EXPECT_EQ(*gbk, "\xCD\xBC\xC6\xAC\xA1\xA2\xB8\xE8\xB4\xCA ABC");
    EXPECT_EQ(gbkToUtf8(*gbk), "图片、歌词 ABC");
    EXPECT_FALSE(utf8ToGbk("emoji \xF0\x9F\x8E\xB5").has_value()) << "no GBK form: the caller picks UTF-16";
    EXPECT_FALSE(utf8ToGbk("\xFF bad").has_value());
}

TEST(TextEncoding, InvalidBytesNeverGiveInvalidUtf8) {
    // A lone lead byte, a truncated pair at the end and bytes GBK does not use.
    std::string out = gbkToUtf8("ok\x81" "A\xFF\xB8");
    EXPECT_TRUE(isValidUtf8(out)) << out;
    EXPECT_EQ(out.substr(0, 2), "ok");
    EXPECT_NE(out.find("\xEF\xBF\xBD"), std::string::npos);
    EXPECT_EQ(sanitizeUtf8("a\xC0\x80z"), "a\xEF\xBF\xBD\xEF\xBF\xBDz") << "overlong forms are invalid";
    EXPECT_TRUE(isValidUtf8(toUtf8("\x80\x81", "NO-SUCH-CHARSET")));
}

TEST(TextEncoding, Utf16BothOrders) {
    EXPECT_EQ(utf8ToUtf16BE("歌a"), std::string("\x6B\x4C\x00\x61", 4));
    EXPECT_EQ(utf16ToUtf8(std::string("\xFF\xFE\x4C\x6B", 4), true), "歌") << "the mark decides";
    EXPECT_EQ(utf16ToUtf8(std::string("\xFE\xFF\x6B\x4C", 4), false), "歌");
    EXPECT_EQ(utf16ToUtf8(std::string("\x6B\x4C", 2), true), "歌");
    EXPECT_TRUE(isValidUtf8(utf16ToUtf8(std::string("\x00\xD8", 2), false))) << "a lone surrogate";
}

TEST(TextEncoding, WidthAndCutsCountGbkBytes) {
    EXPECT_EQ(gbkWidth("周杰伦 Jay"), 10u);
    EXPECT_EQ(cutToGbkWidth("周杰伦", 5), "周杰") << "never half a character";
    EXPECT_EQ(cutToGbkWidth("周杰伦", 6), "周杰伦");
    EXPECT_EQ(cutToGbkWidth("ab周", 3), "ab");
    EXPECT_EQ(cutToGbkWidth("", 4), "");
}

TEST(TextEncoding, ManyThreadsConvertAtOnce) {
    std::vector<std::thread> threads;
    std::atomic<int> bad{0};
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                auto g = utf8ToGbk("试听下载 " + std::to_string(i));
                if (!g || gbkToUtf8(*g) != "试听下载 " + std::to_string(i)) bad++;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(bad.load(), 0);
}

// The settings fuzzer's input: the setting picked by the first byte, the value
// to write, a NUL byte, the file as it was on disk.
TEST(IniStore, AValueWithALineBreakIsRefusedAndTheFileStaysAsItWas) {
    std::string input;
    ASSERT_TRUE(ReadFile(std::string(MM_TEST_DATA) + "/fuzz/settings_value_line_break.bin", input));
    const size_t nul = input.find('\0', 1);
    ASSERT_NE(nul, std::string::npos);
    const std::string value = input.substr(1, nul - 1);
    const std::string file = input.substr(nul + 1);
    ASSERT_NE(value.find('\n'), std::string::npos);

    char tmpl[] = "/tmp/mm-ini-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string path = std::string(tmpl) + "/config.ini";
    ASSERT_TRUE(WriteFileAtomic(path, file));
    IniStore ini(path);
    EXPECT_FALSE(ini.Write("音乐保存路径", "路径", value));
    EXPECT_FALSE(ini.Write("音乐保存路径", "路径", "/home/user/a\rb"));
    std::string after;
    ASSERT_TRUE(ReadFile(path, after));
    EXPECT_EQ(after, file);
    EXPECT_EQ(ini.Read("音乐保存路径", "路径"), "/home/user/Music");
    EXPECT_EQ(ini.Read("其他设置", "歌曲命名"), "0") << "no key slipped in through the value";

    // Other values are written and read back, the rest of the file kept.
    EXPECT_TRUE(ini.Write("音乐保存路径", "路径", "/home/user/新建 [其他设置] 歌曲命名=2"));
    EXPECT_EQ(ini.Read("音乐保存路径", "路径"), "/home/user/新建 [其他设置] 歌曲命名=2");
    EXPECT_EQ(ini.Read("其他设置", "歌曲命名"), "0");
    EXPECT_EQ(ini.Read("下载管理", "同时下载数"), "3");
    std::filesystem::remove_all(tmpl);
}

TEST(Files, RenameNeverReplaces) {
    char tmpl[] = "/tmp/mm-sys-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    std::ofstream(dir + "/a.part") << "new";
    std::ofstream(dir + "/a.mp3") << "old";
    EXPECT_FALSE(RenameNoReplace(dir + "/a.part", dir + "/a.mp3"));
    std::string s;
    ASSERT_TRUE(ReadFile(dir + "/a.mp3", s));
    EXPECT_EQ(s, "old");
    EXPECT_TRUE(PathExists(dir + "/a.part"));
    EXPECT_TRUE(RenameNoReplace(dir + "/a.part", dir + "/b.mp3"));
    EXPECT_FALSE(PathExists(dir + "/a.part"));
    EXPECT_EQ(FileSize(dir + "/b.mp3"), 3);
    EXPECT_TRUE(MakeDirectories(dir + "/x/y/z"));
    EXPECT_TRUE(IsDirectory(dir + "/x/y"));
    EXPECT_GE(MaxNameBytes(dir), 255);
    EXPECT_TRUE(WriteFileAtomic(dir + "/x/w.txt", "data"));
    EXPECT_EQ(FileSize(dir + "/x/w.txt"), 4);
    std::filesystem::remove_all(dir);
}

// Mounts without renameat2 or hard links (FUSE, exFAT) refuse them with one of
// these; the move must still happen, and still never replace a file.
int FailEinval(const char*, const char*) {
    errno = EINVAL;
    return -1;
}
int FailEperm(const char*, const char*) {
    errno = EPERM;
    return -1;
}
int FailEnosys(const char*, const char*) {
    errno = ENOSYS;
    return -1;
}

class NoHardLinks : public ::testing::Test {
protected:
    NoHardLinks() {
        char tmpl[] = "/tmp/mm-nolink-XXXXXX";
        dir = mkdtemp(tmpl);
    }
    ~NoHardLinks() override {
        SetRenameCalls(SystemRenameCalls());
        std::filesystem::remove_all(dir);
    }
    std::string Read(const std::string& path) {
        std::string s;
        ReadFile(path, s);
        return s;
    }
    std::string dir;
};

TEST_F(NoHardLinks, TheMoveFallsBackToAnExclusiveTargetAndNeverReplaces) {
    using Call = int (*)(const char*, const char*);
    const struct {
        Call rename2, link;
    } mounts[] = {
        {FailEinval, FailEperm}, {FailEnosys, FailEnosys}, {FailEinval, FailEinval}, {FailEperm, FailEperm}};
    int n = 0;
    for (const auto& m : mounts) {
        SCOPED_TRACE(n);
        SetRenameCalls({m.rename2, m.link, ::rename});
        const std::string part = dir + "/s" + std::to_string(n) + ".part";
        const std::string target = dir + "/s" + std::to_string(n) + ".mp3";
        std::ofstream(part) << "whole download";
        ASSERT_TRUE(RenameNoReplace(part, target)) << std::strerror(errno);
        EXPECT_EQ(Read(target), "whole download");
        EXPECT_FALSE(PathExists(part));

        // A taken name is refused with EEXIST and both files stay as they were.
        std::ofstream(part) << "second";
        errno = 0;
        EXPECT_FALSE(RenameNoReplace(part, target));
        EXPECT_EQ(errno, EEXIST);
        EXPECT_EQ(Read(target), "whole download");
        EXPECT_EQ(Read(part), "second");
        ++n;
    }
}

TEST_F(NoHardLinks, AFailedFinalRenameLeavesNoPlaceholderAndKeepsThePart) {
    SetRenameCalls({FailEinval, FailEperm, FailEperm});
    std::ofstream(dir + "/a.part") << "audio";
    EXPECT_FALSE(RenameNoReplace(dir + "/a.part", dir + "/a.mp3"));
    EXPECT_EQ(errno, EPERM);
    EXPECT_FALSE(PathExists(dir + "/a.mp3"));
    EXPECT_EQ(Read(dir + "/a.part"), "audio");
}

TEST(DeviceTag, SixteenUpperCaseHexDigits) {
    std::string tag = DeviceTag();
    ASSERT_EQ(tag.size(), 16u);
    for (char c : tag) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << tag;
    EXPECT_EQ(tag, DeviceTag());
}
