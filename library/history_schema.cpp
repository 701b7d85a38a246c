#include "library/history_schema.h"

#include <vector>

#include "library/sqlite_db.h"

namespace mm::library {

namespace {

// Step i turns version i into version i + 1. Steps are never edited once
// released: a change of the tables is a new step at the end.
const std::vector<const char*>& Steps() {
    static const std::vector<const char*> steps = {
        // 0 -> 1: one record per download-list row.
        R"sql(
        CREATE TABLE downloads (
            id            INTEGER PRIMARY KEY,
            source        TEXT    NOT NULL DEFAULT '',
            title         TEXT    NOT NULL DEFAULT '',
            singer        TEXT    NOT NULL DEFAULT '',
            album         TEXT    NOT NULL DEFAULT '',
            cover_url     TEXT    NOT NULL DEFAULT '',
            track_id      TEXT    NOT NULL DEFAULT '',
            tier          INTEGER NOT NULL DEFAULT 0,
            mid           TEXT    NOT NULL DEFAULT '',
            pmid          TEXT    NOT NULL DEFAULT '',
            row_text      TEXT    NOT NULL DEFAULT '',
            badge         TEXT    NOT NULL DEFAULT '',
            reply_type    TEXT    NOT NULL DEFAULT '',
            content_type  TEXT    NOT NULL DEFAULT '',
            path          TEXT    NOT NULL DEFAULT '',
            size          INTEGER NOT NULL DEFAULT -1,
            state         TEXT    NOT NULL DEFAULT 'queued',
            status_text   TEXT    NOT NULL DEFAULT '',
            status_icon   TEXT    NOT NULL DEFAULT '',
            error         TEXT    NOT NULL DEFAULT '',
            queued_at     INTEGER NOT NULL DEFAULT 0,
            finished_at   INTEGER NOT NULL DEFAULT 0,
            resume_url    TEXT    NOT NULL DEFAULT '',
            part_path     TEXT    NOT NULL DEFAULT '',
            part_bytes    INTEGER NOT NULL DEFAULT 0,
            total_bytes   INTEGER NOT NULL DEFAULT -1,
            etag          TEXT    NOT NULL DEFAULT '',
            last_modified TEXT    NOT NULL DEFAULT ''
        );
        -- The duplicate marks look up finished downloads by song and tier.
        CREATE INDEX downloads_done_song ON downloads(mid, tier) WHERE state = 'done';
        -- Start-up finds the rows a previous run left unfinished.
        CREATE INDEX downloads_unfinished ON downloads(state) WHERE state IN ('queued', 'running');
        )sql",
    };
    return steps;
}

}  // namespace

int LatestSchemaVersion() {
    return static_cast<int>(Steps().size());
}

MigrationResult Migrate(Database& db, int target) {
    MigrationResult r;
    if (target > LatestSchemaVersion()) target = LatestSchemaVersion();
    r.toVersion = target;
    // IMMEDIATE: the version is read under the write lock, so two openers
    // cannot both decide to run the same step.
    if (db.exec("BEGIN IMMEDIATE") != SQLITE_OK) {
        r.error = db.errorMessage();
        return r;
    }
    r.fromVersion = static_cast<int>(db.queryInt("PRAGMA user_version", -1));
    auto fail = [&] {
        r.error = db.errorMessage();
        db.exec("ROLLBACK");
        return r;
    };
    if (r.fromVersion < 0) return fail();
    if (r.fromVersion > LatestSchemaVersion()) {
        db.exec("ROLLBACK");
        r.error = "schema version " + std::to_string(r.fromVersion) + " is newer than this program's " +
                  std::to_string(LatestSchemaVersion());
        return r;
    }
    if (r.fromVersion >= target) {
        db.exec("ROLLBACK");
        r.ok = true;
        r.toVersion = r.fromVersion;
        return r;
    }
    for (int v = r.fromVersion; v < target; ++v) {
        if (db.exec(Steps()[static_cast<std::size_t>(v)]) != SQLITE_OK) return fail();
    }
    if (db.exec("PRAGMA user_version = " + std::to_string(target)) != SQLITE_OK) return fail();
    if (db.exec("COMMIT") != SQLITE_OK) return fail();
    r.ok = true;
    return r;
}

}  // namespace mm::library
