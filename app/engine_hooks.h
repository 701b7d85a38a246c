#pragma once
// Start and end of the audio engine, as the window's life sees them.

namespace mm::app {

struct AppContext;

// Initialises the engine on the output device chosen by main.cpp; false when
// previews are unavailable.
bool InitAudioEngine(AppContext& ctx);
// Stops and frees the current preview stream, then releases the engine.
void ShutDownAudioEngine(AppContext& ctx);

}  // namespace mm::app
