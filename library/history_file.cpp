#include "library/history_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <vector>

#include "library/history_schema.h"
#include "platform/sys/files.h"

namespace mm::library {

namespace {

using OpenStatus = HistoryStore::OpenStatus;
using OpenResult = HistoryStore::OpenResult;

bool IsBrokenCode(int rc) {
    rc &= 0xff;  // extended codes carry the primary one in their low byte
    return rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT;
}

// The outcome of trying one file.
struct Attempt {
    enum Kind { kGood, kBroken, kTooNew, kFailed } kind = kFailed;
    std::string detail;
};

// SQLite's own header. A non-empty file without it is no database; SQLite
// would discard the write-ahead log beside such a file on opening it, so this
// is checked first and the pair moved aside untouched.
bool HasForeignHeader(const std::string& path) {
    static constexpr char kMagic[] = "SQLite format 3";  // with its NUL: 16 bytes
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    char head[sizeof kMagic] = {};
    f.read(head, sizeof head);
    if (f.gcount() == 0) return false;  // an empty file is an empty database
    return f.gcount() < static_cast<std::streamsize>(sizeof head) ||
           std::memcmp(head, kMagic, sizeof head) != 0;
}

// A download records its file's path and size just before it renames the
// part file into place. A record left running with that file there, of that
// size, and its part file gone, was done when the program ended: only the
// record of its end was lost. Marking it interrupted would have it downloaded
// again under a second name.
int FinishRenamedDownloads(Database& db) {
    std::vector<std::int64_t> done;
    {
        Statement q(db.handle(),
                    "SELECT id, path, size, part_path FROM downloads "
                    "WHERE state IN ('queued', 'running') AND path != '' AND size >= 0");
        if (!q.ok()) return q.prepareError();
        int code;
        while ((code = q.step()) == SQLITE_ROW) {
            const std::string path = q.text(1);
            const std::string part = q.text(3);
            if (sys::IsRegularFile(path) && sys::FileSize(path) == q.int64(2) &&
                (part.empty() || !sys::PathExists(part))) {
                done.push_back(q.int64(0));
            }
        }
        if (code != SQLITE_DONE) return code;
    }
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr)) * 1000;
    for (std::int64_t id : done) {
        Statement u(db.handle(),
                    "UPDATE downloads SET state = 'done', status_text = '', status_icon = '', error = '', "
                    "finished_at = ?, resume_url = '', part_path = '', part_bytes = 0, total_bytes = -1, "
                    "etag = '', last_modified = '' WHERE id = ?");
        if (!u.ok()) return u.prepareError();
        u.bind(1, now).bind(2, id);
        if (!u.run()) return sqlite3_extended_errcode(db.handle());
    }
    return SQLITE_OK;
}

Attempt TryOpen(const std::string& path, Database& db) {
    Attempt a;
    if (HasForeignHeader(path)) {
        a.kind = Attempt::kBroken;
        a.detail = "no SQLite header";
        return a;
    }
    int rc = db.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX);
    if (rc != SQLITE_OK) {
        a.detail = sqlite3_errstr(rc);
        return a;
    }
    sqlite3_extended_result_codes(db.handle(), 1);
    // Another process (the sqlite3 shell, a backup) may hold the file for a moment.
    sqlite3_busy_timeout(db.handle(), 2000);
    auto failWith = [&](int code) {
        a.kind = IsBrokenCode(code) ? Attempt::kBroken : Attempt::kFailed;
        a.detail = db.errorMessage();
        db.close();
        return a;
    };
    // The first statement reads the header: a file that is no database fails here.
    if (int code = db.exec("PRAGMA journal_mode = WAL"); code != SQLITE_OK) return failWith(code);
    {
        Statement check(db.handle(), "PRAGMA integrity_check");
        if (!check.ok()) return failWith(check.prepareError());
        int code = check.step();
        if (code != SQLITE_ROW) return failWith(code);
        if (check.text(0) != "ok") {
            a.kind = Attempt::kBroken;
            a.detail = "integrity_check: " + check.text(0);
            check = Statement();
            db.close();
            return a;
        }
    }
    db.exec("PRAGMA synchronous = NORMAL");
    // Room for the pages the duplicate marks of a long list read (8 MiB at
    // most; SQLite's default of 2 MiB makes them re-read from the file).
    db.exec("PRAGMA cache_size = -8192");
    MigrationResult m = Migrate(db, LatestSchemaVersion());
    if (!m.ok) {
        if (m.fromVersion > LatestSchemaVersion()) {
            a.kind = Attempt::kTooNew;
            a.detail = m.error;
            db.close();
            return a;
        }
        int code = sqlite3_extended_errcode(db.handle());
        return failWith(code);
    }
    // Nobody else can be working on these: the lock is ours.
    if (int code = FinishRenamedDownloads(db); code != SQLITE_OK) return failWith(code);
    if (int code = db.exec("UPDATE downloads SET state = 'interrupted' WHERE state IN ('queued', 'running')");
        code != SQLITE_OK) {
        return failWith(code);
    }
    a.kind = Attempt::kGood;
    return a;
}

