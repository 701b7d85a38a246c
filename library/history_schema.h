#pragma once
// The history database's tables, and the steps that bring an older file up to
// the version this program writes.
#include <string>

namespace mm::library {

class Database;

struct MigrationResult {
    bool ok = false;
    int fromVersion = 0;
    int toVersion = 0;
    std::string error;  // SQLite's words when !ok
};

// Brings db to `target` (at most the newest version this program knows) in
// one transaction: every step, or none of them. A file already at target is
// left alone; a file newer than this program knows fails without a change.
MigrationResult Migrate(Database& db, int target);

// The newest schema version this program knows.
int LatestSchemaVersion();

}  // namespace mm::library
