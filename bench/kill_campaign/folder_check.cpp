#include "bench/kill_campaign/folder_check.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/sys/files.h"

extern char** environ;

namespace mm::bench {

namespace fs = std::filesystem;

int RunProgram(const std::vector<std::string>& argv, std::string* out) {
    int pipeFd[2] = {-1, -1};
    if (out && pipe(pipeFd) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (out) {
        posix_spawn_file_actions_adddup2(&actions, pipeFd[1], 1);
        posix_spawn_file_actions_addclose(&actions, pipeFd[0]);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args = argv;
    std::vector<char*> raw;
    for (auto& a : args) raw.push_back(a.data());
    raw.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, raw[0], &actions, nullptr, raw.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (out) {
        close(pipeFd[1]);
        if (spawned == 0) {
            char buf[65536];
            for (;;) {
                ssize_t n = read(pipeFd[0], buf, sizeof buf);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;
                out->append(buf, static_cast<std::size_t>(n));
            }
        }
        close(pipeFd[0]);
    }
    if (spawned != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool EndsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

std::string Join(const std::vector<std::string>& parts, const std::string& by) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? by : "") + parts[i];
    return out;
}

// Trailing spaces are the catalogue's own (its singer field ends in one).
std::string TrimRight(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// A playlist's double quotes inside values come bare; the repair of its reply
// drops them or makes them '*'. The tags carry the texts as listed.
std::string Unquoted(std::string s) {
    std::erase(s, '"');
    std::erase(s, '*');
    return s;
}

// What is wrong with the tags mutagen read for this song; "" when right.
std::string TagProblem(const nlohmann::json& t, const democat::Song& song) {
    if (!t["error"].get<std::string>().empty()) return "mutagen: " + t["error"].get<std::string>();
    auto text = [&](const char* key) { return t[key].is_string() ? t[key].get<std::string>() : std::string("<none>"); };
    if (Unquoted(text("title")) != Unquoted(song.title)) return "title tag reads \"" + text("title") + "\"";
    if (Unquoted(text("album")) != Unquoted(song.album)) return "album tag reads \"" + text("album") + "\"";
    // A song without a singer gets no artist tag.
    const std::string artist = song.singers.empty() && text("artist") == "<none>" ? "" : text("artist");
    if (Unquoted(TrimRight(artist)) != Unquoted(Join(song.singers, ",")))
        return "artist tag reads \"" + text("artist") + "\"";
    if (song.has_cover && !song.cover_missing && t["pictures"].get<int>() < 1) return "no cover picture";
    return {};
}

}  // namespace

FolderReport FolderCheck::Look(const std::string& folder) {
    FolderReport report;
    std::error_code ec;
    std::vector<std::pair<std::string, Stamp>> fresh;  // song files to read now
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const std::string path = it->path().string();
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) continue;
        const std::string name = it->path().filename().string();
        if (!S_ISREG(st.st_mode)) {
            report.problems.push_back(path + ": not a regular file");
            continue;
        }
        if (EndsWith(name, ".part")) {
            std::string bytes;
            sys::ReadFile(path, bytes);
            PartFile p;
            p.path = path;
            p.size = static_cast<long long>(st.st_size);
            p.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
            p.stage = served_.Stage(bytes, &p.served);
            report.parts.push_back(p);
            continue;
        }
        const std::string lower = Lower(name);
        if (EndsWith(lower, ".m3u8")) continue;  // the playlist file of a finished download-all
        if (!EndsWith(lower, ".mp3") && !EndsWith(lower, ".flac")) {
            report.problems.push_back(path + ": a file the download should not leave");
            continue;
        }
        const Stamp stamp{static_cast<long long>(st.st_size),
                          static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec,
                          static_cast<unsigned long long>(st.st_ino)};
        auto known = judged_.find(path);
        if (known != judged_.end() && known->second.stamp == stamp) {
            if (!known->second.problem.empty()) report.problems.push_back(path + ": " + known->second.problem);
            else report.whole[known->second.song].push_back(path);
            continue;
        }
        fresh.emplace_back(path, stamp);
    }
    if (ec) report.problems.push_back(folder + ": cannot be listed: " + ec.message());
    if (fresh.empty()) return report;

    // The tags of every new file in one run of the reader.
    std::vector<std::string> argv = {"/usr/bin/python3", tagReader_};
    for (auto& f : fresh) argv.push_back(f.first);
    std::string tagLines;
    const int readerStatus = RunProgram(argv, &tagLines);
    std::map<std::string, nlohmann::json> tags;
    std::istringstream lines(tagLines);
    for (std::string line; std::getline(lines, line);) {
        auto j = nlohmann::json::parse(line, nullptr, false);
        if (j.is_object() && j.contains("path")) tags[j["path"].get<std::string>()] = j;
    }

    for (auto& [path, stamp] : fresh) {
        Verdict v;
        v.stamp = stamp;
        std::string bytes;
        sys::ReadFile(path, bytes);
        const bool flacName = EndsWith(Lower(path), ".flac");
        const ServedFile* f = served_.MatchWhole(bytes);
        if (!f) {
            v.problem = "its audio is not one served file whole (" + std::to_string(bytes.size()) + " bytes)";
        } else if (f->flac != flacName) {
            v.problem = "named for the other format";
        } else if (flacName ? RunProgram({"/usr/bin/flac", "-t", "-s", "-w", path}) != 0
                            : RunProgram({"/usr/bin/mpg123", "-t", "-q", path}) != 0) {
            v.problem = flacName ? "flac -t fails" : "mpg123 cannot decode it";
        } else if (readerStatus != 0 || !tags.count(path)) {
            v.problem = "mutagen did not read it (reader status " + std::to_string(readerStatus) + ")";
        } else {
            v.problem = TagProblem(tags[path], *democat::FindSong(f->song));
        }
        if (f) v.song = f->song;
        ++report.checkedNow;
        if (v.problem.empty()) report.whole[v.song].push_back(path);
        else report.problems.push_back(path + ": " + v.problem);
        judged_[path] = v;
    }
    return report;
}

}  // namespace mm::bench
