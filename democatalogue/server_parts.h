#pragma once
// Pieces of the demo catalogue's server shared by its source files; not part
// of the library's interface.
#include <httplib.h>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "democatalogue/faults.h"
#include "democatalogue/song_store.h"
#include "democatalogue/stats.h"

namespace mm::democat {

struct Context {
    std::string base_url;
    Faults* faults = nullptr;
    Stats* stats = nullptr;
    SongStore* store = nullptr;

    // Sleeps, but wakes when the server stops; false then.
    bool Sleep(int ms);
    void WakeAll();

    std::mutex mutex;
    std::condition_variable stop_cv;
    bool stopping = false;

    std::mutex cover_mutex;
    std::map<int, std::string> covers;
};

struct Reply {
    int status = 200;
    std::string content_type = "application/json; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    std::optional<AudioFile> file;  // sent instead of body when set
    std::uint64_t file_offset = 0;  // with file: the body is the file from here on
};

Endpoint Classify(const httplib::Request& req);
Reply BuildReply(Endpoint e, Context& ctx, const httplib::Request& req, const Fault& fault);
void SendReply(Context& ctx, httplib::Response& res, Reply reply, const Fault& fault);

// The socket of the connection the calling server thread is serving; -1 elsewhere.
int& CurrentSocket();
// Aborts the connection with a TCP reset; the socket stays open for its owner.
void ResetSocket(int fd);

}  // namespace mm::democat
