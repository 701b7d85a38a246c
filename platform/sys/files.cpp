#include "platform/sys/files.h"

#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
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

bool CanCreateFilesIn(const std::string& folder) {
    if (!IsDirectory(folder)) return false;
    // A real file, not the permission bits: a read-only mount, an immutable
    // folder or a full quota refuse it too, and root passes what root may do.
    std::string probe = folder;
    if (probe.back() != '/') probe += '/';
    probe += ".morvane-write-test-XXXXXX";
    const int fd = mkstemp(probe.data());
    if (fd < 0) return false;
    close(fd);
    unlink(probe.c_str());
    return true;
}

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

namespace {

int SystemRenameNoReplace(const char* from, const char* to) {
#ifdef SYS_renameat2
    return static_cast<int>(syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, 1 /* RENAME_NOREPLACE */));
#else
    (void)from;
    (void)to;
    errno = ENOSYS;
    return -1;
#endif
}

std::atomic<int (*)(const char*, const char*)> gRenameNoReplace{SystemRenameNoReplace};
std::atomic<int (*)(const char*, const char*)> gLink{::link};
std::atomic<int (*)(const char*, const char*)> gRename{::rename};

}  // namespace

RenameCalls SystemRenameCalls() {
    return {SystemRenameNoReplace, ::link, ::rename};
}

RenameCalls SetRenameCalls(RenameCalls calls) {
    RenameCalls old{gRenameNoReplace.exchange(calls.renameNoReplace), gLink.exchange(calls.link),
                    gRename.exchange(calls.rename)};
    return old;
}

namespace {

// How file systems say they lack a call (FUSE mounts answer EPERM or ENOSYS,
// exFAT EPERM for links, older kernels EINVAL for renameat2's flags).
bool Unsupported(int err) {
    return err == EINVAL || err == ENOSYS || err == EPERM || err == EOPNOTSUPP || err == ENOTSUP;
}

// The last resort: take the name by creating it exclusively (which fails when
// it exists, on every file system), then rename over that empty file of our
// own. Nothing else's file is ever replaced.
bool MoveOntoExclusiveName(const std::string& from, const std::string& to) {
    int fd = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    struct stat mine {};
    fstat(fd, &mine);
    close(fd);
    if (gRename.load()(from.c_str(), to.c_str()) == 0) return true;
    const int err = errno;
    // Take the placeholder away again, but only if it is still ours and empty.
    struct stat now {};
    if (lstat(to.c_str(), &now) == 0 && now.st_ino == mine.st_ino && now.st_dev == mine.st_dev &&
        now.st_size == 0)
        unlink(to.c_str());
    errno = err;
    return false;
}

}  // namespace

bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (gRenameNoReplace.load()(from.c_str(), to.c_str()) == 0) return true;
    if (!Unsupported(errno)) return false;
    // File systems without renameat2: a hard link fails when the target exists.
    if (gLink.load()(from.c_str(), to.c_str()) == 0) {
        unlink(from.c_str());
        return true;
    }
    if (!Unsupported(errno)) return false;
    return MoveOntoExclusiveName(from, to);
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

std::string DataHome() {
    const char* x = getenv("XDG_DATA_HOME");
    if (x && *x == '/') return x;
    return HomeDir() + "/.local/share";
}

std::string DirName(const std::string& path) {
    auto p = path.find_last_of('/');
    if (p == std::string::npos) return ".";
    if (p == 0) return "/";
    return path.substr(0, p);
}

}  // namespace mm::sys
