#include "test_support.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace mm::democat::test {

DemoCatalogue& Shared() {
    static DemoCatalogue* catalogue = [] {
        auto* c = new DemoCatalogue(Options{.cache_dir = MM_DEMOCAT_TEST_CACHE, .background_workers = 1});
        if (!c->Start()) std::abort();
        // Stopped at exit before the static song table is destroyed: its
        // background encoder reads that table.
        std::atexit([] { Shared().Stop(); });
        return c;
    }();
    return *catalogue;
}

std::unique_ptr<httplib::Client> ClientFor(const DemoCatalogue& c) {
    auto client = std::make_unique<httplib::Client>("127.0.0.1", c.Port());
    // Generous: a first search page waits for its songs to be encoded.
    client->set_read_timeout(600, 0);
    return client;
}

std::string UrlEncode(std::string_view s) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

RunResult RunCommand(const std::string& command) {
    RunResult r;
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
    int status = ::pclose(p);
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string Quote(const std::string& path) {
    std::string out = "'";
    for (char c : path) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "democat-test-XXXXXX").string();
    if (::mkdtemp(tmpl.data())) path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

}  // namespace mm::democat::test
