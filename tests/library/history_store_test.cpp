// The history store against real database files in a temporary folder: what
// it keeps across a reopen, what it does with broken, locked and newer files,
// and that the look-ups it promises go through their index.
#include "library/history_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "library/history_schema.h"
#include "library/sqlite_db.h"
#include "platform/sys/files.h"

namespace mm::library {
namespace {

namespace fs = std::filesystem;
using Status = HistoryStore::OpenStatus;

class HistoryStoreTest : public ::testing::Test {
protected:
    HistoryStoreTest() {
        char tmpl[] = "/tmp/mm-history-XXXXXX";
        dir = mkdtemp(tmpl);
        path = HistoryStore::PathIn(dir + "/data");
    }
    ~HistoryStoreTest() override { fs::remove_all(dir); }

    static DownloadRecord Sample(std::int64_t id, const std::string& mid, int tier, DownloadState state) {
        DownloadRecord r;
        r.id = id;
        r.source = "http://127.0.0.1:1/song/qq/";
        r.title = "晴天 " + std::to_string(id);
        r.singer = "周杰伦";
        r.album = "叶惠美";
        r.coverUrl = "http://127.0.0.1:1/cover/0001.jpg";
        r.trackId = "T" + std::to_string(id);
        r.tier = tier;
        r.mid = mid;
        r.pmid = "P" + mid;
        r.rowText = "晴天 - 周杰伦\r\n[叶惠美]";
        r.badge = "badge_high";
        r.replyType = "mp3";
        r.state = state;
        r.statusText = "正在下载";
        r.statusIcon = "status_downloading";
        r.queuedAt = 1700000000000 + id;
        return r;
    }

    // Reads one value with a connection of its own (the store must be closed
    // or in WAL mode for this to see its writes).
    std::string Query(const std::string& sql) {
        Database db;
        EXPECT_EQ(db.open(path, SQLITE_OPEN_READWRITE), SQLITE_OK);
        Statement s(db.handle(), sql);
        if (s.step() != SQLITE_ROW) return "<none>";
        return s.text(0);
    }

