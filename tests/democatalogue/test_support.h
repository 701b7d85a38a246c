#pragma once
#include <httplib.h>

#include <memory>
#include <string>
#include <string_view>

#include "democatalogue/democatalogue.h"

namespace mm::democat::test {

// One catalogue for a whole test program, on the build's song cache.
DemoCatalogue& Shared();
std::unique_ptr<httplib::Client> ClientFor(const DemoCatalogue& c);

std::string UrlEncode(std::string_view s);

struct RunResult {
    int exit_code = -1;
    std::string output;  // stdout and stderr
};
RunResult RunCommand(const std::string& command);
std::string Quote(const std::string& path);  // for a shell command line

std::string ReadFile(const std::string& path);

class TempDir {
  public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace mm::democat::test
