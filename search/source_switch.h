#pragma once
// Choosing another source of the catalogue.

namespace mm::app {
struct AppContext;
}

namespace mm::search {

// Makes source `index` (0-based, in bootstrap order) the current one, greys
// its submenu entry, and searches the box's keyword again on it. An index
// outside the source list does nothing.
void SwitchSource(app::AppContext& ctx, int index);

}  // namespace mm::search
