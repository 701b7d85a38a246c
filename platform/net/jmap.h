#pragma once
// A JSON object with lookups by plain key or by "//" path expression
// ("//data[3].quality.h.mid": members joined by ".", list items counted from 1).
// Members keep their order, so ToJSON writes them as they were added or read.
//
// Reads never fail: a missing value reads as "", 0, 0.0 or false. Numbers read
// as text use "%.13g" for fractions and plain decimal for integers; texts read
// as numbers give their leading number ("200" → 200).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "platform/net/http_client.h"
#include "platform/net/jlist.h"

namespace mm::net {

class JMap {
  public:
    JMap();

    // True only when text is a JSON object; otherwise the table is left empty
    // and LastError says why.
    bool FromJSON(std::string_view text);
    // GET url and parse the answer's body, whatever its status. The body is
    // turned into UTF-8 from the charset the server declares; encoding names
    // the charset to assume when it declares none (GBK, GB2312, GB18030;
    // anything else means UTF-8). timeoutSec bounds connecting and the whole
    // request, 0 = the client's defaults. A body over maxReplyBytes is cut
    // off and the call fails.
    bool FromHTTP(const std::string& url, const std::string& encoding = "UTF-8", int timeoutSec = 0,
                  std::size_t maxReplyBytes = HTTPWebClient::kDefaultMaxReplyBytes);

    std::string GetString(std::string_view keyOrPath) const;
    std::int64_t GetInt(std::string_view keyOrPath) const;
    double GetDouble(std::string_view keyOrPath) const;
    // true, a non-zero number, "true" (any case) or a non-zero number text.
    bool GetBool(std::string_view keyOrPath) const;
    bool GetList(std::string_view keyOrPath, JList& out) const;
    bool GetMap(std::string_view keyOrPath, JMap& out) const;
    bool Has(std::string_view keyOrPath) const;
    int Count() const;

    // Replaces the table by the pairs of keysAndValues (key, value, key, ...),
    // all values texts; an odd last key gets "".
    void CreateByDatas(const std::vector<std::string>& keysAndValues);
    void SetString(const std::string& key, const std::string& value);
    void SetInt(const std::string& key, std::int64_t value);
    void SetDouble(const std::string& key, double value);
    void SetBool(const std::string& key, bool value);
    void Clear();

    std::string ToJSON() const;

    // Member names compared without regard to ASCII case (response headers).
    void SetCaseInsensitiveKeys(bool on) { foldCase_ = on; }
    const std::string& LastError() const { return error_; }

  private:
    friend class JList;
    const nlohmann::ordered_json* find(std::string_view keyOrPath) const;
    nlohmann::ordered_json& mutableRoot();

    // Shared with lists taken from this table; copied before a change if shared.
    std::shared_ptr<nlohmann::ordered_json> root_;
    bool foldCase_ = false;
    std::string error_;
};

}  // namespace mm::net
