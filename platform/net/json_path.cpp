#include "platform/net/json_path.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <new>

namespace mm::net::detail {
namespace {

bool sameKey(std::string_view a, std::string_view b, bool foldCase) {
    if (!foldCase) return a == b;
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

const Json* member(const Json& obj, std::string_view name, bool foldCase) {
    if (!obj.is_object()) return nullptr;
    for (auto it = obj.begin(); it != obj.end(); ++it)
        if (sameKey(it.key(), name, foldCase)) return &it.value();
    return nullptr;
}

// "[n]" at the front of p, 1-based; the item or nullptr.
const Json* item(const Json& list, std::string_view& p) {
    size_t close = p.find(']');
    if (close == std::string_view::npos || close < 2) return nullptr;
    std::string_view digits = p.substr(1, close - 1);
    size_t index = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
    if (ec != std::errc() || end != digits.data() + digits.size() || index == 0) return nullptr;
    p.remove_prefix(close + 1);
    if (!list.is_array() || index > list.size()) return nullptr;
    return &list[index - 1];
}

std::int64_t clampToInt(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 9223372036854775807.0) return std::numeric_limits<std::int64_t>::max();
    if (d <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(d);
}

std::string_view numberText(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    return s;
}

// Leading number of a text, as catalogue services sometimes quote numbers.
double textToDouble(std::string_view s) {
    s = numberText(s);
    double d = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
    (void)end;
    return ec == std::errc() ? d : 0.0;
}

std::int64_t textToInt(std::string_view s) {
    s = numberText(s);
    std::int64_t v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    (void)end;
    if (ec == std::errc()) return v;
    if (ec == std::errc::result_out_of_range) return clampToInt(textToDouble(s));
    return 0;
}

// Depth of brackets outside strings; the parser is iterative but copying and
// printing a document recurse, so depth is bounded before parsing.
bool tooDeep(std::string_view text) {
    int depth = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxDepth) return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

}  // namespace

const Json* resolve(const Json& from, std::string_view keyOrPath, bool foldCase) {
    if (keyOrPath.substr(0, 2) != "//") return member(from, keyOrPath, foldCase);
    std::string_view p = keyOrPath.substr(2);
    const Json* cur = &from;
    while (!p.empty()) {
        const size_t stop = p.find_first_of(".[");
        const std::string_view name = p.substr(0, stop);
        p = stop == std::string_view::npos ? std::string_view() : p.substr(stop);
        if (!name.empty()) {
            cur = member(*cur, name, foldCase);
            if (cur == nullptr) return nullptr;
        } else if (p.empty() || p.front() != '[') {
            return nullptr;  // "a..b", a trailing "." or an empty path step
        }
        while (!p.empty() && p.front() == '[') {
            cur = item(*cur, p);
            if (cur == nullptr) return nullptr;
        }
        if (!p.empty()) {
            if (p.front() != '.') return nullptr;
            p.remove_prefix(1);
            if (p.empty()) return nullptr;
        }
    }
    return cur;
}

bool parse(std::string_view text, Json& out, std::string& error) {
    if (tooDeep(text)) {
        error = "JSON nested deeper than " + std::to_string(kMaxDepth) + " levels";
        return false;
    }
    try {
        out = Json::parse(text.begin(), text.end());
        return true;
    } catch (const Json::exception& e) {
        error = e.what();
    } catch (const std::bad_alloc&) {
        error = "out of memory parsing JSON";
    }
    return false;
}

std::string asString(const Json* v) {
    if (v == nullptr) return {};
    switch (v->type()) {
        case Json::value_t::string:
            return v->get_ref<const std::string&>();
        case Json::value_t::boolean:
            return v->get<bool>() ? "true" : "false";
        case Json::value_t::number_integer:
            return std::to_string(v->get<std::int64_t>());
        case Json::value_t::number_unsigned:
            return std::to_string(v->get<std::uint64_t>());
        case Json::value_t::number_float: {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.13g", v->get<double>());
            return buf;
        }
        case Json::value_t::object:
        case Json::value_t::array:
            return dump(*v);
        default:
            return {};
    }
}

std::int64_t asInt(const Json* v) {
    if (v == nullptr) return 0;
    switch (v->type()) {
        case Json::value_t::number_integer:
            return v->get<std::int64_t>();
        case Json::value_t::number_unsigned: {
            const std::uint64_t u = v->get<std::uint64_t>();
            const auto max = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
            return u > max ? std::numeric_limits<std::int64_t>::max() : static_cast<std::int64_t>(u);
        }
        case Json::value_t::number_float:
            return clampToInt(v->get<double>());
        case Json::value_t::boolean:
            return v->get<bool>() ? 1 : 0;
        case Json::value_t::string:
            return textToInt(v->get_ref<const std::string&>());
        default:
            return 0;
    }
}

double asDouble(const Json* v) {
    if (v == nullptr) return 0.0;
    switch (v->type()) {
        case Json::value_t::number_integer:
        case Json::value_t::number_unsigned:
        case Json::value_t::number_float:
            return v->get<double>();
        case Json::value_t::boolean:
            return v->get<bool>() ? 1.0 : 0.0;
        case Json::value_t::string:
            return textToDouble(v->get_ref<const std::string&>());
        default:
            return 0.0;
    }
}

bool asBool(const Json* v) {
    if (v == nullptr) return false;
    switch (v->type()) {
        case Json::value_t::boolean:
            return v->get<bool>();
        case Json::value_t::number_integer:
        case Json::value_t::number_unsigned:
        case Json::value_t::number_float:
            return v->get<double>() != 0.0;
        case Json::value_t::string: {
            const std::string& s = v->get_ref<const std::string&>();
            if (s.size() == 4 && (s[0] == 't' || s[0] == 'T') && (s[1] == 'r' || s[1] == 'R') &&
                (s[2] == 'u' || s[2] == 'U') && (s[3] == 'e' || s[3] == 'E'))
                return true;
            return textToDouble(s) != 0.0;
        }
        default:
            return false;
    }
}

std::string dump(const Json& v) {
    return v.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace mm::net::detail
