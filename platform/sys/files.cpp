#include "platform/sys/files.h"

#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace mm::sys {

bool PathExists(const std::string& path) {
    struct stat st;
    return !path.empty() && lstat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::int64_t FileSize(const std::string& path) {
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) != 0) return -1;
    return st.st_size;
}

bool MakeDirectories(const std::string& path) {
    if (path.empty()) return false;
    std::string cur;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || (path[i] == '/' && i > 0)) {
            cur = path.substr(0, i);
            if (!cur.empty()) mkdir(cur.c_str(), 0755);  // an existing folder is fine
        }
    }
    return IsDirectory(path);
}

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool RenameNoReplace(const std::string& from, const std::string& to) {
#ifdef SYS_renameat2
    long r = syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 1 /* RENAME_NOREPLACE */);
    if (r == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
#endif
    // File systems without renameat2: a hard link fails when the target exists.
    if (link(from.c_str(), to.c_str()) != 0) return false;
    unlink(from.c_str());
    return true;
}

bool ReadFile(const std::string& path, std::string& out) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    std::ostringstream ss;
    ss << f.rdbuf();
    out = ss.str();
    return true;
}

bool WriteFileAtomic(const std::string& path, const std::string& data) {
    std::string tmp = path + ".tmp" + std::to_string(getpid());
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            close(fd);
            unlink(tmp.c_str());
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (close(fd) != 0 || rename(tmp.c_str(), path.c_str()) != 0) {
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

bool WriteNewFile(const std::string& path, const std::string& data) {
    if (PathExists(path)) {
        errno = EEXIST;
        return false;
    }
    const std::string part = path + ".part";
    // A part file left by a crash is replaced.
    int fd = open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t done = 0;
    bool ok = true;
    while (ok && done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ok = false;
        else done += static_cast<size_t>(n);
    }
    ok = close(fd) == 0 && ok;
    if (ok && RenameNoReplace(part, path)) return true;
    int err = errno;
    unlink(part.c_str());
    errno = err;
    return false;
}

long MaxNameBytes(const std::string& folder) {
    long n = pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    return n > 0 ? n : 255;
}

std::string HomeDir() {
    const char* h = getenv("HOME");
    if (h && *h) return h;
    if (passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/tmp";
}

std::string ConfigHome() {
    const char* x = getenv("XDG_CONFIG_HOME");
    if (x && *x == '/') return x;
    return HomeDir() + "/.config";
}

std::string DirName(const std::string& path) {
    auto p = path.find_last_of('/');
    if (p == std::string::npos) return ".";
    if (p == 0) return "/";
    return path.substr(0, p);
}

}  // namespace mm::sys
