#include "frame/shared_state.h"

namespace kwill {

// The section is marked shared, so the loader maps the same pages into every process. It must be
// initialised data: an uninitialised variable would land in .bss, which is never shared.
__attribute__((section(".shared"), shared)) SharedState g_sharedState = {0, 0, 0, 0, 0, 0, 0};

SharedState& Shared() {
    return g_sharedState;
}

}  // namespace kwill
