#pragma once

namespace mm::app {

struct AppContext;

// Registers every event handler of the main window.
void RegisterHandlers(AppContext& ctx);

}  // namespace mm::app
