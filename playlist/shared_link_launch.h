#pragma once
// A share link handed to the program from outside the window (its command
// line, or a later launch passing its arguments on): the playlist panel opens
// for the service the link belongs to, with the link filled in, ready for
// "导入".
#include <string>

namespace mm::app {
struct AppContext;
}

namespace mm::playlist {

// The service a text's first link belongs to by where it points ("qq",
// "wy", "kw", "kg"); "kg" for a bare Kugou code; "" when it names none.
std::string ServiceOfSharedText(const std::string& text);

// Opens the panel for the text (UI thread). A link of no known service opens
// the panel as its logo counts, for QQ Music. False, and nothing opened, for
// a text with neither a link nor a Kugou code.
bool OpenSharedText(app::AppContext& ctx, const std::string& text);

}  // namespace mm::playlist
