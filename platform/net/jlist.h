#pragma once
// A JSON list taken from a JMap or another list. Items are counted from 1.
// A list keeps the document it came from alive; it never changes.
#include <cstdint>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>

namespace mm::net {

class JMap;

class JList {
  public:
    int Count() const;

    // Item index itself when member is empty, else a member (or a "//" path)
    // of that item. Conversions as for JMap; "", 0, false when missing.
    std::string GetString(int index, std::string_view member = {}) const;
    std::int64_t GetInt(int index, std::string_view member = {}) const;
    double GetDouble(int index, std::string_view member = {}) const;
    bool GetBool(int index, std::string_view member = {}) const;
    // A path over the list itself, e.g. "//[2].singer" or "//[1].quality.h.mid".
    std::string GetString(std::string_view path) const;
    std::int64_t GetInt(std::string_view path) const;

    bool GetList(int index, std::string_view member, JList& out) const;
    bool GetList(std::string_view path, JList& out) const;
    // Item index as a table; false when it is not an object.
    bool GetMap(int index, JMap& out) const;

    std::string ToJSON() const;

  private:
    friend class JMap;
    const nlohmann::ordered_json* at(int index, std::string_view member) const;

    std::shared_ptr<const nlohmann::ordered_json> root_;
    const nlohmann::ordered_json* node_ = nullptr;
};

}  // namespace mm::net
