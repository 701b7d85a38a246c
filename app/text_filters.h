#pragma once
// The program's two text filters.
#include <string>

namespace mm::app {

// Builds both filters; later calls do nothing.
void BuildTextFilters();
// Slash, backslash and double quote become "*" (titles, singers, albums).
std::string KeywordFilter(const std::string& text);
// / \ " : < > | * ? and the control characters U+0000 to U+001F and U+007F
// become "-" (file names).
std::string FileNameFilter(const std::string& text);

}  // namespace mm::app
