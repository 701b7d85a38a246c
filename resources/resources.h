#pragma once
// The program's artwork (PNG files of this folder), built into the binary.
#include <string_view>
#include <vector>

namespace mm {

// The PNG bytes of a picture by its file name ("play.png"); empty when unknown.
std::string_view Resource(std::string_view name);

// Every picture's file name, sorted.
const std::vector<std::string_view>& ResourceNames();

}  // namespace mm
