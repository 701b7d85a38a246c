// Pasted share texts against the program's patterns: never a crash, and a
// found address always lies inside the text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/net/regex_pcre.h"
#include "platform/net/url_encode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const struct Patterns {
        mm::net::JRegexPcre link, qq, wy, kw;
        Patterns() {
            link.Create(R"(((http|https)(://[A-Za-z0-9_\-\+.:?&@=/%#,;]*)))");
            qq.Create(R"(id=([0-9]+))");
            wy.Create(R"([?&]id=([0-9]+)(?=&|$))");
            kw.Create(R"(detail\/([0-9]+)(?=\?|$))");
        }
    } p;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string link = p.link.Extract(text, "\\0");
    if (!link.empty() && text.find(link) == std::string_view::npos) __builtin_trap();
    (void)p.qq.Extract(text, "\\1");
    (void)p.wy.Extract(text, "\\1");
    (void)p.kw.Extract(text, "\\1");
    (void)p.link.Match(text, true);
    (void)mm::net::URLEncode(text);
    return 0;
}
