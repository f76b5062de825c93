// DDE execute conversations with other programs: one request (command, application, topic) is
// offered to a given window or to all top-level windows; the first server that answers gets the
// command, and the conversation ends when the server acknowledges it, ends the conversation,
// closes its window, or the time limit passes.
#pragma once

#include "frame/platform.h"

#include <cstdint>
#include <string>

namespace kwill::hostlink {

inline constexpr wchar_t kDdeHelperClass[] = L"kwill.ddehelper";
inline constexpr wchar_t kDdeThreadName[] = L"kwill.sendddethread";
inline constexpr wchar_t kDdeDefaultTopic[] = L"System";
inline constexpr UINT kDdeInitiateTimeoutMs = 2000;
inline constexpr DWORD kDdeDefaultLimitMs = 10000;

struct DdeRequest {
    static constexpr uint32_t kTag = 0x4b444452;  // checked by every export that takes a request
    uint32_t tag = kTag;
    std::wstring command;
    ATOM application = 0;
    ATOM topic = 0;
    HWND conversation = nullptr;
    HWND server = nullptr;
    bool initiating = false;
    bool done = false;      // the server acknowledged the command
    bool finished = false;  // the conversation is over
    HGLOBAL commandMemory = nullptr;
};

// Null for a null or empty command or application, or when the atoms cannot be made. A null or
// empty topic is "System".
DdeRequest* CreateDdeRequest(const wchar_t* command, const wchar_t* application,
                             const wchar_t* topic);
void FreeDdeRequest(DdeRequest* request);
bool IsDdeRequest(const DdeRequest* request);

// Runs the conversation (target null: all top-level windows; limit 0: no limit). True when a
// server answered and the command was posted to it.
bool ExecuteDdeRequest(DdeRequest* request, DWORD limitMs, HWND target);

// Runs one conversation on the named thread "kwill.sendddethread", to all windows without limit,
// first stamping the Explorer pass-through when asked. 0 when the thread started, else 1.
int SendDdeCommandAsync(const wchar_t* application, const wchar_t* topic, const wchar_t* command,
                        bool passThrough);

}  // namespace kwill::hostlink
