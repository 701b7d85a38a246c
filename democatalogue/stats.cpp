#include "democatalogue/stats.h"

#include <algorithm>
#include <cctype>

namespace mm::democat {

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::string RequestRecord::Header(std::string_view name) const {
    for (const auto& [k, v] : headers) {
        if (EqualNoCase(k, name)) return v;
    }
    return {};
}

void Stats::Record(RequestRecord r) {
    std::lock_guard lock(mutex_);
    ++total_;
    ++by_path_[r.path];
    ++by_endpoint_[r.endpoint];
    // One count per kind of fault this request suffered: each word of the
    // description up to its value, except where the value is the kind.
    std::size_t start = 0;
    while (start < r.fault.size()) {
        std::size_t end = r.fault.find(' ', start);
        if (end == std::string::npos) end = r.fault.size();
        std::string word = r.fault.substr(start, end - start);
        if (word.rfind("status=", 0) != 0 && word.rfind("body=", 0) != 0) {
            word = word.substr(0, word.find_first_of("=@+"));
        }
        ++faults_[std::string(EndpointName(r.endpoint)) + " " + word];
        start = end + 1;
    }
    if (requests_.size() >= kKeptRequests) requests_.erase(requests_.begin());
    requests_.push_back(std::move(r));
}

int Stats::Count(std::string_view path) const {
    std::lock_guard lock(mutex_);
    auto it = by_path_.find(path);
    return it == by_path_.end() ? 0 : it->second;
}

int Stats::Count(Endpoint e) const {
    std::lock_guard lock(mutex_);
    auto it = by_endpoint_.find(e);
    return it == by_endpoint_.end() ? 0 : it->second;
}

int Stats::Total() const {
    std::lock_guard lock(mutex_);
    return total_;
}

std::vector<RequestRecord> Stats::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<RequestRecord> Stats::Requests(Endpoint e) const {
    std::lock_guard lock(mutex_);
    std::vector<RequestRecord> out;
    for (const auto& r : requests_) {
        if (r.endpoint == e) out.push_back(r);
    }
    return out;
}

std::optional<RequestRecord> Stats::Last(Endpoint e) const {
    std::lock_guard lock(mutex_);
    for (auto it = requests_.rbegin(); it != requests_.rend(); ++it) {
        if (it->endpoint == e) return *it;
    }
    return std::nullopt;
}

std::vector<std::string> Stats::ReportBodies() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& r : requests_) {
        if (r.endpoint == Endpoint::kReport) out.push_back(r.body);
    }
    return out;
}

void Stats::CountFault(const std::string& key) {
    std::lock_guard lock(mutex_);
    ++faults_[key];
}

std::map<std::string, int> Stats::FaultCounts() const {
    std::lock_guard lock(mutex_);
    return faults_;
}

void Stats::Reset() {
    std::lock_guard lock(mutex_);
    faults_.clear();
    requests_.clear();
    by_path_.clear();
    by_endpoint_.clear();
    total_ = 0;
    connections_ = 0;
}

}  // namespace mm::democat
