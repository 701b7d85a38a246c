#include "download/name_template.h"

#include <array>
#include <vector>

#include "download/file_naming.h"

namespace mm::download {

namespace {

constexpr std::array<std::string_view, 6> kFieldNames = {"title", "singer", "album",
                                                         "tier",  "source", "index"};
constexpr const char* kFieldList = "{title} {singer} {album} {tier} {source} {index}";
// What the file-name filter replaces, and so what a template may not hold as
// literal text ("/" separates folders instead).
constexpr std::string_view kForbidden = "\\\":<>|*?";

constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";
constexpr std::string_view kNoBreakSpace = "\xC2\xA0";

bool AsciiBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view TrimView(std::string_view s) {
    for (;;) {
        if (!s.empty() && AsciiBlank(s.front())) {
            s.remove_prefix(1);
        } else if (s.starts_with(kIdeographicSpace)) {
            s.remove_prefix(kIdeographicSpace.size());
        } else if (s.starts_with(kNoBreakSpace)) {
            s.remove_prefix(kNoBreakSpace.size());
        } else {
            break;
        }
    }
    for (;;) {
        if (!s.empty() && AsciiBlank(s.back())) {
            s.remove_suffix(1);
        } else if (s.ends_with(kIdeographicSpace)) {
            s.remove_suffix(kIdeographicSpace.size());
        } else if (s.ends_with(kNoBreakSpace)) {
            s.remove_suffix(kNoBreakSpace.size());
        } else {
            break;
        }
    }
    return s;
}

// One piece of a folder or file name: literal text, or a field.
struct Piece {
    bool field = false;
    std::string text;  // the literal text, or the field's name
};
using Component = std::vector<Piece>;

struct Parsed {
    TemplateCheck check;
    std::vector<Component> components;  // folders first, the file name last
};

TemplateCheck Refused(std::string message) {
    return TemplateCheck{false, std::move(message)};
}

bool KnownField(std::string_view name) {
    for (std::string_view f : kFieldNames) {
        if (f == name) return true;
    }
    return false;
}

// Splits one folder or file name into pieces; sets check when it is refused.
Component ParseComponent(std::string_view raw, TemplateCheck& check) {
    Component out;
    std::string literal;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (c == '{') {
            std::size_t close = raw.find('}', i + 1);
            std::size_t nextOpen = raw.find('{', i + 1);
            if (close == std::string_view::npos || (nextOpen != std::string_view::npos && nextOpen < close)) {
                check = Refused(std::string("命名模板里的 { 没有配对的 }。可用字段：") + kFieldList);
                return {};
            }
            std::string_view name = raw.substr(i + 1, close - i - 1);
            if (!KnownField(name)) {
                check = Refused("未知字段 {" + std::string(name) + "}。可用字段：" + kFieldList);
                return {};
            }
            if (!literal.empty()) out.push_back({false, std::move(literal)});
            literal.clear();
            out.push_back({true, std::string(name)});
            i = close;
        } else if (c == '}') {
            check = Refused(std::string("命名模板里的 } 没有配对的 {。可用字段：") + kFieldList);
            return {};
        } else if (kForbidden.find(c) != std::string_view::npos) {
            check = Refused(std::string("命名模板里不能有字符 ") + c + " ，文件名里不允许它。");
            return {};
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            check = Refused("命名模板里不能有控制字符。");
            return {};
        } else {
            literal += c;
        }
    }
    if (!literal.empty()) out.push_back({false, std::move(literal)});
    return out;
}

Parsed Parse(std::string_view tmpl) {
    Parsed p;
    p.check.ok = true;
    if (TrimView(tmpl).empty()) {
        p.check = Refused("命名模板不能为空。");
        return p;
    }
    if (TrimView(tmpl).front() == '/') {
        p.check = Refused("命名模板不能以 / 开头：歌曲只能存进下载目录。");
        return p;
    }
    std::size_t start = 0;
    for (;;) {
        std::size_t slash = tmpl.find('/', start);
        std::string_view raw =
            tmpl.substr(start, slash == std::string_view::npos ? tmpl.npos : slash - start);
        std::string_view trimmed = TrimView(raw);
        if (trimmed == "." || trimmed == "..") {
            p.check = Refused("命名模板里不能有 . 或 .. 文件夹：歌曲只能存进下载目录。");
            return p;
        }
        if (trimmed.empty()) {
            p.check = Refused("命名模板里有空的文件夹名或文件名（连续的 / 或结尾的 /）。");
            return p;
        }
        p.components.push_back(ParseComponent(raw, p.check));
        if (!p.check.ok) return p;
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    return p;
}

std::string FieldValue(const std::string& name, const TemplateFields& f) {
    std::string value;
    if (name == "title")
        value = f.title;
    else if (name == "singer")
        value = f.singer;
    else if (name == "album")
        value = f.album;
    else if (name == "tier")
        value = TierName(f.tier);
    else if (name == "source")
        value = f.source;
    else if (name == "index")
        value = f.index;
    std::string filtered = FileNamePart(std::string(TrimView(value)));
    // The filter may have turned blanks at an end into something else, or
    // left new blanks there; trim once more so the name is what it shows.
    filtered = std::string(TrimView(filtered));
    return filtered.empty() ? std::string(kUnknownField) : filtered;
}

// A name made only of the values: never empty, never "." or "..", never hidden.
std::string SafeComponent(std::string name) {
    name = std::string(TrimView(name));
    if (name.empty()) return kUnknownField;
    return VisibleName(name);
}

}  // namespace

std::string TierName(int tier) {
    switch (tier) {
        case 1:
            return "高品";
        case 2:
            return "无损";
        default:
            return "标准";
    }
}

TemplateCheck CheckTemplate(std::string_view tmpl) {
    return Parse(tmpl).check;
}

std::optional<TemplateName> ExpandTemplate(std::string_view tmpl, const TemplateFields& fields,
                                           std::size_t maxNameBytes) {
    Parsed p = Parse(tmpl);
    if (!p.check.ok) return std::nullopt;
    TemplateName out;
    for (std::size_t i = 0; i < p.components.size(); ++i) {
        std::string name;
        bool usesAlbum = false;
        for (const Piece& piece : p.components[i]) {
            if (piece.field) {
                name += FieldValue(piece.text, fields);
                usesAlbum = usesAlbum || piece.text == "album";
            } else {
                name += piece.text;
            }
        }
        name = SafeComponent(std::move(name));
        if (i + 1 < p.components.size()) {
            out.folder += FitName(name, "", maxNameBytes) + "/";
            out.albumFolder = out.albumFolder || usesAlbum;
        } else {
            out.base = std::move(name);
        }
    }
    return out;
}

TemplateFields ExampleFields() {
    TemplateFields f;
    f.title = "晴天";
    f.singer = "周杰伦";
    f.album = "叶惠美";
    f.tier = 1;
    f.source = "QQ音乐";
    f.index = "01";
    return f;
}

std::string ExampleText(std::string_view tmpl) {
    Parsed p = Parse(tmpl);
    if (!p.check.ok) return p.check.message;
    auto name = ExpandTemplate(tmpl, ExampleFields());
    return "示例：" + name->folder + name->base + ".mp3";
}

}  // namespace mm::download
