#include "tests/common/test_support.h"

#include "tools/common/text_io.h"

#include <shellapi.h>

#include <cstdio>

namespace kwill::test {

std::wstring ExeFolder() {
    std::wstring dll = KwillDll::Path();
    return dll.substr(0, dll.size() - std::wstring(L"kwilllib.dll").size());
}

TempFolder::TempFolder() {
    wchar_t base[MAX_PATH];
    DWORD n = ::GetTempPathW(MAX_PATH, base);
    static LONG counter = 0;
    for (;;) {
        wchar_t name[64];
        std::swprintf(name, 64, L"kwilltest-%lu-%ld\\", ::GetCurrentProcessId(),
                      ::InterlockedIncrement(&counter));
        path_ = std::wstring(base, n) + name;
        if (::CreateDirectoryW(path_.c_str(), nullptr)) break;
    }
}

TempFolder::~TempFolder() {
    // SHFileOperation wants a double-terminated list and no trailing backslash.
    std::wstring from = path_.substr(0, path_.size() - 1);
    from.push_back(L'\0');
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    ::SHFileOperationW(&op);
}

std::unique_ptr<TempFolder> UseScratchConfiguration() {
    auto scratch = std::make_unique<TempFolder>();
    std::wstring folder = scratch->path().substr(0, scratch->path().size() - 1);
    ::SetEnvironmentVariableW(L"PA_TARNDATAFILES", folder.c_str());
    ::SetEnvironmentVariableW(L"PA_TARNOTHERFILES", nullptr);
    Ordinal<DWORD (*)(DWORD, DWORD)>(26)(0x100, 0x8);  // SetLibFlags: mode 2
    return scratch;
}

namespace {

ProcessResult Run(const std::wstring& program, const std::wstring& arguments, DWORD limitMs,
                  HANDLE out, HANDLE err) {
    ProcessResult result;
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    if (out) {
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = out;
        si.hStdError = err;
    }
    PROCESS_INFORMATION pi{};
    // A program that exists can still fail to start for a moment when the machine is short of
    // something; such a start is tried again, and said so, rather than failing the test that only
    // needed the program's output. A missing program fails at once.
    for (int attempt = 1;; ++attempt) {
        if (::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, out != nullptr,
                             0, nullptr, nullptr, &si, &pi))
            break;
        result.error = ::GetLastError();
        if (attempt == 3 || ::GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES)
            return result;
        std::fprintf(stderr, "starting %s failed with error %lu; trying again\n",
                     Printable(program).c_str(), static_cast<unsigned long>(result.error));
        ::Sleep(500);
    }
    result.error = 0;
    result.started = true;
    DWORD waited = ::WaitForSingleObject(pi.hProcess, limitMs);
    if (waited == WAIT_OBJECT_0) {
        result.finished = true;
        ::GetExitCodeProcess(pi.hProcess, &result.exitCode);
    } else {
        result.error = waited == WAIT_FAILED ? ::GetLastError() : WAIT_TIMEOUT;
        ::TerminateProcess(pi.hProcess, 99);
    }
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return result;
}

}  // namespace

ProcessResult RunProcess(const std::wstring& program, const std::wstring& arguments,
                         DWORD limitMs) {
    return Run(program, arguments, limitMs, nullptr, nullptr);
}

// Output goes to files rather than pipes, so a chatty child never blocks on a full pipe.
ProcessResult RunProcessCaptured(const std::wstring& program, const std::wstring& arguments,
                                 DWORD limitMs) {
    TempFolder folder;
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    auto create = [&](const wchar_t* name) {
        return ::CreateFileW((folder / name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    };
    HANDLE out = create(L"out.txt");
    HANDLE err = create(L"err.txt");
    ProcessResult result;
    if (out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE)
        result = Run(program, arguments, limitMs, out, err);
    else
        result.error = ::GetLastError();
    if (out != INVALID_HANDLE_VALUE) ::CloseHandle(out);
    if (err != INVALID_HANDLE_VALUE) ::CloseHandle(err);
    result.out = ReadFileText(folder / L"out.txt");
    result.err = ReadFileText(folder / L"err.txt");
    return result;
}

std::string Printable(std::wstring_view text) {
    std::string out;
    for (wchar_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char buf[12];
            std::snprintf(buf, sizeof(buf), "\\u%04X", static_cast<unsigned>(c));
            out += buf;
        }
    }
    return out;
}

bool MakeArchive(const std::wstring& path, int files, const char* comment) {
    using CreateArchiveFn = void* (*)(const wchar_t*, int*);
    using AddBufferFn = int (*)(void*, const wchar_t*, const void*, size_t, int, const char*);
    using AddFolderFn = int (*)(void*, const wchar_t*);
    using SetCommentFn = int (*)(void*, const char*);
    using CommitFn = int (*)(void*);
    auto create = Named<CreateArchiveFn>("ZipCreateArchive");
    auto add = Named<AddBufferFn>("ZipAddBuffer");
    auto folder = Named<AddFolderFn>("ZipAddFolder");
    auto setComment = Named<SetCommentFn>("ZipSetComment");
    auto commit = Named<CommitFn>("ZipCommitArchive");
    if (!create || !add || !folder || !setComment || !commit) return false;
    int error = 0;
    void* archive = create(path.c_str(), &error);
    if (!archive) return false;
    folder(archive, L"dir/");
    for (int i = 0; i < files; ++i) {
        std::wstring name = L"dir/file" + std::to_wstring(i) + L".txt";
        add(archive, name.c_str(), "data", 4, 6, nullptr);
    }
    if (comment) setComment(archive, comment);
    return commit(archive) == 0;
}

std::vector<uint8_t> ReadFileBytes(const std::wstring& path) {
    return tools::ReadWholeFile(path).value_or(std::vector<uint8_t>{});
}

std::string ReadFileText(const std::wstring& path) {
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

bool WriteFileBytes(const std::wstring& path, const void* data, size_t size) {
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return false;
    bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

}  // namespace kwill::test
