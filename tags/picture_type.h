#pragma once
#include <string_view>

namespace mm::tags {

// The MIME type to declare for cover bytes: PNG when they carry its
// signature, JPEG otherwise (what the catalogue's covers are).
inline std::string_view pictureMimeOf(std::string_view data) {
    return data.starts_with("\x89PNG\r\n\x1A\n") ? "image/png" : "image/jpeg";
}

}  // namespace mm::tags
