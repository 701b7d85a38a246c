#pragma once
// Runs the built program as a user would: arguments, text on standard input,
// and what it writes to standard output and standard error.
#include <map>
#include <string>
#include <vector>

namespace mm::test {

struct ProgramRun {
    int exitCode = -1;  // -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs `exe` with `args`, feeding `input` on standard input and closing it.
// `env` entries are added to (or replace) the test's environment. A program
// still running after `limitSeconds` is killed (a safety net against a hang,
// not a measure): exitCode is then -1.
ProgramRun RunProgram(const std::string& exe, const std::vector<std::string>& args,
                      const std::string& input = {}, const std::map<std::string, std::string>& env = {},
                      int limitSeconds = 300);

}  // namespace mm::test
