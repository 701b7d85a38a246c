// Damaged files kept in tests/data/corrupt: the readers take what can be
// trusted and the writers either refuse without touching the file or write a
// sound tag in front of the same audio.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tag_fixtures.h"
#include "tags/flac.h"
#include "tags/id3v2.h"

namespace mm::tags {
namespace {

using namespace test;

class CorruptFile : public ::testing::Test {
  protected:
    TempDir dir;
    std::string original, path;

    void load(const std::string& name) {
        original = readFile(std::string(MM_TEST_DATA) + "/corrupt/" + name);
        ASSERT_FALSE(original.empty()) << name;
        path = dir.path(name);
        writeFile(path, original);
    }
    TagRequest request() const {
        TagRequest r;
        r.set(Slot::Title, "新标题");
        r.set(Slot::Picture, makeJpeg(8, 8));
        return r;
    }
    // Writes an ID3 tag and checks the audio behind it is what followed the old one.
    nlohmann::json rewriteId3() {
        EXPECT_TRUE(WriteId3v2(path, request()));
        std::string out = readFile(path);
        const std::string audio = tail(original, Id3v2TagLength(original, original.size()));
        EXPECT_FALSE(audio.empty()) << "these files have audio behind their tag";
        EXPECT_EQ(tail(out, Id3v2TagLength(out, out.size())), audio);
        TagRequest back;
        EXPECT_TRUE(ReadId3v2(path, back));
        EXPECT_EQ(back.get(Slot::Title), "新标题");
        return nlohmann::json::parse(mutagenDump(path), nullptr, false);
    }
    void expectFlacRefused() {
        EXPECT_FALSE(WriteFlacTags(path, request()));
        EXPECT_EQ(readFile(path), original);
    }
    static std::vector<std::string> ids(const nlohmann::json& j) {
        std::vector<std::string> v;
        if (j.is_discarded()) return {"mutagen failed"};
        for (const auto& f : j["frames"]) v.push_back(f["id"]);
        return v;
    }
};

TEST_F(CorruptFile, Id3FrameSizePastTag) {
    load("id3_frame_size_past_tag.mp3");
    TagRequest r;
    ASSERT_TRUE(ReadId3v2(path, r));
    EXPECT_EQ(r.get(Slot::Title), "ok");
    EXPECT_FALSE(r.has(Slot::Artist));
    EXPECT_EQ(ids(rewriteId3()), (std::vector<std::string>{"TIT2", "APIC"}));
}

// The tag's size field says 256 MiB in a 71-byte file: where the tag ends and
// the audio starts is unknown, so the writer refuses and keeps every byte.
TEST_F(CorruptFile, Id3TagSizePastFileIsRefusedUntouched) {
    load("id3_tag_size_past_file.mp3");
    TagRequest r;
    ASSERT_TRUE(ReadId3v2(path, r));
    EXPECT_EQ(r.get(Slot::Title), "short file");
    const std::string audio = original.substr(original.find("\xFF\xFB"));
    ASSERT_EQ(audio.size(), 40u) << "the MPEG frame behind the tag";
    EXPECT_FALSE(WriteId3v2(path, request()));
    const std::string out = readFile(path);
    EXPECT_EQ(out, original);
    EXPECT_EQ(out.substr(out.size() - audio.size()), audio);
}

TEST_F(CorruptFile, Id3PaddingNotTens) {
    load("id3_padding_not_tens.mp3");
    auto j = rewriteId3();
    EXPECT_EQ(ids(j), (std::vector<std::string>{"TIT2", "APIC", "TXXX"}));
    std::string out = readFile(path);
    EXPECT_EQ(Id3v2TagLength(out, out.size()), Id3v2TagLength(original, original.size()) + 50 +
                                                   /* new frames */ (10 + 1 + 6) +
                                                   (10 + 14 + makeJpeg(8, 8).size()));
}

TEST_F(CorruptFile, Id3v24ExtendedHeaderLongFrame) {
    load("id3v24_extended_header_long_frame.mp3");
    TagRequest r;
    ASSERT_TRUE(ReadId3v2(path, r));
    EXPECT_EQ(r.get(Slot::Title), "ok");
    auto j = rewriteId3();
    ASSERT_EQ(ids(j), (std::vector<std::string>{"TIT2", "APIC", "TXXX"}));
    EXPECT_EQ(j["frames"][2]["text"], std::string(198, 'x'));
}

TEST_F(CorruptFile, Id3PictureMimeUnterminated) {
    load("id3_picture_mime_unterminated.mp3");
    TagRequest r;
    ASSERT_TRUE(ReadId3v2(path, r));
    EXPECT_FALSE(r.has(Slot::Picture));
    EXPECT_EQ(ids(rewriteId3()), (std::vector<std::string>{"TIT2", "APIC"}));
}

TEST_F(CorruptFile, FlacBlockPastEnd) {
    load("flac_block_past_end.flac");
    TagRequest r;
    ASSERT_TRUE(ReadFlacTags(path, r));
    EXPECT_EQ(r.get(Slot::SampleRate), "44100");
    expectFlacRefused();
}

TEST_F(CorruptFile, FlacNoLastBlock) {
    load("flac_no_last_block.flac");
    TagRequest r;
    ASSERT_TRUE(ReadFlacTags(path, r));
    EXPECT_EQ(r.get(Slot::Duration), "00:01");
    expectFlacRefused();
}

TEST_F(CorruptFile, FlacStreamInfoNotFirst) {
    load("flac_streaminfo_not_first.flac");
    expectFlacRefused();
}

TEST_F(CorruptFile, FlacLengthsLie) {
    load("flac_lengths_lie.flac");
    TagRequest r;
    ASSERT_TRUE(ReadFlacTags(path, r));
    EXPECT_FALSE(r.has(Slot::Encoder));
    EXPECT_FALSE(r.has(Slot::Picture));
    ASSERT_TRUE(WriteFlacTags(path, request()));
    TagRequest back;
    ASSERT_TRUE(ReadFlacTags(path, back));
    EXPECT_EQ(back.get(Slot::Title), "新标题");
    EXPECT_EQ(back.get(Slot::Picture), makeJpeg(8, 8));
    std::string out = readFile(path);
    EXPECT_EQ(out.substr(out.size() - 104), original.substr(original.size() - 104));
}

}  // namespace
}  // namespace mm::tags
