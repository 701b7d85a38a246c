#pragma once
// The download history: one SQLite database holding a record per download-list
// row, what became of it, and what a cut-off transfer needs to resume.
//
// Threads. The database is written by one writer thread that the store owns:
// the write calls below only queue their change and return at once, so they
// may be called from any thread, the UI thread and lock holders included.
// Queued changes are applied in order, many to a transaction. The read calls
// run on the calling thread against the same connection (under the store's
// own mutex) and first wait until every change queued before them has been
// applied, so a reader always sees what was written before it asked. Reads
// wait on the disk: call them from workers, not the UI thread.
//
// Opening. Start() returns at once; the writer thread opens the database, and
// every other call waits until that is done (see WaitOpen). A file that is not
// a database or fails its integrity check is moved aside, never deleted, and
// a fresh one takes its place. A database held by another running copy of the
// program, or written by a newer one, is left alone: the store then keeps
// this session's history in memory only. Records that a previous run left
// queued or running are marked interrupted when the file is opened: only one
// running copy can hold the file, so nobody is still working on them.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mm::library {

// What became of a download. Stored as the text of StateName().
enum class DownloadState {
    kQueued,       // waiting for its address or for a download worker
    kRunning,      // the transfer or the tagging is under way
    kDone,         // the file is at `path`
    kFailed,       // the address or the transfer failed; see `error`
    kCancelled,    // stopped by the user; the part file is gone
    kPaused,       // stopped by the user; the part file is kept for resuming
    kInterrupted,  // was queued or running when the program ended
};
const char* StateName(DownloadState s);
std::optional<DownloadState> StateFromName(const std::string& name);
// Failed, cancelled and interrupted downloads can be tried again ("重试");
// a paused one is continued instead ("继续").
bool IsRetryable(DownloadState s);

// What a cut-off transfer leaves for the next attempt.
struct ResumeState {
    std::string url;          // the file address the part file came from
    std::string partPath;     // the part file
    std::int64_t bytes = 0;   // bytes of the part file known to be good
    std::int64_t total = -1;  // whole size as the first answer gave it; -1 unknown
    std::string etag;         // validators of the first answer, "" when absent
    std::string lastModified;

    bool operator==(const ResumeState&) const = default;
};

struct DownloadRecord {
    std::int64_t id = 0;
    // The song.
    std::string source;  // catalogue source address it was found on
    std::string title;
    std::string singer;
    std::string album;
    std::string coverUrl;
    std::string trackId;  // data.id of the address reply
    // The tier asked and its identifiers.
    int tier = 0;
    std::string mid;
    std::string pmid;
    // The download-list row: column 0 text ("name\r\n[album]") and its badge.
    std::string rowText;
    std::string badge;
    // What arrived.
    std::string replyType;    // data.type as the service named it
    std::string contentType;  // the type found in the content; "" unknown
    std::string path;         // the final file; "" until there is one
    std::int64_t size = -1;   // bytes of the final file; -1 unknown
    // Where it stands.
    DownloadState state = DownloadState::kQueued;
    std::string statusText;       // column 1 as last shown
    std::string statusIcon;       // column 1 icon as last shown
    std::string error;            // why it failed, "" otherwise
    std::int64_t queuedAt = 0;    // Unix time in milliseconds
    std::int64_t finishedAt = 0;  // 0 while not finished
    ResumeState resume;

    bool operator==(const DownloadRecord&) const = default;
};

// A change to some fields of one record; unset fields stay as they are.
struct RecordUpdate {
    std::optional<std::string> source, title, singer, album, coverUrl, trackId, mid, pmid, rowText, badge;
    std::optional<int> tier;
    std::optional<std::string> replyType, contentType, path;
    std::optional<std::int64_t> size;
    std::optional<DownloadState> state;
    std::optional<std::string> statusText, statusIcon, error;
    std::optional<std::int64_t> queuedAt, finishedAt;
    std::optional<ResumeState> resume;  // ResumeState{} clears it
};

// A song and tier asked about by the duplicate marks.
struct SongKey {
    std::string mid;
    int tier = 0;
    bool operator==(const SongKey&) const = default;
};

class HistoryStore {
public:
    enum class OpenStatus {
        kPending,    // the writer thread is still opening
        kOpened,     // the file was there and sound
        kCreated,    // there was no file; a fresh database was made
        kRecovered,  // the file was broken: moved aside to movedAside, a fresh one made
        kLocked,     // another running copy holds it: history kept in memory only
        kTooNew,     // written by a newer program: left alone, history kept in memory only
        kFailed,     // could not open or create (folder not writable…): memory only
    };
    struct OpenResult {
        OpenStatus status = OpenStatus::kPending;
        std::string movedAside;  // kRecovered: where the broken file went
        std::string detail;      // SQLite's words, for the log
        // True when this session's history will be on disk.
        bool persistent() const {
            return status == OpenStatus::kOpened || status == OpenStatus::kCreated ||
                   status == OpenStatus::kRecovered;
        }
    };

    // The schema version this program writes (PRAGMA user_version).
    static constexpr int kSchemaVersion = 1;
    static constexpr const char* kFileName = "library.sqlite3";

    // Starts the writer thread, which opens (creating folders as needed) the
    // database at path. Returns at once.
    static std::shared_ptr<HistoryStore> Start(const std::string& path);
    // The database file of a data folder.
    static std::string PathIn(const std::string& dataDir);

    ~HistoryStore();  // applies what is queued, then closes
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // Blocks until the database is open (or the store fell back to memory).
    OpenResult WaitOpen();
    const std::string& path() const;

    // ---- writes: queued, applied on the writer thread
    // A fresh id for a new record; waits for the open (ids continue the file's).
    std::int64_t NewId();
    // Adds a record; its id must come from NewId().
    void Insert(const DownloadRecord& record);
    void Update(std::int64_t id, RecordUpdate update);
    void Remove(std::int64_t id);
    // Blocks until every change queued so far is applied.
    void Flush();

    // ---- reads: on the calling thread, after the queued changes
    std::optional<DownloadRecord> Get(std::int64_t id);
    // Up to limit records with ids below beforeId (0: from the newest), newest first.
    std::vector<DownloadRecord> Page(std::int64_t beforeId, int limit);
    std::int64_t Count();
    // For each key, the path of its newest finished download ("" when none),
    // through the (mid, tier) index. The caller checks the files are there.
    std::vector<std::string> DownloadedPaths(const std::vector<SongKey>& keys);
    // Told (on the writer thread) when a batch of changes could not be applied
    // (disk full…). The batch is tried again a moment later, a few times,
    // before it is given up.
    void SetWriteErrorHandler(std::function<void(const std::string&)> handler);

private:
    struct Impl;
    explicit HistoryStore(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d;
};

// "library.sqlite3.broken-20260105-143000" beside path; "-2", "-3"… when that
// name is taken. Exposed for tests.
std::string BrokenName(const std::string& path, std::int64_t unixSeconds);

}  // namespace mm::library
