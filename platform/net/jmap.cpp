#include "platform/net/jmap.h"

#include "platform/net/http_client.h"
#include "platform/net/http_options.h"
#include "platform/net/json_path.h"
#include "platform/sys/text_encoding.h"

namespace mm::net {

using detail::Json;

JMap::JMap() : root_(std::make_shared<Json>(Json::object())) {}

Json& JMap::mutableRoot() {
    if (root_.use_count() > 1) root_ = std::make_shared<Json>(*root_);
    return *root_;
}

const Json* JMap::find(std::string_view keyOrPath) const {
    return detail::resolve(*root_, keyOrPath, foldCase_);
}

bool JMap::FromJSON(std::string_view text) {
    auto doc = std::make_shared<Json>();
    error_.clear();
    if (!detail::parse(text, *doc, error_) || !doc->is_object()) {
        if (error_.empty()) error_ = "not a JSON object";
        root_ = std::make_shared<Json>(Json::object());
        return false;
    }
    root_ = std::move(doc);
    return true;
}

bool JMap::FromHTTP(const std::string& url, const std::string& encoding, int timeoutSec,
                    std::size_t maxReplyBytes) {
    HTTPWebClient client;
    client.SetupTimeout(timeoutSec, timeoutSec);
    client.SetMaxReplyBytes(maxReplyBytes);
    std::string body;
    client.Get(url, body, false);
    if (client.GetRepoHTTPCode() == 0) {
        root_ = std::make_shared<Json>(Json::object());
        error_ = client.LastError();
        return false;
    }
    std::string charset = detail::charsetOf(client.GetResponseHeader("Content-Type"));
    if (charset.empty() &&
        (detail::equalsIgnoreCase(encoding, "GBK") || detail::equalsIgnoreCase(encoding, "GB2312") ||
         detail::equalsIgnoreCase(encoding, "GB18030"))) {
        charset = "gbk";
    }
    return FromJSON(detail::bodyToUtf8(body, charset));
}

std::string JMap::GetString(std::string_view keyOrPath) const {
    return detail::asString(find(keyOrPath));
}
std::int64_t JMap::GetInt(std::string_view keyOrPath) const {
    return detail::asInt(find(keyOrPath));
}
double JMap::GetDouble(std::string_view keyOrPath) const {
    return detail::asDouble(find(keyOrPath));
}
bool JMap::GetBool(std::string_view keyOrPath) const {
    return detail::asBool(find(keyOrPath));
}
bool JMap::Has(std::string_view keyOrPath) const {
    return find(keyOrPath) != nullptr;
}
int JMap::Count() const {
    return static_cast<int>(root_->size());
}

bool JMap::GetList(std::string_view keyOrPath, JList& out) const {
    const Json* v = find(keyOrPath);
    if (v == nullptr || !v->is_array()) {
        out = JList();
        return false;
    }
    out.root_ = root_;
    out.node_ = v;
    return true;
}

bool JMap::GetMap(std::string_view keyOrPath, JMap& out) const {
    const Json* v = find(keyOrPath);
    if (v == nullptr || !v->is_object()) {
        out.Clear();
        return false;
    }
    out.root_ = std::make_shared<Json>(*v);
    out.foldCase_ = foldCase_;
    return true;
}

void JMap::CreateByDatas(const std::vector<std::string>& keysAndValues) {
    auto doc = std::make_shared<Json>(Json::object());
    for (size_t i = 0; i < keysAndValues.size(); i += 2) {
        const std::string& value = i + 1 < keysAndValues.size() ? keysAndValues[i + 1] : std::string();
        (*doc)[sys::sanitizeUtf8(keysAndValues[i])] = sys::sanitizeUtf8(value);
    }
    root_ = std::move(doc);
    error_.clear();
}

void JMap::SetString(const std::string& key, const std::string& value) {
    mutableRoot()[sys::sanitizeUtf8(key)] = sys::sanitizeUtf8(value);
}
void JMap::SetInt(const std::string& key, std::int64_t value) {
    mutableRoot()[sys::sanitizeUtf8(key)] = value;
}
void JMap::SetDouble(const std::string& key, double value) {
    mutableRoot()[sys::sanitizeUtf8(key)] = value;
}
void JMap::SetBool(const std::string& key, bool value) {
    mutableRoot()[sys::sanitizeUtf8(key)] = value;
}

void JMap::Clear() {
    root_ = std::make_shared<Json>(Json::object());
    error_.clear();
}

std::string JMap::ToJSON() const {
    return detail::dump(*root_);
}

}  // namespace mm::net
