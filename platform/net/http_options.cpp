#include "platform/net/http_options.h"

#include <charconv>

#include "platform/sys/text_encoding.h"

namespace mm::net::detail {
namespace {

constexpr std::string_view kFullWidthColon = "\xEF\xBC\x9A";

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

bool isTokenChar(char c) {
    // Header names are RFC 9110 tokens; anything else would corrupt the request.
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool validName(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name)
        if (!isTokenChar(c)) return false;
    return true;
}

bool validValue(std::string_view value) {
    for (char c : value)
        if (c == '\r' || c == '\n' || c == '\0') return false;
    return true;
}

}  // namespace

bool validHeader(std::string_view name, std::string_view value) {
    return validName(name) && validValue(value);
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

HeaderList parseHeaderText(std::string_view text) {
    HeaderList out;
    while (!text.empty()) {
        size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        size_t colon = line.find(':');
        size_t sepLen = 1;
        size_t wide = line.find(kFullWidthColon);
        if (wide != std::string_view::npos && (colon == std::string_view::npos || wide < colon)) {
            colon = wide;
            sepLen = kFullWidthColon.size();
        }
        if (colon == std::string_view::npos) continue;
        std::string_view name = trim(line.substr(0, colon));
        std::string_view value = trim(line.substr(colon + sepLen));
        if (!validHeader(name, value)) continue;
        out.emplace_back(std::string(name), std::string(value));
    }
    return out;
}

bool parseHeaderLine(std::string_view line, std::string& name, std::string& value) {
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    std::string_view n = trim(line.substr(0, colon));
    if (n.empty()) return false;
    name.assign(n);
    value.assign(trim(line.substr(colon + 1)));
    return true;
}

bool parseStatusLine(std::string_view line, int& code, std::string& text) {
    line = trim(line);
    if (line.substr(0, 5) != "HTTP/") return false;
    size_t sp = line.find(' ');
    if (sp == std::string_view::npos) return false;
    std::string_view rest = line.substr(sp + 1);
    int value = 0;
    auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (ec != std::errc() || end - rest.data() != 3) return false;
    code = value;
    text.assign(trim(rest.substr(3)));
    if (text.empty()) text.assign(reasonPhrase(code));
    return true;
}

std::string_view reasonPhrase(int code) {
    switch (code) {
        case 100:
            return "Continue";
        case 200:
            return "OK";
        case 201:
            return "Created";
        case 202:
            return "Accepted";
        case 204:
            return "No Content";
        case 206:
            return "Partial Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 304:
            return "Not Modified";
        case 307:
            return "Temporary Redirect";
        case 308:
            return "Permanent Redirect";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 408:
            return "Request Timeout";
        case 410:
            return "Gone";
        case 416:
            return "Range Not Satisfiable";
        case 429:
            return "Too Many Requests";
        case 500:
            return "Internal Server Error";
        case 501:
            return "Not Implemented";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        case 504:
            return "Gateway Timeout";
        default:
            return "";
    }
}

std::string charsetOf(std::string_view contentType) {
    std::string lowered;
    lowered.reserve(contentType.size());
    for (char c : contentType) lowered.push_back(lower(c));
    size_t at = lowered.find("charset=");
    if (at == std::string::npos) return {};
    std::string_view v = std::string_view(lowered).substr(at + 8);
    v = v.substr(0, v.find(';'));
    v = trim(v);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return std::string(trim(v));
}

std::string bodyToUtf8(std::string_view body, std::string_view charset) {
    const std::string cs(charset);
    if (cs == "gbk" || cs == "gb2312" || cs == "gb18030" || cs == "cp936" || cs == "x-gbk") {
        // GB18030 is a superset of GBK and GB2312, and servers that say gb2312
        // often send GBK characters.
        return sys::toUtf8(body, "GB18030");
    }
    if (cs == "utf-16" || cs == "ucs-2") return sys::utf16ToUtf8(body, true);
    if (!cs.empty() && cs != "utf-8" && cs != "utf8") return sys::toUtf8(body, cs.c_str());
    if (cs.empty() && body.size() >= 2) {
        auto b0 = static_cast<unsigned char>(body[0]);
        auto b1 = static_cast<unsigned char>(body[1]);
        if ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF)) return sys::utf16ToUtf8(body, true);
    }
    if (body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
    return sys::sanitizeUtf8(body);
}

}  // namespace mm::net::detail
