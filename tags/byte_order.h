#pragma once
// Integer fields of tag formats. Callers check the bounds before reading.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mm::tags::bytes {

inline uint8_t u8(std::string_view b, size_t at) {
    return static_cast<uint8_t>(b[at]);
}

inline uint32_t be16(std::string_view b, size_t at) {
    return (u8(b, at) << 8) | u8(b, at + 1);
}
inline uint32_t be24(std::string_view b, size_t at) {
    return (uint32_t{u8(b, at)} << 16) | (uint32_t{u8(b, at + 1)} << 8) | u8(b, at + 2);
}
inline uint32_t be32(std::string_view b, size_t at) {
    return (uint32_t{u8(b, at)} << 24) | (uint32_t{u8(b, at + 1)} << 16) | (uint32_t{u8(b, at + 2)} << 8) |
           u8(b, at + 3);
}
inline uint32_t le32(std::string_view b, size_t at) {
    return (uint32_t{u8(b, at + 3)} << 24) | (uint32_t{u8(b, at + 2)} << 16) |
           (uint32_t{u8(b, at + 1)} << 8) | u8(b, at);
}
// Four 7-bit groups, high group first; the top bit of each byte is ignored.
inline uint32_t syncsafe32(std::string_view b, size_t at) {
    return (uint32_t{u8(b, at) & 0x7Fu} << 21) | (uint32_t{u8(b, at + 1) & 0x7Fu} << 14) |
           (uint32_t{u8(b, at + 2) & 0x7Fu} << 7) | (u8(b, at + 3) & 0x7Fu);
}

inline void putBe24(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>((v >> 16) & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
    out.push_back(static_cast<char>(v & 0xFF));
}
inline void putBe32(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>((v >> 24) & 0xFF));
    putBe24(out, v);
}
inline void putLe32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
inline void putSyncsafe32(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>((v >> 21) & 0x7F));
    out.push_back(static_cast<char>((v >> 14) & 0x7F));
    out.push_back(static_cast<char>((v >> 7) & 0x7F));
    out.push_back(static_cast<char>(v & 0x7F));
}

}  // namespace mm::tags::bytes
