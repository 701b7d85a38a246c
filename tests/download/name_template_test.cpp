#include "download/name_template.h"

#include <gtest/gtest.h>

#include "platform/sys/text_encoding.h"

namespace mm::download {
namespace {

TemplateFields Song(std::string title, std::string singer, std::string album, int tier = 0) {
    TemplateFields f;
    f.title = std::move(title);
    f.singer = std::move(singer);
    f.album = std::move(album);
    f.tier = tier;
    f.source = "网易云音乐";
    f.index = "07";
    return f;
}

TEST(NameTemplate, FieldsFillFoldersAndName) {
    auto n = ExpandTemplate("{singer}/{album}/{title} - {singer}", Song("晴天里的风", "林小雨 ", "夏日信笺"));
    ASSERT_TRUE(n);
    // The list's trailing space after the singer is not part of a name.
    EXPECT_EQ(n->folder, "林小雨/夏日信笺/");
    EXPECT_EQ(n->base, "晴天里的风 - 林小雨");
    EXPECT_TRUE(n->albumFolder);

    n = ExpandTemplate("{source}/{index}. {title} [{tier}]", Song("Morning Light", "Nora Vale", "First", 2));
    ASSERT_TRUE(n);
    EXPECT_EQ(n->folder, "网易云音乐/");
    EXPECT_EQ(n->base, "07. Morning Light [无损]");
    EXPECT_FALSE(n->albumFolder) << "no folder is named after the album";

    n = ExpandTemplate("{title}", Song("A", "B", "C", 1));
    ASSERT_TRUE(n);
    EXPECT_EQ(n->folder, "");
    EXPECT_EQ(n->base, "A");
    EXPECT_EQ(TierName(0), "标准");
    EXPECT_EQ(TierName(1), "高品");
    EXPECT_EQ(TierName(2), "无损");
}

TEST(NameTemplate, EmptyFieldsReadUnknown) {
    auto n = ExpandTemplate("{singer}/{album}/{title}", Song("无名之歌", "  ", ""));
    ASSERT_TRUE(n);
    EXPECT_EQ(n->folder, "未知/未知/");
    EXPECT_EQ(n->base, "无名之歌");
    // A value of blanks only, full-width ones included, is empty too.
    n = ExpandTemplate("{album}/{title}", Song("\xE3\x80\x80", "x", "\t"));
    ASSERT_TRUE(n);
    EXPECT_EQ(n->folder, "未知/");
    EXPECT_EQ(n->base, "未知");
}

TEST(NameTemplate, NoValueCanMakeOrLeaveAFolder) {
    // "AC/DC: Live?" stays one folder level deep under {singer}/{title}.
    auto n = ExpandTemplate("{singer}/{title}", Song("AC/DC: Live?", "X ", "Rock Test"));
    ASSERT_TRUE(n);
    EXPECT_EQ(n->folder, "X/");
    EXPECT_EQ(n->base, "AC-DC- Live-");
    EXPECT_EQ(n->base.find('/'), std::string::npos);

    n = ExpandTemplate("{singer}/{album}/{title}", Song("../../etc/passwd", "..", "."));
    ASSERT_TRUE(n);
    EXPECT_EQ(n->folder.find("../"), std::string::npos) << n->folder;
    EXPECT_NE(n->folder.substr(0, 2), "./");
    EXPECT_EQ(n->base.find('/'), std::string::npos);
    EXPECT_EQ(n->folder, "．．/．/");
    EXPECT_EQ(n->base, "．．-..-etc-passwd");

    n = ExpandTemplate("{title}", Song(std::string("a\0b", 3), "", ""));
    ASSERT_TRUE(n);
    EXPECT_EQ(n->base, "a-b");
}

TEST(NameTemplate, TemplatesThatLeaveTheSaveFolderAreRefused) {
    for (const char* bad : {"../x", "/etc/x", "", "   ", "{singer}/../{title}", "a/./b", "..", "a//b",
                            "{singer}/", "{singer}/ /{title}", " /x"}) {
        TemplateCheck c = CheckTemplate(bad);
        EXPECT_FALSE(c.ok) << bad;
        EXPECT_FALSE(c.message.empty()) << bad;
        EXPECT_FALSE(ExpandTemplate(bad, Song("t", "s", "a"))) << bad;
    }
    EXPECT_NE(CheckTemplate("../x").message.find(".."), std::string::npos);
    EXPECT_NE(CheckTemplate("/etc/x").message.find("/"), std::string::npos);
    EXPECT_EQ(CheckTemplate("").message, "命名模板不能为空。");
    // A name that merely holds dots is a name.
    EXPECT_TRUE(CheckTemplate("{singer}/...{title}").ok);
    EXPECT_TRUE(CheckTemplate("a..b/{title}").ok);
}

TEST(NameTemplate, UnknownFieldsBracesAndForbiddenCharactersAreRefused) {
    TemplateCheck c = CheckTemplate("{artist}/{title}");
    EXPECT_FALSE(c.ok);
    EXPECT_NE(c.message.find("{artist}"), std::string::npos) << c.message;
    EXPECT_NE(c.message.find("{singer}"), std::string::npos) << "lists what can be used";
    EXPECT_FALSE(CheckTemplate("{title").ok);
    EXPECT_FALSE(CheckTemplate("title}").ok);
    EXPECT_FALSE(CheckTemplate("{{title}}").ok);
    EXPECT_FALSE(CheckTemplate("{Title}").ok) << "fields are lower case";
    EXPECT_FALSE(CheckTemplate("{singer}: {title}").ok);
    EXPECT_FALSE(CheckTemplate("{singer}\\{title}").ok);
    EXPECT_FALSE(CheckTemplate("{title}?").ok);
    EXPECT_FALSE(CheckTemplate("a\tb").ok);
    EXPECT_TRUE(CheckTemplate("{index} {title} ({tier}, {source})").ok);
}

TEST(NameTemplate, LongFolderNamesAreCutAtACharacter) {
    std::string album;
    for (int i = 0; i < 120; ++i) album += "长";  // 360 bytes
    auto n = ExpandTemplate("{album}/{title}", Song("t", "s", album), 255);
    ASSERT_TRUE(n);
    std::string folder = n->folder.substr(0, n->folder.size() - 1);
    EXPECT_LE(folder.size(), 255u);
    EXPECT_GT(folder.size(), 250u);
    EXPECT_TRUE(sys::isValidUtf8(folder));
}

TEST(NameTemplate, ExampleShowsTheNameOrTheReason) {
    EXPECT_EQ(ExampleText("{singer}/{album}/{title} - {singer}"), "示例：周杰伦/叶惠美/晴天 - 周杰伦.mp3");
    EXPECT_EQ(ExampleText("{index} {title} [{tier}]"), "示例：01 晴天 [高品].mp3");
    EXPECT_EQ(ExampleText("../x"), CheckTemplate("../x").message);
}

}  // namespace
}  // namespace mm::download
