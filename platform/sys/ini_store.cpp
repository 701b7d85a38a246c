#include "platform/sys/ini_store.h"

#include <vector>

#include "platform/sys/files.h"
#include "platform/sys/text_encoding.h"

namespace mm::sys {
namespace {

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// The file as UTF-8 lines. A file written by a GBK system is converted.
std::vector<std::string> LoadLines(const std::string& path, bool* existed) {
    std::string raw;
    *existed = ReadFile(path, raw);
    if (raw.size() >= 3 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) raw.erase(0, 3);
    if (!isValidUtf8(raw)) raw = gbkToUtf8(raw);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < raw.size()) {
        size_t nl = raw.find('\n', start);
        if (nl == std::string::npos) nl = raw.size();
        std::string line = raw.substr(start, nl - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = nl + 1;
    }
    return lines;
}

bool IsSection(const std::string& line, std::string* name) {
    std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[' || t.back() != ']') return false;
    *name = Trim(t.substr(1, t.size() - 2));
    return true;
}

bool IsKey(const std::string& line, const std::string& key, std::string* value) {
    auto eq = line.find('=');
    if (eq == std::string::npos) return false;
    if (Trim(line.substr(0, eq)) != key) return false;
    if (value) *value = Trim(line.substr(eq + 1));
    return true;
}

}  // namespace

std::string IniStore::Read(const std::string& section, const std::string& key) const {
    bool existed;
    auto lines = LoadLines(path_, &existed);
    bool inSection = false;
    for (const auto& line : lines) {
        std::string name;
        if (IsSection(line, &name)) {
            inSection = (name == section);
            continue;
        }
        std::string value;
        if (inSection && IsKey(line, key, &value)) return value;
    }
    return {};
}

bool IniStore::Write(const std::string& section, const std::string& key, const std::string& value) const {
    if (value.find_first_of("\r\n") != std::string::npos) return false;
    bool existed;
    auto lines = LoadLines(path_, &existed);
    bool inSection = false, sectionFound = false;
    size_t insertAt = lines.size();
    bool done = false;
    for (size_t i = 0; i < lines.size() && !done; ++i) {
        std::string name;
        if (IsSection(lines[i], &name)) {
            if (inSection) {
                insertAt = i;  // end of our section
                break;
            }
            inSection = (name == section);
            if (inSection) {
                sectionFound = true;
                insertAt = i + 1;
            }
            continue;
        }
        if (inSection) {
            if (IsKey(lines[i], key, nullptr)) {
                lines[i] = key + "=" + value;
                done = true;
            } else if (!Trim(lines[i]).empty()) {
                insertAt = i + 1;
            }
        }
    }
    if (!done) {
        if (sectionFound) {
            lines.insert(lines.begin() + static_cast<long>(insertAt), key + "=" + value);
        } else {
            lines.push_back("[" + section + "]");
            lines.push_back(key + "=" + value);
        }
    }
    std::string out;
    for (const auto& l : lines) out += l + "\n";
    MakeDirectories(DirName(path_));
    return WriteFileAtomic(path_, out);
}

}  // namespace mm::sys