// Moves the database and its write-ahead log aside together, so that the log
// is never applied to the fresh file. Nothing is deleted.
bool MoveAside(const std::string& path, std::string& movedTo) {
    movedTo = BrokenName(path, static_cast<std::int64_t>(std::time(nullptr)));
    if (!sys::RenameNoReplace(path, movedTo)) return false;
    for (const char* tail : {"-wal", "-shm"}) {
        if (sys::PathExists(path + tail)) sys::RenameNoReplace(path + tail, movedTo + tail);
    }
    return true;
}

void OpenInMemory(Database& db) {
    if (db.open(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX) == SQLITE_OK) {
        Migrate(db, LatestSchemaVersion());
    }
}

}  // namespace

FileLock::~FileLock() {
    release();
}

FileLock::Result FileLock::acquire(const std::string& path) {
    release();
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return Result::kFailed;
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return Result::kLocked;
    const bool held = errno == EWOULDBLOCK;
    release();
    return held ? Result::kHeldElsewhere : Result::kFailed;
}

void FileLock::release() {
    if (fd_ >= 0) ::close(fd_);  // closing drops the lock
    fd_ = -1;
}

std::string BrokenName(const std::string& path, std::int64_t unixSeconds) {
    std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    std::string base = path + ".broken-" + stamp;
    std::string name = base;
    for (int n = 2; sys::PathExists(name); ++n) name = base + "-" + std::to_string(n);
    return name;
}

OpenResult OpenHistoryFile(const std::string& path, FileLock& lock, Database& db) {
    OpenResult r;
    sys::MakeDirectories(sys::DirName(path));
    switch (lock.acquire(path + ".lock")) {
        case FileLock::Result::kLocked:
            break;
        case FileLock::Result::kHeldElsewhere:
            r.status = OpenStatus::kLocked;
            r.detail = "held by another running copy";
            OpenInMemory(db);
            return r;
        case FileLock::Result::kFailed:
            r.status = OpenStatus::kFailed;
            r.detail = "cannot create " + path + ".lock";
            OpenInMemory(db);
            return r;
    }
    const bool existed = sys::PathExists(path);
    Attempt a = TryOpen(path, db);
    if (a.kind == Attempt::kBroken) {
        r.detail = a.detail;
        if (!MoveAside(path, r.movedAside)) {
            r.status = OpenStatus::kFailed;
            r.detail += "; it could not be moved aside";
            r.movedAside.clear();
            OpenInMemory(db);
            return r;
        }
        a = TryOpen(path, db);
        if (a.kind == Attempt::kGood) {
            r.status = OpenStatus::kRecovered;
            return r;
        }
    }
    switch (a.kind) {
        case Attempt::kGood:
            r.status = existed ? OpenStatus::kOpened : OpenStatus::kCreated;
            return r;
        case Attempt::kTooNew:
            r.status = OpenStatus::kTooNew;
            break;
        default:
            r.status = OpenStatus::kFailed;
            break;
    }
    r.detail = a.detail;
    lock.release();  // the file is not ours to use: another copy may try
    OpenInMemory(db);
    return r;
}

}  // namespace mm::library
