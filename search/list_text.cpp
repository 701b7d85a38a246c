#include "search/list_text.h"

#include "platform/sys/text_encoding.h"

namespace mm::search {
namespace {

constexpr std::string_view kFullWidthSpace = "\xE3\x80\x80";

}  // namespace

std::string TrimBlanks(std::string_view text) {
    for (;;) {
        if (!text.empty() && text.front() == ' ') {
            text.remove_prefix(1);
        } else if (text.starts_with(kFullWidthSpace)) {
            text.remove_prefix(kFullWidthSpace.size());
        } else {
            break;
        }
    }
    for (;;) {
        if (!text.empty() && text.back() == ' ') {
            text.remove_suffix(1);
        } else if (text.ends_with(kFullWidthSpace)) {
            text.remove_suffix(kFullWidthSpace.size());
        } else {
            break;
        }
    }
    return std::string(text);
}

std::string RowNumber(int row) {
    return (row >= 0 && row <= 9 ? "0" : "") + std::to_string(row);
}

std::string ShortenForCell(std::string_view text, std::size_t limit) {
    const std::size_t width = sys::gbkWidth(text);
    if (width <= limit) return std::string(text);
    return sys::cutToGbkWidth(text, limit + width % 2) + "...";
}

}  // namespace mm::search
