#include "tags/tag_request.h"

namespace mm::tags {

const std::string& TagRequest::slot(int n) const {
    static const std::string kNone;
    if (n < 1 || n > kSlotCount) return kNone;
    return slots_[n];
}

bool TagRequest::setSlot(int n, std::string value) {
    if (n < 1 || n > kSlotCount) return false;
    slots_[n] = std::move(value);
    return true;
}

bool TagRequest::empty() const {
    for (int n = 1; n <= kSlotCount; ++n) {
        if (!slots_[n].empty()) return false;
    }
    return pictureMime_.empty();
}

void TagRequest::clear() {
    for (auto& s : slots_) s.clear();
    pictureMime_.clear();
}

}  // namespace mm::tags
