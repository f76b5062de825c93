// File stream snapshots and program launch.
#include "exports/export.h"
#include "util/file_streams.h"
#include "util/launch.h"

using kwill::util::FileStreamSet;

// Reads every alternate data stream of the file into a new set (free it with FreeFileStreams).
// Null when the file has no alternate stream that could be read, the system offers no stream
// enumeration, or memory is short. Streams of 4 GiB or more are left out.
KWILL_EXPORT FileStreamSet* SnapshotFileStreams(const wchar_t* path) {
    try {
        return kwill::util::SnapshotFileStreams(path);
    } catch (...) {
        return nullptr;
    }
}

// Writes every stream of the set onto the file (null set: nothing). A stream that could not be
// read at snapshot is written empty; one whose writing fails is removed again; nothing is
// written on a volume without named streams.
KWILL_EXPORT void RestoreFileStreams(const FileStreamSet* set, const wchar_t* path) {
    try {
        kwill::util::RestoreFileStreams(set, path);
    } catch (...) {
    }
}

// Frees the set and its buffers; null is accepted.
KWILL_EXPORT void FreeFileStreams(FileStreamSet* set) {
    kwill::util::FreeFileStreams(set);
}

// Starts the program detached from the caller's console: the path (quoted when it holds a space
// and is not quoted already), then a space and the arguments when there are any. outProcess
// (may be null) receives the process handle. FALSE when the process was not created, with
// ERROR_INVALID_PARAMETER for a missing program.
KWILL_EXPORT BOOL LaunchProgram(const wchar_t* program, const wchar_t* arguments,
                                HANDLE* outProcess) {
    try {
        return kwill::util::LaunchProgram(program, arguments, outProcess);
    } catch (...) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}
