# Writes OUT: a C++ file holding every PNG of IN_DIR as a byte array and a
# sorted table of their names (cmake -DIN_DIR=... -DOUT=... -P embed.cmake).
file(GLOB pngs RELATIVE ${IN_DIR} ${IN_DIR}/*.png)
list(SORT pngs)
set(body "// Generated from resources/*.png by resources/embed.cmake. Do not edit.\n")
string(APPEND body "#include \"resources/resources.h\"\n\n#include <algorithm>\n#include <array>\n\nnamespace {\n\n")
set(table "")
set(i 0)
foreach(png ${pngs})
  file(READ ${IN_DIR}/${png} hex HEX)
  string(LENGTH "${hex}" hexlen)
  math(EXPR size "${hexlen} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
  string(APPEND body "const unsigned char data${i}[${size}] = {\n${bytes}};\n\n")
  string(APPEND table "    Entry{\"${png}\", data${i}, ${size}},\n")
  math(EXPR i "${i} + 1")
endforeach()
string(APPEND body "struct Entry {\n    std::string_view name;\n    const unsigned char* data;\n    std::size_t size;\n};\n\n")
string(APPEND body "const std::array<Entry, ${i}> kEntries = {{\n${table}}};\n\n}  // namespace\n\n")
string(APPEND body [=[
namespace mm {

std::string_view Resource(std::string_view name) {
    auto it = std::lower_bound(kEntries.begin(), kEntries.end(), name,
                               [](const Entry& e, std::string_view n) { return e.name < n; });
    if (it == kEntries.end() || it->name != name) return {};
    return {reinterpret_cast<const char*>(it->data), it->size};
}

const std::vector<std::string_view>& ResourceNames() {
    static const std::vector<std::string_view> names = [] {
        std::vector<std::string_view> v;
        for (const Entry& e : kEntries) v.push_back(e.name);
        return v;
    }();
    return names;
}

}  // namespace mm
]=])
file(WRITE ${OUT}.tmp "${body}")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.tmp)
