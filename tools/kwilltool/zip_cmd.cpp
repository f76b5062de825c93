// kwill zip list|test|extract|create|info: zip archives through the library's zip engine.
// kwill compress save|load: whole files kept compressed (zlib stream, optionally scrambled).
// kwill launch: starts a program detached from the console.
#include "tools/common/kwill_dll.h"
#include "tools/common/text_io.h"
#include "tools/kwilltool/subcommand.h"

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace kwill::tools {
namespace {

struct EntryInfo {
    uint64_t compressedSize;
    uint64_t uncompressedSize;
    uint32_t crc;
    uint16_t method;
    uint16_t flags;
    uint16_t modTime;
    uint16_t modDate;
    uint32_t externalAttributes;
};

struct InfoBlock {
    uint32_t size;
    int32_t code;
    const wchar_t* file;
    uint32_t count;
    wchar_t* text;
    int32_t result;
};

struct ZipApi {
    KwillDll& dll = KwillDll::Get();
    void* (*open)(const wchar_t*, int*) = dll.Require<decltype(open)>("ZipOpenArchive");
    void (*close)(void*) = dll.Require<decltype(close)>("ZipCloseArchive");
    int (*count)(void*) = dll.Require<decltype(count)>("ZipGetEntryCount");
    BOOL (*info)(void*, uint32_t, EntryInfo*) = dll.Require<decltype(info)>("ZipGetEntryInfo");
    int (*name)(void*, uint32_t, wchar_t*, int) = dll.Require<decltype(name)>("ZipGetEntryName");
    int (*extract)(void*, uint32_t, const char*,
                   const wchar_t*) = dll.Require<decltype(extract)>("ZipExtractEntry");
    void* (*create)(const wchar_t*, int*) = dll.Require<decltype(create)>("ZipCreateArchive");
    int (*addFile)(void*, const wchar_t*, const wchar_t*, int,
                   const char*) = dll.Require<decltype(addFile)>("ZipAddFile");
    int (*addFolder)(void*, const wchar_t*) = dll.Require<decltype(addFolder)>("ZipAddFolder");
    int (*comment)(void*, const char*) = dll.Require<decltype(comment)>("ZipSetComment");
    int (*commit)(void*) = dll.Require<decltype(commit)>("ZipCommitArchive");
    void (*abandon)(void*) = dll.Require<decltype(abandon)>("ZipAbandonArchive");
    const char* (*error)(int) = dll.Require<decltype(error)>("ZipErrorString");
    int (*request)(InfoBlock*) = dll.Require<decltype(request)>("ZipInfoRequest");
};

int RunZip(const std::vector<std::string>& args);
int RunCompress(const std::vector<std::string>& args);
int RunLaunch(const std::vector<std::string>& args);

const Subcommand kZip = {
    "zip", "list, test, extract, create zip archives, or ask what a tip would show",
    "list ARCHIVE | test ARCHIVE [-P PASS] | extract ARCHIVE [-d DIR] [-P PASS] [MEMBER...] | "
    "create ARCHIVE [-0..-9] [-P PASS] [-c COMMENT] PATH... | info ARCHIVE",
    RunZip};
const Subcommand kCompress = {
    "compress", "save standard input to a compressed file, or load one to standard output",
    "save|load FILE [--scramble]", RunCompress};
const Subcommand kLaunch = {"launch", "start a program detached from the console",
                            "[--wait] PROGRAM [ARGUMENTS...]", RunLaunch};
const SubcommandRegistrar kRegisterZip(kZip), kRegisterCompress(kCompress),
    kRegisterLaunch(kLaunch);

std::string EntryName(const ZipApi& api, void* archive, uint32_t index) {
    int n = api.name(archive, index, nullptr, 0);
    if (n < 0) return {};
    std::wstring name(n + 1, L'\0');
    api.name(archive, index, name.data(), n + 1);
    name.resize(n);
    return Utf8FromWide(name);
}

// Options shared by the zip commands: -P PASS, -d DIR, -c COMMENT, -0..-9; the rest in order.
struct ZipOptions {
    std::string password, folder = ".", comment;
    int level = 6;
    std::vector<std::string> rest;
};

bool ParseOptions(const std::vector<std::string>& args, size_t from, ZipOptions& o) {
    for (size_t i = from; i < args.size(); ++i) {
        const std::string& a = args[i];
        if ((a == "-P" || a == "-d" || a == "-c") && i + 1 < args.size()) {
            (a == "-P" ? o.password : a == "-d" ? o.folder : o.comment) = args[++i];
        } else if (a.size() == 2 && a[0] == '-' && a[1] >= '0' && a[1] <= '9') {
            o.level = a[1] - '0';
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return false;
        } else {
            o.rest.push_back(a);
        }
    }
    return true;
}

void* OpenOrReport(const ZipApi& api, const std::string& path) {
    int error = 0;
    void* archive = api.open(WideFromUtf8(path).c_str(), &error);
    if (!archive) WriteErr(path + ": " + api.error(error) + "\n");
    return archive;
}

int List(const ZipApi& api, const std::string& path) {
    void* archive = OpenOrReport(api, path);
    if (!archive) return 1;
    int n = api.count(archive);
    uint64_t total = 0;
    for (int i = 0; i < n; ++i) {
        EntryInfo e{};
        api.info(archive, i, &e);
        char line[128];
        std::snprintf(line, sizeof line, "%12llu %12llu %-7s %08x %04u-%02u-%02u %02u:%02u %s ",
                      static_cast<unsigned long long>(e.uncompressedSize),
                      static_cast<unsigned long long>(e.compressedSize),
                      e.method == 0   ? "stored"
                      : e.method == 8 ? "deflate"
                                      : "other",
                      e.crc, 1980 + (e.modDate >> 9), (e.modDate >> 5) & 15, e.modDate & 31,
                      e.modTime >> 11, (e.modTime >> 5) & 63, (e.flags & 1) ? "E" : "-");
        WriteOut(line + EntryName(api, archive, i) + "\n");
        total += e.uncompressedSize;
    }
    WriteOut(std::to_string(n) + " entries, " + std::to_string(total) + " bytes\n");
    api.close(archive);
    return 0;
}

// A member name as a relative path under the folder, or empty when it would leave the folder.
std::wstring SafeTarget(const std::string& folder, const std::string& name) {
    if (name.empty() || name[0] == '/' || name[0] == '\\' || name.find(':') != std::string::npos)
        return {};
    std::string path;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos) end = name.size();
        std::string part = name.substr(start, end - start);
        if (part == "..") return {};
        if (!part.empty() && part != ".") path += "\\" + part;
        start = end + 1;
    }
    return path.empty() ? std::wstring() : WideFromUtf8(folder) + WideFromUtf8(path);
}

