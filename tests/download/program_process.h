#pragma once
// The real program in automation mode as a child process: commands go to its
// standard input, its JSON lines come back from its standard output. Used
// where a test needs the program to end and start again, or to be killed.
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace mm::test {

class ProgramProcess {
public:
    // Starts MORVANE_MUSIC --automation --no-sound with these arguments.
    explicit ProgramProcess(const std::vector<std::string>& args);
    ~ProgramProcess();  // kills it if it still runs
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    bool running() const { return pid_ > 0; }
    // Writes one command line.
    void Send(const nlohmann::json& command);
    // Reads lines until one satisfies want (returned) or the time runs out
    // (a discarded value). Every line read is kept in lines().
    nlohmann::json ReadUntil(const std::function<bool(const nlohmann::json&)>& want,
                             std::chrono::milliseconds limit = std::chrono::seconds(60));
    // "wait" until idle, then "dump" of a control; its dump object.
    nlohmann::json Dump(const std::string& control);
    bool WaitIdle(int timeoutMs = 60000);
    // Sends "close", reads to the end and returns the exit status.
    int Close();
    // SIGKILL, and the status it ended with.
    int Kill();

    const std::vector<nlohmann::json>& lines() const { return lines_; }
    std::vector<nlohmann::json> MessageBoxes() const;

private:
    bool ReadLine(std::string& line, std::chrono::steady_clock::time_point until);
    int Reap();

    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    std::string buffer_;
    std::vector<nlohmann::json> lines_;
};

}  // namespace mm::test
