// JSON table and list: path expressions, conversions, building, robustness.
#include "platform/net/jmap.h"

#include <gtest/gtest.h>

#include <thread>

namespace mm::net {
namespace {

// A search reply shaped like the catalogue's: nested lists of objects.
const char* kSearchReply = R"({
  "code": 200, "msg": "搜索成功",
  "data": [
    {"title": "Song A", "singer": ["Alice", "Bob"],
     "quality": {"l": {"size": 3.456, "mid": "L1", "pmid": "P1"},
                 "h": {"size": 8, "mid": "H1", "pmid": ""},
                 "s": {"size": "25.5", "mid": "", "pmid": ""}}},
    {"title": "歌曲乙", "singer": ["丙"], "quality": {"h": {"mid": "H2"}}},
    {"title": "Three", "singer": [], "tags": [[1, 2], [3, [4, 5]]]}
  ]
})";

TEST(JMapTest, PathExpressionsOnNestedLists) {
    JMap m;
    ASSERT_TRUE(m.FromJSON(kSearchReply));
    EXPECT_EQ(m.GetInt("//code"), 200);
    EXPECT_EQ(m.GetString("msg"), "搜索成功");
    EXPECT_EQ(m.GetString("//data[1].quality.l.mid"), "L1");
    EXPECT_EQ(m.GetString("//data[2].quality.h.mid"), "H2");
    EXPECT_EQ(m.GetString("//data[2].title"), "歌曲乙");
    EXPECT_EQ(m.GetString("//data[1].singer[2]"), "Bob");
    EXPECT_EQ(m.GetInt("//data[3].tags[2][2][1]"), 4);
    EXPECT_EQ(m.GetString("//data[3].tags[2]"), "[3,[4,5]]");

    // Missing or malformed steps read as empty, never as a neighbour.
    for (const char* path : {"//data[4].title", "//data[0].title", "//data[2].quality.l.mid", "//data.title",
                             "//data[1]..title", "//data[1].", "//data[x].title", "//data[1", "//code.x",
                             "//data[18446744073709551617].title", "data[1].title", "//nope"}) {
        EXPECT_EQ(m.GetString(path), "") << path;
        EXPECT_FALSE(m.Has(path)) << path;
    }

    JList data;
    ASSERT_TRUE(m.GetList("//data", data));
    ASSERT_EQ(data.Count(), 3);
    EXPECT_EQ(data.GetString(2, "title"), "歌曲乙");
    EXPECT_EQ(data.GetString("//[1].quality.h.mid"), "H1");
    JList singers;
    ASSERT_TRUE(data.GetList("//[1].singer", singers));
    ASSERT_EQ(singers.Count(), 2);
    EXPECT_EQ(singers.GetString(1), "Alice");
    EXPECT_EQ(singers.GetString(2), "Bob");
    EXPECT_EQ(singers.GetString(3), "");
    EXPECT_EQ(singers.GetString(0), "");
    ASSERT_TRUE(data.GetList(3, "singer", singers));
    EXPECT_EQ(singers.Count(), 0);
    EXPECT_FALSE(data.GetList(1, "title", singers));
    EXPECT_EQ(singers.Count(), 0);
    EXPECT_FALSE(m.GetList("//msg", data));
    EXPECT_EQ(data.Count(), 0);
}

TEST(JMapTest, ValuesConvertAsTheCallersReadThem) {
    JMap m;
    ASSERT_TRUE(m.FromJSON(R"({"i": 42, "neg": -7, "f": 3.5, "whole": 4.0, "third": 0.1,
        "s": "200", "sf": "25.50", "junk": "abc", "t": true, "f0": false, "st": "TRUE", "one": "1",
        "big": 1e300, "ubig": 18446744073709551615, "nul": null, "obj": {"b": 1, "a": [true]}})"));
    EXPECT_EQ(m.GetString("i"), "42");
    EXPECT_EQ(m.GetString("neg"), "-7");
    EXPECT_EQ(m.GetString("f"), "3.5");
    EXPECT_EQ(m.GetString("whole"), "4");
    EXPECT_EQ(m.GetString("third"), "0.1");
    EXPECT_EQ(m.GetString("t"), "true");
    EXPECT_EQ(m.GetString("nul"), "");
    EXPECT_EQ(m.GetString("obj"), R"({"b":1,"a":[true]})");
    EXPECT_EQ(m.GetString("ubig"), "18446744073709551615");

    EXPECT_EQ(m.GetInt("s"), 200);
    EXPECT_EQ(m.GetInt("f"), 3);
    EXPECT_EQ(m.GetInt("junk"), 0);
    EXPECT_EQ(m.GetInt("t"), 1);
    EXPECT_EQ(m.GetInt("big"), INT64_MAX);  // clamped, not undefined
    EXPECT_EQ(m.GetInt("ubig"), INT64_MAX);
    EXPECT_EQ(m.GetInt("missing"), 0);

    EXPECT_DOUBLE_EQ(m.GetDouble("sf"), 25.5);
    EXPECT_DOUBLE_EQ(m.GetDouble("i"), 42.0);
    EXPECT_DOUBLE_EQ(m.GetDouble("junk"), 0.0);

    EXPECT_TRUE(m.GetBool("t"));
    EXPECT_FALSE(m.GetBool("f0"));
    EXPECT_TRUE(m.GetBool("st"));
    EXPECT_TRUE(m.GetBool("one"));
    EXPECT_TRUE(m.GetBool("i"));
    EXPECT_FALSE(m.GetBool("junk"));
    EXPECT_FALSE(m.GetBool("missing"));
}

