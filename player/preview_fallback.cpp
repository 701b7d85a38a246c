#include "player/preview_fallback.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/net/http_client.h"
#include "player/audio/audio_engine.h"

namespace mm::player {

std::string FallbackFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

std::uint32_t FetchWholeAndOpen(audio::AudioEngine& engine, const std::string& url) {
    std::string pattern = FallbackFolder() + "/morvane-preview-XXXXXX";
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    // mkstemp creates the file for us alone; the download then writes into it.
    const int fd = ::mkstemp(path.data());
    if (fd < 0) {
        std::fprintf(stderr, "preview: no temporary file in %s\n", FallbackFolder().c_str());
        return 0;
    }
    ::close(fd);

    net::HTTPWebClient client;
    client.SetFollowRedirects(true);
    client.SetMaxRedirects(kFallbackRedirects);
    // Audio bytes: never transcoded, never held in memory.
    const bool whole = client.Download(url, path.data());
    const std::uint32_t handle = whole ? engine.StreamCreate(path.data()) : 0;
    if (!whole) {
        const std::string why = client.LastError().empty()
                                    ? "HTTP " + std::to_string(client.GetRepoHTTPCode())
                                    : client.LastError();
        std::fprintf(stderr, "preview: fetching the whole file failed: %s\n", why.c_str());
    }
    // The stream reads through its own open descriptor: the name can go now.
    ::unlink(path.data());
    return handle;
}

}  // namespace mm::player
