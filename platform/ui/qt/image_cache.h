#pragma once
// Decoded pictures for the GUI thread: named images of the control model
// (cached until the name is re-registered) and raw image bytes.
#include <QPixmap>
#include <map>
#include <string>
#include <string_view>

#include "platform/ui/control_model.h"

namespace mm::ui::qt {

class ImageCache {
public:
    explicit ImageCache(ControlModel& model) : model_(model) {}

    // The model's image of that name; a null pixmap for an unknown name or bad bytes.
    QPixmap named(const std::string& name);
    void invalidate(const std::string& name) { cache_.erase(name); }

    static QPixmap fromBytes(std::string_view bytes);
    // Fits a pixmap into a box (keeping its aspect), never enlarging it.
    static QPixmap fitted(const QPixmap& pm, QSize box);

private:
    ControlModel& model_;
    std::map<std::string, QPixmap> cache_;
};

}  // namespace mm::ui::qt
