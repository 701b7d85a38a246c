#pragma once
// Perl-compatible regular expressions (PCRE2) over UTF-8 text. Compile once,
// then match from any number of threads at the same time.
#include <string>
#include <string_view>

namespace mm::net {

class JRegexPcre {
  public:
    JRegexPcre() = default;
    ~JRegexPcre();
    JRegexPcre(const JRegexPcre&) = delete;
    JRegexPcre& operator=(const JRegexPcre&) = delete;
    JRegexPcre(JRegexPcre&& other) noexcept;
    JRegexPcre& operator=(JRegexPcre&& other) noexcept;

    // Letters match without regard to case unless caseSensitive is set. "^"
    // and "$" match at lines only with multiLine, "." a newline only with
    // dotAll. \d, \w and case folding follow Unicode. False with LastError
    // for a bad pattern.
    bool Create(std::string_view pattern, bool caseSensitive = false, bool multiLine = false,
                bool dotAll = false);
    bool IsValid() const { return code_ != nullptr; }

    // True when some part of text matches (the whole of it with wholeMatch).
    // Invalid UTF-8 in text never matches inside the bad bytes and never fails.
    bool Match(std::string_view text, bool wholeMatch = false) const;
    // The first match written into format: "\0" is the whole match, "\1" to
    // "\9" the groups (an unset group gives ""); other characters are copied.
    // "" when nothing matches.
    std::string Extract(std::string_view text, std::string_view format) const;

    const std::string& LastError() const { return error_; }

  private:
    void* code_ = nullptr;  // pcre2_code_8*, kept out of this header
    std::string error_;
};

}  // namespace mm::net
