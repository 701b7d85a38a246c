#include "app/handlers.h"

#include "app/app_context.h"
#include "app/startup.h"

namespace mm::app {

void RegisterHandlers(AppContext& ctx) {
    RegisterShellHandlers(ctx);
}

}  // namespace mm::app
