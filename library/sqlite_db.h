#pragma once
// A thin owner of SQLite's C handles: a connection and its prepared
// statements, closed and finalised on every path.
#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace mm::library {

class Statement {
public:
    Statement() = default;
    Statement(sqlite3* db, std::string_view sql);
    ~Statement();
    Statement(Statement&& o) noexcept;
    Statement& operator=(Statement&& o) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return stmt_ != nullptr; }
    int prepareError() const { return prepareError_; }

    // Parameters are 1-based, as in SQLite.
    Statement& bind(int i, std::string_view text);
    Statement& bind(int i, std::int64_t value);
    Statement& bind(int i, int value) { return bind(i, static_cast<std::int64_t>(value)); }
    Statement& bindNull(int i);

    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step();
    // Runs to the end; true when it ended in SQLITE_DONE.
    bool run();
    void reset();

    // Columns are 0-based, as in SQLite.
    std::string text(int col) const;
    std::int64_t int64(int col) const;

private:
    sqlite3_stmt* stmt_ = nullptr;
    int prepareError_ = SQLITE_OK;
};

class Database {
public:
    Database() = default;
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens (creating it when flags allow) the file, or ":memory:". Returns the
    // SQLite result code; on failure the handle stays closed.
    int open(const std::string& path, int flags);
    void close();
    bool isOpen() const { return db_ != nullptr; }
    sqlite3* handle() const { return db_; }

    // Runs statements without results; returns the SQLite result code.
    int exec(const std::string& sql);
    // The first column of the first row of a query, or fallback.
    std::int64_t queryInt(const std::string& sql, std::int64_t fallback = 0);
    std::string errorMessage() const;

private:
    sqlite3* db_ = nullptr;
};

}  // namespace mm::library
