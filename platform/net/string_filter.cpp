#include "platform/net/string_filter.h"

#include <algorithm>

namespace mm::net {
namespace {

// Bytes of the UTF-8 character starting with lead; a stray byte counts as one,
// so the scan always moves forward.
size_t charLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC2 && lead < 0xE0) return 2;
    return 1;
}

}  // namespace

bool StringFilter::InitByParams(const std::vector<std::string>& sources, int mode,
                                const std::vector<std::string>& replacements) {
    rules_.clear();
    if (mode != 0) return false;
    for (size_t i = 0; i < sources.size(); ++i) {
        if (sources[i].empty()) continue;
        std::string with = i < replacements.size() ? replacements[i]
                           : replacements.empty()  ? std::string()
                                                   : replacements.back();
        rules_.emplace_back(sources[i], std::move(with));
    }
    std::stable_sort(rules_.begin(), rules_.end(),
                     [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
    return true;
}

bool StringFilter::InitByParams(const std::vector<std::string>& sources, int mode,
                                const std::string& replacement) {
    return InitByParams(sources, mode, std::vector<std::string>{replacement});
}

std::string StringFilter::Filter(std::string_view text) const {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const std::string_view rest = text.substr(i);
        bool replaced = false;
        for (const auto& [from, to] : rules_) {
            if (rest.substr(0, from.size()) == from) {
                out += to;
                i += from.size();
                replaced = true;
                break;
            }
        }
        if (replaced) continue;
        // Copy a whole character so a source never matches inside another one.
        const size_t n = std::min(charLength(static_cast<unsigned char>(text[i])), text.size() - i);
        out.append(text.substr(i, n));
        i += n;
    }
    return out;
}

}  // namespace mm::net
