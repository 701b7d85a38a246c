#include "download/address_reply.h"

#include <gtest/gtest.h>

#include "download/address_reply.h"

namespace mm::download {
namespace {

using Status = AddressReply::Status;

TEST(AddressReply, FormBodyIsSentRaw) {
    EXPECT_EQ(AddressFormBody("0001-h", "p1", 1), "mid=0001-h&pmid=p1&q=1&lyr=true");
    // Nothing is escaped: a value with & or = changes the form, as the service expects.
    EXPECT_EQ(AddressFormBody("a&b=c", "", 0), "mid=a&b=c&pmid=&q=0&lyr=true");
}

TEST(AddressReply, SuccessCarriesTheFourFields) {
    AddressReply r = ParseAddressReply(
        R"({"code":200,"msg":"ok","data":{"purl":"http://h/a.mp3","lyric":"[00:01]风","type":"MP3","id":42}})");
    EXPECT_EQ(r.status, Status::kOk);
    EXPECT_EQ(r.fileUrl, "http://h/a.mp3");
    EXPECT_EQ(r.lyrics, "[00:01]风");
    EXPECT_EQ(r.fileType, "MP3");
    EXPECT_EQ(r.trackId, "42");
}

TEST(AddressReply, MissingDataGivesEmptyFields) {
    AddressReply r = ParseAddressReply(R"({"code":200,"msg":"ok"})");
    EXPECT_EQ(r.status, Status::kOk);
    EXPECT_EQ(r.fileUrl, "");
    EXPECT_EQ(r.fileType, "");
}

TEST(AddressReply, ServiceErrorKeepsCodeAndMessage) {
    AddressReply r = ParseAddressReply(R"({"code":500,"msg":"歌曲不存在啊","data":{"purl":"x"}})");
    EXPECT_EQ(r.status, Status::kServiceError);
    EXPECT_EQ(r.code, 500);
    EXPECT_EQ(r.msg, "歌曲不存在啊");
    EXPECT_EQ(r.fileUrl, "");  // nothing of a failed reply is taken
    EXPECT_EQ(ParseAddressReply(R"({"msg":"no code"})").status, Status::kServiceError);
}

TEST(AddressReply, AnythingButAJsonObjectIsANetworkFailure) {
    for (const char* text :
         {"", "<html><body>502</body></html>", "[1,2]", "\"text\"", "{\"code\":200", "\xff\xfe\x00garbage"}) {
        EXPECT_EQ(ParseAddressReply(text).status, Status::kNotJson) << text;
    }
}

TEST(AddressJob, DescriptionHasItsSixKeysInOrder) {
    AddressJob job{"0003-h", "p\"3", 1, 4, 7};
    std::string json = AddressJobToJson(job);
    EXPECT_EQ(json, R"({"mid":"0003-h","pmid":"p\"3","type":1,"lyr":"true","x":4,"sy":7})");
    AddressJob back;
    ASSERT_TRUE(AddressJobFromJson(json, back));
    EXPECT_EQ(back.mid, "0003-h");
    EXPECT_EQ(back.pmid, "p\"3");
    EXPECT_EQ(back.tier, 1);
    EXPECT_EQ(back.trackRow, 4);
    EXPECT_EQ(back.downloadRow, 7);
    EXPECT_FALSE(AddressJobFromJson("not json", back));
}

}  // namespace
}  // namespace mm::download
