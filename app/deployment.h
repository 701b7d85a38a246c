#pragma once
// Where the program's services live. With no catalogue given, main.cpp starts
// the built-in demo catalogue on 127.0.0.1 and points everything at it.
#include <string>

namespace mm::app {

struct Deployment {
    std::string catalogueBase;  // GET <catalogueBase>/api/source.php
    std::string songBase;       // playlists: <songBase><service>/?type=list&id=…  (ends in "/song/")
    std::string updateHost;     // GET <updateHost>/VOKA/voka.json
    std::string statsHost;      // POST <statsHost>/api
};

// An http:// or https:// address with a host.
bool IsHttpAddress(const std::string& text);

// Sets the address named by key ("catalogue", "song-base", "update-host",
// "stats-host"). Returns what is wrong ("" when it was set): an unknown key or
// a value that is not an http(s) address.
std::string SetDeploymentAddress(Deployment& d, const std::string& key, const std::string& value);

// Reads a deployment file: lines "key=value" with the keys above, blank lines
// and lines starting with "#" skipped. Returns what is wrong, "" when fine.
std::string ReadDeploymentFile(const std::string& path, Deployment& d);

// The song base follows the catalogue, and the update and statistics hosts
// are the catalogue's, unless given.
void FillDeploymentDefaults(Deployment& d);

}  // namespace mm::app
