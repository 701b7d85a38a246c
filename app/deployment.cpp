#include "app/deployment.h"

#include <algorithm>
#include <cctype>
#include <fstream>

namespace mm::app {

bool IsHttpAddress(const std::string& text) {
    std::string lower(text.substr(0, 8));
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    size_t host;
    if (lower.rfind("http://", 0) == 0)
        host = 7;
    else if (lower.rfind("https://", 0) == 0)
        host = 8;
    else
        return false;
    if (host >= text.size() || text[host] == '/' || text[host] == ':') return false;
    // No spaces or control characters anywhere: they cannot be part of a URL.
    return std::none_of(text.begin(), text.end(), [](unsigned char c) { return c <= ' ' || c == 0x7F; });
}

std::string SetDeploymentAddress(Deployment& d, const std::string& key, const std::string& value) {
    std::string* field = nullptr;
    if (key == "catalogue")
        field = &d.catalogueBase;
    else if (key == "song-base")
        field = &d.songBase;
    else if (key == "update-host")
        field = &d.updateHost;
    else if (key == "stats-host")
        field = &d.statsHost;
    if (field == nullptr) return "unknown key \"" + key + "\"";
    if (!IsHttpAddress(value)) return "\"" + value + "\" is not an http:// or https:// address";
    *field = value;
    return {};
}

std::string ReadDeploymentFile(const std::string& path, Deployment& d) {
    std::ifstream f(path);
    if (!f) return "cannot read the deployment file " + path;
    std::string line;
    for (int number = 1; std::getline(f, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const auto eq = line.find('=');
        const std::string problem = eq == std::string::npos
                                        ? "no \"key=value\""
                                        : SetDeploymentAddress(d, line.substr(0, eq), line.substr(eq + 1));
        if (!problem.empty()) return path + ", line " + std::to_string(number) + ": " + problem;
    }
    return {};
}

void FillDeploymentDefaults(Deployment& d) {
    if (d.songBase.empty() && !d.catalogueBase.empty()) d.songBase = d.catalogueBase + "/song/";
    if (d.updateHost.empty()) d.updateHost = d.catalogueBase;
    if (d.statsHost.empty()) d.statsHost = d.catalogueBase;
}

}  // namespace mm::app
