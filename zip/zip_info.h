// The information requests of the info-tip handler: what a tip says about an archive without
// reading any member.
#pragma once

#include "frame/platform.h"
#include "zip/byte_source.h"

#include <cstdint>
#include <memory>

namespace kwill::zip {

enum ZipInfoCode : int {
    kInfoCountFiles = 1,  // result 0 and count: the entries that are not folders ("name/")
    kInfoComment = 5,     // result 0 and text: the archive comment as a LocalAlloc UTF-16 string
};

enum ZipInfoResult : int {
    kInfoOk = 0,
    kInfoNotZip = 1,
    kInfoSplitVolume = 2,  // one volume of a split or spanned set
    kInfoDamaged = 3,      // the end record or directory does not hold together
    kInfoCannotOpen = 4,   // the file cannot be opened or read
    kInfoNoComment = 5,    // code 5 on an archive without a comment
    kInfoUnknownCode = 6,
    kInfoOutOfMemory = 7,
};

// The request block; the layout is also that of the exported ZipInfoRequest.
struct ZipInfoRequestBlock {
    uint32_t size;        // sizeof(ZipInfoRequestBlock)
    int32_t code;         // ZipInfoCode
    const wchar_t* file;  // the archive
    uint32_t count;       // out: code 1
    wchar_t* text;        // out: code 5, LocalAlloc, freed by the caller with LocalFree
    int32_t result;       // out: ZipInfoResult, also the return value
};

// Answers the request for the file it names (or, for tests, the given source): fills the
// outputs and returns the result.
int ZipInfoRequest(ZipInfoRequestBlock& request);
int ZipInfoRequest(ZipInfoRequestBlock& request, std::unique_ptr<ByteSource> source);

}  // namespace kwill::zip
