#include "democatalogue/song_table.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstdio>

namespace mm::democat {

namespace {

std::uint32_t Fnv1a(std::string_view s) {
    std::uint32_t h = 2166136261u;
    for (unsigned char c : s) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

std::string LowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

TierSpec Mp3(Codec c) {
    return TierSpec{true, c, "mp3"};
}

// tiers: any of 'l', 'h', 's'.
Song Make(int id, std::string title, std::vector<std::string> singers, std::string album, int seconds,
          std::string_view tiers) {
    Song s;
    s.id = id;
    s.title = std::move(title);
    s.singers = std::move(singers);
    s.album = std::move(album);
    s.seconds = seconds;
    char date[16];
    std::snprintf(date, sizeof date, "20%02d-%02d-%02d", 10 + id % 15, 1 + id % 12, 1 + (id * 7) % 28);
    s.publish = date;
    if (tiers.find('l') != std::string_view::npos) s.tiers[0] = Mp3(Codec::kMp3_128);
    if (tiers.find('h') != std::string_view::npos) s.tiers[1] = Mp3(Codec::kMp3_320);
    if (tiers.find('s') != std::string_view::npos) s.tiers[2] = TierSpec{true, Codec::kFlac, "flac"};
    return s;
}

std::vector<Song> BuildSongs() {
    std::vector<Song> v;
    v.push_back(Make(1, "晴天里的风", {"林小雨"}, "夏日信笺", 24, "lhs"));
    v.push_back(Make(2, "Morning Light", {"Nora Vale"}, "First Steps", 22, "lhs"));
    v.push_back(Make(3, "AC/DC: Live?", {"X"}, "Rock Test", 21, "lh"));
    v.push_back(Make(4, "Back\\Slash", {"Path Finder"}, "Escapes", 20, "lhs"));
    v.push_back(Make(5, "Say \"Hello\"", {"Quote Band"}, "The \"Best\" Of", 23, "lhs"));
    v.push_back(Make(6, "What*Is*This?", {"Star Gazer"}, "Wildcards", 20, "l"));
    v.push_back(Make(7, "双人舞", {"林小雨", "周子墨"}, "合唱集", 25, "lhs"));
    v.push_back(Make(8, "Duet: Night & Day", {"Nora Vale", "Leo Park"}, "Together", 22, "lh"));
    v.push_back(Make(9, "无名之歌", {}, "无人知晓", 21, "lhs"));
    v.push_back(Make(10, "Lonely Track", {"Solo Artist"}, "", 20, "lh"));
    v.push_back(Make(11, "只有标准", {"测试歌手"}, "音质测试", 20, "l"));
    v.push_back(Make(12, "High Only", {"测试歌手"}, "音质测试", 20, "h"));
    v.push_back(Make(13, "Lossless Only", {"测试歌手"}, "音质测试", 20, "s"));
    v.push_back(Make(14, "高品与无损", {"测试歌手"}, "音质测试", 21, "hs"));
    // The lossless tier of this one is really an MP3 served as FLAC.
    Song fake = Make(15, "假无损", {"测试歌手"}, "格式测试", 20, "lhs");
    fake.tiers[2] = TierSpec{true, Codec::kMp3_320, "flac"};
    v.push_back(fake);
    Song caps = Make(16, "CAPS TYPE", {"Upper Case"}, "格式测试", 20, "lh");
    caps.tiers[0].type = "MP3";
    caps.tiers[1].type = "MP3";
    v.push_back(caps);
    Song nourl = Make(17, "空地址", {"测试歌手"}, "格式测试", 20, "lhs");
    nourl.empty_purl = true;
    v.push_back(nourl);
    v.push_back(Make(18, "Sixty Seconds", {"Mia Stone"}, "Long Play", 60, "lhs"));
    Song nocover = Make(19, "没有封面", {"陈一鸣"}, "城市之光", 21, "lh");
    nocover.has_cover = false;
    v.push_back(nocover);
    Song badcover = Make(20, "Broken Cover", {"Ethan Cole"}, "Night Drive", 20, "lh");
    badcover.cover_missing = true;
    v.push_back(badcover);
    Song nolyr = Make(21, "No Lyrics", {"Ethan Cole"}, "Night Drive", 20, "lhs");
    nolyr.has_lyrics = false;
    v.push_back(nolyr);
    v.push_back(Make(22, "很长很长的歌名用来测试列表里的截断显示", {"周杰伦与他的朋友们超级乐队合唱团"},
                     "一个非常非常长的专辑名字用于测试截断", 22, "lhs"));
    v.push_back(Make(23, "Emoji 🎵 Song", {"Unicode Tester"}, "Ｆｕｌｌｗｉｄｔｈ", 20, "lh"));
    v.push_back(Make(24, "A/B Test", {"Path Finder"}, "Slash/Album", 20, "lhs"));
    v.push_back(Make(25, "Time: 12:00", {"Clock Work"}, "Hours", 21, "lh"));
    v.push_back(Make(26, "Question?", {"Star Gazer"}, "Wildcards", 20, "lhs"));
    v.push_back(Make(27, "Pipe|Less<More>", {"Path Finder"}, "Escapes", 20, "lh"));
    v.push_back(Make(28, "三人行", {"甲", "乙", "丙"}, "合唱集", 23, "lhs"));
    v.push_back(Make(29, "Nickname", {"Jo \"JJ\" Lee"}, "Aliases", 20, "lh"));
    v.push_back(Make(30, "Mixed 中英 Title", {"苏晚晴", "Leo Park"}, "Crossover 跨界", 24, "lhs"));

    static const char* kChinese[] = {"城市夜曲", "星河漫步", "雨后彩虹", "海边的信", "旧时光",   "远方来信",
                                     "风吹麦浪", "夏夜晚风", "山间小路", "梦里花开", "秋日私语", "冬日暖阳"};
    static const char* kLatin[] = {"Summer Breeze", "Neon Dreams",  "Paper Boats",   "Silver Lining",
                                   "Slow Motion",   "Golden Hour",  "Open Road",     "Blue Hour",
                                   "Quiet Storm",   "Northern Sky", "Little Things", "Echoes"};
    static const char* kSingers[] = {"林小雨",   "周子墨",    "陈一鸣", "Nora Vale",
                                     "Leo Park", "Mia Stone", "苏晚晴", "Ethan Cole"};
    static const char* kAlbums[] = {"夏日信笺",    "城市之光", "First Steps",
                                    "Night Drive", "流浪记",   "Blue Notes"};
    for (int n = 0; n < 36; ++n) {
        int id = 31 + n;
        bool chinese = n % 2 == 0;
        int k = (n / 2) % 12;
        std::string title = chinese ? kChinese[k] : kLatin[k];
        if (n >= 24) title += chinese ? "（重制版）" : " (Demo Mix)";
        std::string_view tiers = id % 5 == 0 ? "lh" : id % 7 == 0 ? "l" : "lhs";
        v.push_back(Make(id, title, {kSingers[n % 8]}, kAlbums[n % 6], 20 + (id * 7) % 4, tiers));
    }
    // The high tier of this one is a 128K MP3 sent as 320K.
    Song lowRate = Make(67, "假高品", {"测试歌手"}, "格式测试", 20, "lh");
    lowRate.tiers[1] = TierSpec{true, Codec::kMp3_128, "mp3"};
    v.push_back(lowRate);
    return v;
}

std::vector<Playlist> BuildPlaylists() {
    std::vector<Playlist> v;
    // Its first song has an album with inner quotes; several have two or more singers.
    Playlist big{"wy", "7045", {5, 7, 8, 28, 29, 1, 2, 22, 9}};
    for (int id = 31; id <= 66; ++id) big.songs.push_back(id);
    v.push_back(big);
    v.push_back(Playlist{"wy", "7000", {}});
    v.push_back(Playlist{"qq", "8001", {1, 2, 3, 4, 7, 11, 12, 13, 14, 15, 16, 17}});
    v.push_back(Playlist{"kw", "2907", {5, 6, 9, 10, 18, 19, 20, 21, 23, 24}});
    v.push_back(Playlist{"kg", "1234567", {25, 26, 27, 28, 29, 30, 31, 32}});
    return v;
}

const char* const kLyricLines[] = {
    "风吹过街角的灯", "Walking down the empty road", "我们在夏天相遇", "Every light is calling home",
    "雨停了天空很蓝", "Hold on to the melody",       "慢慢走不要回头", "Sing it one more time",
};

}  // namespace

char TierLetter(Tier t) {
    switch (t) {
        case Tier::kStandard:
            return 'l';
        case Tier::kHigh:
            return 'h';
        case Tier::kLossless:
            return 's';
    }
    return 'l';
}

std::string Song::Time() const {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d", seconds / 60, seconds % 60);
    return buf;
}

std::string Song::Mid(Tier t) const {
    if (!tier(t).present) return {};
    char buf[16];
    std::snprintf(buf, sizeof buf, "M%04d%c", id, TierLetter(t));
    return buf;
}

std::string Song::Pmid(Tier t) const {
    if (!tier(t).present) return {};
    char buf[16];
    std::snprintf(buf, sizeof buf, "P%08x", Fnv1a(Mid(t) + "|pmid"));
    return buf;
}

std::string Song::AudioPath(Tier t) const {
    char buf[48];
    std::snprintf(buf, sizeof buf, "/audio/%04d-%c.%s", id, TierLetter(t), LowerAscii(tier(t).type).c_str());
    return buf;
}

std::string Song::CoverPath() const {
    char buf[32];
    std::snprintf(buf, sizeof buf, "/cover/%04d.jpg", cover_missing ? 9000 + id : id);
    return buf;
}

std::string Song::Lyrics() const {
    if (!has_lyrics) return {};
    std::string singer;
    for (const auto& s : singers) singer += (singer.empty() ? "" : "/") + s;
    std::string lrc = "[ti:" + title + "]\n[ar:" + singer + "]\n[al:" + album + "]\n[by:MorvaneMusic demo]\n";
    lrc += "[00:00.00]" + title + (singer.empty() ? "" : " - " + singer) + "\n";
    int n = 0;
    for (int t = 2; t < seconds - 1; t += 4, ++n) {
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "[%02d:%02d.%02d]", t / 60, t % 60, (id * 13 + n * 7) % 100);
        lrc += stamp;
        lrc += kLyricLines[(id + n) % 8];
        lrc += "\n";
    }
    return lrc;
}

std::string Song::AudioKey() const {
    std::string key = "synth1|lame-cbr-q7|flac5|" + std::to_string(id) + "|" + std::to_string(seconds);
    for (Tier t : kTiers) {
        key += "|";
        if (tier(t).present) key += std::to_string(static_cast<int>(tier(t).codec));
    }
    return key;
}

const std::vector<Song>& Songs() {
    static const std::vector<Song> songs = BuildSongs();
    return songs;
}

const Song* FindSong(int id) {
    const auto& songs = Songs();
    if (id < 1 || id > static_cast<int>(songs.size())) return nullptr;
    return &songs[id - 1];
}

bool ParseMid(std::string_view mid, int* id, Tier* tier) {
    if (mid.size() != 6 || mid[0] != 'M') return false;
    int n = 0;
    for (int i = 1; i <= 4; ++i) {
        if (mid[i] < '0' || mid[i] > '9') return false;
        n = n * 10 + (mid[i] - '0');
    }
    const Song* song = FindSong(n);
    if (!song) return false;
    for (Tier t : kTiers) {
        if (mid[5] == TierLetter(t) && song->tier(t).present) {
            *id = n;
            *tier = t;
            return true;
        }
    }
    return false;
}

const std::vector<Playlist>& Playlists() {
    static const std::vector<Playlist> lists = BuildPlaylists();
    return lists;
}

const Playlist* FindPlaylist(std::string_view service, std::string_view id) {
    // Codes are pasted by hand: spaces around them do not matter.
    while (!id.empty() && id.front() == ' ') id.remove_prefix(1);
    while (!id.empty() && id.back() == ' ') id.remove_suffix(1);
    for (const auto& p : Playlists()) {
        if (p.service == service && p.id == id) return &p;
    }
    return nullptr;
}

const std::vector<Source>& Sources() {
    // Each address holds its service code; "mg" belongs to no known service.
    static const std::vector<Source> sources = {
        {"wy", "网易云音乐"}, {"qq", "QQ音乐"}, {"kw", "酷我音乐"}, {"kg", "酷狗音乐"}, {"mg", "咪咕音乐"},
    };
    return sources;
}

bool IsSourceCode(std::string_view code) {
    for (const auto& s : Sources()) {
        if (s.code == code) return true;
    }
    return false;
}

const std::vector<ShareLink>& ShareLinks() {
    static const std::vector<ShareLink> links = {
        {"/share/qq/playlist", 200, ""},
        {"/share/qq/s/8001", 302, "/share/qq/playlist?id=8001"},
        {"/share/wy/playlist", 200, ""},
        {"/share/wy/s/7045", 301, "/share/wy/playlist?id=7045&userid=5"},
        {"/share/wy/s/7000", 302, "/share/wy/playlist?id=7000&userid=5"},
        {"/share/kw/playlist_detail/2907", 200, ""},
        {"/share/kw/s/2907", 302, "/share/kw/playlist_detail/2907?from=share"},
        {"/share/kg/playlist", 200, ""},
        {"/share/kg/s/1234567", 302, "/share/kg/playlist?code=1234567"},
    };
    return links;
}

const ShareLink* FindShareLink(std::string_view path) {
    for (const auto& l : ShareLinks()) {
        if (l.path == path) return &l;
    }
    return nullptr;
}

std::vector<int> MatchSongs(std::string_view keyword) {
    // "*N": long lists for load runs, every song over and over up to N rows.
    if (keyword.size() > 1 && keyword[0] == '*' &&
        keyword.find_first_not_of("0123456789", 1) == std::string_view::npos && keyword.size() <= 5) {
        const int rows = std::min(std::atoi(std::string(keyword.substr(1)).c_str()), kMaxRepeatedRows);
        const int songs = static_cast<int>(Songs().size());
        std::vector<int> ids;
        for (int i = 0; i < rows; ++i) ids.push_back(i % songs + 1);
        return ids;
    }
    std::string key = LowerAscii(keyword);
    bool all = key.find_first_not_of(" \t") == std::string::npos || key == "*" || key == "demo";
    std::vector<int> ids;
    for (const auto& s : Songs()) {
        bool hit = all || LowerAscii(s.title).find(key) != std::string::npos ||
                   LowerAscii(s.album).find(key) != std::string::npos;
        for (const auto& singer : s.singers) hit = hit || LowerAscii(singer).find(key) != std::string::npos;
        if (hit) ids.push_back(s.id);
    }
    return ids;
}

}  // namespace mm::democat
