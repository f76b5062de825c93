// Requests that carry a data block to a window and back (both sides), and the preference flags
// the shell extensions read.
#include "exports/export.h"
#include "hostlink/host_prefs.h"
#include "hostlink/host_request.h"

#include <cstring>

using kwill::host::HostRequestView;

// Sends `message` to `window` carrying `buffer` (size bytes, the first inputBytes of them the
// request), waiting up to timeoutMs. TRUE when the window answered with a non-zero result: the
// buffer then holds its answer and *result (may be null) the result. FALSE without sending for a
// null buffer, a size of 0 or a window that does not exist, and when another process is the
// receiver but the exchange section cannot be made or its name is already in use.
KWILL_EXPORT BOOL SendHostRequest(void* buffer, DWORD size, DWORD inputBytes, HWND window,
                                  UINT message, LRESULT* result, DWORD timeoutMs) {
    try {
        return kwill::host::SendHostRequest(buffer, size, inputBytes, window, message, result,
                                            timeoutMs);
    } catch (...) {
        return FALSE;
    }
}

// For the window that receives such a message: wParam is the sender's process id, lParam the
// descriptor address. Fills the view with the block to read the request from and write the
// answer into (its size in bytes); mapped is set when the block is a view of another process's
// section. FALSE (and a cleared view) when there is no block; a null view is refused.
KWILL_EXPORT BOOL OpenHostRequestData(DWORD senderProcessId, const void* descriptorAddress,
                                      HostRequestView* view) {
    if (!view) return FALSE;
    try {
        return kwill::host::OpenHostRequestData(senderProcessId, descriptorAddress, *view);
    } catch (...) {
        *view = HostRequestView{};
        return FALSE;
    }
}

// Releases what OpenHostRequestData opened; the view is cleared. Null is ignored.
KWILL_EXPORT void CloseHostRequestData(HostRequestView* view) {
    if (view) kwill::host::CloseHostRequestData(*view);
}

// Loads the preference flags as the shell extensions do (the host when it answers, else the
// files) and writes them in the layout of the host's "kwillmsg.GetPrefsFlags" reply: the five
// words alone unless `full`. Returns the reply's size in bytes, copied only when it fits in
// bufferBytes (buffer may be null to ask for the size); *source (may be null) tells who
// answered: 0 nobody, 1 the host, 2 the files. 0 when memory runs out.
KWILL_EXPORT DWORD BuildPrefsFlagsReply(BOOL full, void* buffer, DWORD bufferBytes, DWORD* source) {
    try {
        kwill::host::HostPrefsFlags flags(full != FALSE);
        std::vector<uint8_t> reply = kwill::host::BuildPrefsReply(flags, full != FALSE);
        if (source) *source = static_cast<DWORD>(flags.source);
        if (buffer && reply.size() <= bufferBytes) std::memcpy(buffer, reply.data(), reply.size());
        return static_cast<DWORD>(reply.size());
    } catch (...) {
        if (source) *source = 0;
        return 0;
    }
}
