// Reply parsing: any bytes into JMap, then the lookups a reply goes through.
// The first line of the input is taken as a path expression, the rest as JSON.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/net/jmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view in(reinterpret_cast<const char*>(data), size);
    const size_t eol = in.find('\n');
    const std::string_view path = eol == std::string_view::npos ? std::string_view() : in.substr(0, eol);
    const std::string_view json = eol == std::string_view::npos ? in : in.substr(eol + 1);

    mm::net::JMap m;
    if (!m.FromJSON(json)) return 0;
    (void)m.GetString(path);
    (void)m.GetInt(path);
    (void)m.GetDouble(path);
    (void)m.GetBool(path);
    (void)m.GetString("//code");
    (void)m.GetString("//data[1].quality.h.mid");
    mm::net::JList list;
    if (m.GetList(path, list) || m.GetList("//data", list)) {
        for (int i = 0; i <= list.Count() + 1 && i < 64; ++i) {
            (void)list.GetString(i);
            (void)list.GetDouble(i, "quality.l.size");
            (void)list.GetString(i, "//singer[1]");
        }
        (void)list.GetString(path);
        (void)list.ToJSON();
    }
    const std::string out = m.ToJSON();
    mm::net::JMap again;
    if (!again.FromJSON(out)) __builtin_trap();  // what we write we must read back
    return 0;
}
