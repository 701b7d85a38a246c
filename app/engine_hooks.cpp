#include "app/engine_hooks.h"

#include "app/app_context.h"
#include "player/audio/audio_engine.h"

namespace mm::app {

bool InitAudioEngine(AppContext& ctx) {
    if (ctx.engine == nullptr) return false;
    return ctx.engine->Init(ctx.audioDevice) != 0;
}

void ShutDownAudioEngine(AppContext& ctx) {
    if (ctx.actions.stopPreview) ctx.actions.stopPreview();
    if (ctx.engine) ctx.engine->Free();
}

}  // namespace mm::app
