#include "zip/zip_info.h"

#include "zip/zip_format.h"
#include "zip/zip_reader.h"

#include <new>
#include <string>

namespace kwill::zip {
namespace {

int ResultOf(ZipError e) {
    switch (e) {
        case ZipError::Ok:
            return kInfoOk;
        case ZipError::NotZip:
            return kInfoNotZip;
        case ZipError::SplitArchive:
            return kInfoSplitVolume;
        case ZipError::CannotOpen:
        case ZipError::ReadFailed:
            return kInfoCannotOpen;
        case ZipError::OutOfMemory:
            return kInfoOutOfMemory;
        default:
            return kInfoDamaged;
    }
}

// The comment as UTF-16: UTF-8 when it is well-formed UTF-8, else code page 437.
wchar_t* CommentText(const std::string& comment) {
    std::string utf8 = IsValidUtf8(comment) ? comment : Cp437ToUtf8(comment);
    int n =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    auto* text = static_cast<wchar_t*>(::LocalAlloc(LMEM_FIXED, (n + 1) * sizeof(wchar_t)));
    if (!text) return nullptr;
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text, n);
    text[n] = 0;
    return text;
}

}  // namespace

int ZipInfoRequest(ZipInfoRequestBlock& request, std::unique_ptr<ByteSource> source) {
    request.count = 0;
    request.text = nullptr;
    if (request.code != kInfoCountFiles && request.code != kInfoComment)
        return request.result = kInfoUnknownCode;
    try {
        ZipReader reader;
        ZipError e = reader.Open(std::move(source));
        if (e != ZipError::Ok) return request.result = ResultOf(e);
        if (request.code == kInfoCountFiles) {
            for (const ZipEntry& entry : reader.Entries()) request.count += !entry.IsFolder();
            return request.result = kInfoOk;
        }
        if (reader.Comment().empty()) return request.result = kInfoNoComment;
        request.text = CommentText(reader.Comment());
        return request.result = request.text ? kInfoOk : kInfoOutOfMemory;
    } catch (const std::bad_alloc&) {
        return request.result = kInfoOutOfMemory;
    }
}

int ZipInfoRequest(ZipInfoRequestBlock& request) {
    if (request.code != kInfoCountFiles && request.code != kInfoComment)
        return ZipInfoRequest(request, nullptr);
    auto file = std::make_unique<FileSource>(request.file);
    if (!file->Valid()) {
        request.count = 0;
        request.text = nullptr;
        return request.result = kInfoCannotOpen;
    }
    return ZipInfoRequest(request, std::move(file));
}

}  // namespace kwill::zip
