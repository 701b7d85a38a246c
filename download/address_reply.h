#pragma once
// The track address request: its form body, the parse of its reply, and the
// job description that carries a queued download to it.
#include <cstdint>
#include <string>
#include <string_view>

namespace mm::download {

// "mid=…&pmid=…&q=<tier>&lyr=<lyr>", values as they are (the service expects
// them unescaped).
std::string AddressFormBody(const std::string& mid, const std::string& pmid, int tier,
                            const std::string& lyr = "true");

struct AddressReply {
    enum class Status {
        kNotJson,       // no JSON object: treated as a network failure
        kServiceError,  // `code` other than 200
        kOk,
    };
    Status status = Status::kNotJson;
    std::int64_t code = 0;
    std::string msg;
    // data.purl, data.lyric, data.type, data.id; "" when missing.
    std::string fileUrl;
    std::string lyrics;
    std::string fileType;
    std::string trackId;
};

AddressReply ParseAddressReply(std::string_view text);

// The job description handed from the queueing step to the address request.
struct AddressJob {
    std::string mid;
    std::string pmid;
    int tier = 0;
    int trackRow = 0;     // "x": 1-based row in the active list
    int downloadRow = 0;  // "sy": 0-based row in the download list
};
// {"mid","pmid","type","lyr","x","sy"}, in this order.
std::string AddressJobToJson(const AddressJob& job);
bool AddressJobFromJson(const std::string& json, AddressJob& job);

}  // namespace mm::download
