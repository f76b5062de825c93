// Per-thread data exports (all by ordinal only). Every accessor works on the calling thread's
// block, creating it when missing; without a block it does nothing and returns 0.
#include "exports/export.h"
#include "frame/context.h"
#include "frame/thread_data.h"

#include <cstdint>

using kwill::ThreadData;

namespace {

uint64_t TestClear(uint64_t& word, uint64_t mask) {
    uint64_t old = word;
    word &= ~mask;
    return old & mask;
}

}  // namespace

KWILL_EXPORT void SetThreadFlags(uint64_t set, uint64_t clear) {
    if (ThreadData* t = kwill::GetThreadData()) t->flagsA = (t->flagsA & ~clear) | set;
}

KWILL_EXPORT uint64_t GetThreadFlags() {
    ThreadData* t = kwill::GetThreadData();
    return t ? t->flagsA : 0;
}

KWILL_EXPORT ThreadData* GetThreadData() {
    return kwill::GetThreadData();
}

KWILL_EXPORT void FreeThreadData() {
    kwill::FreeThreadData();
}

KWILL_EXPORT uint64_t GetThreadUserValue() {
    ThreadData* t = kwill::GetThreadData();
    return t ? t->userValue : 0;
}

KWILL_EXPORT void SetThreadUserValue(uint64_t value) {
    if (ThreadData* t = kwill::GetThreadData()) t->userValue = value;
}

// TRUE and the tick at which the block was made; FALSE and 0 without a block (none is made).
KWILL_EXPORT BOOL GetThreadStartTick(DWORD* tick) {
    ThreadData* t = kwill::PeekThreadData();
    if (tick) *tick = t ? t->startTick : 0;
    return t ? TRUE : FALSE;
}

// Mode 1 or 2 selects one of the two mode bits; anything else clears both.
KWILL_EXPORT void SetThreadMode(int mode) {
    ThreadData* t = kwill::GetThreadData();
    if (!t) return;
    t->flagsA &= ~uint64_t(kwill::kThreadMode1 | kwill::kThreadMode2);
    if (mode == 1) t->flagsA |= kwill::kThreadMode1;
    if (mode == 2) t->flagsA |= kwill::kThreadMode2;
}

KWILL_EXPORT int GetThreadMode() {
    ThreadData* t = kwill::GetThreadData();
    if (!t) return 0;
    if (t->flagsA & kwill::kThreadMode1) return 1;
    if (t->flagsA & kwill::kThreadMode2) return 2;
    return 0;
}

KWILL_EXPORT DWORD GetLibTlsIndex() {
    return kwill::Context().tlsIndex;
}

// The attached object, without adding a reference.
KWILL_EXPORT IUnknown* GetThreadObject() {
    ThreadData* t = kwill::GetThreadData();
    return t ? t->object : nullptr;
}

// Attaches an object once per block and keeps a reference to it; refused during teardown.
KWILL_EXPORT BOOL SetThreadObject(IUnknown* object) {
    ThreadData* t = kwill::GetThreadData();
    if (!t || !object || t->object || (t->flagsB & kwill::kThreadTearingDown)) return FALSE;
    t->object = object;
    object->AddRef();
    return TRUE;
}

KWILL_EXPORT int IncThreadCounter() {
    ThreadData* t = kwill::GetThreadData();
    return t ? ++t->counter : 0;
}

KWILL_EXPORT int DecThreadCounter() {
    ThreadData* t = kwill::GetThreadData();
    return t ? --t->counter : 0;
}

KWILL_EXPORT int GetThreadCounter() {
    ThreadData* t = kwill::GetThreadData();
    return t ? t->counter : 0;
}

// Clears the mask in thread flags A and returns the bits of it that were set.
KWILL_EXPORT uint64_t TestClearThreadFlags(uint64_t mask) {
    ThreadData* t = kwill::GetThreadData();
    return t ? TestClear(t->flagsA, mask) : 0;
}

KWILL_EXPORT void SetThreadStateFlags(uint64_t set, uint64_t clear) {
    if (ThreadData* t = kwill::GetThreadData()) t->flagsB = (t->flagsB & ~clear) | set;
}

KWILL_EXPORT uint64_t GetThreadStateFlags() {
    ThreadData* t = kwill::GetThreadData();
    return t ? t->flagsB : 0;
}

KWILL_EXPORT uint64_t TestClearThreadStateFlags(uint64_t mask) {
    ThreadData* t = kwill::GetThreadData();
    return t ? TestClear(t->flagsB, mask) : 0;
}

// Another thread's block; the caller keeps that thread alive while it looks.
KWILL_EXPORT ThreadData* GetOtherThreadData(DWORD threadId) {
    return kwill::GetOtherThreadData(threadId);
}

KWILL_EXPORT IUnknown* GetOtherThreadObject(DWORD threadId) {
    ThreadData* t = kwill::GetOtherThreadData(threadId);
    return t ? t->object : nullptr;
}
