#pragma once
// The first task of the search pool: update notice, source list, start-up report.
#include <string>

namespace mm::app {

struct AppContext;

inline constexpr const char* kProgramVersion = "1.1";

void PostBootstrap(AppContext& ctx);
void RunBootstrap(AppContext& ctx);

// Which service a source address belongs to: "wy", "qq", "kw", "kg" or "".
std::string ServiceOfAddress(const std::string& url);
// The first http/https address in text, or "".
std::string ExtractWebAddress(const std::string& text);

}  // namespace mm::app
