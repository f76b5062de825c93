// kwillsign: signs the language files with the release key (an Ed25519 private key in PEM).
//
//   kwillsign [--key PEM] cert english.dll [OUT.dll]   adds the "CERT" resource
//   kwillsign [--key PEM] pack --code C IN.json OUT.tarnml
//   kwillsign [--key PEM] signature --code C IN.json OUT  the "signature" member alone, for
//                                                        archives packed by other zip tools
//   kwillsign verify FILE                                checks a module or an archive
//   kwillsign [--key PEM] sign FILE SIGNATURE            a raw signature of the file's bytes
//   kwillsign verify-raw FILE SIGNATURE                  checks one against the built-in key
//
// Without --key it uses the key configure made or was given (the same one whose public half
// the library holds), so a development build signs what it can verify.
#include "codec/ed25519.h"
#include "frame/context.h"
#include "frame/platform.h"
#include "hostlink/language.h"
#include "hostlink/translation.h"
#include "tools/common/language_signing.h"
#include "tools/common/text_io.h"

#include "signing_key.h"

#include <cstdio>
#include <string>
#include <vector>

namespace kwill::tools {
namespace {

int Fail(const std::string& message) {
    WriteErr("kwillsign: " + message + "\n");
    return 1;
}

std::wstring PathArg(const std::string& arg) {
    return WindowsPath(WideFromUtf8(arg));
}

bool WriteBytes(const std::wstring& path, const void* data, size_t size) {
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

struct Options {
    std::wstring key = DefaultSigningKeyPath();
    std::vector<std::string> args;
};

int Cert(const Options& o) {
    if (o.args.size() < 2 || o.args.size() > 3) return Fail("usage: cert IN.dll [OUT.dll]");
    uint8_t seed[32];
    if (!ReadSigningSeed(o.key, seed)) return Fail("cannot read the Ed25519 key");
    const std::wstring in = PathArg(o.args[1]);
    std::string error;
    if (!CertifyLanguageModule(in, o.args.size() == 3 ? PathArg(o.args[2]) : in, seed, error)) {
        return Fail(o.args[1] + ": " + error);
    }
    return 0;
}

int Pack(const Options& o) {
    if (o.args.size() != 5 || o.args[1] != "--code") {
        return Fail("usage: pack --code C IN.json OUT.tarnml");
    }
    auto json = ReadWholeFile(PathArg(o.args[3]));
    if (!json) return Fail("cannot read " + o.args[3]);
    uint8_t seed[32];
    if (!ReadSigningSeed(o.key, seed)) return Fail("cannot read the Ed25519 key");
    std::string error;
    if (!PackTranslation(PathArg(o.args[4]), WideFromUtf8(o.args[2]), *json, seed, error)) {
        return Fail(o.args[3] + ": " + error);
    }
    return 0;
}

int SignatureMember(const Options& o) {
    if (o.args.size() != 5 || o.args[1] != "--code") {
        return Fail("usage: signature --code C IN.json OUT");
    }
    auto json = ReadWholeFile(PathArg(o.args[3]));
    if (!json) return Fail("cannot read " + o.args[3]);
    uint8_t seed[32], value[32], signature[64];
    if (!ReadSigningSeed(o.key, seed)) return Fail("cannot read the Ed25519 key");
    lang::TranslationSigningValue(WideFromUtf8(o.args[2]), json->data(), json->size(), value);
    codec::Ed25519Sign(seed, value, 32, signature);
    return WriteBytes(PathArg(o.args[4]), signature, 64) ? 0 : Fail("cannot write");
}

int Verify(const Options& o) {
    if (o.args.size() != 2) return Fail("usage: verify FILE");
    const std::wstring path = PathArg(o.args[1]);
    if (path.size() > 7 && _wcsicmp(path.c_str() + path.size() - 7, L".tarnml") == 0) {
        const std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
        const std::wstring code = name.substr(0, name.size() - 7);
        std::vector<uint8_t> json, signature;
        if (!lang::ReadTranslationArchive(path, code, json, signature)) {
            return Fail("cannot read the archive's members");
        }
        if (!lang::TranslationIsVouchedFor(code, json, signature)) return Fail("bad signature");
        std::string problem;
        if (!lang::Translation::Parse(json.data(), json.size(), &problem)) return Fail(problem);
        WriteOut("signed translation\n");
        return 0;
    }
    HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return Fail("cannot load " + o.args[1]);
    uint8_t digest[16];
    const bool ok =
        lang::HashLanguageResources(module, digest) && lang::ModuleIsVouchedFor(module, digest);
    ::FreeLibrary(module);
    if (!ok) return Fail("not signed by this key");
    WriteOut("signed module\n");
    return 0;
}

int SignRaw(const Options& o) {
    if (o.args.size() != 3) return Fail("usage: sign FILE SIGNATURE");
    auto data = ReadWholeFile(PathArg(o.args[1]));
    uint8_t seed[32], signature[64];
    if (!data) return Fail("cannot read " + o.args[1]);
    if (!ReadSigningSeed(o.key, seed)) return Fail("cannot read the Ed25519 key");
    codec::Ed25519Sign(seed, data->data(), data->size(), signature);
    return WriteBytes(PathArg(o.args[2]), signature, 64) ? 0 : Fail("cannot write");
}

int VerifyRaw(const Options& o) {
    if (o.args.size() != 3) return Fail("usage: verify-raw FILE SIGNATURE");
    auto data = ReadWholeFile(PathArg(o.args[1]));
    auto signature = ReadWholeFile(PathArg(o.args[2]));
    if (!data || !signature) return Fail("cannot read the files");
    if (signature->size() != 64 ||
        !codec::Ed25519Verify(kLanguagePublicKey, data->data(), data->size(), signature->data())) {
        return Fail("bad signature");
    }
    WriteOut("good signature\n");
    return 0;
}

}  // namespace
}  // namespace kwill::tools

int wmain(int argc, wchar_t** argv) {
    using namespace kwill::tools;
    UseBinaryStdio();
    // The library's code runs here linked in, not as the DLL: start its context as the loader
    // would (the zip engine keeps its per-thread state there).
    if (!kwill::DllEntry(::GetModuleHandleW(nullptr), DLL_PROCESS_ATTACH)) return 3;
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = Utf8FromWide(argv[i]);
        if (a == "--key" && i + 1 < argc) {
            o.key = WindowsPath(argv[++i]);
        } else {
            o.args.push_back(a);
        }
    }
    const std::string command = o.args.empty() ? "" : o.args[0];
    if (command == "cert") return Cert(o);
    if (command == "pack") return Pack(o);
    if (command == "signature") return SignatureMember(o);
    if (command == "verify") return Verify(o);
    if (command == "sign") return SignRaw(o);
    if (command == "verify-raw") return VerifyRaw(o);
    WriteErr(
        "usage: kwillsign [--key PEM] cert IN.dll [OUT.dll] | pack --code C IN.json OUT.tarnml |\n"
        "       signature --code C IN.json OUT | verify FILE | sign FILE SIGNATURE |\n"
        "       verify-raw FILE SIGNATURE\n");
    return 2;
}
