#pragma once
// Where the program's services live. With no catalogue given, main.cpp starts
// the built-in demo catalogue on 127.0.0.1 and points everything at it.
#include <string>
#include <vector>

namespace mm::app {

struct Deployment {
    std::string catalogueBase;  // GET <catalogueBase>/api/source.php
    std::string songBase;       // playlists: <songBase><service>/?type=list&id=…  (ends in "/song/")
    std::string updateHost;     // GET <updateHost>/VOKA/voka.json
    std::string statsHost;      // POST <statsHost>/api
};

// Reads --catalogue URL, --song-base URL, --update-host URL, --stats-host URL
// and --deployment FILE (lines "key=value" with the same keys) from the
// arguments. Unknown arguments are left for others.
Deployment ParseDeployment(const std::vector<std::string>& args, std::string* error);

}  // namespace mm::app
