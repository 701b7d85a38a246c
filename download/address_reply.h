#pragma once
// The track address request: its form body and the parse of its reply.
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

}  // namespace mm::download
