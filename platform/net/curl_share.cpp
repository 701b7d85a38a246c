#include "platform/net/curl_share.h"

#include <array>
#include <mutex>

namespace mm::net::detail {
namespace {

struct Share {
    CURLSH* handle = nullptr;
    std::array<std::mutex, CURL_LOCK_DATA_LAST> locks;
};

void lockShare(CURL*, curl_lock_data data, curl_lock_access, void* user) {
    static_cast<Share*>(user)->locks[data].lock();
}

void unlockShare(CURL*, curl_lock_data data, void* user) {
    static_cast<Share*>(user)->locks[data].unlock();
}

Share* share() {
    // Never freed: clients on detached threads may still hold handles attached
    // to it while the process exits, and curl refuses to clean up a share in use.
    static Share* instance = [] {
        curl_global_init(CURL_GLOBAL_ALL);
        auto* s = new Share;
        s->handle = curl_share_init();
        if (s->handle != nullptr) {
            curl_share_setopt(s->handle, CURLSHOPT_LOCKFUNC, lockShare);
            curl_share_setopt(s->handle, CURLSHOPT_UNLOCKFUNC, unlockShare);
            curl_share_setopt(s->handle, CURLSHOPT_USERDATA, s);
            curl_share_setopt(s->handle, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
            curl_share_setopt(s->handle, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
            curl_share_setopt(s->handle, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
        }
        return s;
    }();
    return instance;
}

}  // namespace

CURL* newSharedEasyHandle() {
    Share* s = share();
    CURL* easy = curl_easy_init();
    if (easy != nullptr && s->handle != nullptr) curl_easy_setopt(easy, CURLOPT_SHARE, s->handle);
    return easy;
}

}  // namespace mm::net::detail
