#include "support/shell.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "support/desktop_bus.h"

extern char** environ;

namespace mm::support {
namespace {

std::mutex g_launcher_mu;
Launcher g_launcher;

int Launch(const std::vector<std::string>& argv) {
    if (const char* log = std::getenv("MM_LAUNCH_LOG"); log && *log) {
        std::ofstream f(log, std::ios::app);
        for (size_t i = 0; i < argv.size(); ++i) f << (i ? "\t" : "") << argv[i];
        f << "\n";
        return f ? 0 : -1;
    }
    Launcher l;
    {
        std::lock_guard lk(g_launcher_mu);
        l = g_launcher;
    }
    return l ? l(argv) : RunProgram(argv);
}

}  // namespace

int RunProgram(const std::vector<std::string>& argv) {
    if (argv.empty()) return -1;
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The helpers' chatter does not belong on our terminal.
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    // Wait a little for the answer, but never hold the caller (the UI
    // thread) hostage to a slow desktop.
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (true) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) break;
        if (r < 0) return -1;
        if (std::chrono::steady_clock::now() > until) {
            std::thread([pid] {
                int s = 0;
                waitpid(pid, &s, 0);
            }).detach();
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return -1;
}

void SetLauncher(Launcher launcher) {
    std::lock_guard lk(g_launcher_mu);
    g_launcher = std::move(launcher);
}

std::string FileUri(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string out = "file://";
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

Shown ShowInFolder(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return Shown::kNothing;
    std::error_code ec;
    std::filesystem::path abs = std::filesystem::absolute(path, ec);
    if (ec) return Shown::kNothing;
    abs = abs.lexically_normal();
    std::string target = abs.string();
    if (target.size() > 1 && target.back() == '/') target.pop_back();
    if (auto bus = CurrentDesktopBus(); bus && bus->ShowItems({FileUri(target)})) return Shown::kFileSelected;
    // No session bus, or no file manager on it: open the folder that holds it.
    std::filesystem::path folder = std::filesystem::path(target).parent_path();
    if (folder.empty()) folder = std::filesystem::path("/");
    return Launch({"xdg-open", folder.string()}) == 0 ? Shown::kFolderOpened : Shown::kNothing;
}

int OpenUrl(const std::string& url) {
    std::string lower;
    for (size_t i = 0; i < url.size() && i < 8; ++i) lower += static_cast<char>(std::tolower(url[i]));
    if (lower.rfind("http://", 0) != 0 && lower.rfind("https://", 0) != 0) return 0;
    if (url.find_first_of("\r\n", 0) != std::string::npos) return 0;
    return Launch({"xdg-open", url}) == 0 ? 1 : 0;
}

}  // namespace mm::support