    std::string dir;
    std::string path;
};

TEST_F(HistoryStoreTest, FreshFileIsVersionedWalAndKeepsEveryFieldAcrossAReopen) {
    DownloadRecord full = Sample(0, "M0001h", 1, DownloadState::kRunning);
    {
        auto store = HistoryStore::Start(path);
        EXPECT_EQ(store->WaitOpen().status, Status::kCreated);
        full.id = store->NewId();
        EXPECT_EQ(full.id, 1);
        store->Insert(full);
        RecordUpdate u;
        u.contentType = "mp3";
        u.path = dir + "/save/晴天 - 周杰伦.mp3";
        u.size = 4123456;
        u.statusText = "下载完成";
        u.finishedAt = 1700000009999;
        u.resume =
            ResumeState{"http://x/a.mp3", dir + "/a.part", 1000, 4123456, "\"e1\"", "Mon, 01 Jan 2024"};
        store->Update(full.id, u);
        full.contentType = "mp3";
        full.path = *u.path;
        full.size = 4123456;
        full.statusText = "下载完成";
        full.finishedAt = 1700000009999;
        full.resume = *u.resume;
        EXPECT_EQ(store->Get(full.id), full);
    }
    EXPECT_EQ(Query("PRAGMA user_version"), std::to_string(HistoryStore::kSchemaVersion));
    EXPECT_EQ(Query("PRAGMA journal_mode"), "wal");

    auto again = HistoryStore::Start(path);
    EXPECT_EQ(again->WaitOpen().status, Status::kOpened);
    // It was running when its program went away.
    full.state = DownloadState::kInterrupted;
    EXPECT_EQ(again->Get(full.id), full);
    EXPECT_EQ(again->NewId(), full.id + 1);
}

TEST_F(HistoryStoreTest, OnlyUnfinishedRecordsBecomeInterruptedOnReopen) {
    const DownloadState states[] = {DownloadState::kQueued,     DownloadState::kRunning,
                                    DownloadState::kDone,       DownloadState::kFailed,
                                    DownloadState::kCancelled,  DownloadState::kPaused,
                                    DownloadState::kInterrupted};
    {
        auto store = HistoryStore::Start(path);
        for (DownloadState s : states) store->Insert(Sample(store->NewId(), "M1", 0, s));
    }
    auto store = HistoryStore::Start(path);
    std::vector<DownloadState> after;
    for (const auto& r : store->Page(0, 100)) after.insert(after.begin(), r.state);
    EXPECT_EQ(after, (std::vector<DownloadState>{DownloadState::kInterrupted, DownloadState::kInterrupted,
                                                 DownloadState::kDone, DownloadState::kFailed,
                                                 DownloadState::kCancelled, DownloadState::kPaused,
                                                 DownloadState::kInterrupted}));
}

// A download records its file just before the rename into place; a kill
// before its end was recorded leaves the record running with that file there.
TEST_F(HistoryStoreTest, ARunningRecordWhoseFileIsInPlaceWholeReopensAsDone) {
    fs::create_directories(dir + "/save");
    auto make = [&](const std::string& name, std::size_t bytes) {
        std::ofstream(dir + "/save/" + name, std::ios::binary) << std::string(bytes, 'a');
        return dir + "/save/" + name;
    };
    const std::string renamed = make("renamed.mp3", 5000);
    const std::string shortFile = make("short.mp3", 4000);
    const std::string withPart = make("with-part.mp3", 5000);
    make("with-part.mp3.part", 100);
    std::vector<std::int64_t> ids;
    {
        auto store = HistoryStore::Start(path);
        auto add = [&](DownloadState state, const std::string& file) {
            DownloadRecord r = Sample(store->NewId(), "M" + std::to_string(ids.size()), 1, state);
            r.path = file;
            r.size = file.empty() ? -1 : 5000;
            r.resume = ResumeState{"http://x/a.mp3", file + ".part", 4000, 4500, "\"e\"", ""};
            store->Insert(r);
            ids.push_back(r.id);
        };
        add(DownloadState::kRunning, renamed);    // renamed, its end not recorded
        add(DownloadState::kQueued, renamed);     // the same, still marked queued
        add(DownloadState::kRunning, shortFile);  // the file there is not the one recorded
        add(DownloadState::kRunning, withPart);   // the part file is still there: not renamed
        add(DownloadState::kRunning, dir + "/save/gone.mp3");
        add(DownloadState::kRunning, "");
    }
    auto store = HistoryStore::Start(path);
    std::vector<DownloadState> states;
    for (std::int64_t id : ids) states.push_back(store->Get(id)->state);
    EXPECT_EQ(states, (std::vector<DownloadState>{DownloadState::kDone, DownloadState::kDone,
                                                  DownloadState::kInterrupted, DownloadState::kInterrupted,
                                                  DownloadState::kInterrupted, DownloadState::kInterrupted}));
    auto done = store->Get(ids[0]);
    EXPECT_EQ(done->path, renamed);
    EXPECT_EQ(done->size, 5000);
    EXPECT_EQ(done->statusText, "");  // listed with the done text, not "正在下载"
    EXPECT_EQ(done->resume, ResumeState{});
    EXPECT_GT(done->finishedAt, 0);
    EXPECT_EQ(store->Get(ids[3])->resume.partPath, withPart + ".part");
}

TEST_F(HistoryStoreTest, PagesComeNewestFirstAndContinueBelowTheLastId) {
    auto store = HistoryStore::Start(path);
    for (int i = 0; i < 12; ++i)
        store->Insert(Sample(store->NewId(), "M" + std::to_string(i), 0, DownloadState::kDone));
    store->Remove(5);
    auto ids = [](const std::vector<DownloadRecord>& page) {
        std::vector<std::int64_t> out;
        for (const auto& r : page) out.push_back(r.id);
        return out;
    };
    EXPECT_EQ(ids(store->Page(0, 4)), (std::vector<std::int64_t>{12, 11, 10, 9}));
    EXPECT_EQ(ids(store->Page(9, 4)), (std::vector<std::int64_t>{8, 7, 6, 4}));
    EXPECT_EQ(ids(store->Page(4, 10)), (std::vector<std::int64_t>{3, 2, 1}));
    EXPECT_TRUE(store->Page(1, 10).empty());
    EXPECT_EQ(store->Count(), 11);
}

TEST_F(HistoryStoreTest, DownloadedPathsFindTheNewestFinishedDownloadOfSongAndTier) {
    auto store = HistoryStore::Start(path);
    auto add = [&](const std::string& mid, int tier, DownloadState state, const std::string& file) {
        DownloadRecord r = Sample(store->NewId(), mid, tier, state);
        r.path = file;
        store->Insert(r);
        return r.id;
    };
    add("M0001h", 1, DownloadState::kDone, "/old.mp3");
    add("M0001h", 1, DownloadState::kDone, "/new.mp3");
    add("M0001h", 1, DownloadState::kFailed, "");
    add("M0002l", 0, DownloadState::kCancelled, "");
    std::int64_t running = add("M0003s", 2, DownloadState::kRunning, "");
    auto paths = store->DownloadedPaths(
        {{"M0001h", 1}, {"M0001h", 0}, {"M0002l", 0}, {"M0003s", 2}, {"", 1}, {"M9999h", 1}});
    EXPECT_EQ(paths, (std::vector<std::string>{"/new.mp3", "", "", "", "", ""}));

    // Finishing a download is seen by the next look-up.
    RecordUpdate done;
    done.state = DownloadState::kDone;
    done.path = "/lossless.flac";
    store->Update(running, done);
    EXPECT_EQ(store->DownloadedPaths({{"M0003s", 2}}), std::vector<std::string>{"/lossless.flac"});
}

TEST_F(HistoryStoreTest, DownloadedPathsSeeEveryFinishedDownloadBeforeAndAfterTheFirstQuestion) {
    {
        auto store = HistoryStore::Start(path);
        DownloadRecord r = Sample(store->NewId(), "M0010s", 0, DownloadState::kDone);
        r.path = "/in-the-file.mp3";
        store->Insert(r);
    }
    auto store = HistoryStore::Start(path);
    // Queued just before the first question, which reads the file's finished songs.
    DownloadRecord queuedFirst = Sample(store->NewId(), "M0011h", 1, DownloadState::kDone);
    queuedFirst.path = "/queued-first.mp3";
    store->Insert(queuedFirst);
    EXPECT_EQ(store->DownloadedPaths({{"M0010s", 0}, {"M0011h", 1}, {"M0012l", 2}}),
              (std::vector<std::string>{"/in-the-file.mp3", "/queued-first.mp3", ""}));

    // After it: a record inserted finished, and a finished one given another song and tier.
    DownloadRecord later = Sample(store->NewId(), "M0012l", 2, DownloadState::kDone);
    later.path = "/later.flac";
    store->Insert(later);
    RecordUpdate moved;
    moved.mid = "M0013h";
    moved.tier = 1;
    store->Update(queuedFirst.id, moved);
    EXPECT_EQ(store->DownloadedPaths({{"M0012l", 2}, {"M0013h", 1}, {"M0011h", 1}, {"M0010s", 1}}),
              (std::vector<std::string>{"/later.flac", "/queued-first.mp3", "", ""}));
}

TEST_F(HistoryStoreTest, TheDuplicateLookUpAndTheUnfinishedScanUseTheirIndexes) {
    {
        auto store = HistoryStore::Start(path);
        store->WaitOpen();
    }
    Database db;
    ASSERT_EQ(db.open(path, SQLITE_OPEN_READONLY), SQLITE_OK);
    auto plan = [&](const std::string& sql) {
        Statement s(db.handle(), "EXPLAIN QUERY PLAN " + sql);
        std::string all;
        while (s.step() == SQLITE_ROW) all += s.text(3) + "\n";
        return all;
    };
    EXPECT_NE(plan("SELECT path FROM downloads WHERE mid = 'M' AND tier = 1 AND state = 'done' "
                   "ORDER BY id DESC LIMIT 1")
                  .find("USING INDEX downloads_done_song"),
              std::string::npos);
    EXPECT_NE(plan("UPDATE downloads SET state = 'interrupted' WHERE state IN ('queued', 'running')")
                  .find("downloads_unfinished"),
              std::string::npos);
}

TEST_F(HistoryStoreTest, AFileThatIsNoDatabaseIsMovedAsideWithItsLogAndAFreshOneMade) {
    sys::MakeDirectories(sys::DirName(path));
    const std::string junk = "this is not a database, only text that happens to be here\n";
    ASSERT_TRUE(sys::WriteFileAtomic(path, junk + std::string(5000, 'x')));
    ASSERT_TRUE(sys::WriteFileAtomic(path + "-wal", "stale log"));
    auto store = HistoryStore::Start(path);
    auto r = store->WaitOpen();
    ASSERT_EQ(r.status, Status::kRecovered);
    EXPECT_TRUE(r.persistent());
    EXPECT_EQ(sys::DirName(r.movedAside), sys::DirName(path));
    EXPECT_EQ(fs::path(r.movedAside).filename().string().rfind("library.sqlite3.broken-", 0), 0u);
    std::string kept, keptLog;
    ASSERT_TRUE(sys::ReadFile(r.movedAside, kept));
    EXPECT_EQ(kept, junk + std::string(5000, 'x'));
    ASSERT_TRUE(sys::ReadFile(r.movedAside + "-wal", keptLog));
    EXPECT_EQ(keptLog, "stale log");
    // The fresh file works.
    store->Insert(Sample(store->NewId(), "M1", 0, DownloadState::kDone));
    EXPECT_EQ(store->Count(), 1);
}

TEST_F(HistoryStoreTest, AFileFailingItsIntegrityCheckIsMovedAside) {
    std::string indexRoot;
    {
        auto store = HistoryStore::Start(path);
        for (int i = 0; i < 300; ++i)
            store->Insert(Sample(store->NewId(), "M" + std::to_string(i), 0, DownloadState::kDone));
        store->Flush();
    }
    indexRoot = Query("SELECT rootpage FROM sqlite_master WHERE name = 'downloads_done_song'");
    const long page = std::stol(indexRoot);
    const long pageSize = std::stol(Query("PRAGMA page_size"));
    ASSERT_GT(page, 1);
    std::string before;
    ASSERT_TRUE(sys::ReadFile(path, before));
    {
        // An index page whose type byte is no page type at all.
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp((page - 1) * pageSize);
        f.put('\x00');
    }
    auto store = HistoryStore::Start(path);
    auto r = store->WaitOpen();
    ASSERT_EQ(r.status, Status::kRecovered) << r.detail;
    EXPECT_EQ(sys::FileSize(r.movedAside), static_cast<std::int64_t>(before.size()));
    EXPECT_EQ(store->Count(), 0);
    EXPECT_EQ(store->NewId(), 1);
}

TEST_F(HistoryStoreTest, ASecondStoreOnTheSameFileKeepsItsHistoryInMemoryOnly) {
    auto first = HistoryStore::Start(path);
    ASSERT_EQ(first->WaitOpen().status, Status::kCreated);
    first->Insert(Sample(first->NewId(), "M1", 0, DownloadState::kDone));
    {
        auto second = HistoryStore::Start(path);
        auto r = second->WaitOpen();
        EXPECT_EQ(r.status, Status::kLocked);
        EXPECT_FALSE(r.persistent());
        // It still works for its own session.
        second->Insert(Sample(second->NewId(), "M2", 0, DownloadState::kDone));
        EXPECT_EQ(second->Count(), 1);
        EXPECT_EQ(second->DownloadedPaths({{"M1", 0}}), std::vector<std::string>{""});
    }
    first->Insert(Sample(first->NewId(), "M3", 0, DownloadState::kDone));
    EXPECT_EQ(first->Count(), 2);
    first.reset();
    // The lock went with the first store.
    auto third = HistoryStore::Start(path);
    EXPECT_EQ(third->WaitOpen().status, Status::kOpened);
    std::vector<std::string> mids;
    for (const auto& r : third->Page(0, 10)) mids.push_back(r.mid);
    EXPECT_EQ(mids, (std::vector<std::string>{"M3", "M1"}));
}

TEST_F(HistoryStoreTest, AFileOfANewerProgramIsLeftUntouched) {
    {
        auto store = HistoryStore::Start(path);
        store->Insert(Sample(store->NewId(), "M1", 0, DownloadState::kRunning));
    }
    {
        Database db;
        ASSERT_EQ(db.open(path, SQLITE_OPEN_READWRITE), SQLITE_OK);
        ASSERT_EQ(db.exec("PRAGMA user_version = 99"), SQLITE_OK);
    }
    std::string before, after;
    ASSERT_TRUE(sys::ReadFile(path, before));
    {
        auto store = HistoryStore::Start(path);
        EXPECT_EQ(store->WaitOpen().status, Status::kTooNew);
        store->Insert(Sample(store->NewId(), "M2", 0, DownloadState::kDone));
        EXPECT_EQ(store->Count(), 1);
    }
    ASSERT_TRUE(sys::ReadFile(path, after));
    EXPECT_EQ(after, before);
    EXPECT_EQ(Query("SELECT state FROM downloads"), "running");
}

TEST_F(HistoryStoreTest, MigrationRunsAllOrNothing) {
    sys::MakeDirectories(sys::DirName(path));
    Database db;
    ASSERT_EQ(db.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE), SQLITE_OK);
    // A name the migration's last statement wants is taken: the step fails
    // after its table was already created.
    ASSERT_EQ(db.exec("CREATE TABLE other (x); CREATE INDEX downloads_unfinished ON other(x)"), SQLITE_OK);
    MigrationResult m = Migrate(db, LatestSchemaVersion());
    EXPECT_FALSE(m.ok);
    EXPECT_FALSE(m.error.empty());
    EXPECT_EQ(db.queryInt("PRAGMA user_version", -1), 0);
    EXPECT_EQ(
        db.queryInt(
            "SELECT COUNT(*) FROM sqlite_master WHERE name LIKE 'downloads%' AND tbl_name = 'downloads'"),
        0);

