#pragma once
// The same tag writes done with TagLib, for comparison only.
#include <string>

#include "bench/tags/bench_inputs.h"

namespace mm::bench {

bool taglibWriteFlac(const std::string& path, const TagValues& v);
bool taglibWriteMp3(const std::string& path, const TagValues& v);

}  // namespace mm::bench
