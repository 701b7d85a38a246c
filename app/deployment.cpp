#include "app/deployment.h"

#include <fstream>

namespace mm::app {
namespace {

bool Assign(Deployment& d, const std::string& key, const std::string& value) {
    if (key == "catalogue") d.catalogueBase = value;
    else if (key == "song-base") d.songBase = value;
    else if (key == "update-host") d.updateHost = value;
    else if (key == "stats-host") d.statsHost = value;
    else return false;
    return true;
}

bool ReadDeploymentFile(const std::string& path, Deployment& d, std::string* error) {
    std::ifstream f(path);
    if (!f) {
        if (error) *error = "cannot read deployment file " + path;
        return false;
    }
    std::string line;
    while (std::getline(f, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        auto eq = line.find('=');
        if (eq == std::string::npos || !Assign(d, line.substr(0, eq), line.substr(eq + 1))) {
            if (error) *error = "bad line in " + path + ": " + line;
            return false;
        }
    }
    return true;
}

}  // namespace

Deployment ParseDeployment(const std::vector<std::string>& args, std::string* error) {
    Deployment d;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) != 0 || i + 1 >= args.size()) continue;
        std::string key = a.substr(2);
        if (key == "deployment") {
            ReadDeploymentFile(args[++i], d, error);
        } else if (Assign(d, key, args[i + 1])) {
            ++i;
        }
    }
    // The song base follows the catalogue unless given.
    if (d.songBase.empty() && !d.catalogueBase.empty()) d.songBase = d.catalogueBase + "/song/";
    if (d.updateHost.empty()) d.updateHost = d.catalogueBase;
    if (d.statsHost.empty()) d.statsHost = d.catalogueBase;
    return d;
}

}  // namespace mm::app
