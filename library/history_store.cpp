#include "library/history_store.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <variant>

#include "library/done_song_filter.h"
#include "library/history_file.h"
#include "library/sqlite_db.h"

namespace mm::library {

namespace {

constexpr const char* kStateNames[] = {"queued",    "running", "done",       "failed",
                                       "cancelled", "paused",  "interrupted"};
// Changes applied per transaction at most: a long queue is still committed in
// pieces, so a reader never waits long for the connection.
constexpr std::size_t kBatchLimit = 500;
constexpr int kWriteAttempts = 5;
constexpr auto kRetryPause = std::chrono::milliseconds(500);

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// Column order of every SELECT of whole records.
constexpr const char* kColumns =
    "id, source, title, singer, album, cover_url, track_id, tier, mid, pmid, row_text, badge, reply_type, "
    "content_type, path, size, state, status_text, status_icon, error, queued_at, finished_at, resume_url, "
    "part_path, part_bytes, total_bytes, etag, last_modified";

DownloadRecord ReadRecord(const Statement& s) {
    DownloadRecord r;
    int c = 0;
    r.id = s.int64(c++);
    r.source = s.text(c++);
    r.title = s.text(c++);
    r.singer = s.text(c++);
    r.album = s.text(c++);
    r.coverUrl = s.text(c++);
    r.trackId = s.text(c++);
    r.tier = static_cast<int>(s.int64(c++));
    r.mid = s.text(c++);
    r.pmid = s.text(c++);
    r.rowText = s.text(c++);
    r.badge = s.text(c++);
    r.replyType = s.text(c++);
    r.contentType = s.text(c++);
    r.path = s.text(c++);
    r.size = s.int64(c++);
    // A state this program does not know (written by a newer one) reads as failed.
    r.state = StateFromName(s.text(c++)).value_or(DownloadState::kFailed);
    r.statusText = s.text(c++);
    r.statusIcon = s.text(c++);
    r.error = s.text(c++);
    r.queuedAt = s.int64(c++);
    r.finishedAt = s.int64(c++);
    r.resume.url = s.text(c++);
    r.resume.partPath = s.text(c++);
    r.resume.bytes = s.int64(c++);
    r.resume.total = s.int64(c++);
    r.resume.etag = s.text(c++);
    r.resume.lastModified = s.text(c++);
    return r;
}

// Builds "UPDATE downloads SET a = ?, b = ? WHERE id = ?" for the set fields.
class UpdateBuilder {
public:
    void text(const char* column, const std::optional<std::string>& v) {
        if (v) add(column, *v);
    }
    void number(const char* column, const std::optional<std::int64_t>& v) {
        if (v) add(column, *v);
    }
    void add(const char* column, std::variant<std::string, std::int64_t> value) {
        sql_ += values_.empty() ? " " : ", ";
        sql_ += column;
        sql_ += " = ?";
        values_.push_back(std::move(value));
    }
    bool apply(Database& db, std::int64_t id) {
        if (values_.empty()) return true;
        Statement s(db.handle(), "UPDATE downloads SET" + sql_ + " WHERE id = ?");
        if (!s.ok()) return false;
        int i = 1;
        for (const auto& v : values_) {
            if (const auto* t = std::get_if<std::string>(&v)) {
                s.bind(i++, *t);
            } else {
                s.bind(i++, std::get<std::int64_t>(v));
            }
        }
        s.bind(i, id);
        return s.run();
    }

private:
    std::string sql_;
    std::vector<std::variant<std::string, std::int64_t>> values_;
};

bool ApplyUpdate(Database& db, std::int64_t id, const RecordUpdate& u) {
    UpdateBuilder b;
    b.text("source", u.source);
    b.text("title", u.title);
    b.text("singer", u.singer);
    b.text("album", u.album);
    b.text("cover_url", u.coverUrl);
    b.text("track_id", u.trackId);
    if (u.tier) b.add("tier", static_cast<std::int64_t>(*u.tier));
    b.text("mid", u.mid);
    b.text("pmid", u.pmid);
    b.text("row_text", u.rowText);
    b.text("badge", u.badge);
    b.text("reply_type", u.replyType);
    b.text("content_type", u.contentType);
    b.text("path", u.path);
    b.number("size", u.size);
    if (u.state) b.add("state", std::string(StateName(*u.state)));
    b.text("status_text", u.statusText);
    b.text("status_icon", u.statusIcon);
    b.text("error", u.error);
    b.number("queued_at", u.queuedAt);
    b.number("finished_at", u.finishedAt);
    if (u.resume) {
        b.add("resume_url", u.resume->url);
        b.add("part_path", u.resume->partPath);
        b.add("part_bytes", u.resume->bytes);
        b.add("total_bytes", u.resume->total);
        b.add("etag", u.resume->etag);
        b.add("last_modified", u.resume->lastModified);
    }
    return b.apply(db, id);
}

bool ApplyInsert(Database& db, const DownloadRecord& r) {
    Statement s(db.handle(),
                std::string("INSERT INTO downloads (") + kColumns +
                    ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                    "?, ?, ?, ?)");
    if (!s.ok()) return false;
    int i = 0;
    s.bind(++i, r.id);
    s.bind(++i, r.source);
    s.bind(++i, r.title);
    s.bind(++i, r.singer);
    s.bind(++i, r.album);
    s.bind(++i, r.coverUrl);
    s.bind(++i, r.trackId);
    s.bind(++i, r.tier);
    s.bind(++i, r.mid);
    s.bind(++i, r.pmid);
    s.bind(++i, r.rowText);
    s.bind(++i, r.badge);
    s.bind(++i, r.replyType);
    s.bind(++i, r.contentType);
    s.bind(++i, r.path);
    s.bind(++i, r.size);
    s.bind(++i, std::string_view(StateName(r.state)));
    s.bind(++i, r.statusText);
    s.bind(++i, r.statusIcon);
    s.bind(++i, r.error);
    s.bind(++i, r.queuedAt ? r.queuedAt : NowMs());
    s.bind(++i, r.finishedAt);
    s.bind(++i, r.resume.url);
    s.bind(++i, r.resume.partPath);
    s.bind(++i, r.resume.bytes);
    s.bind(++i, r.resume.total);
    s.bind(++i, r.resume.etag);
    s.bind(++i, r.resume.lastModified);
    return s.run();
}

struct InsertOp {
    DownloadRecord record;
};
struct UpdateOp {
    std::int64_t id;
    RecordUpdate update;
};
struct RemoveOp {
    std::int64_t id;
};
using Op = std::variant<InsertOp, UpdateOp, RemoveOp>;

bool ApplyOp(Database& db, const Op& op) {
    if (const auto* ins = std::get_if<InsertOp>(&op)) return ApplyInsert(db, ins->record);
    if (const auto* upd = std::get_if<UpdateOp>(&op)) return ApplyUpdate(db, upd->id, upd->update);
    Statement s(db.handle(), "DELETE FROM downloads WHERE id = ?");
    return s.ok() && s.bind(1, std::get<RemoveOp>(op).id).run();
}

}  // namespace

const char* StateName(DownloadState s) {
    return kStateNames[static_cast<int>(s)];
}

std::optional<DownloadState> StateFromName(const std::string& name) {
    for (int i = 0; i < static_cast<int>(std::size(kStateNames)); ++i) {
        if (name == kStateNames[i]) return static_cast<DownloadState>(i);
    }
    return std::nullopt;
}

bool IsRetryable(DownloadState s) {
    return s == DownloadState::kFailed || s == DownloadState::kCancelled || s == DownloadState::kInterrupted;
}

struct HistoryStore::Impl {
    std::string path;

