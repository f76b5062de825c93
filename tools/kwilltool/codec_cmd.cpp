// kwill hash, kwill base64, kwill blowfish: digests of files, Base64 and armoured blocks, and
// the Blowfish cipher, from standard input to standard output (hash also reads files).
#include "tools/common/kwill_dll.h"
#include "tools/common/text_io.h"
#include "tools/kwilltool/subcommand.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace kwill::tools {
namespace {

// ---- hash

struct MethodName {
    const char* name;
    uint32_t method;
};
constexpr MethodName kMethods[] = {
    {"md5", 0},   {"sha1", 1},           {"sha256", 2},      {"sha512", 3},
    {"crc32", 4}, {"crc32-bzip2-le", 5}, {"crc32-bzip2", 6}, {"blake3", 7},
};

struct HashApi {
    using InitFn = void (*)(void*, uint32_t);
    using DataFn = void (*)(void*, const void*, size_t);
    using EndFn = void (*)(void*, char*, size_t, uint8_t*, size_t);
    using ObjectSizeFn = size_t (*)();
    KwillDll& dll = KwillDll::Get();
    InitFn init = dll.Require<InitFn>("KwillHashInit");
    DataFn data = dll.Require<DataFn>("KwillHashData");
    EndFn end = dll.Require<EndFn>("KwillHashEnd");
    size_t objectSize = dll.Require<ObjectSizeFn>("KwillHashObjectSize")();
};

// Hashes one stream with every selected method at once; false when it cannot be read.
bool HashStream(const HashApi& api, const std::vector<uint32_t>& methods, HANDLE file,
                const std::string& name, bool showName) {
    uint64_t total = 0;
    LARGE_INTEGER size;
    if (::GetFileType(file) == FILE_TYPE_DISK && ::GetFileSizeEx(file, &size))
        total = static_cast<uint64_t>(size.QuadPart);
    Progress progress(total);
    std::vector<std::unique_ptr<uint64_t[]>> objects;
    for (uint32_t m : methods) {
        objects.emplace_back(new uint64_t[(api.objectSize + 7) / 8]);
        api.init(objects.back().get(), m);
    }
    std::vector<uint8_t> buffer(1 << 20);
    uint64_t done = 0;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            DWORD error = ::GetLastError();
            if (error == ERROR_BROKEN_PIPE) break;
            progress.Finish();
            WriteErr("kwill hash: " + name + ": " + SystemMessage(error) + "\n");
            return false;
        }
        if (got == 0) break;
        for (auto& o : objects) api.data(o.get(), buffer.data(), got);
        done += got;
        progress.Update(done);
    }
    std::string out;
    for (size_t i = 0; i < methods.size(); ++i) {
        char text[129];
        api.end(objects[i].get(), text, sizeof(text), nullptr, 0);
        if (methods.size() > 1) {
            std::string label = kMethods[methods[i]].name;
            out += label + ":" + std::string(16 - label.size(), ' ');
        }
        out += text;
        if (showName) out += "  " + name;
        out += "\n";
    }
    WriteOut(out);
    return true;
}

int RunHash(const std::vector<std::string>& args);
const Subcommand kHash = {
    "hash", "digests and checksums of files or standard input",
    "[--method md5|sha1|sha256|sha512|crc32|crc32-bzip2|crc32-bzip2-le|blake3|all] FILE...|-",
    RunHash};

int RunHash(const std::vector<std::string>& args) {
    std::vector<uint32_t> methods = {2};
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--method" && i + 1 < args.size()) {
            std::string name = args[++i];
            methods.clear();
            for (const MethodName& m : kMethods)
                if (name == "all" || name == m.name) methods.push_back(m.method);
            if (methods.empty()) return UsageError(kHash, "unknown method " + name);
        } else if (args[i] == "--help") {
            return UsageError(kHash);
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.empty()) return UsageError(kHash, "no input");
    UseBinaryStdio();
    HashApi api;
    int result = 0;
    for (const std::string& f : files) {
        if (f == "-") {
            if (!HashStream(api, methods, ::GetStdHandle(STD_INPUT_HANDLE), "-", files.size() > 1))
                result = 1;
            continue;
        }
        HANDLE file =
            ::CreateFileW(WideFromUtf8(f).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            WriteErr("kwill hash: cannot open " + f + ": " + SystemMessage(::GetLastError()) +
                     "\n");
            result = 1;
            continue;
        }
        if (!HashStream(api, methods, file, f, true)) result = 1;
        ::CloseHandle(file);
    }
    return result;
}

// ---- base64

int RunBase64(const std::vector<std::string>& args);
const Subcommand kBase64 = {
    "base64", "Base64 or armoured text from standard input to standard output",
    "[-d] [--armour [--label L]] [--line N]   (encode lines of N characters, default 76, 0: one "
    "line)",
    RunBase64};

