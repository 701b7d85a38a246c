#pragma once
// Custom file names: a template such as "{singer}/{album}/{title} - {singer}"
// whose fields are filled from a track, "/" making sub-folders inside the save
// folder. Pure functions: no files are touched here.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace mm::download {

// What a template is filled with.
struct TemplateFields {
    std::string title;
    std::string singer;
    std::string album;
    int tier = 0;        // 0 标准, 1 高品, 2 无损
    std::string source;  // the service the track came from
    std::string index;   // the row number as the list shows it ("01")
};

// The text a field stands in for when its value is empty.
inline constexpr const char* kUnknownField = "未知";

// "标准", "高品", "无损" for tiers 0, 1, 2 (anything else counts as 0).
std::string TierName(int tier);

// Why a template cannot be used; an empty message means it can.
struct TemplateCheck {
    bool ok = false;
    std::string message;
};
// Refuses templates that could put a file anywhere but below the save folder
// (an absolute path, "." or ".." as a folder, an empty folder or file name,
// an empty template), unknown fields and braces that open none, and literal
// characters the file-name filter would not let through.
TemplateCheck CheckTemplate(std::string_view tmpl);

struct TemplateName {
    std::string folder;        // sub-folders inside the save folder, each ending in "/"; "" for none
    std::string base;          // the file name without its extension
    bool albumFolder = false;  // one of the folders is named after the album
};
// Fills a template. Each field value is trimmed of blanks and passed through
// the file-name filter, so no value can make or leave a folder; an empty value
// reads "未知". Folder names longer than maxNameBytes are cut at a character
// boundary (the file name is fitted later, with its extension). nullopt when
// CheckTemplate refuses the template.
std::optional<TemplateName> ExpandTemplate(std::string_view tmpl, const TemplateFields& fields,
                                           std::size_t maxNameBytes = 255);

// The song the settings page shows a template's name with.
TemplateFields ExampleFields();
// "示例：周杰伦/叶惠美/晴天 - 周杰伦.mp3", or the reason the template is refused.
std::string ExampleText(std::string_view tmpl);

}  // namespace mm::download
