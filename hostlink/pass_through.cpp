#include "hostlink/pass_through.h"

#include "frame/shared_state.h"
#include "hostlink/host_system.h"

namespace kwill::hostlink {

// The value goes in before the stamp, so a reader that sees the stamp sees its value. A tick
// count of exactly 0 would read as "unset" and is stored as 1.
void SetExplorerPassThrough(uint64_t value) {
    SharedState& shared = Shared();
    DWORD now = System().Ticks();
    ::InterlockedExchange64(&shared.passThroughValue, static_cast<LONG64>(value));
    ::InterlockedExchange(reinterpret_cast<volatile LONG*>(&shared.passThroughTick),
                          static_cast<LONG>(now ? now : 1));
}

// The age is taken in unsigned 32-bit arithmetic, so a stamp set just before the tick count wraps
// (every 49.7 days) still counts. A stale stamp is cleared only if no one has set a new one
// meanwhile.
bool CheckExplorerPassThrough(uint64_t* value) {
    SharedState& shared = Shared();
    auto* tick = reinterpret_cast<volatile LONG*>(&shared.passThroughTick);
    DWORD stamp = static_cast<DWORD>(::InterlockedCompareExchange(tick, 0, 0));
    if (stamp != 0) {
        uint64_t stored =
            static_cast<uint64_t>(::InterlockedCompareExchange64(&shared.passThroughValue, 0, 0));
        if (System().Ticks() - stamp < kPassThroughMs) {
            if (value) *value = stored;
            return true;
        }
        ::InterlockedCompareExchange(tick, 0, static_cast<LONG>(stamp));
    }
    return false;
}

}  // namespace kwill::hostlink