void MakeFolders(const std::wstring& path) {
    for (size_t i = 1; i < path.size(); ++i)
        if (path[i] == L'\\') ::CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
}

int TestOrExtract(const ZipApi& api, bool extract, const std::string& path, const ZipOptions& o) {
    void* archive = OpenOrReport(api, path);
    if (!archive) return 1;
    int failures = 0, done = 0;
    int n = api.count(archive);
    for (int i = 0; i < n; ++i) {
        std::string name = EntryName(api, archive, i);
        if (!o.rest.empty() && std::find(o.rest.begin(), o.rest.end(), name) == o.rest.end())
            continue;
        int code = 0;
        if (extract) {
            std::wstring target = SafeTarget(o.folder, name);
            if (target.empty()) {
                WriteErr(name + ": name leaves the target folder, skipped\n");
                ++failures;
                continue;
            }
            MakeFolders(target + (name.back() == '/' ? L"\\" : L""));
            if (name.back() != '/')
                code = api.extract(archive, i, o.password.c_str(), target.c_str());
        } else {
            code = api.extract(archive, i, o.password.c_str(), nullptr);
        }
        ++done;
        if (code) ++failures;
        WriteOut(std::string(code ? "FAILED " : "OK     ") + name +
                 (code ? std::string(" (") + api.error(code) + ")" : "") + "\n");
    }
    api.close(archive);
    WriteOut(std::to_string(done) + " entries, " + std::to_string(failures) + " failed\n");
    return failures ? 1 : 0;
}

// Adds a file or, recursively, a folder under the given member name.
int AddPath(const ZipApi& api, void* archive, const std::wstring& path, const std::wstring& name,
            const ZipOptions& o) {
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        WriteErr(Utf8FromWide(path) + ": not found\n");
        return 1;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        int code = api.addFile(archive, name.c_str(), path.c_str(), o.level, o.password.c_str());
        if (code) WriteErr(Utf8FromWide(path) + ": " + api.error(code) + "\n");
        return code ? 1 : 0;
    }
    int failures = api.addFolder(archive, name.c_str()) ? 1 : 0;
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return failures;
    do {
        std::wstring child = found.cFileName;
        if (child == L"." || child == L"..") continue;
        failures += AddPath(api, archive, path + L"\\" + child, name + L"/" + child, o);
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    return failures;
}

int Create(const ZipApi& api, const std::string& path, const ZipOptions& o) {
    if (o.rest.empty()) return UsageError(kZip, "create needs something to add");
    int error = 0;
    void* archive = api.create(WideFromUtf8(path).c_str(), &error);
    if (!archive) {
        WriteErr(path + ": " + api.error(error) + "\n");
        return 1;
    }
    int failures = 0;
    for (const std::string& item : o.rest) {
        std::wstring source = WideFromUtf8(item);
        while (source.size() > 1 && (source.back() == L'\\' || source.back() == L'/'))
            source.pop_back();
        size_t slash = source.find_last_of(L"\\/");
        std::wstring name = slash == std::wstring::npos ? source : source.substr(slash + 1);
        failures += AddPath(api, archive, source, name, o);
    }
    if (failures) {
        api.abandon(archive);
        WriteErr("nothing written\n");
        return 1;
    }
    api.comment(archive, o.comment.c_str());
    int code = api.commit(archive);
    if (code) WriteErr(path + ": " + api.error(code) + "\n");
    return code ? 1 : 0;
}

