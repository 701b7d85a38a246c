#pragma once
// Shared by the tag fuzz targets: a scratch file per process and checks that
// abort on a broken promise, so libFuzzer reports it like a crash.
#include <cstdint>
#include <string>

#include "tags/tag_request.h"

namespace mm::tags::fuzz {

// A path in /dev/shm (or the temporary folder) private to this process.
const std::string& scratchPath();
bool putFile(const std::string& path, const std::string& bytes);
std::string getFile(const std::string& path);

// Every text slot a reader fills must be valid UTF-8.
void checkTextSlots(const TagRequest& r);
void check(bool condition, const char* what);

// The request the download job hands over, with a small cover.
TagRequest downloadRequest();

}  // namespace mm::tags::fuzz
