#pragma once
// Process-wide libcurl state shared by every HTTPWebClient: global init and one
// share handle, so that short-lived clients reuse connections, DNS answers and
// TLS sessions of the ones before them.
#include <curl/curl.h>

namespace mm::net::detail {

// A new easy handle attached to the shared cache, or nullptr when libcurl cannot
// make one. Release it with curl_easy_cleanup.
CURL* newSharedEasyHandle();

}  // namespace mm::net::detail