int Info(const ZipApi& api, const std::string& path) {
    static const char* const kResults[] = {
        "ok",          "not a zip archive", "a volume of a split set", "damaged directory",
        "cannot open", "no comment",        "unknown request",         "out of memory"};
    std::wstring file = WideFromUtf8(path);
    InfoBlock count{sizeof(InfoBlock), 1, file.c_str(), 0, nullptr, -1};
    int r = api.request(&count);
    if (r != 0) {
        WriteOut(std::string("result ") + std::to_string(r) + ": " +
                 (r >= 0 && r < 8 ? kResults[r] : "?") + "\n");
        return 1;
    }
    WriteOut("files: " + std::to_string(count.count) + "\n");
    InfoBlock comment{sizeof(InfoBlock), 5, file.c_str(), 0, nullptr, -1};
    if (api.request(&comment) == 0 && comment.text) {
        WriteOut("comment: " + Utf8FromWide(comment.text) + "\n");
        ::LocalFree(comment.text);
    }
    return 0;
}

int RunZip(const std::vector<std::string>& args) {
    if (args.size() < 2) return UsageError(kZip);
    ZipOptions o;
    if (!ParseOptions(args, 2, o)) return UsageError(kZip, "unknown option");
    ZipApi api;
    const std::string& verb = args[0];
    if (verb == "list" && o.rest.empty()) return List(api, args[1]);
    if (verb == "test") return TestOrExtract(api, false, args[1], o);
    if (verb == "extract") return TestOrExtract(api, true, args[1], o);
    if (verb == "create") return Create(api, args[1], o);
    if (verb == "info" && o.rest.empty()) return Info(api, args[1]);
    return UsageError(kZip);
}

int RunCompress(const std::vector<std::string>& args) {
    if (args.size() < 2 || args.size() > 3 || (args[0] != "save" && args[0] != "load") ||
        (args.size() == 3 && args[2] != "--scramble"))
        return UsageError(kCompress);
    uint32_t scramble = args.size() == 3;
    std::wstring file = WideFromUtf8(args[1]);
    KwillDll& dll = KwillDll::Get();
    if (args[0] == "save") {
        auto save = dll.Require<int (*)(const wchar_t*, const void*, uint32_t, uint32_t)>(
            "SaveZipCompressedFile");
        std::vector<uint8_t> data = ReadAllStdin();
        if (data.size() > 0xFFFFFFFFull - 2) return WriteErr("input too large\n"), 1;
        if (!save(file.c_str(), data.data(), static_cast<uint32_t>(data.size()), scramble)) {
            WriteErr(args[1] + ": save failed (error " + std::to_string(::GetLastError()) + ")\n");
            return 1;
        }
        return 0;
    }
    auto load =
        dll.Require<int (*)(const wchar_t*, void**, uint32_t*, uint32_t)>("LoadZipCompressedFile");
    void* data = nullptr;
    uint32_t length = 0;
    if (!load(file.c_str(), &data, &length, scramble)) {
        WriteErr(args[1] + ": load failed (error " + std::to_string(::GetLastError()) + ")\n");
        return 1;
    }
    WriteOut(std::string_view(static_cast<const char*>(data), length));
    ::LocalFree(data);
    return 0;
}

int RunLaunch(const std::vector<std::string>& args) {
    size_t first = args.size() > 0 && args[0] == "--wait" ? 1 : 0;
    if (args.size() <= first) return UsageError(kLaunch);
    std::wstring program = WideFromUtf8(args[first]), arguments;
    for (size_t i = first + 1; i < args.size(); ++i)
        arguments += (arguments.empty() ? L"" : L" ") + WideFromUtf8(args[i]);
    auto launch = KwillDll::Get().Require<BOOL (*)(const wchar_t*, const wchar_t*, HANDLE*)>(181);
    HANDLE process = nullptr;
    if (!launch(program.c_str(), arguments.c_str(), &process)) {
        WriteErr(args[first] + ": not started (error " + std::to_string(::GetLastError()) + ")\n");
        return 1;
    }
    DWORD code = 0;
    if (first) {
        ::WaitForSingleObject(process, INFINITE);
        ::GetExitCodeProcess(process, &code);
        WriteOut("exit code " + std::to_string(code) + "\n");
    } else {
        WriteOut("started, process id " + std::to_string(::GetProcessId(process)) + "\n");
    }
    ::CloseHandle(process);
    return 0;
}

}  // namespace
}  // namespace kwill::tools
