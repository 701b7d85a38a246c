#include "platform/net/regex_pcre.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <memory>

namespace mm::net {
namespace {

pcre2_code* asCode(void* p) {
    return static_cast<pcre2_code*>(p);
}

struct MatchDataDeleter {
    void operator()(pcre2_match_data* m) const { pcre2_match_data_free(m); }
};
using MatchData = std::unique_ptr<pcre2_match_data, MatchDataDeleter>;

// Runs the pattern once; the match data (per call, so matching is thread-safe)
// or nullptr when nothing matches.
MatchData firstMatch(pcre2_code* code, std::string_view text, bool whole) {
    if (code == nullptr) return nullptr;
    MatchData md(pcre2_match_data_create_from_pattern(code, nullptr));
    if (!md) return nullptr;
    const uint32_t options = whole ? (PCRE2_ANCHORED | PCRE2_ENDANCHORED) : 0;
    const int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0, options,
                               md.get(), nullptr);
    // rc 0 only means the ovector was too small, which create_from_pattern rules out.
    return rc > 0 ? std::move(md) : nullptr;
}

}  // namespace

JRegexPcre::~JRegexPcre() {
    pcre2_code_free(asCode(code_));
}

JRegexPcre::JRegexPcre(JRegexPcre&& other) noexcept : code_(other.code_), error_(std::move(other.error_)) {
    other.code_ = nullptr;
}

JRegexPcre& JRegexPcre::operator=(JRegexPcre&& other) noexcept {
    if (this != &other) {
        pcre2_code_free(asCode(code_));
        code_ = other.code_;
        error_ = std::move(other.error_);
        other.code_ = nullptr;
    }
    return *this;
}

bool JRegexPcre::Create(std::string_view pattern, bool caseSensitive, bool multiLine, bool dotAll) {
    pcre2_code_free(asCode(code_));
    code_ = nullptr;
    error_.clear();
    uint32_t options = PCRE2_UTF | PCRE2_UCP | PCRE2_MATCH_INVALID_UTF;
    if (!caseSensitive) options |= PCRE2_CASELESS;
    if (multiLine) options |= PCRE2_MULTILINE;
    if (dotAll) options |= PCRE2_DOTALL;
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), options, &errorCode,
                          &errorOffset, nullptr);
    if (code_ == nullptr) {
        PCRE2_UCHAR message[256];
        pcre2_get_error_message(errorCode, message, sizeof message);
        error_ = reinterpret_cast<const char*>(message);
        error_ += " at offset " + std::to_string(errorOffset);
        return false;
    }
    return true;
}

bool JRegexPcre::Match(std::string_view text, bool wholeMatch) const {
    return firstMatch(asCode(code_), text, wholeMatch) != nullptr;
}

std::string JRegexPcre::Extract(std::string_view text, std::string_view format) const {
    MatchData md = firstMatch(asCode(code_), text, false);
    if (!md) return {};
    const uint32_t pairs = pcre2_get_ovector_count(md.get());
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md.get());
    std::string out;
    for (size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c == '\\' && i + 1 < format.size() && format[i + 1] >= '0' && format[i + 1] <= '9') {
            const uint32_t group = static_cast<uint32_t>(format[++i] - '0');
            if (group < pairs && ov[2 * group] != PCRE2_UNSET && ov[2 * group] <= ov[2 * group + 1] &&
                ov[2 * group + 1] <= text.size()) {
                out.append(text.substr(ov[2 * group], ov[2 * group + 1] - ov[2 * group]));
            }
        } else {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace mm::net