    ASSERT_EQ(db.exec("DROP TABLE other"), SQLITE_OK);
    m = Migrate(db, LatestSchemaVersion());
    EXPECT_TRUE(m.ok) << m.error;
    EXPECT_EQ(m.fromVersion, 0);
    EXPECT_EQ(db.queryInt("PRAGMA user_version", -1), LatestSchemaVersion());
    // Running it again changes nothing.
    m = Migrate(db, LatestSchemaVersion());
    EXPECT_TRUE(m.ok);
    EXPECT_EQ(m.fromVersion, LatestSchemaVersion());
}

TEST_F(HistoryStoreTest, WritesFromManyThreadsAllArrive) {
    auto store = HistoryStore::Start(path);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) {
                DownloadRecord r = Sample(store->NewId(), "M" + std::to_string(t), 0, DownloadState::kQueued);
                store->Insert(r);
                RecordUpdate u;
                u.state = DownloadState::kDone;
                u.path = "/f" + std::to_string(t) + "-" + std::to_string(i);
                store->Update(r.id, u);
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(store->Count(), 400);
    for (const auto& r : store->Page(0, 400)) EXPECT_EQ(r.state, DownloadState::kDone) << r.id;
}

TEST(BrokenNameTest, StampsTheLocalTimeAndNeverReusesAName) {
    char tmpl[] = "/tmp/mm-broken-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    std::string db = dir + "/library.sqlite3";
    setenv("TZ", "UTC", 1);
    tzset();
    const std::int64_t t = 1767623400;  // 2026-01-05 14:30:00 UTC
    std::string first = BrokenName(db, t);
    EXPECT_EQ(first, db + ".broken-20260105-143000");
    ASSERT_TRUE(sys::WriteFileAtomic(first, "x"));
    EXPECT_EQ(BrokenName(db, t), first + "-2");
    fs::remove_all(dir);
}

}  // namespace
}  // namespace mm::library
