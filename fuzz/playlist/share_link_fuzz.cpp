// A pasted share text: the address found in it and the playlist id cut out of
// that address for each service. Following the address needs the network and
// is left out. Never a crash; what is found lies in what was given.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "playlist/share_link.h"

namespace {

void Check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
}

bool Digits(const std::string& s) { return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace mm::playlist;
    const std::string text(reinterpret_cast<const char*>(data), size);

    const std::string link = FindLink(text);
    if (!link.empty()) {
        Check(text.find(link) != std::string::npos, "the address is part of the text");
        std::string scheme = link.substr(0, link.find("://"));
        for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        Check(scheme == "http" || scheme == "https", "the address is http or https");
    }
    // The id is taken from where the link leads; any text can come back from there.
    for (const std::string* address : {&link, &text}) {
        for (const char* service : {"qq", "wy", "kw"}) {
            const std::string id = ExtractId(service, *address);
            if (id.empty()) continue;
            Check(Digits(id), "a playlist id is digits");
            Check(address->find(id) != std::string::npos, "the id is part of the address");
        }
        Check(ExtractId("kg", *address) == *address, "a Kugou code is taken as it is");
        Check(ExtractId("xx", *address).empty(), "an unknown service has no id");
    }
    return 0;
}
