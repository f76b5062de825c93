// Calls from the frame up into subsystems built on top of it. The frame declares the hook, the
// owning subsystem fills it once at start-up; an empty hook means the subsystem has nothing to do.
#pragma once

namespace kwill {

struct LanguageHandle;

struct FrameHooks {
    // Drops the context's reference to the current language (language strings).
    void (*releaseLanguage)(LanguageHandle* handle) = nullptr;
    // Per-thread shut-down of a zip engine half (1 = decompressor, 2 = compressor).
    void (*zipThreadShutdown)(unsigned half) = nullptr;
    // Process-wide shut-down of a zip engine half at process detach.
    void (*zipProcessShutdown)(unsigned half) = nullptr;
};

FrameHooks& Hooks();

}  // namespace kwill
