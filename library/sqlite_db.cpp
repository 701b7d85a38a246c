#include "library/sqlite_db.h"

#include <utility>

namespace mm::library {

Statement::Statement(sqlite3* db, std::string_view sql) {
    prepareError_ = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
    if (prepareError_ != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

Statement::Statement(Statement&& o) noexcept
    : stmt_(std::exchange(o.stmt_, nullptr)), prepareError_(o.prepareError_) {}

Statement& Statement::operator=(Statement&& o) noexcept {
    if (this != &o) {
        sqlite3_finalize(stmt_);
        stmt_ = std::exchange(o.stmt_, nullptr);
        prepareError_ = o.prepareError_;
    }
    return *this;
}

Statement& Statement::bind(int i, std::string_view text) {
    // SQLITE_TRANSIENT: SQLite copies the text, so the caller's buffer may go.
    if (stmt_) sqlite3_bind_text(stmt_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bind(int i, std::int64_t value) {
    if (stmt_) sqlite3_bind_int64(stmt_, i, value);
    return *this;
}

Statement& Statement::bindNull(int i) {
    if (stmt_) sqlite3_bind_null(stmt_, i);
    return *this;
}

int Statement::step() {
    return stmt_ ? sqlite3_step(stmt_) : SQLITE_MISUSE;
}

bool Statement::run() {
    int rc;
    while ((rc = step()) == SQLITE_ROW) {
    }
    return rc == SQLITE_DONE;
}

void Statement::reset() {
    if (!stmt_) return;
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

std::string Statement::text(int col) const {
    if (!stmt_) return {};
    const unsigned char* p = sqlite3_column_text(stmt_, col);
    if (!p) return {};
    return std::string(reinterpret_cast<const char*>(p),
                       static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col)));
}

std::int64_t Statement::int64(int col) const {
    return stmt_ ? sqlite3_column_int64(stmt_, col) : 0;
}

Database::~Database() {
    close();
}

int Database::open(const std::string& path, int flags) {
    close();
    int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) close();
    return rc;
}

void Database::close() {
    // Statements are owned by their callers and finalised before this.
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

int Database::exec(const std::string& sql) {
    if (!db_) return SQLITE_MISUSE;
    return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
}

std::int64_t Database::queryInt(const std::string& sql, std::int64_t fallback) {
    if (!db_) return fallback;
    Statement s(db_, sql);
    if (s.step() != SQLITE_ROW) return fallback;
    return s.int64(0);
}

std::string Database::errorMessage() const {
    return db_ ? sqlite3_errmsg(db_) : "not open";
}

}  // namespace mm::library