    // The connection, used by the writer thread and by readers in turn.
    std::mutex dbMu;
    Database db;
    FileLock lock;
    // Finished downloads by song and tier, for the duplicate marks; loaded on
    // their first question, then kept up to date by the writer.
    DoneSongFilter doneSongs;

    // Open state.
    std::mutex openMu;
    std::condition_variable openCv;
    OpenResult open;
    std::int64_t nextId = 1;

    // The queue of changes; `queued` and `applied` count them, so Flush knows
    // when everything queued before it is in.
    std::mutex qMu;
    std::condition_variable qCv;     // new work, or stop
    std::condition_variable doneCv;  // a batch finished
    std::deque<Op> queue;
    std::uint64_t queued = 0;
    std::uint64_t applied = 0;
    bool stop = false;
    std::function<void(const std::string&)> onWriteError;

    std::thread writer;

    void Run();
    bool ApplyBatch(const std::deque<Op>& batch, std::string& error);
    void NoteFinished(const Op& op);
    void ReportWriteError(const std::string& error);
};

void HistoryStore::Impl::Run() {
    OpenResult result;
    std::int64_t maxId = 0;
    {
        std::lock_guard lk(dbMu);
        result = OpenHistoryFile(path, lock, db);
        maxId = db.queryInt("SELECT COALESCE(MAX(id), 0) FROM downloads", 0);
    }
    {
        std::lock_guard lk(openMu);
        open = result;
        nextId = maxId + 1;
    }
    openCv.notify_all();

    int attempts = 0;
    for (;;) {
        std::deque<Op> batch;
        {
            std::unique_lock lk(qMu);
            qCv.wait(lk, [&] { return stop || !queue.empty(); });
            if (queue.empty()) break;  // stop, and nothing left to write
            while (!queue.empty() && batch.size() < kBatchLimit) {
                batch.push_back(std::move(queue.front()));
                queue.pop_front();
            }
        }
        std::string error;
        bool ok = ApplyBatch(batch, error);
        if (!ok) {
            ReportWriteError(error);
            if (++attempts < kWriteAttempts) {
                std::unique_lock lk(qMu);
                // Put it back in front, in order, and try again after a pause
                // (cut short when the store closes).
                for (auto it = batch.rbegin(); it != batch.rend(); ++it) queue.push_front(std::move(*it));
                qCv.wait_for(lk, kRetryPause, [&] { return stop; });
                continue;
            }
        }
        attempts = 0;
        {
            std::lock_guard lk(qMu);
            applied += batch.size();
        }
        doneCv.notify_all();
    }
    std::lock_guard lk(dbMu);
    db.close();
    lock.release();
}

bool HistoryStore::Impl::ApplyBatch(const std::deque<Op>& batch, std::string& error) {
    std::lock_guard lk(dbMu);
    if (!db.isOpen()) return true;  // nowhere to write: the changes are dropped
    if (db.exec("BEGIN IMMEDIATE") != SQLITE_OK) {
        error = db.errorMessage();
        return false;
    }
    for (const Op& op : batch) {
        if (!ApplyOp(db, op)) {
            error = db.errorMessage();
            db.exec("ROLLBACK");
            return false;
        }
        // A batch rolled back later leaves its songs in the filter: a match
        // is only a "maybe", so that costs one look-up, never a wrong mark.
        NoteFinished(op);
    }
    if (db.exec("COMMIT") != SQLITE_OK) {
        error = db.errorMessage();
        db.exec("ROLLBACK");
        return false;
    }
    return true;
}

void HistoryStore::Impl::NoteFinished(const Op& op) {
    if (!doneSongs.loaded()) return;  // the first question loads what is in the file by then
    if (const auto* ins = std::get_if<InsertOp>(&op)) {
        if (ins->record.state == DownloadState::kDone) doneSongs.Add(ins->record.mid, ins->record.tier);
        return;
    }
    const auto* upd = std::get_if<UpdateOp>(&op);
    if (!upd) return;
    const RecordUpdate& u = upd->update;
    // An update may finish the record, or give a finished one another song or
    // tier; the song is in the row, not necessarily in the update.
    if (!(u.state && *u.state == DownloadState::kDone) && !u.mid && !u.tier) return;
    Statement s(db.handle(), "SELECT mid, tier FROM downloads WHERE id = ? AND state = 'done'");
    if (s.ok() && s.bind(1, upd->id).step() == SQLITE_ROW) doneSongs.Add(s.text(0), static_cast<int>(s.int64(1)));
}

void HistoryStore::Impl::ReportWriteError(const std::string& error) {
    std::function<void(const std::string&)> handler;
    {
        std::lock_guard lk(qMu);
        handler = onWriteError;
    }
    if (handler) handler(error);
}

HistoryStore::HistoryStore(std::unique_ptr<Impl> impl) : d(std::move(impl)) {}

std::shared_ptr<HistoryStore> HistoryStore::Start(const std::string& path) {
    auto impl = std::make_unique<Impl>();
    impl->path = path;
    std::shared_ptr<HistoryStore> store(new HistoryStore(std::move(impl)));
    Impl* d = store->d.get();
    d->writer = std::thread([d] { d->Run(); });
    return store;
}

std::string HistoryStore::PathIn(const std::string& dataDir) {
    std::string dir = dataDir;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    return dir + kFileName;
}

HistoryStore::~HistoryStore() {
    {
        std::lock_guard lk(d->qMu);
        d->stop = true;
    }
    d->qCv.notify_all();
    if (d->writer.joinable()) d->writer.join();
}

HistoryStore::OpenResult HistoryStore::WaitOpen() {
    std::unique_lock lk(d->openMu);
    d->openCv.wait(lk, [&] { return d->open.status != OpenStatus::kPending; });
    return d->open;
}

const std::string& HistoryStore::path() const {
    return d->path;
}

std::int64_t HistoryStore::NewId() {
    WaitOpen();
    std::lock_guard lk(d->openMu);
    return d->nextId++;
}

namespace {

template <class T>
void Push(std::mutex& mu, std::condition_variable& cv, std::deque<Op>& queue, std::uint64_t& queued, T op) {
    {
        std::lock_guard lk(mu);
        queue.push_back(std::move(op));
        ++queued;
    }
    cv.notify_one();
}

}  // namespace

void HistoryStore::Insert(const DownloadRecord& record) {
    Push(d->qMu, d->qCv, d->queue, d->queued, InsertOp{record});
}

void HistoryStore::Update(std::int64_t id, RecordUpdate update) {
    Push(d->qMu, d->qCv, d->queue, d->queued, UpdateOp{id, std::move(update)});
}

void HistoryStore::Remove(std::int64_t id) {
    Push(d->qMu, d->qCv, d->queue, d->queued, RemoveOp{id});
}

void HistoryStore::Flush() {
    WaitOpen();
    std::unique_lock lk(d->qMu);
    const std::uint64_t target = d->queued;
    d->doneCv.wait(lk, [&] { return d->applied >= target; });
}

void HistoryStore::SetWriteErrorHandler(std::function<void(const std::string&)> handler) {
    std::lock_guard lk(d->qMu);
    d->onWriteError = std::move(handler);
}

std::optional<DownloadRecord> HistoryStore::Get(std::int64_t id) {
    Flush();
    std::lock_guard lk(d->dbMu);
    Statement s(d->db.handle(), std::string("SELECT ") + kColumns + " FROM downloads WHERE id = ?");
    s.bind(1, id);
    if (s.step() != SQLITE_ROW) return std::nullopt;
    return ReadRecord(s);
}

std::vector<DownloadRecord> HistoryStore::Page(std::int64_t beforeId, int limit) {
    Flush();
    std::vector<DownloadRecord> out;
    if (limit <= 0) return out;
    std::lock_guard lk(d->dbMu);
    Statement s(d->db.handle(),
                std::string("SELECT ") + kColumns + " FROM downloads WHERE id < ? ORDER BY id DESC LIMIT ?");
    s.bind(1, beforeId > 0 ? beforeId : INT64_MAX).bind(2, limit);
    while (s.step() == SQLITE_ROW) out.push_back(ReadRecord(s));
    return out;
}

std::int64_t HistoryStore::Count() {
    Flush();
    std::lock_guard lk(d->dbMu);
    return d->db.queryInt("SELECT COUNT(*) FROM downloads", 0);
}

std::vector<std::string> HistoryStore::DownloadedPaths(const std::vector<SongKey>& keys) {
    Flush();
    std::vector<std::string> out(keys.size());
    std::lock_guard lk(d->dbMu);
    // The WHERE clause matches the partial index downloads_done_song.
    Statement s(
        d->db.handle(),
        "SELECT path FROM downloads WHERE mid = ? AND tier = ? AND state = 'done' ORDER BY id DESC LIMIT 1");
    if (!s.ok()) return out;
    d->doneSongs.LoadOnce(d->db);
    // One read transaction for all the look-ups: without it each one takes
    // and drops the WAL's read lock on its own.
    const bool inTransaction = d->db.exec("BEGIN") == SQLITE_OK;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (keys[i].mid.empty()) continue;
        // Most rows of a list were never downloaded: no look-up for them.
        if (!d->doneSongs.MayContain(keys[i].mid, keys[i].tier)) continue;
        s.bind(1, keys[i].mid).bind(2, keys[i].tier);
        if (s.step() == SQLITE_ROW) out[i] = s.text(0);
        s.reset();
    }
    if (inTransaction) d->db.exec("COMMIT");
    return out;
}

}  // namespace mm::library
