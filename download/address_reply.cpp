#include "download/address_reply.h"

#include "platform/net/jmap.h"

namespace mm::download {

std::string AddressFormBody(const std::string& mid, const std::string& pmid, int tier, const std::string& lyr) {
    return "mid=" + mid + "&pmid=" + pmid + "&q=" + std::to_string(tier) + "&lyr=" + lyr;
}

AddressReply ParseAddressReply(std::string_view text) {
    AddressReply r;
    net::JMap map;
    if (!map.FromJSON(text)) return r;
    r.code = map.GetInt("//code");
    r.msg = map.GetString("//msg");
    if (r.code != 200) {
        r.status = AddressReply::Status::kServiceError;
        return r;
    }
    r.status = AddressReply::Status::kOk;
    r.fileUrl = map.GetString("//data.purl");
    r.lyrics = map.GetString("//data.lyric");
    r.fileType = map.GetString("//data.type");
    r.trackId = map.GetString("//data.id");
    return r;
}

}  // namespace mm::download
