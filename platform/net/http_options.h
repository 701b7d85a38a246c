#pragma once
// Pure helpers of the HTTP client: header text, status lines, body charsets.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mm::net::detail {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// "Name: value" lines separated by \n or \r\n. The full-width colon (U+FF1A) is
// taken as a separator too, as callers write it by mistake; a line with neither
// is skipped rather than sent malformed.
HeaderList parseHeaderText(std::string_view text);

// One response header line as curl hands it over ("Name: value\r\n").
bool parseHeaderLine(std::string_view line, std::string& name, std::string& value);

// "HTTP/1.1 302 Found" → 302, "Found". HTTP/2 sends no reason phrase; the
// usual phrase of the code stands in for it.
bool parseStatusLine(std::string_view line, int& code, std::string& text);
std::string_view reasonPhrase(int code);

// Lower-cased charset parameter of a Content-Type value, "" when none.
std::string charsetOf(std::string_view contentType);

// A text body as UTF-8: decoded by charset (GBK family, UTF-16, others iconv
// knows), by its byte-order mark when no charset is declared, else taken as
// UTF-8. The result is always valid UTF-8.
std::string bodyToUtf8(std::string_view body, std::string_view charset);

// A name that is an HTTP token and a value without line breaks: anything else
// would let a caller's text add headers of its own.
bool validHeader(std::string_view name, std::string_view value);

bool equalsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace mm::net::detail
