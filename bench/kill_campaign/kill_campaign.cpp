// Kill campaign: the real program (automation mode, a process of its own) runs
// a download-all of playlist wy 7045 against the demo catalogue and is killed
// with SIGKILL at a random moment, round after round. After every kill the save
// folder is checked: whatever carries a song's name must be whole and valid;
// unfinished downloads may only be part files. The next start must list the
// killed run's rows as "已中断", and "全部重试" must take them up. When a
// playlist is complete the campaign starts it afresh in new folders; after the
// last round one run that is not killed must leave every song whole.
//
//   kill_campaign [--rounds N] [--seed S] [--keep]
//
// The catalogue runs inside this process (the same server as
// morvane-democatalogue) so that each round can throttle the audio bodies and
// keep transfers in flight. Any failure prints the seed and round that
// repeat it and exits with status 1.
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "bench/kill_campaign/folder_check.h"
#include "bench/kill_campaign/served_audio.h"
#include "democatalogue/democatalogue.h"
#include "library/sqlite_db.h"
#include "tests/download/program_process.h"

namespace {

namespace fs = std::filesystem;
using mm::bench::FolderReport;
using mm::bench::PartStage;
using mm::test::ProgramProcess;
using nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr const char* kDone = "下载完成";
constexpr const char* kInterrupted = "已中断";
constexpr const char* kFailed = "下载失败";
constexpr int kMenuDownloadAll = 2;  // 菜单_歌曲 "下载 - 歌单全部歌曲"
constexpr int kMenuRetryAll = 14;    // 菜单_下载列表 "全部重试"

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The phase a kill struck, from what the save folder held afterwards (the most
// advanced download decides) or, for a rename whose row was not yet recorded,
// from the next start's list.
enum class Phase { kNone, kTransfer, kTagWrite, kRename, kRenamedUnrecorded };
const char* PhaseName(Phase p) {
    switch (p) {
        case Phase::kNone:
            return "no download in flight";
        case Phase::kTransfer:
            return "transfer";
        case Phase::kTagWrite:
            return "tag write";
        case Phase::kRename:
            return "rename";
        case Phase::kRenamedUnrecorded:
            return "renamed, not yet recorded";
    }
    return "?";
}

struct Failure {
    std::string what;
};

// One playlist's folders: a save folder, a history folder, a settings file.
struct Cycle {
    int number = 0;
    std::string dir, save, data, config;
    bool queued = false;  // the download-all has listed every song
};

class Campaign {
public:
    Campaign(std::uint64_t seed, bool keep) : seed_(seed), keep_(keep) {}
    int Run(int rounds);

private:
    bool Setup();
    void NewCycle();
    void EndCycle();
    std::unique_ptr<ProgramProcess> Start(bool withLink);
    json DumpNow(ProgramProcess& p, const std::string& control);
    void ExpectNoErrors(ProgramProcess& p, std::size_t from, const std::string& doing);
    void ExpectNoMessages(ProgramProcess& p);
    void QueueAll(ProgramProcess& p);
    // Lists the history's rows; false when every row is done (nothing to retry).
    bool RetryAll(ProgramProcess& p);
    void KillAt(ProgramProcess& p, std::mt19937_64& rng, std::string& how);
    // True once a part file holds as many bytes as its served file.
    bool WaitForWholePart(Clock::duration limit);
    // True once a file is renamed into place in the save folder.
    bool WaitForRename(Clock::duration limit);
    // The phase of the kill; touched counts the part files the killed run
    // wrote to, by stage.
    Phase PhaseOf(const FolderReport& r, std::map<PartStage, int>& touched);
    void CheckFolder(FolderReport& r);
    void Round(int round);
    void FinalRun();
    int WholeSongs(const FolderReport& r) const;

    std::uint64_t seed_;
    bool keep_;
    mm::democat::DemoCatalogue catalogue_;
    std::vector<int> songs_;
    mm::bench::ServedAudio served_;
    std::unique_ptr<mm::bench::FolderCheck> check_;
    std::string root_;
    Cycle cycle_;
    int lastWhole_ = 0;  // whole songs the last look found in this cycle's folder
    // Part files of the last look, with their size and time.
    std::map<std::string, std::pair<long long, long long>> lastParts_;

    std::map<Phase, int> phases_;
    std::map<PartStage, int> partStages_;
    int cyclesFinished_ = 0;
    int badFiles_ = 0;
    int filesChecked_ = 0;
};

bool Campaign::Setup() {
    if (!catalogue_.Start(0)) return false;
    const mm::democat::Playlist* list = mm::democat::FindPlaylist("wy", "7045");
    if (!list) return false;
    songs_ = list->songs;
    if (!served_.Load(catalogue_, songs_)) return false;
    check_ = std::make_unique<mm::bench::FolderCheck>(served_, std::string(MM_KILL_CAMPAIGN_DIR) + "/read_tags.py");
    char tmpl[] = "/tmp/mm-kill-campaign-XXXXXX";
    if (!mkdtemp(tmpl)) return false;
    root_ = tmpl;
    return true;
}

void Campaign::NewCycle() {
    if (!cycle_.dir.empty() && !keep_) fs::remove_all(cycle_.dir);
    const int number = cycle_.number + 1;
    cycle_ = Cycle();
    cycle_.number = number;
    cycle_.dir = root_ + "/cycle-" + std::to_string(cycle_.number);
    cycle_.save = cycle_.dir + "/save/";
    cycle_.data = cycle_.dir + "/data";
    cycle_.config = cycle_.dir + "/config.ini";
    fs::create_directories(cycle_.save);
    std::ofstream(cycle_.config) << "[音乐保存路径]\n路径=" << cycle_.save << "\n";
    check_->Forget();
    lastWhole_ = 0;
    lastParts_.clear();
}

std::unique_ptr<ProgramProcess> Campaign::Start(bool withLink) {
    std::vector<std::string> args = {"--config", cycle_.config, "--data-dir", cycle_.data, "--catalogue",
                                     catalogue_.BaseUrl()};
    if (withLink) args.push_back(catalogue_.BaseUrl() + "/share/wy/s/7045");
    auto p = std::make_unique<ProgramProcess>(args);
    if (!p->running()) throw Failure{"the program did not start"};
    return p;
}

// A dump without waiting for the program to be idle: downloads go on.
json Campaign::DumpNow(ProgramProcess& p, const std::string& control) {
    p.Send({{"op", "dump"}, {"control", control}});
    json j = p.ReadUntil([](const json& l) { return l.contains("dump"); }, std::chrono::seconds(30));
    if (j.is_discarded()) throw Failure{"no answer to a dump of " + control};
    return j["dump"];
}

void Campaign::ExpectNoErrors(ProgramProcess& p, std::size_t from, const std::string& doing) {
    const auto& lines = p.lines();
    for (std::size_t i = from; i < lines.size(); ++i) {
        if (lines[i].contains("error")) throw Failure{doing + ": " + lines[i]["error"].get<std::string>()};
    }
}

// A kill must leave nothing the next start has to tell the user about (a
// broken history, a history held by another copy).
void Campaign::ExpectNoMessages(ProgramProcess& p) {
    for (const json& box : p.MessageBoxes()) throw Failure{"the start showed a message box: " + box.dump()};
}

void Campaign::QueueAll(ProgramProcess& p) {
    const std::size_t from = p.lines().size();
    p.Send({{"op", "click"}, {"control", "按钮_歌单_导入"}});
    if (!p.WaitIdle(60000)) throw Failure{"the playlist import did not end"};
    ExpectNoMessages(p);
    p.Send({{"op", "rightclick"}, {"control", "列表框_搜索"}, {"row", 0}});
    p.Send({{"op", "menu"}, {"menu", "菜单_歌曲"}, {"id", kMenuDownloadAll}});
    // Rows come as their addresses arrive; every song has one once all are listed.
    const auto until = Clock::now() + std::chrono::seconds(60);
    std::size_t rows = 0;
    while (Clock::now() < until) {
        rows = DumpNow(p, "列表框_下载")["rows"].size();
        if (rows >= songs_.size()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ExpectNoErrors(p, from, "download-all");
    if (rows != songs_.size())
        throw Failure{"download-all listed " + std::to_string(rows) + " of " + std::to_string(songs_.size()) + " songs"};
    cycle_.queued = true;
}

bool Campaign::RetryAll(ProgramProcess& p) {
    const std::size_t from = p.lines().size();
    // The history is read in the background at start-up.
    if (!p.WaitIdle(60000)) throw Failure{"the start did not become idle"};
    ExpectNoMessages(p);
    json list = DumpNow(p, "列表框_下载");
    const auto& rows = list["rows"];
    if (rows.size() != songs_.size())
        throw Failure{"the history lists " + std::to_string(rows.size()) + " rows, not " + std::to_string(songs_.size())};
    int done = 0, toRetry = 0, firstToRetry = -1;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const std::string status = rows[r][1];
        if (status == kDone) {
            ++done;
        } else if (status == kInterrupted || status == kFailed) {
            ++toRetry;
            if (firstToRetry < 0) firstToRetry = static_cast<int>(r);
        } else {
            throw Failure{"row " + std::to_string(r) + " reads \"" + status + "\" after a kill"};
        }
    }
    if (toRetry == 0) return false;
    p.Send({{"op", "rightclick"}, {"control", "列表框_下载"}, {"row", firstToRetry}});
    p.Send({{"op", "menu"}, {"menu", "菜单_下载列表"}, {"id", kMenuRetryAll}});
    DumpNow(p, "列表框_下载");  // the command has been handled
    ExpectNoErrors(p, from, "全部重试");
    return true;
}

// Kills at a random moment of one of three kinds: a random delay; just after
// a part file reached its whole size (tags and the rename follow within
// milliseconds); just after a file was renamed into place (its row is
// recorded as done a moment later).
void Campaign::KillAt(ProgramProcess& p, std::mt19937_64& rng, std::string& how) {
    const double kind = std::uniform_real_distribution<double>(0, 1)(rng);
    if (kind < 0.45) {
        const int delayMs = std::uniform_int_distribution<int>(0, 2000)(rng);
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        how = "after " + std::to_string(delayMs) + " ms";
    } else if (kind < 0.75) {
        const int settleUs = std::uniform_int_distribution<int>(0, 10000)(rng);
        const bool reached = WaitForWholePart(std::chrono::seconds(8));
        std::this_thread::sleep_for(std::chrono::microseconds(settleUs));
        how = reached ? "part whole +" + std::to_string(settleUs) + " us" : "no part whole in 8 s";
    } else {
        const int settleUs = std::uniform_int_distribution<int>(0, 500)(rng);
        const bool reached = WaitForRename(std::chrono::seconds(8));
        std::this_thread::sleep_for(std::chrono::microseconds(settleUs));
        how = reached ? "renamed +" + std::to_string(settleUs) + " us" : "no rename in 8 s";
    }
    const int status = p.Kill();
    if (!WIFSIGNALED(status) || WTERMSIG(status) != SIGKILL)
        throw Failure{"the program ended by itself before the kill (status " + std::to_string(status) + ")"};
}

bool Campaign::WaitForWholePart(Clock::duration limit) {
    std::map<std::string, std::int64_t> servedSize;  // part file -> size of its served file
    // Part files an earlier run left whole or torn count once they change.
    std::map<std::string, std::int64_t> startSize;
    std::error_code ec;
    for (auto& e : fs::directory_iterator(cycle_.save, ec)) {
        if (e.path().extension() == ".part") startSize[e.path().string()] = static_cast<std::int64_t>(e.file_size(ec));
    }
    const auto until = Clock::now() + limit;
    while (Clock::now() < until) {
        for (auto& e : fs::directory_iterator(cycle_.save, ec)) {
            if (e.path().extension() != ".part") continue;
            const std::string path = e.path().string();
            struct stat st {};
            if (::stat(path.c_str(), &st) != 0) continue;
            auto known = servedSize.find(path);
            if (known == servedSize.end() && st.st_size >= 4096) {
                std::string head(4096, '\0');
                std::ifstream(path, std::ios::binary).read(head.data(), 4096);
                if (const mm::bench::ServedFile* f = served_.ByBeginning(head))
                    known = servedSize.emplace(path, static_cast<std::int64_t>(f->bytes.size())).first;
            }
            auto start = startSize.find(path);
            const bool changed = start == startSize.end() || start->second != st.st_size;
            if (changed && known != servedSize.end() && st.st_size >= known->second) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

bool Campaign::WaitForRename(Clock::duration limit) {
    const int fd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (fd < 0) throw Failure{"inotify is not available"};
    bool renamed = false;
    if (inotify_add_watch(fd, cycle_.save.c_str(), IN_MOVED_TO) >= 0) {
        const auto until = Clock::now() + limit;
        while (!renamed && Clock::now() < until) {
            pollfd pfd{fd, POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
            if (poll(&pfd, 1, static_cast<int>(std::max<long long>(1, left.count()))) <= 0) continue;
            alignas(inotify_event) char buf[4096];
            const ssize_t n = read(fd, buf, sizeof buf);
            for (ssize_t at = 0; n > 0 && at < n;) {
                const auto* ev = reinterpret_cast<const inotify_event*>(buf + at);
                const std::string name = ev->len ? ev->name : "";
                if (name.size() < 5 || name.compare(name.size() - 5, 5, ".part") != 0) renamed = true;
                at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
            }
        }
    }
    close(fd);
    return renamed;
}

// The killed run's history, read after its end: a download records its file
// just before the rename and its end just after. Records between the two tell
// a kill at the rename: before it (the file not there yet) or after it.
Phase HistoryPhase(const std::string& dataDir) {
    mm::library::Database db;
    if (db.open(dataDir + "/library.sqlite3", SQLITE_OPEN_READONLY) != SQLITE_OK) return Phase::kNone;
    mm::library::Statement q(db.handle(),
                             "SELECT path, part_path FROM downloads WHERE state IN ('queued', 'running') AND path != ''");
    Phase phase = Phase::kNone;
    while (q.ok() && q.step() == SQLITE_ROW) {
        const bool renamed = fs::is_regular_file(q.text(0)) && !fs::exists(q.text(1));
        phase = std::max(phase, renamed ? Phase::kRenamedUnrecorded : Phase::kRename);
    }
    return phase;
}

Phase Campaign::PhaseOf(const FolderReport& r, std::map<PartStage, int>& touched) {
    Phase phase = HistoryPhase(cycle_.data);
    std::map<std::string, std::pair<long long, long long>> seen;
    for (const auto& part : r.parts) {
        seen[part.path] = {part.size, part.mtimeNs};
        // A part file the killed run did not touch tells nothing of its end.
        auto before = lastParts_.find(part.path);
        if (before != lastParts_.end() && before->second == seen[part.path]) continue;
        ++partStages_[part.stage];
        ++touched[part.stage];
        Phase p = part.stage == PartStage::kTransfer ? Phase::kTransfer
                  : part.stage == PartStage::kTagged ? Phase::kRename
                                                     : Phase::kTagWrite;
        if (p > phase) phase = p;
    }
    lastParts_ = std::move(seen);
    return phase;
}

int Campaign::WholeSongs(const FolderReport& r) const {
    int n = 0;
    for (int id : songs_) n += r.whole.count(id) ? 1 : 0;
    return n;
}

void Campaign::CheckFolder(FolderReport& r) {
    r = check_->Look(cycle_.save);
    filesChecked_ += r.checkedNow;
    badFiles_ += static_cast<int>(r.problems.size());
    for (const auto& [song, files] : r.whole) {
        if (files.size() > 1) r.problems.push_back(files[1] + ": a second file of song " + std::to_string(song));
    }
    if (!r.problems.empty()) {
        std::string all;
        for (const auto& p : r.problems) all += "\n    " + p;
        throw Failure{"bad files in " + cycle_.save + ":" + all};
    }
    lastWhole_ = WholeSongs(r);
}

// The playlist is complete: every song whole, nothing left over.
void Campaign::EndCycle() {
    FolderReport r;
    CheckFolder(r);
    if (!r.parts.empty()) throw Failure{"part files left after every row was done: " + r.parts[0].path};
    if (WholeSongs(r) != static_cast<int>(songs_.size()))
        throw Failure{"every row done but only " + std::to_string(WholeSongs(r)) + " songs whole"};
    ++cyclesFinished_;
}

void Campaign::Round(int round) {
    std::mt19937_64 rng(seed_ * 1000003u + static_cast<std::uint64_t>(round));
    const auto started = Clock::now();
    mm::democat::Fault slow;
    slow.bytes_per_second = std::uniform_int_distribution<int>(200, 1536)(rng) * 1024;
    catalogue_.faults().Set(mm::democat::Endpoint::kAudio, slow);

    std::unique_ptr<ProgramProcess> p;
    if (cycle_.queued) {
        p = Start(false);
        if (!RetryAll(*p)) {
            // Nothing left to do: the playlist is complete; it starts again afresh.
            const int status = p->Close();
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw Failure{"closing did not end cleanly"};
            EndCycle();
            NewCycle();
        }
    }
    if (!cycle_.queued) {
        p = Start(true);
        QueueAll(*p);
    }
    std::string how;
    KillAt(*p, rng, how);
    p.reset();

    FolderReport r;
    CheckFolder(r);
    std::map<PartStage, int> stages;
    const Phase phase = PhaseOf(r, stages);
    ++phases_[phase];
    std::printf("round %3d  cycle %2d  %4d KiB/s  kill %-22s  phase %-26s parts %2zu, written to: transfer %d, "
                "full %d, tagging %d, tagged %d  whole %2d/%zu  bad 0  %.1f s\n",
                round, cycle_.number, slow.bytes_per_second / 1024, how.c_str(), PhaseName(phase), r.parts.size(),
                stages[PartStage::kTransfer], stages[PartStage::kFull], stages[PartStage::kTagging],
                stages[PartStage::kTagged], WholeSongs(r), songs_.size(), Seconds(Clock::now() - started));
    std::fflush(stdout);
}

void Campaign::FinalRun() {
    catalogue_.faults().ClearAll();
    std::unique_ptr<ProgramProcess> p;
    if (cycle_.queued) {
        p = Start(false);
        RetryAll(*p);
    } else {
        p = Start(true);
        QueueAll(*p);
    }
    if (!p->WaitIdle(300000)) throw Failure{"the last run did not finish in 5 minutes"};
    json list = DumpNow(*p, "列表框_下载");
    int done = 0;
    for (const auto& row : list["rows"]) done += row[1] == kDone ? 1 : 0;
    if (done != static_cast<int>(songs_.size()))
        throw Failure{"the last run ended with " + std::to_string(done) + " rows done"};
    const int status = p->Close();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw Failure{"the last run did not close cleanly"};
    EndCycle();
}

int Campaign::Run(int rounds) {
    if (!Setup()) {
        std::fprintf(stderr, "kill_campaign: cannot start the catalogue or load playlist wy 7045\n");
        return 2;
    }
    const auto started = Clock::now();
    std::printf("kill campaign: %d rounds, seed %llu, playlist wy 7045 (%zu songs), folders in %s\n", rounds,
                static_cast<unsigned long long>(seed_), songs_.size(), root_.c_str());
    int round = 0;
    try {
        NewCycle();
        for (round = 1; round <= rounds; ++round) Round(round);
        round = rounds + 1;
        FinalRun();
    } catch (const Failure& f) {
        std::printf("FAILED in %s: %s\nrepeat with: kill_campaign --seed %llu --rounds %d  (folders kept in %s)\n",
                    round > rounds ? "the last, unkilled run" : ("round " + std::to_string(round)).c_str(),
                    f.what.c_str(), static_cast<unsigned long long>(seed_), std::min(round, rounds), root_.c_str());
        return 1;
    }
    std::printf("\nrounds                 %d (killed with SIGKILL), then one run to the end\n", rounds);
    std::printf("kill moments by phase ");
    for (Phase ph : {Phase::kTransfer, Phase::kTagWrite, Phase::kRename, Phase::kRenamedUnrecorded, Phase::kNone})
        std::printf(" %s %d;", PhaseName(ph), phases_[ph]);
    std::printf("\npart files written to  transfer %d, full untagged %d, tag write %d, tagged unrenamed %d\n",
                partStages_[PartStage::kTransfer], partStages_[PartStage::kFull], partStages_[PartStage::kTagging],
                partStages_[PartStage::kTagged]);
    std::printf("song files checked     %d (flac -t / mpg123, mutagen, audio byte for byte)\n", filesChecked_);
    std::printf("bad files found        %d\n", badFiles_);
    std::printf("playlists completed    %d (each with all %zu songs whole, no part file left)\n", cyclesFinished_,
                songs_.size());
    std::printf("songs whole at the end %d/%zu\n", lastWhole_, songs_.size());
    std::printf("wall time              %.1f s\n", Seconds(Clock::now() - started));
    if (!keep_) fs::remove_all(root_);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 100;
    std::uint64_t seed = 1;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--rounds" && i + 1 < argc) {
            rounds = std::atoi(argv[++i]);
        } else if (arg == "--seed" && i + 1 < argc) {
            seed = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--keep") {
            keep = true;
        } else {
            std::fprintf(stderr, "usage: kill_campaign [--rounds N] [--seed S] [--keep]\n");
            return arg == "--help" ? 0 : 2;
        }
    }
    if (rounds < 1) {
        std::fprintf(stderr, "kill_campaign: --rounds must be at least 1\n");
        return 2;
    }
    Campaign campaign(seed, keep);
    return campaign.Run(rounds);
}
