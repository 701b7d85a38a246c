#include "platform/ui/qt/image_cache.h"

namespace mm::ui::qt {

QPixmap ImageCache::named(const std::string& name) {
    if (name.empty()) return {};
    auto it = cache_.find(name);
    if (it != cache_.end()) return it->second;
    QPixmap pm = fromBytes(model_.image(name));
    cache_.emplace(name, pm);
    return pm;
}

QPixmap ImageCache::fromBytes(std::string_view bytes) {
    QPixmap pm;
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT32_MAX)) return pm;
    pm.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<uint>(bytes.size()));
    return pm;
}

QPixmap ImageCache::fitted(const QPixmap& pm, QSize box) {
    if (pm.isNull() || (pm.width() <= box.width() && pm.height() <= box.height())) return pm;
    return pm.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

}  // namespace mm::ui::qt
