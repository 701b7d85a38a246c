#pragma once
// How large each kind of catalogue reply may be. No real reply comes near
// these; a service that sends more (or misbehaves) is cut off at once, so one
// search cannot fill the memory with covers, and the reply takes the failure
// path of its kind.
#include <cstddef>

namespace mm::app {

inline constexpr std::size_t kCoverReplyCap = std::size_t{16} << 20;    // cover pictures
inline constexpr std::size_t kListReplyCap = std::size_t{32} << 20;     // search, playlist, source list
inline constexpr std::size_t kSmallReplyCap = std::size_t{1} << 20;     // track address, update notice

}  // namespace mm::app
