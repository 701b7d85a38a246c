#pragma once
// Lookups and conversions shared by JMap and JList.
//
// A key is either a plain member name of the top level, or a path expression:
// "//" followed by member names joined by "." with 1-based list indexes in
// brackets, e.g. "//data[3].quality.h.mid" or, on a list, "//[2].singer".
#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace mm::net::detail {

using Json = nlohmann::ordered_json;

// A node inside a parsed document; the document stays alive as long as any
// node of it is held, so lists taken from a table outlive the table.
struct JsonRef {
    std::shared_ptr<const Json> root;
    const Json* node = nullptr;
};

// The node a key or path names, or nullptr. foldCase compares member names
// without regard to ASCII case.
const Json* resolve(const Json& from, std::string_view keyOrPath, bool foldCase = false);

// Parses text; false with a reason for anything but well-formed JSON nested at
// most kMaxDepth deep.
inline constexpr int kMaxDepth = 256;
bool parse(std::string_view text, Json& out, std::string& error);

// Conversions of a value; a null pointer gives "", 0, 0.0 or false.
std::string asString(const Json* v);
std::int64_t asInt(const Json* v);
double asDouble(const Json* v);
bool asBool(const Json* v);

// Compact JSON text; invalid UTF-8 in strings is replaced, never thrown over.
std::string dump(const Json& v);

}  // namespace mm::net::detail
