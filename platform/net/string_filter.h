#pragma once
// Replaces every occurrence of a set of source texts. Built once, then used
// from any number of threads at the same time (Filter does not change it).
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mm::net {

class StringFilter {
  public:
    // Mode 0: sources[i] is replaced by replacements[i]; a missing replacement
    // takes the last one given ("" when none). Other modes are unknown: false,
    // and the filter then changes nothing.
    bool InitByParams(const std::vector<std::string>& sources, int mode,
                      const std::vector<std::string>& replacements);
    // Mode 0 with one replacement for every source.
    bool InitByParams(const std::vector<std::string>& sources, int mode, const std::string& replacement);

    // Scans left to right; at each place the longest matching source wins and
    // scanning goes on after it, so a replacement is never filtered again.
    std::string Filter(std::string_view text) const;

  private:
    std::vector<std::pair<std::string, std::string>> rules_;  // longest source first
};

}  // namespace mm::net
