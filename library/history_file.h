#pragma once
// Opening the history file: the lock that keeps a second running copy out,
// the checks that tell a broken file, and moving a broken file aside.
#include <string>

#include "library/history_store.h"
#include "library/sqlite_db.h"

namespace mm::library {

// An exclusive lock on "<database>.lock", held while the object lives. The
// kernel drops it when the process ends, however it ends.
class FileLock {
public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    enum class Result { kLocked, kHeldElsewhere, kFailed };
    Result acquire(const std::string& path);
    void release();

private:
    int fd_ = -1;
};

// Opens the history database at path into db, as HistoryStore describes:
// lock, open, check, move a broken file aside, migrate, mark what a previous
// run left unfinished. On any outcome but a persistent one, db holds an
// in-memory database with the same tables instead.
HistoryStore::OpenResult OpenHistoryFile(const std::string& path, FileLock& lock, Database& db);

}  // namespace mm::library
