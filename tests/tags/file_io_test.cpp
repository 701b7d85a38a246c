#include "tags/file_io.h"

#include <gtest/gtest.h>

#include <random>

#include "tag_fixtures.h"

namespace mm::tags {
namespace {

using namespace test;

std::string pattern(size_t n, unsigned seed) {
    std::mt19937 r(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(r());
    return s;
}

// Head sizes around the 1 MiB chunk: smaller, equal, growing by more than a chunk, shrinking.
TEST(ReplaceHead, MovesTheRestOnceWhateverTheSizes) {
    TempDir dir;
    const std::string rest = pattern(3 * (1 << 20) + 12345, 1);
    struct Case {
        size_t oldHead, newHead;
    };
    const Case cases[] = {
        {0, 10}, {100, 100}, {100, 150}, {5000, 20}, {10, (1 << 20) + 7}, {(1 << 20) + 7, 3}, {64, 0}};
    for (const auto& c : cases) {
        std::string path = dir.path("f");
        writeFile(path, pattern(c.oldHead, 2) + rest);
        auto file = io::File::open(path, true);
        ASSERT_TRUE(file.ok());
        const std::string head = pattern(c.newHead, 3);
        ASSERT_TRUE(io::replaceHead(file, c.oldHead, head));
        EXPECT_EQ(file.size(), head.size() + rest.size());
        ASSERT_TRUE(file.close());
        std::string out = readFile(path);
        ASSERT_EQ(out.size(), head.size() + rest.size()) << c.oldHead << " -> " << c.newHead;
        EXPECT_TRUE(out.compare(0, head.size(), head) == 0);
        EXPECT_TRUE(out.compare(head.size(), std::string::npos, rest) == 0)
            << c.oldHead << " -> " << c.newHead;
    }
}

TEST(ReplaceHead, RefusesAHeadLongerThanTheFile) {
    TempDir dir;
    writeFile(dir.path("f"), "abc");
    auto file = io::File::open(dir.path("f"), true);
    EXPECT_FALSE(io::replaceHead(file, 4, "x"));
    file.close();
    EXPECT_EQ(readFile(dir.path("f")), "abc");
}

}  // namespace
}  // namespace mm::tags
