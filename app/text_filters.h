#pragma once
// The program's two text filters.
#include <string>

namespace mm::app {

// Builds both filters; later calls do nothing.
void BuildTextFilters();
// Slash, backslash and double quote become "*" (titles, singers, albums).
std::string KeywordFilter(const std::string& text);
// / \ " : < > | * ? become "-" (file names).
std::string FileNameFilter(const std::string& text);

}  // namespace mm::app
