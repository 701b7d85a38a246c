#pragma once
// A message box that belongs to no window (a worker pool that could not be
// created). It goes through the control model like every other box, so any
// thread may show it: the window presents it on its own thread and the
// caller waits until it is dismissed.
#include <string>

#include "app/app_context.h"

namespace mm::app {

inline void ShowSystemBox(AppContext& ctx, const std::string& caption, const std::string& text) {
    ctx.ui.messageBox({caption, text, "OK", ""});
}

}  // namespace mm::app
