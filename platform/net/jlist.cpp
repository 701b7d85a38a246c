#include "platform/net/jlist.h"

#include "platform/net/jmap.h"
#include "platform/net/json_path.h"

namespace mm::net {

using detail::Json;

int JList::Count() const {
    return node_ != nullptr ? static_cast<int>(node_->size()) : 0;
}

const Json* JList::at(int index, std::string_view member) const {
    if (node_ == nullptr || index < 1 || static_cast<size_t>(index) > node_->size()) return nullptr;
    const Json& item = (*node_)[static_cast<size_t>(index) - 1];
    return member.empty() ? &item : detail::resolve(item, member);
}

std::string JList::GetString(int index, std::string_view member) const {
    return detail::asString(at(index, member));
}
std::int64_t JList::GetInt(int index, std::string_view member) const {
    return detail::asInt(at(index, member));
}
double JList::GetDouble(int index, std::string_view member) const {
    return detail::asDouble(at(index, member));
}
bool JList::GetBool(int index, std::string_view member) const {
    return detail::asBool(at(index, member));
}

std::string JList::GetString(std::string_view path) const {
    return node_ != nullptr ? detail::asString(detail::resolve(*node_, path)) : std::string();
}
std::int64_t JList::GetInt(std::string_view path) const {
    return node_ != nullptr ? detail::asInt(detail::resolve(*node_, path)) : 0;
}

bool JList::GetList(int index, std::string_view member, JList& out) const {
    const Json* v = at(index, member);
    if (v == nullptr || !v->is_array()) {
        out = JList();
        return false;
    }
    // out may be this list: keep the document alive across the assignment.
    auto root = root_;
    out.root_ = std::move(root);
    out.node_ = v;
    return true;
}

bool JList::GetList(std::string_view path, JList& out) const {
    const Json* v = node_ != nullptr ? detail::resolve(*node_, path) : nullptr;
    if (v == nullptr || !v->is_array()) {
        out = JList();
        return false;
    }
    auto root = root_;
    out.root_ = std::move(root);
    out.node_ = v;
    return true;
}

bool JList::GetMap(int index, JMap& out) const {
    const Json* v = at(index, {});
    if (v == nullptr || !v->is_object()) {
        out.Clear();
        return false;
    }
    out.root_ = std::make_shared<Json>(*v);
    return true;
}

std::string JList::ToJSON() const {
    return node_ != nullptr ? detail::dump(*node_) : "[]";
}

}  // namespace mm::net
