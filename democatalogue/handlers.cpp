// Builds the normal reply of every endpoint; faults that change the content
// of an envelope (code, msg, purl, type) are applied here.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <nlohmann/json.hpp>

#include "democatalogue/encoders.h"
#include "democatalogue/server_parts.h"
#include "democatalogue/song_table.h"

namespace mm::democat {

namespace {

// Members keep the order they are written in, as the real service sends them.
using json = nlohmann::ordered_json;

constexpr int kPageSize = 20;

std::string Dump(const json& j) {
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

Reply JsonReply(const json& j, int status = 200) {
    Reply r;
    r.status = status;
    r.body = Dump(j);
    return r;
}

Reply HtmlReply(int status, const std::string& title) {
    Reply r;
    r.status = status;
    r.content_type = "text/html; charset=utf-8";
    r.body = "<!DOCTYPE html><html><head><title>" + title + "</title></head><body><h1>" + title +
             "</h1></body></html>\n";
    return r;
}

json Envelope(int code, const std::string& msg, const Fault& fault) {
    return json{{"code", fault.code.value_or(code)}, {"msg", fault.msg.value_or(msg)}};
}

// "/song/wy/" → "wy"; empty when the path is not of that form.
std::string SourceCode(const std::string& path) {
    const std::string prefix = "/song/";
    if (path.rfind(prefix, 0) != 0) return {};
    std::string rest = path.substr(prefix.size());
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
    return rest.find('/') == std::string::npos ? rest : std::string();
}

double SizeMb(const AudioFile& f) {
    return static_cast<double>(f.size) / 1048576.0;
}

json SongItem(const Song& s, SongStore& store, const std::string& base) {
    json quality = json::object();
    for (Tier t : kTiers) {
        json tier{{"size", 0}, {"mid", s.Mid(t)}, {"pmid", s.Pmid(t)}};
        if (s.tier(t).present) {
            if (auto f = store.File(s.id, t)) tier["size"] = SizeMb(*f);
        }
        quality[std::string(1, TierLetter(t))] = tier;
    }
    return json{{"name", s.title},   {"singer", s.singers},
                {"album", s.album},  {"pic", s.has_cover ? base + s.CoverPath() : ""},
                {"time", s.Time()},  {"publish", s.publish},
                {"quality", quality}};
}

// JSON string escaping except for double quotes, which go out bare: the
// playlist service is known for that and clients repair it.
std::string Sloppy(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

// Member order matters to clients that repair this text: "name" and "album"
// are each followed by another member, "singer" is a list.
std::string SloppyItem(const json& item) {
    std::string out = "{\"name\":" + Sloppy(item["name"]) + ",\"singer\":[";
    bool first = true;
    for (const auto& singer : item["singer"]) {
        out += (first ? "" : ",") + Sloppy(singer);
        first = false;
    }
    out += "],\"album\":" + Sloppy(item["album"]) + ",\"pic\":" + Sloppy(item["pic"]) +
           ",\"time\":" + Sloppy(item["time"]) + ",\"publish\":" + Sloppy(item["publish"]) +
           ",\"quality\":" + Dump(item["quality"]) + "}";
    return out;
}

Reply Search(Context& ctx, const httplib::Request& req, const Fault& fault) {
    std::vector<int> ids = MatchSongs(req.get_param_value("name"));
    int page = std::atoi(req.get_param_value("page").c_str());
    if (page < 1) page = 1;
    std::vector<int> slice;
    for (std::size_t i = static_cast<std::size_t>(page - 1) * kPageSize;
         i < ids.size() && slice.size() < kPageSize; ++i) {
        slice.push_back(ids[i]);
    }
    if (!ctx.store->Ensure(slice)) return JsonReply(Envelope(500, "服务器繁忙，请稍后再试", fault));
    json data = json::array();
    for (int id : slice) data.push_back(SongItem(*FindSong(id), *ctx.store, ctx.base_url));
    json reply = Envelope(200, "搜索成功", fault);
    reply["data"] = data;
    return JsonReply(reply);
}

Reply PlaylistReply(Context& ctx, const std::string& code, const httplib::Request& req, const Fault& fault) {
    const Playlist* list = FindPlaylist(code, req.get_param_value("id"));
    if (!list) {
        json reply = Envelope(404, "歌单不存在", fault);
        reply["data"] = json::array();
        return JsonReply(reply);
    }
    if (!ctx.store->Ensure(list->songs)) return JsonReply(Envelope(500, "服务器繁忙，请稍后再试", fault));
    json head = Envelope(200, "获取成功", fault);
    std::string body = "{\"code\":" + Dump(head["code"]) + ",\"msg\":" + Dump(head["msg"]) + ",\"data\":[";
    for (std::size_t i = 0; i < list->songs.size(); ++i) {
        if (i) body += ",";
        body += SloppyItem(SongItem(*FindSong(list->songs[i]), *ctx.store, ctx.base_url));
    }
    Reply r;
    r.body = body + "]}";
    return r;
}

std::map<std::string, std::string> ParseForm(const std::string& body) {
    std::map<std::string, std::string> form;
    std::size_t at = 0;
    while (at <= body.size()) {
        std::size_t end = body.find('&', at);
        if (end == std::string::npos) end = body.size();
        std::string pair = body.substr(at, end - at);
        std::size_t eq = pair.find('=');
        if (!pair.empty()) {
            std::string key = eq == std::string::npos ? pair : pair.substr(0, eq);
            std::string value = eq == std::string::npos ? "" : pair.substr(eq + 1);
            form.emplace(httplib::detail::decode_url(key, true), httplib::detail::decode_url(value, true));
        }
        at = end + 1;
    }
    return form;
}

Reply TrackAddress(Context& ctx, const httplib::Request& req, const Fault& fault) {
    auto form = ParseForm(req.body);
    int id = 0;
    Tier tier = Tier::kStandard;
    if (!ParseMid(form["mid"], &id, &tier) || FindSong(id)->Pmid(tier) != form["pmid"]) {
        json reply = Envelope(404, "歌曲不存在或已下架", fault);
        reply["data"] = json::object();
        return JsonReply(reply);
    }
    const Song& song = *FindSong(id);
    std::string purl;
    if (!song.empty_purl) {
        purl = ctx.base_url + song.AudioPath(tier);
        auto lifetime = ctx.faults->AddressLifetime();
        if (lifetime.count() != 0) {
            auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::system_clock::now().time_since_epoch());
            purl += "?expires=" + std::to_string((now + lifetime).count());
        }
    }
    json reply = Envelope(200, "获取成功", fault);
    reply["data"] = json{{"purl", fault.purl.value_or(purl)},
                         {"lyric", form["lyr"] == "true" ? song.Lyrics() : ""},
                         {"type", fault.type.value_or(song.tier(tier).type)},
                         {"id", std::to_string(song.id)}};
    return JsonReply(reply);
}

// Validators of a served file: the ETag names its bytes (cache name and size),
// Last-Modified is its time in the cache.
std::string ETagOf(const AudioFile& f) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "\"%016zx-%llx\"", std::hash<std::string>{}(f.path),
                  static_cast<unsigned long long>(f.size));
    return buf;
}

std::string LastModifiedOf(const AudioFile& f) {
    struct stat st {};
    std::time_t t = ::stat(f.path.c_str(), &st) == 0 ? st.st_mtime : 0;
    std::tm tm{};
    gmtime_r(&t, &tm);
    static const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[tm.tm_wday], tm.tm_mday,
                  kMonths[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

// "bytes=A-", "bytes=A-B" or "bytes=-N" against a file of size bytes: the
// first and last byte. False for anything else (several ranges included):
// the whole file is sent then, as a server may.
bool ParseRange(const std::string& value, std::uint64_t size, std::uint64_t* first, std::uint64_t* last) {
    if (value.rfind("bytes=", 0) != 0 || value.find(',') != std::string::npos || size == 0) return false;
    std::string spec = value.substr(6);
    std::size_t dash = spec.find('-');
    if (dash == std::string::npos) return false;
    std::string a = spec.substr(0, dash), b = spec.substr(dash + 1);
    char* end = nullptr;
    if (a.empty()) {
        unsigned long long n = std::strtoull(b.c_str(), &end, 10);
        if (b.empty() || *end != '\0' || n == 0) return false;
        *first = n >= size ? 0 : size - n;
        *last = size - 1;
        return true;
    }
    *first = std::strtoull(a.c_str(), &end, 10);
    if (*end != '\0') return false;
    if (b.empty()) {
        *last = size - 1;
    } else {
        *last = std::strtoull(b.c_str(), &end, 10);
        if (*end != '\0' || *last < *first) return false;
        if (*last >= size) *last = size - 1;
    }
    return true;
}

// Range and If-Range as a web server answers them: 206 for a satisfiable range
// whose If-Range (when sent) names this file, 416 past the end, else 200.
void ApplyRange(const httplib::Request& req, const Fault& fault, const std::string& etag,
                const std::string& modified, Reply& r) {
    const std::string range = req.get_header_value("Range");
    if (range.empty() || fault.ignore_range) return;
    const std::string if_range = req.get_header_value("If-Range");
    if (!if_range.empty() && if_range != etag && if_range != modified) return;
    std::uint64_t first = 0, last = 0;
    if (!ParseRange(range, r.file->size, &first, &last)) return;
    if (first >= r.file->size) {
        std::string total = std::to_string(r.file->size);
        r = HtmlReply(416, "416 Range Not Satisfiable");
        r.headers.emplace_back("Content-Range", "bytes */" + total);
        return;
    }
    r.status = 206;
    r.headers.emplace_back("Content-Range", "bytes " + std::to_string(first) + "-" + std::to_string(last) +
                                                "/" + std::to_string(r.file->size));
    r.file_offset = first;
    r.file->size = last + 1;  // the body ends at last; file_offset says where it starts
}

Reply Audio(Context& ctx, const httplib::Request& req, const Fault& fault) {
    int id = 0;
    char letter = 0;
    if (std::sscanf(req.path.c_str(), "/audio/%4d-%c.", &id, &letter) != 2)
        return HtmlReply(404, "404 Not Found");
    const Song* song = FindSong(id);
    if (!song) return HtmlReply(404, "404 Not Found");
    for (Tier t : kTiers) {
        if (TierLetter(t) != letter || !song->tier(t).present || song->AudioPath(t) != req.path) continue;
        if (req.has_param("expires")) {
            long long expires = std::atoll(req.get_param_value("expires").c_str());
            auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::system_clock::now().time_since_epoch());
            if (now.count() > expires) {
                if (ctx.stats) ctx.stats->CountFault("audio expired");
                return HtmlReply(403, "403 Forbidden: address expired");
            }
        }
        std::optional<AudioFile> file;
        const Song* other = fault.substitute_song != 0 ? FindSong(fault.substitute_song) : nullptr;
        Tier other_tier = static_cast<Tier>(std::clamp(fault.substitute_tier, 0, 2));
        if (other && other->tier(other_tier).present) {
            file = ctx.store->File(other->id, other_tier);
        } else {
            file = ctx.store->File(id, t);
        }
        if (!file) return HtmlReply(503, "503 Service Unavailable");
        Reply r;
        r.content_type = req.path.ends_with(".flac") ? "audio/flac" : "audio/mpeg";
        r.file = file;
        const std::string etag = ETagOf(*file);
        const std::string modified = LastModifiedOf(*file);
        r.headers.emplace_back("Accept-Ranges", "bytes");
        r.headers.emplace_back("ETag", etag);
        r.headers.emplace_back("Last-Modified", modified);
        ApplyRange(req, fault, etag, modified, r);
        return r;
    }
    return HtmlReply(404, "404 Not Found");
}

Reply Cover(Context& ctx, const httplib::Request& req) {
    int id = 0;
    if (std::sscanf(req.path.c_str(), "/cover/%4d.jpg", &id) != 1) return HtmlReply(404, "404 Not Found");
    const Song* song = FindSong(id);
    if (!song || !song->has_cover || song->CoverPath() != req.path) return HtmlReply(404, "404 Not Found");
    Reply r;
    r.content_type = "image/jpeg";
    std::lock_guard lock(ctx.cover_mutex);
    auto it = ctx.covers.find(id);
    if (it == ctx.covers.end()) {
        auto jpeg = MakeCoverJpeg(id);
        if (!jpeg) return HtmlReply(503, "503 Service Unavailable");
        it = ctx.covers.emplace(id, std::move(*jpeg)).first;
    }
    r.body = it->second;
    return r;
}

Reply Share(Context& ctx, const httplib::Request& req) {
    const ShareLink* link = FindShareLink(req.path);
    if (!link) return HtmlReply(404, "404 Not Found");
    if (link->status == 200) {
        Reply r = HtmlReply(200, "分享歌单");
        r.body.insert(r.body.find("</body>"), "<p>" + req.target + "</p>");
        return r;
    }
    Reply r = HtmlReply(link->status, link->status == 301 ? "301 Moved Permanently" : "302 Found");
    r.headers.emplace_back("Location", ctx.base_url + link->location);
    return r;
}

Reply UpdateNoticeReply(Context& ctx, const Fault& fault) {
    UpdateNotice n = ctx.faults->GetUpdateNotice();
    json j{{"code", n.code}, {"version", n.version}, {"msg", n.msg},
           {"web", n.web},   {"web2", n.web2},       {"update", n.update}};
    if (fault.code) j["code"] = std::to_string(*fault.code);
    if (fault.msg) j["msg"] = *fault.msg;
    return JsonReply(j);
}

Reply SourceList(Context& ctx, const Fault& fault) {
    json list = json::array();
    for (const auto& s : Sources())
        list.push_back(json{{"url", ctx.base_url + "/song/" + s.code + "/"}, {"text", s.text}});
    json reply = Envelope(200, "获取成功", fault);
    reply["list"] = list;
    return JsonReply(reply);
}

}  // namespace

Endpoint Classify(const httplib::Request& req) {
    const std::string& p = req.path;
    if (p == "/VOKA/voka.json") return Endpoint::kUpdate;
    if (p == "/api/source.php") return Endpoint::kSourceList;
    if (p == "/api") return Endpoint::kReport;
    if (p.rfind("/share/", 0) == 0) return Endpoint::kShare;
    if (p.rfind("/cover/", 0) == 0) return Endpoint::kCover;
    if (p.rfind("/audio/", 0) == 0) return Endpoint::kAudio;
    if (!SourceCode(p).empty()) {
        if (req.method == "POST") return Endpoint::kTrackAddress;
        return req.get_param_value("type") == "list" ? Endpoint::kPlaylist : Endpoint::kSearch;
    }
    return Endpoint::kOther;
}

Reply BuildReply(Endpoint e, Context& ctx, const httplib::Request& req, const Fault& fault) {
    const bool get = req.method == "GET" || req.method == "HEAD";
    switch (e) {
        case Endpoint::kUpdate:
            if (get) return UpdateNoticeReply(ctx, fault);
            break;
        case Endpoint::kSourceList:
            if (get) return SourceList(ctx, fault);
            break;
        case Endpoint::kReport:
            if (req.method == "POST") return JsonReply(Envelope(200, "ok", fault));
            break;
        case Endpoint::kSearch:
        case Endpoint::kPlaylist:
        case Endpoint::kTrackAddress: {
            std::string code = SourceCode(req.path);
            if (!IsSourceCode(code)) return JsonReply(Envelope(404, "音源不存在", fault), 404);
            if (e == Endpoint::kSearch) return Search(ctx, req, fault);
            if (e == Endpoint::kPlaylist) return PlaylistReply(ctx, code, req, fault);
            if (req.get_param_value("type") == "song") return TrackAddress(ctx, req, fault);
            return JsonReply(Envelope(400, "参数错误", fault), 400);
        }
        case Endpoint::kShare:
            if (get) return Share(ctx, req);
            break;
        case Endpoint::kCover:
            if (get) return Cover(ctx, req);
            break;
        case Endpoint::kAudio:
            if (get) return Audio(ctx, req, fault);
            break;
        case Endpoint::kOther:
            return HtmlReply(404, "404 Not Found");
    }
    return HtmlReply(405, "405 Method Not Allowed");
}

}  // namespace mm::democat
