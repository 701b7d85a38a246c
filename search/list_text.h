#pragma once
// Text rules of the result list: row numbers, shortened cells, trimmed fields.
#include <cstddef>
#include <string>
#include <string_view>

namespace mm::search {

// Leading and trailing ASCII spaces and full-width spaces (U+3000) removed.
std::string TrimBlanks(std::string_view text);

// "01" … "09", then "10", "11", …
std::string RowNumber(int row);

// A text wider than limit GBK bytes keeps its first limit + (width mod 2)
// bytes, followed by "...". Widths are GBK widths; a character that would be
// split is left out whole.
std::string ShortenForCell(std::string_view text, std::size_t limit);

inline constexpr std::size_t kSingerCellBytes = 24;
inline constexpr std::size_t kAlbumCellBytes = 20;

}  // namespace mm::search
