#include "tests/platform/net/test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace mm::net::test {
namespace {

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

int listenOnLoopback(int& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(addr.sin_port);
    return fd;
}

// Reads one request from fd, keeping bytes of the next one in pending.
bool readRequest(int fd, std::string& pending, Request& req) {
    size_t headEnd;
    char buf[8192];
    while ((headEnd = pending.find("\r\n\r\n")) == std::string::npos) {
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return false;
        pending.append(buf, static_cast<size_t>(n));
    }
    std::string head = pending.substr(0, headEnd);
    pending.erase(0, headEnd + 4);
    size_t lineEnd = head.find("\r\n");
    std::string first = head.substr(0, lineEnd);
    size_t sp1 = first.find(' ');
    size_t sp2 = first.find(' ', sp1 + 1);
    if (sp1 == std::string::npos || sp2 == std::string::npos) return false;
    req = Request{};
    req.method = first.substr(0, sp1);
    req.target = first.substr(sp1 + 1, sp2 - sp1 - 1);
    size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (pos < head.size()) {
        size_t end = head.find("\r\n", pos);
        if (end == std::string::npos) end = head.size();
        std::string line = head.substr(pos, end - pos);
        size_t colon = line.find(':');
        if (colon != std::string::npos) {
            size_t v = line.find_first_not_of(' ', colon + 1);
            req.headers.emplace_back(line.substr(0, colon), v == std::string::npos ? "" : line.substr(v));
        }
        pos = end + 2;
    }
    size_t length = std::strtoul(req.header("Content-Length").c_str(), nullptr, 10);
    while (pending.size() < length) {
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return false;
        pending.append(buf, static_cast<size_t>(n));
    }
    req.body = pending.substr(0, length);
    pending.erase(0, length);
    return true;
}

}  // namespace

std::string Request::header(std::string_view name) const {
    for (const auto& [k, v] : headers)
        if (sameIgnoringCase(k, name)) return v;
    return {};
}

bool Connection::send(std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

void Connection::waitClosed(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stopping_ && std::chrono::steady_clock::now() < until) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 50) > 0) {
            char c;
            if (::recv(fd_, &c, 1, MSG_PEEK) <= 0) return;
            ::usleep(20000);  // request bytes we do not read; keep waiting
        }
    }
}

void Connection::reset() {
    linger l{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    // Disconnecting a connected TCP socket sends the RST at once (a shutdown
    // would send an orderly FIN); the descriptor stays for its owner to close.
    sockaddr unspec{};
    unspec.sa_family = AF_UNSPEC;
    ::connect(fd_, &unspec, sizeof unspec);
}

std::string response(int code, std::string_view reason, std::string_view body,
                     std::string_view extraHeaders) {
    std::string r = "HTTP/1.1 " + std::to_string(code) + " " + std::string(reason) + "\r\n";
    r += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    r += extraHeaders;
    r += "\r\n";
    r += body;
    return r;
}

TestServer::TestServer(Handler handler) : handler_(std::move(handler)) {
    listenFd_ = listenOnLoopback(port_);
    if (listenFd_ >= 0) acceptThread_ = std::thread([this] { acceptLoop(); });
}

TestServer::~TestServer() {
    stopping_ = true;
    if (listenFd_ >= 0) ::shutdown(listenFd_, SHUT_RDWR);
    if (acceptThread_.joinable()) acceptThread_.join();
    {
        std::lock_guard lock(mutex_);
        for (int fd : openFds_) ::shutdown(fd, SHUT_RDWR);
    }
    for (auto& t : workers_) t.join();
    if (listenFd_ >= 0) ::close(listenFd_);
}

std::string TestServer::url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

void TestServer::acceptLoop() {
    while (!stopping_) {
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (stopping_) return;
            continue;
        }
        ++accepted_;
        std::lock_guard lock(mutex_);
        openFds_.push_back(fd);
        workers_.emplace_back([this, fd] { serve(fd); });
    }
}

void TestServer::serve(int fd) {
    std::string pending;
    Request req;
    Connection conn(fd, stopping_);
    while (!stopping_ && readRequest(fd, pending, req)) {
        ++served_;
        if (!handler_(req, conn)) break;
    }
    {
        std::lock_guard lock(mutex_);
        openFds_.erase(std::remove(openFds_.begin(), openFds_.end(), fd), openFds_.end());
    }
    ::close(fd);
}

int closedPort() {
    int port = 0;
    int fd = listenOnLoopback(port);
    if (fd >= 0) ::close(fd);
    return port;
}

}  // namespace mm::net::test
