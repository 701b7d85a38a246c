#pragma once
// An INI file read and written one key at a time. A missing file, section or
// key reads as the empty text; a write creates what is missing. Nothing is
// cached: every call reads the file anew.
#include <string>

namespace mm::sys {

class IniStore {
public:
    explicit IniStore(std::string path) : path_(std::move(path)) {}
    std::string Read(const std::string& section, const std::string& key) const;
    // False when the file cannot be written, or when the value holds a line
    // break, which would end its line and start another key or section: the
    // old file stays as it was.
    bool Write(const std::string& section, const std::string& key, const std::string& value) const;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace mm::sys