TEST(JMapTest, OnlyAnObjectLoads) {
    JMap m;
    ASSERT_TRUE(m.FromJSON(R"({"a":1})"));
    for (const char* text : {"[1,2]", "\"text\"", "42", "", "<html></html>", "{\"a\":", "{\"a\":1}x",
                             "{'a':1}", "{\"a\":1e999}", "{\"s\":\"\xFF\"}"}) {
        EXPECT_FALSE(m.FromJSON(text)) << text;
        EXPECT_FALSE(m.LastError().empty()) << text;
        EXPECT_EQ(m.GetString("a"), "") << "a failed load leaves the table empty";
        EXPECT_EQ(m.Count(), 0);
    }
}

TEST(JMapTest, DeepNestingIsRefusedNotACrash) {
    JMap m;
    const std::string deep = "{\"a\":" + std::string(100000, '[') + std::string(100000, ']') + "}";
    EXPECT_FALSE(m.FromJSON(deep));
    // Brackets inside strings do not count.
    const std::string quoted = "{\"a\":\"" + std::string(5000, '[') + "\"}";
    ASSERT_TRUE(m.FromJSON(quoted));
    EXPECT_EQ(m.GetString("a").size(), 5000u);
    std::string nested = "{\"a\":";
    for (int i = 0; i < 200; ++i) nested += "[";
    nested += "7";
    for (int i = 0; i < 200; ++i) nested += "]";
    nested += "}";
    ASSERT_TRUE(m.FromJSON(nested));
    std::string path = "//a";
    for (int i = 0; i < 200; ++i) path += "[1]";
    EXPECT_EQ(m.GetInt(path), 7);
}

TEST(JMapTest, BuildsObjectsInKeyOrder) {
    JMap job;
    job.CreateByDatas({"mid", "M&1", "pmid", "P\"2", "lyr", "true"});
    job.SetInt("type", 1);
    job.SetInt("x", 3);
    job.SetInt("sy", 0);
    const std::string text = job.ToJSON();
    EXPECT_EQ(text, R"({"mid":"M&1","pmid":"P\"2","lyr":"true","type":1,"x":3,"sy":0})");

    JMap back;
    ASSERT_TRUE(back.FromJSON(text));
    EXPECT_EQ(back.GetString("pmid"), "P\"2");
    EXPECT_EQ(back.GetInt("sy"), 0);
    EXPECT_EQ(back.ToJSON(), text) << "reading and writing keeps the order";

    JMap file;
    file.CreateByDatas({"path", "/home/u/歌.mp3", "name"});  // odd count: last key gets ""
    EXPECT_EQ(file.ToJSON(), R"({"path":"/home/u/歌.mp3","name":""})");
    file.SetString("name", "bad\xFFtext");  // never invalid UTF-8 out
    EXPECT_EQ(file.GetString("name"), "bad\xEF\xBF\xBDtext");
}

TEST(JMapTest, ListsOutliveAndIgnoreLaterChangesOfTheirTable) {
    JList list;
    {
        JMap m;
        ASSERT_TRUE(m.FromJSON(R"({"list":[{"url":"u1"},{"url":"u2"}]})"));
        ASSERT_TRUE(m.GetList("list", list));
        m.SetString("list", "replaced");
        EXPECT_EQ(m.GetString("list"), "replaced");
        ASSERT_TRUE(m.FromJSON(R"({"other":1})"));
    }
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.GetString(2, "url"), "u2");
    EXPECT_EQ(list.ToJSON(), R"([{"url":"u1"},{"url":"u2"}])");
    JMap item;
    ASSERT_TRUE(list.GetMap(1, item));
    EXPECT_EQ(item.GetString("url"), "u1");
    EXPECT_FALSE(list.GetMap(3, item));
}

TEST(JMapTest, CopiesAreIndependent) {
    JMap a;
    a.CreateByDatas({"k", "1"});
    JMap b = a;
    b.SetString("k", "2");
    EXPECT_EQ(a.GetString("k"), "1");
    EXPECT_EQ(b.GetString("k"), "2");
}

TEST(JMapTest, ConcurrentReadersOfOneTable) {
    JMap m;
    ASSERT_TRUE(m.FromJSON(kSearchReply));
    std::vector<std::thread> threads;
    std::atomic<int> good{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                JList data;
                if (m.GetList("//data", data) && data.GetString("//[1].quality.l.mid") == "L1") ++good;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(good.load(), 2000);
}

}  // namespace
}  // namespace mm::net
