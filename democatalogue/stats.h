#pragma once
// What the demo catalogue saw on the wire, for tests to check the client.
#include <atomic>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "democatalogue/faults.h"

namespace mm::democat {

struct RequestRecord {
    Endpoint endpoint = Endpoint::kOther;
    std::string method;
    std::string path;    // without the query
    std::string target;  // path and query as sent
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    int remote_port = 0;
    std::string fault;  // the fault this request suffered (Fault::Describe), "" when none

    // First value of a header, name compared without regard to case; empty when absent.
    std::string Header(std::string_view name) const;
};

class Stats {
public:
    static constexpr std::size_t kKeptRequests = 2000;

    void Record(RequestRecord r);
    void CountConnection() { connections_.fetch_add(1); }
    void CountEncode() { encodes_.fetch_add(1); }

    int Count(std::string_view path) const;  // requests for this exact path
    int Count(Endpoint e) const;
    int Total() const;
    // TCP connections the server accepted: fewer than requests means the
    // client kept its connections alive.
    int Connections() const { return connections_.load(); }
    // Songs this process encoded (not found in the cache).
    int Encodes() const { return encodes_.load(); }

    std::vector<RequestRecord> Requests() const;  // the last kKeptRequests, oldest first
    std::vector<RequestRecord> Requests(Endpoint e) const;
    std::optional<RequestRecord> Last(Endpoint e) const;
    std::vector<std::string> ReportBodies() const;  // bodies of POST /api in order
    // Faults suffered since the start (or Reset), kept beyond kKeptRequests:
    // "<endpoint> <kind>" -> count, kinds as Fault::Describe names them
    // ("status=500", "stall", "reset", "rate", "length", "delay", "body=1"),
    // plus "audio expired" for addresses answered 403 for their age.
    void CountFault(const std::string& key);
    std::map<std::string, int> FaultCounts() const;

    void Reset();

private:
    mutable std::mutex mutex_;
    std::vector<RequestRecord> requests_;
    std::map<std::string, int, std::less<>> by_path_;
    std::map<Endpoint, int> by_endpoint_;
    std::map<std::string, int> faults_;
    int total_ = 0;
    std::atomic<int> connections_{0};
    std::atomic<int> encodes_{0};
};

}  // namespace mm::democat
