#pragma once
// Choosing another source of the catalogue.

namespace mm::app {
struct AppContext;
}

namespace mm::search {

// Makes source `index` (0-based, in bootstrap order) the current one, greys
// its submenu entry, remembers the choice for the next start, and searches
// the box's keyword again on it. An index outside the source list does nothing.
void SwitchSource(app::AppContext& ctx, int index);

// The first part of SwitchSource alone: the current source and the grey
// submenu entry (the selector's own selection is the caller's). False when
// there is no such source.
bool ApplySource(app::AppContext& ctx, int index);

// Start-up, once the selector is filled: the source chosen before the last
// exit, when the catalogue still offers it by that name.
void RestoreChosenSource(app::AppContext& ctx);

}  // namespace mm::search
