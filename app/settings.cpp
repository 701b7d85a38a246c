#include "app/settings.h"

#include <cstdlib>

#include "app/app_context.h"
#include "app/control_names.h"
#include "platform/sys/files.h"
#include "platform/sys/ini_store.h"

namespace mm::app {

void LoadSettings(AppContext& ctx) {
    sys::IniStore ini(ctx.configPath);
    auto& ui = ctx.ui;
    ui.setText(kLabelSavePath, ini.Read(kSectionSaveFolder, kKeySaveFolder));

    std::string naming = ini.Read(kSectionOther, kKeyNaming);
    int scheme = naming == "1" ? 1 : naming == "2" ? 2 : 0;
    ui.setChecked(kRadioNaming1, scheme == 0);
    ui.setChecked(kRadioNaming2, scheme == 1);
    ui.setChecked(kRadioNaming3, scheme == 2);

    // Only the exact text "0" turns a flag off.
    ui.setChecked(kCheckEmbed, ini.Read(kSectionOther, kKeyEmbed) != "0");
    ui.setChecked(kCheckListenDownload, ini.Read(kSectionOther, kKeyListenDownload) != "0");
    ui.setChecked(kCheckDesktopNotices, ini.Read(kSectionDesktop, kKeyDesktopNotices) != "0");

    ui.clearCombo(kParallelCombo);
    for (int n = 1; n <= kMaxParallel; ++n) ui.addComboItem(kParallelCombo, {"", std::to_string(n), 0, n});
    // Anything but a number in range (a missing key included) is the default.
    const std::string parallel = ini.Read(kSectionDownloads, kKeyParallel);
    char* end = nullptr;
    long n = std::strtol(parallel.c_str(), &end, 10);
    if (parallel.empty() || *end != '\0' || n < 1 || n > kMaxParallel) n = kMaxParallel;
    ui.setSelection(kParallelCombo, static_cast<int>(n) - 1);
    ui.setChecked(kCheckSkipDownloaded, ini.Read(kSectionDownloads, kKeySkipDownloaded) != "0");
}

void StoreSaveFolder(AppContext& ctx) {
    sys::IniStore(ctx.configPath).Write(kSectionSaveFolder, kKeySaveFolder, ctx.ui.text(kLabelSavePath));
}

void StoreNamingScheme(AppContext& ctx, int scheme) {
    sys::IniStore(ctx.configPath).Write(kSectionOther, kKeyNaming, std::to_string(scheme));
}

void StoreEmbedFlag(AppContext& ctx) {
    sys::IniStore(ctx.configPath).Write(kSectionOther, kKeyEmbed, ctx.ui.checked(kCheckEmbed) ? "1" : "0");
}

void StoreListenDownloadFlag(AppContext& ctx) {
    sys::IniStore(ctx.configPath)
        .Write(kSectionOther, kKeyListenDownload, ctx.ui.checked(kCheckListenDownload) ? "1" : "0");
}

void StoreDesktopNoticesFlag(AppContext& ctx) {
    sys::IniStore(ctx.configPath)
        .Write(kSectionDesktop, kKeyDesktopNotices, ctx.ui.checked(kCheckDesktopNotices) ? "1" : "0");
}

void StoreParallelDownloads(AppContext& ctx) {
    sys::IniStore(ctx.configPath).Write(kSectionDownloads, kKeyParallel, std::to_string(ParallelDownloads(ctx)));
}

void StoreSkipDownloadedFlag(AppContext& ctx) {
    sys::IniStore(ctx.configPath)
        .Write(kSectionDownloads, kKeySkipDownloaded, ctx.ui.checked(kCheckSkipDownloaded) ? "1" : "0");
}

std::string SaveFolder(AppContext& ctx) { return ctx.ui.text(kLabelSavePath); }

int NamingScheme(AppContext& ctx) {
    if (ctx.ui.checked(kRadioNaming2)) return 1;
    if (ctx.ui.checked(kRadioNaming3)) return 2;
    return 0;
}

bool EmbedTags(AppContext& ctx) { return ctx.ui.checked(kCheckEmbed); }
bool ListenAndDownload(AppContext& ctx) { return ctx.ui.checked(kCheckListenDownload); }
bool DesktopNotices(AppContext& ctx) { return ctx.ui.checked(kCheckDesktopNotices); }

int ParallelDownloads(AppContext& ctx) {
    const int sel = ctx.ui.selection(kParallelCombo);
    return sel < 0 || sel >= kMaxParallel ? kMaxParallel : sel + 1;
}

bool SkipDownloaded(AppContext& ctx) { return ctx.ui.checked(kCheckSkipDownloaded); }

void ApplyParallelDownloads(AppContext& ctx) { ctx.downloadPool.SetMaxWorkers(ParallelDownloads(ctx)); }

std::string DefaultConfigPath() { return sys::ConfigHome() + "/morvane-music/config.ini"; }

std::string DefaultDataDir() { return sys::DataHome() + "/morvane-music"; }

}  // namespace mm::app
