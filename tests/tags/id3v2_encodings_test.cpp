// The three text encodings of the ID3v2 writer, read back by mutagen, by
// TagLib's C++ API and by our own reader; and the default (GBK) mode compared
// byte for byte with what the writer made before the other modes existed.
#include <attachedpictureframe.h>
#include <commentsframe.h>
#include <gtest/gtest.h>
#include <id3v2header.h>
#include <id3v2tag.h>
#include <mpegfile.h>
#include <textidentificationframe.h>
#include <unsynchronizedlyricsframe.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "platform/sys/text_encoding.h"
#include "tag_fixtures.h"
#include "tags/id3v2.h"

namespace mm::tags {
namespace {

using json = nlohmann::json;
using namespace test;

const std::string kTitle = "晴天 🎵";  // the note is not in GBK
const std::string kSinger = "周杰伦";
const std::string kAlbum = "Ｆｕｌｌｗｉｄｔｈ 叶惠美";
const std::string kCredit = "图片、歌词由 Vantorell 写入";
const std::string kComment = "一条评论";
// Long enough that its frame size needs more than one syncsafe byte.
const std::string kLyrics =
    "[00:01.00]晴天\n[00:02.50]故事的小黄花\n[00:04.00]从出生那年就飘着\n[00:06.00]Walking down the empty "
    "road\n"
    "[00:08.00]童年的荡秋千\n[00:10.00]随记忆一直晃到现在\n";

std::string data(const std::string& name) {
    return readFile(std::string(MM_TEST_DATA) + "/id3v2/" + name);
}

std::string hex(const std::string& b) {
    static const char* d = "0123456789abcdef";
    std::string h;
    for (unsigned char c : b) h += {d[c >> 4], d[c & 15]};
    return h;
}

// The request the reference tags were made from (tests/data/id3v2/README.md).
TagRequest referenceRequest() {
    TagRequest r;
    r.set(Slot::Year, "2003");
    r.set(Slot::Title, "晴天");
    r.set(Slot::Artist, "周杰伦 ");
    r.set(Slot::Encoder, "LAME");
    r.set(Slot::Copyright, kCredit);
    r.set(Slot::TrackNumber, "7");
    r.set(Slot::Album, "Emoji 🎵 Song");
    r.set(Slot::Genre, "流行");
    r.set(Slot::Composer, "周杰伦");
    r.set(Slot::Url, "http://example.com/a");
    r.set(Slot::Comment, "一条评论");
    std::string pic("\xFF\xD8\xFF\xE0\0\x10JFIF\0", 11);
    for (int i = 0; i < 40; ++i) pic += static_cast<char>(i * 7);
    r.set(Slot::Picture, pic);
    r.set(Slot::Lyrics, "[00:01.00]晴天\n[00:02.50]故事的小黄花\n");
    return r;
}

TagRequest songRequest(const std::string& cover) {
    TagRequest r;
    r.set(Slot::Title, kTitle);
    r.set(Slot::Artist, kSinger);
    r.set(Slot::Album, kAlbum);
    r.set(Slot::Copyright, kCredit);
    r.set(Slot::Comment, kComment);
    r.set(Slot::Lyrics, kLyrics);
    r.set(Slot::Picture, cover);
    return r;
}

json mutagenText(const std::string& path) {
    const char* src = std::getenv("MM_SOURCE_DIR");
    std::string script = std::string(src ? src : ".") + "/tests/tags/mutagen_text.py";
    std::string out;
    int code = run("/usr/bin/python3 " + quote(script) + " " + quote(path) + " 2>&1", &out);
    EXPECT_EQ(code, 0) << out;
    auto j = json::parse(out, nullptr, false);
    EXPECT_FALSE(j.is_discarded()) << out;
    return j;
}

// What TagLib reads. Texts come as UTF-8, except under encoding 0, which
// TagLib takes as Latin-1: those come as the raw bytes, one per character.
struct TagLibView {
    int version = 0;
    std::map<std::string, int> encodings;
    std::string title, artist, album, copyright, comment, lyrics, picture, pictureMime;
};

std::string utf8Of(const TagLib::String& s, int encoding) {
    return encoding == 0 ? s.to8Bit(false) : s.to8Bit(true);
}

TagLibView readWithTagLib(const std::string& path) {
    TagLibView v;
    TagLib::MPEG::File file(path.c_str(), false);
    TagLib::ID3v2::Tag* tag = file.ID3v2Tag(false);
    if (!file.isValid() || !tag) return v;
    v.version = static_cast<int>(tag->header()->majorVersion());
    for (const char* id : {"TIT2", "TPE1", "TALB", "TCOP"}) {
        const auto& frames = tag->frameListMap()[id];
        if (frames.isEmpty()) continue;
        auto* f = dynamic_cast<TagLib::ID3v2::TextIdentificationFrame*>(frames.front());
        if (!f) continue;
        int enc = static_cast<int>(f->textEncoding());
        v.encodings[id] = enc;
        std::string text = utf8Of(f->toString(), enc);
        if (std::string(id) == "TIT2") v.title = text;
        if (std::string(id) == "TPE1") v.artist = text;
        if (std::string(id) == "TALB") v.album = text;
        if (std::string(id) == "TCOP") v.copyright = text;
    }
    if (const auto& c = tag->frameListMap()["COMM"]; !c.isEmpty()) {
        auto* f = dynamic_cast<TagLib::ID3v2::CommentsFrame*>(c.front());
        v.encodings["COMM"] = static_cast<int>(f->textEncoding());
        v.comment = utf8Of(f->text(), v.encodings["COMM"]);
    }
    if (const auto& l = tag->frameListMap()["USLT"]; !l.isEmpty()) {
        auto* f = dynamic_cast<TagLib::ID3v2::UnsynchronizedLyricsFrame*>(l.front());
        v.encodings["USLT"] = static_cast<int>(f->textEncoding());
        v.lyrics = utf8Of(f->text(), v.encodings["USLT"]);
    }
    if (const auto& p = tag->frameListMap()["APIC"]; !p.isEmpty()) {
        auto* f = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(p.front());
        v.picture.assign(f->picture().data(), f->picture().size());
        v.pictureMime = f->mimeType().to8Bit(true);
    }
    return v;
}

std::string latin1Bytes(const std::string& utf8) {
    return *sys::utf8ToGbk(utf8);
}

class Id3EncodingsTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string mp3 = makeMp3(dir, "song.mp3", 1.0);
    std::string audio = readFile(mp3);
    std::string cover = makeJpeg(40, 40);
};

TEST_F(Id3EncodingsTest, GbkDefaultIsByteIdenticalToTheReferenceTags) {
    const std::string fresh = data("gbk_reference_new.tag");
    const std::string rewrite = data("gbk_reference_rewrite.tag");
    ASSERT_FALSE(fresh.empty());
    ASSERT_FALSE(rewrite.empty());
    auto a = BuildId3v2Tag("", referenceRequest());
    auto b = BuildId3v2Tag("", referenceRequest(), Id3TextEncoding::kGbk);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(hex(*a), hex(fresh));
    EXPECT_EQ(*b, fresh);
    auto c = BuildId3v2Tag(data("old_v23_tag.bin"), referenceRequest(), Id3TextEncoding::kGbk);
    ASSERT_TRUE(c);
    EXPECT_EQ(hex(*c), hex(rewrite));
}

TEST_F(Id3EncodingsTest, EachEncodingReadsBackInMutagenTagLibAndOurReader) {
    struct Case {
        Id3TextEncoding mode;
        int version;
        int encoding;  // of the text frames
    };
    for (Case c : {Case{Id3TextEncoding::kGbk, 3, 0}, Case{Id3TextEncoding::kUtf16, 3, 1},
                   Case{Id3TextEncoding::kUtf8V24, 4, 3}}) {
        SCOPED_TRACE(c.encoding);
        writeFile(mp3, audio);
        TagRequest req = songRequest(cover);
        if (c.mode == Id3TextEncoding::kGbk) req.set(Slot::Title, "晴天");  // GBK holds it
        ASSERT_TRUE(WriteId3v2(mp3, req, c.mode));
        std::string out = readFile(mp3);
        EXPECT_EQ(tail(out, Id3v2TagLength(out, out.size())), audio) << "the audio is untouched";

        json m = mutagenText(mp3);
        EXPECT_EQ(m["version"][1], c.version);
        for (const char* id : {"TIT2", "TPE1", "TALB", "TCOP", "COMM"}) {
            EXPECT_EQ(m["frames"][id]["encoding"], c.encoding) << id;
        }
        EXPECT_EQ(m["frames"]["TIT2"]["text"], req.get(Slot::Title));
        EXPECT_EQ(m["frames"]["TPE1"]["text"], kSinger);
        EXPECT_EQ(m["frames"]["TCOP"]["text"], kCredit);
        EXPECT_EQ(m["frames"]["COMM"]["text"], kComment);
        EXPECT_EQ(m["frames"]["USLT"]["text"], kLyrics);
        EXPECT_EQ(m["frames"]["APIC"]["data"], hex(cover));
        EXPECT_EQ(m["frames"]["APIC"]["mime"], "image/jpeg");

        TagLibView t = readWithTagLib(mp3);
        EXPECT_EQ(t.version, c.version);
        EXPECT_EQ(t.encodings["TIT2"], c.encoding);
        EXPECT_EQ(t.picture, cover);
        EXPECT_EQ(t.pictureMime, "image/jpeg");
        if (c.mode == Id3TextEncoding::kGbk) {
            // TagLib takes encoding 0 as Latin-1: it sees our GBK bytes, one
            // character each; this is what the other modes are for.
            EXPECT_EQ(t.title, latin1Bytes("晴天"));
            EXPECT_EQ(t.artist, latin1Bytes(kSinger));
        } else {
            EXPECT_EQ(t.title, kTitle);
            EXPECT_EQ(t.artist, kSinger);
            EXPECT_EQ(t.album, kAlbum);
            EXPECT_EQ(t.copyright, kCredit);
            EXPECT_EQ(t.comment, kComment);
            EXPECT_EQ(t.lyrics, kLyrics);
            EXPECT_EQ(t.encodings["USLT"], c.encoding);
        }

        // The player's reader.
        TagRequest back;
        ASSERT_TRUE(ReadId3v2(mp3, back));
        EXPECT_EQ(back.get(Slot::Title), req.get(Slot::Title));
        EXPECT_EQ(back.get(Slot::Artist), kSinger);
        EXPECT_EQ(back.get(Slot::Album), kAlbum);
        EXPECT_EQ(back.get(Slot::Copyright), kCredit);
        EXPECT_EQ(back.get(Slot::Comment), kComment);
        EXPECT_EQ(back.get(Slot::Lyrics), kLyrics);
        EXPECT_EQ(back.get(Slot::Picture), cover);
    }
}

TEST_F(Id3EncodingsTest, Utf16IsLittleEndianWithItsMarkAndV24HasSyncsafeFrameSizes) {
    TagRequest r;
    r.set(Slot::Title, "晴a");
    ASSERT_TRUE(WriteId3v2(mp3, r, Id3TextEncoding::kUtf16));
    std::string out = readFile(mp3);
    EXPECT_EQ(out.substr(0, 4), std::string("ID3\x03", 4));
    // Size 7: encoding 1, FF FE, U+6674 and U+0061 little-endian.
    EXPECT_EQ(out.substr(10, 17), std::string("TIT2\0\0\0\x07\0\0\x01\xFF\xFE\x74\x66\x61\0", 17));

    writeFile(mp3, audio);
    r.set(Slot::Title, std::string(200, 'a'));
    r.set(Slot::Year, "2003");
    ASSERT_TRUE(WriteId3v2(mp3, r, Id3TextEncoding::kUtf8V24));
    out = readFile(mp3);
    EXPECT_EQ(out.substr(0, 4), std::string("ID3\x04", 4));
    // The year is a recording time in 2.4; the title's size 201 is 0x01 0x49 in syncsafe bytes.
    EXPECT_EQ(out.substr(10, 15), std::string("TDRC\0\0\0\x05\0\0\x03"
                                              "2003",
                                              15));
    EXPECT_EQ(out.substr(25, 11), std::string("TIT2\0\0\x01\x49\0\0\x03", 11));
    TagRequest back;
    ASSERT_TRUE(ReadId3v2(mp3, back));
    EXPECT_EQ(back.get(Slot::Year), "2003");
    EXPECT_EQ(back.get(Slot::Title), std::string(200, 'a'));
}

TEST_F(Id3EncodingsTest, V24RewriteKeepsForeignFramesOfOlderTags) {
    // The old tags: the ID3v2.3 one of the reference data, and an ID3v2.4 one
    // made by mutagen with a frame of more than 127 bytes.
    std::string v24 = dir.path("v24.mp3");
    writeFile(v24, audio);
    std::string py =
        "from mutagen.id3 import ID3, TIT2, TXXX, PRIV\nt = ID3()\n"
        "t.add(TIT2(encoding=3, text='old'))\n"
        "t.add(TXXX(encoding=3, desc='source', text='catalogue'))\n"
        "t.add(PRIV(owner='morvane', data=bytes(range(200))))\n"
        "t.save(" +
        quote(v24) + ", v2_version=4)\n";
    ASSERT_EQ(run("/usr/bin/python3 -c " + quote(py) + " 2>&1"), 0);
    std::string tagged = readFile(v24);
    const std::string v24Tag = tagged.substr(0, Id3v2TagLength(tagged, tagged.size()));
    ASSERT_FALSE(v24Tag.empty());

    for (const std::string& old : std::vector<std::string>{data("old_v23_tag.bin"), v24Tag}) {
        writeFile(mp3, old + audio);
        TagRequest r;
        r.set(Slot::Title, "新歌名");
        ASSERT_TRUE(WriteId3v2(mp3, r, Id3TextEncoding::kUtf8V24));
        std::string out = readFile(mp3);
        EXPECT_EQ(tail(out, Id3v2TagLength(out, out.size())), audio);
        json m = mutagenText(mp3);
        EXPECT_EQ(m["version"][1], 4);
        EXPECT_EQ(m["frames"]["TIT2"]["text"], "新歌名");
        EXPECT_EQ(m["frames"]["TXXX"]["text"], "catalogue");
        EXPECT_TRUE(m["frames"].contains("PRIV")) << m.dump();
        EXPECT_FALSE(m["frames"].contains("USLT")) << "the writer's own frames go";

        // Written again over its own 2.4 tag: one of each, nothing lost.
        r.set(Slot::Title, "再一次");
        ASSERT_TRUE(WriteId3v2(mp3, r, Id3TextEncoding::kUtf8V24));
        TagLibView t = readWithTagLib(mp3);
        EXPECT_EQ(t.version, 4);
        EXPECT_EQ(t.title, "再一次");
        m = mutagenText(mp3);
        EXPECT_EQ(m["frames"]["TXXX"]["text"], "catalogue");
        EXPECT_EQ(m["frames"].size(), 3u) << m.dump();
    }
    // The PRIV data of the 2.4 tag came through whole.
    TagLib::MPEG::File file(mp3.c_str(), false);
    const auto& priv = file.ID3v2Tag(false)->frameListMap()["PRIV"];
    ASSERT_FALSE(priv.isEmpty());
    EXPECT_GT(priv.front()->size(), 200u);
}

}  // namespace
}  // namespace mm::tags