int RunBase64(const std::vector<std::string>& args) {
    bool decode = false, armour = false;
    std::string label;
    bool labelGiven = false;
    int line = 76;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-d") {
            decode = true;
        } else if (args[i] == "--armour" || args[i] == "--armor") {
            armour = true;
        } else if (args[i] == "--label" && i + 1 < args.size()) {
            label = args[++i];
            labelGiven = true;
        } else if (args[i] == "--line" && i + 1 < args.size()) {
            line = std::atoi(args[++i].c_str());
        } else {
            return UsageError(kBase64, args[i] == "--help" ? "" : "unknown argument " + args[i]);
        }
    }
    UseBinaryStdio();
    std::vector<uint8_t> input = ReadAllStdin();
    if (input.size() > 0x7FFFFFF0u / 2) {
        WriteErr("kwill base64: input too large\n");
        return 1;
    }
    int length = static_cast<int>(input.size());
    KwillDll& dll = KwillDll::Get();
    if (armour && !decode) {
        auto encode = dll.Require<int (*)(const BYTE*, int, char**, const char*)>(WORD{21});
        char* text = nullptr;
        if (!encode(input.data(), length, &text, labelGiven ? label.c_str() : "KWILL DATA")) {
            WriteErr("kwill base64: out of memory\n");
            return 1;
        }
        WriteOut(text);
        ::LocalFree(text);
    } else if (armour) {
        auto decodeFn = dll.Require<int (*)(const char*, int, BYTE**, int*, const char*)>(WORD{22});
        BYTE* out = nullptr;
        int outLength = 0;
        if (!decodeFn(reinterpret_cast<const char*>(input.data()), length, &out, &outLength,
                      labelGiven ? label.c_str() : nullptr)) {
            WriteErr("kwill base64: no complete armoured block with a matching check line\n");
            return 1;
        }
        WriteOut({reinterpret_cast<char*>(out), static_cast<size_t>(outLength)});
        ::LocalFree(out);
    } else if (decode) {
        auto decodeFn = dll.Require<int (*)(const char*, BYTE**, int, int)>("Base64DecodeStringA");
        BYTE* out = nullptr;
        int n = length ? decodeFn(reinterpret_cast<const char*>(input.data()), &out, length, 0) : 0;
        WriteOut({reinterpret_cast<char*>(out), static_cast<size_t>(n)});
        ::LocalFree(out);
    } else if (length) {
        auto encode = dll.Require<int (*)(const BYTE*, int, const wchar_t*, wchar_t**, int)>(
            "Base64EncodeString");
        wchar_t* text = nullptr;
        if (!encode(input.data(), length, nullptr, &text, line)) {
            WriteErr("kwill base64: out of memory\n");
            return 1;
        }
        std::string narrow(text, text + std::wcslen(text));
        if (line <= 1 || narrow.empty() || narrow.back() != '\n') narrow += "\r\n";
        WriteOut(narrow);
        ::LocalFree(text);
    }
    return 0;
}

// ---- blowfish

int RunBlowfish(const std::vector<std::string>& args);
const Subcommand kBlowfish = {"blowfish",
                              "Blowfish (ECB, zero-filled last block) from standard input to "
                              "standard output",
                              "[-d] --key-hex HEX", RunBlowfish};

int RunBlowfish(const std::vector<std::string>& args) {
    bool decrypt = false;
    std::string keyHex;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-d") {
            decrypt = true;
        } else if (args[i] == "--key-hex" && i + 1 < args.size()) {
            keyHex = args[++i];
        } else {
            return UsageError(kBlowfish, args[i] == "--help" ? "" : "unknown argument " + args[i]);
        }
    }
    std::vector<uint8_t> key;
    for (size_t i = 0; i + 1 < keyHex.size(); i += 2) {
        char pair[3] = {keyHex[i], keyHex[i + 1], 0};
        char* end = nullptr;
        unsigned long v = std::strtoul(pair, &end, 16);
        if (*end) return UsageError(kBlowfish, "the key is not hexadecimal");
        key.push_back(static_cast<uint8_t>(v));
    }
    if (key.empty() || keyHex.size() % 2) return UsageError(kBlowfish, "need a key of whole bytes");
    UseBinaryStdio();
    std::vector<uint8_t> data = ReadAllStdin();
    if (data.size() > 0x7FFFFFF0u) {
        WriteErr("kwill blowfish: input too large\n");
        return 1;
    }
    if (decrypt && data.size() % 8) {
        WriteErr("kwill blowfish: ciphertext length is not a multiple of 8\n");
        return 1;
    }
    data.resize((data.size() + 7) / 8 * 8, 0);
    using CipherFn = void (*)(const BYTE*, int, const BYTE*, BYTE*, int);
    auto fn = KwillDll::Get().Require<CipherFn>(WORD{decrypt ? WORD{37} : WORD{36}});
    fn(key.data(), static_cast<int>(key.size()), data.data(), data.data(),
       static_cast<int>(data.size()));
    WriteOut({reinterpret_cast<const char*>(data.data()), data.size()});
    return 0;
}

const SubcommandRegistrar kRegisterHash(kHash);
const SubcommandRegistrar kRegisterBase64(kBase64);
const SubcommandRegistrar kRegisterBlowfish(kBlowfish);

}  // namespace
}  // namespace kwill::tools
