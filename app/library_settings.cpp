#include "app/library_settings.h"

#include <array>

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/settings.h"
#include "download/name_template.h"
#include "platform/sys/ini_store.h"

namespace mm::app {

namespace {

using ui::Event;
using ui::EventType;

// Combo items and the values stored for them, in item order.
struct Choice {
    const char* value;
    const char* text;
};
constexpr std::array<Choice, 3> kLyricsEncodings{{
    {"UTF-8", "UTF-8"},
    {"UTF-8-BOM", "UTF-8 (带 BOM)"},
    {"GBK", "GBK (旧车载播放器)"},
}};
constexpr std::array<Choice, 3> kTagEncodings{{
    {"GBK", "GBK (兼容旧播放器)"},
    {"UTF-16", "Unicode (UTF-16)"},
    {"ID3v2.4", "ID3v2.4 UTF-8"},
}};

template <std::size_t N>
int ChoiceIndex(const std::array<Choice, N>& choices, const std::string& value) {
    for (std::size_t i = 0; i < N; ++i) {
        if (value == choices[i].value) return static_cast<int>(i);
    }
    return 0;  // the first one is the default
}

template <std::size_t N>
void FillCombo(AppContext& ctx, const char* combo, const std::array<Choice, N>& choices) {
    ctx.ui.clearCombo(combo);
    for (const Choice& c : choices) ctx.ui.addComboItem(combo, {"", c.text, 0, 0});
}

sys::IniStore Ini(AppContext& ctx) {
    return sys::IniStore(ctx.configPath);
}

bool Valid(const std::string& tmpl) {
    return download::CheckTemplate(tmpl).ok;
}

// The radio button of the naming scheme stored under the Parts' key.
const char* SchemeRadio(AppContext& ctx) {
    std::string scheme = Ini(ctx).Read(kSectionOther, kKeyNaming);
    return scheme == "1" ? kRadioNaming2 : scheme == "2" ? kRadioNaming3 : kRadioNaming1;
}

void CheckOnly(AppContext& ctx, const char* radio) {
    for (const char* r : {kRadioNaming1, kRadioNaming2, kRadioNaming3, kRadioNaming4}) {
        ctx.ui.setChecked(r, std::string(r) == radio);
    }
}

void TemplateTyped(AppContext& ctx) {
    const std::string tmpl = ctx.ui.text(kEditNameTemplate);
    ctx.ui.setText(kLabelNameExample, download::ExampleText(tmpl));
    // A refused template is shown with its reason and never stored.
    if (Valid(tmpl)) Ini(ctx).Write(kSectionNaming, kKeyNameTemplate, tmpl);
}

void CustomClicked(AppContext& ctx) {
    const std::string typed = ctx.ui.text(kEditNameTemplate);
    if (!Valid(typed) && !Valid(Ini(ctx).Read(kSectionNaming, kKeyNameTemplate))) {
        // Nothing usable to name files with: the scheme stays, the reason shows.
        CheckOnly(ctx, SchemeRadio(ctx));
        ctx.ui.setText(kLabelNameExample, download::ExampleText(typed));
        return;
    }
    CheckOnly(ctx, kRadioNaming4);
    if (Valid(typed)) Ini(ctx).Write(kSectionNaming, kKeyNameTemplate, typed);
    Ini(ctx).Write(kSectionNaming, kKeyCustomNaming, "1");
}

template <std::size_t N>
void StoreChoice(AppContext& ctx, const char* combo, const std::array<Choice, N>& choices,
                 const char* section, const char* key) {
    int i = ctx.ui.selection(combo);
    if (i < 0 || i >= static_cast<int>(N)) return;
    Ini(ctx).Write(section, key, choices[static_cast<std::size_t>(i)].value);
}

void StoreFlag(AppContext& ctx, const char* control, const char* section, const char* key) {
    Ini(ctx).Write(section, key, ctx.ui.checked(control) ? "1" : "0");
}

}  // namespace

void LoadLibrarySettings(AppContext& ctx) {
    sys::IniStore ini = Ini(ctx);
    auto& ui = ctx.ui;
    std::string tmpl = ini.Read(kSectionNaming, kKeyNameTemplate);
    if (tmpl.empty()) tmpl = kDefaultNameTemplate;
    ui.setText(kEditNameTemplate, tmpl);
    ui.setText(kLabelNameExample, download::ExampleText(tmpl));
    // Only "1" turns custom naming on, and only with a template that can be
    // used; otherwise the scheme of the Parts' key stays checked.
    bool custom = ini.Read(kSectionNaming, kKeyCustomNaming) == "1" && Valid(tmpl);
    if (custom)
        CheckOnly(ctx, kRadioNaming4);
    else
        ui.setChecked(kRadioNaming4, false);

    ui.setChecked(kCheckLyricsFile, ini.Read(kSectionLyricsFile, kKeyLyricsFileOn) == "1");
    FillCombo(ctx, kComboLyricsEncoding, kLyricsEncodings);
    ui.setSelection(kComboLyricsEncoding,
                    ChoiceIndex(kLyricsEncodings, ini.Read(kSectionLyricsFile, kKeyLyricsFileEncoding)));
    FillCombo(ctx, kComboTagEncoding, kTagEncodings);
    ui.setSelection(kComboTagEncoding, ChoiceIndex(kTagEncodings, ini.Read(kSectionTags, kKeyTagEncoding)));
    ui.setChecked(kCheckFolderCover, ini.Read(kSectionTags, kKeyFolderCover) == "1");
}

void RegisterLibrarySettingsHandlers(AppContext& ctx) {
    auto& ev = ctx.events;
    ev.on(kEditNameTemplate, EventType::TextChanged, [&ctx](const Event&) { TemplateTyped(ctx); });
    ev.on(kRadioNaming4, EventType::Click, [&ctx](const Event&) { CustomClicked(ctx); });
    ev.on(kCheckLyricsFile, EventType::Click,
          [&ctx](const Event&) { StoreFlag(ctx, kCheckLyricsFile, kSectionLyricsFile, kKeyLyricsFileOn); });
    ev.on(kComboLyricsEncoding, EventType::ComboChanged, [&ctx](const Event&) {
        StoreChoice(ctx, kComboLyricsEncoding, kLyricsEncodings, kSectionLyricsFile, kKeyLyricsFileEncoding);
    });
    ev.on(kComboTagEncoding, EventType::ComboChanged, [&ctx](const Event&) {
        StoreChoice(ctx, kComboTagEncoding, kTagEncodings, kSectionTags, kKeyTagEncoding);
    });
    ev.on(kCheckFolderCover, EventType::Click,
          [&ctx](const Event&) { StoreFlag(ctx, kCheckFolderCover, kSectionTags, kKeyFolderCover); });
}

void CustomNamingOff(AppContext& ctx) {
    bool wasOn = ctx.ui.checked(kRadioNaming4);
    ctx.ui.setChecked(kRadioNaming4, false);
    // The key is written only when it changes, so a user who never chose a
    // template never gets its section.
    if (wasOn || Ini(ctx).Read(kSectionNaming, kKeyCustomNaming) == "1") {
        Ini(ctx).Write(kSectionNaming, kKeyCustomNaming, "0");
    }
}

std::string NameTemplate(AppContext& ctx) {
    if (!ctx.ui.checked(kRadioNaming4)) return {};
    std::string typed = ctx.ui.text(kEditNameTemplate);
    if (Valid(typed)) return typed;
    std::string stored = Ini(ctx).Read(kSectionNaming, kKeyNameTemplate);
    return Valid(stored) ? stored : std::string();
}

bool SaveLyricsFile(AppContext& ctx) {
    return ctx.ui.checked(kCheckLyricsFile);
}

tags::LrcEncoding LyricsFileEncoding(AppContext& ctx) {
    switch (ctx.ui.selection(kComboLyricsEncoding)) {
        case 1:
            return tags::LrcEncoding::kUtf8Bom;
        case 2:
            return tags::LrcEncoding::kGbk;
        default:
            return tags::LrcEncoding::kUtf8;
    }
}

tags::Id3TextEncoding TagTextEncoding(AppContext& ctx) {
    switch (ctx.ui.selection(kComboTagEncoding)) {
        case 1:
            return tags::Id3TextEncoding::kUtf16;
        case 2:
            return tags::Id3TextEncoding::kUtf8V24;
        default:
            return tags::Id3TextEncoding::kGbk;
    }
}

bool WriteFolderCover(AppContext& ctx) {
    return ctx.ui.checked(kCheckFolderCover);
}

}  // namespace mm::app
