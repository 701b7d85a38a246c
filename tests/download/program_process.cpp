#include "tests/download/program_process.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace mm::test {

ProgramProcess::ProgramProcess(const std::vector<std::string>& args) {
    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0) return;
    if (pipe(fromChild) != 0) {
        close(toChild[0]);
        close(toChild[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    posix_spawn_file_actions_addclose(&actions, toChild[1]);
    posix_spawn_file_actions_addclose(&actions, fromChild[0]);
    std::vector<std::string> all = {MORVANE_MUSIC, "--automation", "--no-sound"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, MORVANE_MUSIC, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(toChild[0]);
    close(fromChild[1]);
    in_ = toChild[1];
    out_ = fromChild[0];
    // A child that died must not kill the test with SIGPIPE on the next write.
    signal(SIGPIPE, SIG_IGN);
}

ProgramProcess::~ProgramProcess() {
    if (pid_ > 0) Kill();
    if (in_ >= 0) close(in_);
    if (out_ >= 0) close(out_);
}

void ProgramProcess::Send(const nlohmann::json& command) {
    std::string line = command.dump() + "\n";
    const char* p = line.data();
    std::size_t left = line.size();
    while (left > 0 && in_ >= 0) {
        ssize_t n = write(in_, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

bool ProgramProcess::ReadLine(std::string& line, std::chrono::steady_clock::time_point until) {
    for (;;) {
        auto nl = buffer_.find('\n');
        if (nl != std::string::npos) {
            line = buffer_.substr(0, nl);
            buffer_.erase(0, nl + 1);
            return true;
        }
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0 || out_ < 0) return false;
        pollfd pfd{out_, POLLIN, 0};
        int r = poll(&pfd, 1, static_cast<int>(left.count()));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        char buf[4096];
        ssize_t n = read(out_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;  // the program ended
        buffer_.append(buf, static_cast<std::size_t>(n));
    }
}

nlohmann::json ProgramProcess::ReadUntil(const std::function<bool(const nlohmann::json&)>& want,
                                         std::chrono::milliseconds limit) {
    auto until = std::chrono::steady_clock::now() + limit;
    std::string line;
    while (ReadLine(line, until)) {
        nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
        if (j.is_discarded()) continue;
        lines_.push_back(j);
        if (want(j)) return j;
    }
    return nlohmann::json(nlohmann::json::value_t::discarded);
}

bool ProgramProcess::WaitIdle(int timeoutMs) {
    Send({{"op", "wait"}, {"timeout_ms", timeoutMs}});
    nlohmann::json j = ReadUntil([](const nlohmann::json& l) { return l.contains("waited"); },
                                 std::chrono::milliseconds(timeoutMs + 10000));
    return !j.is_discarded() && j["waited"] == true;
}

nlohmann::json ProgramProcess::Dump(const std::string& control) {
    WaitIdle();
    Send({{"op", "dump"}, {"control", control}});
    nlohmann::json j = ReadUntil([](const nlohmann::json& l) { return l.contains("dump"); });
    return j.is_discarded() ? j : j["dump"];
}

std::vector<nlohmann::json> ProgramProcess::MessageBoxes() const {
    std::vector<nlohmann::json> boxes;
    for (const auto& l : lines_) {
        if (l.contains("messagebox")) boxes.push_back(l["messagebox"]);
    }
    return boxes;
}

int ProgramProcess::Reap() {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return status;
}

int ProgramProcess::Close() {
    if (pid_ <= 0) return -1;
    Send({{"op", "close"}});
    close(in_);
    in_ = -1;
    ReadUntil([](const nlohmann::json&) { return false; });
    return Reap();
}

int ProgramProcess::Kill() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGKILL);
    return Reap();
}

}  // namespace mm::test
