#include "app/images.h"

#include <string>

#include "app/app_context.h"
#include "resources/resources.h"
#include "support/image.h"

namespace mm::app {

const char* TierBadge(int tier) {
    if (tier == 2) return kImgBadgeLossless;
    if (tier == 1) return kImgBadgeHigh;
    return kImgBadgeStandard;
}

namespace {

struct Alias {
    const char* name;
    const char* file;
};

// Pictures whose role name differs from their file's name.
constexpr Alias kAliases[] = {
    {kImgServiceNetEase, "logo_netease.png"}, {kImgServiceQQ, "logo_qq.png"},
    {kImgServiceKuwo, "logo_kuwo.png"},       {kImgServiceKugou, "logo_kugou.png"},
    {kImgServiceOther, "source_generic.png"},
};

std::string Stem(std::string_view file) {
    auto dot = file.rfind('.');
    return std::string(file.substr(0, dot));
}

}  // namespace

std::string Thumbnail(const std::string& bytes, int width, int height) {
    auto png = support::MakeThumbnail(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), width,
        height);
    return std::string(png.begin(), png.end());
}

void LoadImages(AppContext& ctx) {
    for (std::string_view file : ResourceNames()) ctx.ui.registerImage(Stem(file), std::string(Resource(file)));
    for (const Alias& a : kAliases) ctx.ui.registerImage(a.name, std::string(Resource(a.file)));
    ctx.ui.registerImage(kImgDefaultCover, Thumbnail(std::string(Resource("default_cover.png")), 80, 80));
}

void FreeImages(AppContext& ctx) {
    for (const std::string& name : ctx.ui.imageNames()) ctx.ui.destroyImage(name);
}

}  // namespace mm::app
