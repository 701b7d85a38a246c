#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for the network tests. Handlers write
// raw bytes, so a test can stall, cut or reset an answer anywhere. Each
// connection runs on its own thread and may carry several requests.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace mm::net::test {

struct Request {
    std::string method;
    std::string target;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // Header value by name, any case; "" when missing.
    std::string header(std::string_view name) const;
};

class Connection {
  public:
    explicit Connection(int fd, const std::atomic<bool>& stopping) : fd_(fd), stopping_(stopping) {}
    bool send(std::string_view bytes);
    // Waits until the client closes (or the server stops, or ms pass).
    void waitClosed(int ms);
    // Ends the connection with a TCP reset instead of an orderly close.
    void reset();

  private:
    int fd_;
    const std::atomic<bool>& stopping_;
};

// A complete answer with Content-Length; extraHeaders are whole lines ending in \r\n.
std::string response(int code, std::string_view reason, std::string_view body,
                     std::string_view extraHeaders = {});

class TestServer {
  public:
    // The handler answers one request; it returns true to keep the connection
    // for another one.
    using Handler = std::function<bool(const Request&, Connection&)>;
    explicit TestServer(Handler handler);
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    int port() const { return port_; }
    std::string url(std::string_view path) const;
    int connectionsAccepted() const { return accepted_.load(); }
    int requestsServed() const { return served_.load(); }

  private:
    void acceptLoop();
    void serve(int fd);

    Handler handler_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> accepted_{0};
    std::atomic<int> served_{0};
    std::thread acceptThread_;
    std::mutex mutex_;
    std::vector<std::thread> workers_;
    std::vector<int> openFds_;
};

// A port on 127.0.0.1 where nothing listens.
int closedPort();

}  // namespace mm::net::test
