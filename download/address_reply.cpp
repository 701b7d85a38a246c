#include "download/address_reply.h"

#include "platform/net/jmap.h"

namespace mm::download {

std::string AddressFormBody(const std::string& mid, const std::string& pmid, int tier,
                            const std::string& lyr) {
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

std::string AddressJobToJson(const AddressJob& job) {
    net::JMap map;
    map.SetString("mid", job.mid);
    map.SetString("pmid", job.pmid);
    map.SetInt("type", job.tier);
    map.SetString("lyr", "true");
    map.SetInt("x", job.trackRow);
    map.SetInt("sy", job.downloadRow);
    return map.ToJSON();
}

bool AddressJobFromJson(const std::string& json, AddressJob& job) {
    net::JMap map;
    if (!map.FromJSON(json)) return false;
    job.mid = map.GetString("mid");
    job.pmid = map.GetString("pmid");
    job.tier = static_cast<int>(map.GetInt("type"));
    job.trackRow = static_cast<int>(map.GetInt("x"));
    job.downloadRow = static_cast<int>(map.GetInt("sy"));
    return true;
}

}  // namespace mm::download
