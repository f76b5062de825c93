// A caller built for Microsoft's C++ ABI (clang --target=x86_64-pc-windows-msvc): it uses every
// member of the exported classes and a few flat functions, so its undefined symbols are exactly
// what such a program imports from kwilllib. check_msvc_symbols.sh requires each of them in the
// DLL's export table and in kwilllib.lib; msvc_host.exe runs these checks under Wine.
#include <kwilllib.h>

namespace {

struct Report {
    char* text;
    int size;
    int used;
    int failed;

    void Add(const char* s) {
        while (*s && used + 1 < size) text[used++] = *s++;
        text[used] = 0;
    }
    void Check(bool ok, const char* what) {
        Add(ok ? "ok   " : "FAIL ");
        Add(what);
        Add("\r\n");
        if (!ok) ++failed;
    }
};

bool Same(const char* a, const char* b) {
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

}  // namespace

// Runs the checks and writes one line per check into report; returns the number that failed.
extern "C" int KwillMsvcChecks(char* text, int size) {
    Report r{text, size, 0, 0};
    r.Add("");

    // Every member of Hash, under the decorated names this compiler gives them.
    Hash h;
    h.Init(SHA256);
    h.HashData("ab", 2);
    Hash copy;
    copy = h;  // copy assignment
    Hash moved;
    moved = static_cast<Hash&&>(h);  // move assignment: the source goes on unchanged
    h.HashData("c", 1);
    char hex[2 * Hash::MAX_HASH_SIZE + 1];
    h.End(hex, sizeof hex, nullptr, 0);
    r.Check(Same(hex, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"),
            "SHA-256 of abc through Init, HashData and End with text");

    copy.HashData("d", 1);
    unsigned char digest[32];
    copy.End(sizeof digest, digest);
    char text2[65];
    Hash::SumToString(digest, text2, sizeof text2, sizeof digest);
    r.Check(Same(text2, "a52d159f262b2c6ddb724a61840befc36eb30c88877a4030b65cbe86298449c9"),
            "a copy taken after ab, fed d, gives SHA-256 of abd (End, SumToString)");

    moved.HashData("c", 1);
    unsigned char digest2[32];
    moved.EndHash(sizeof digest2, digest2);
    char text3[9];
    Hash::SumToString(digest2, text3, sizeof text3, sizeof digest2);
    r.Check(Same(text3, "ba7816bf"), "a moved-from state goes on as the original (EndHash)");

    Hash crc;
    crc.Init(CRC32);
    const Hash& constCrc = crc;
    r.Check(crc.HashSize() == 4 && constCrc.HashSize() == 4, "HashSize, const and not");
    crc.HashData("123456789", 9);
    char crcText[9];
    crc.End(crcText, sizeof crcText, nullptr, 0);
    r.Check(Same(crcText, "cbf43926"), "CRC-32 of 123456789");

    // Every member of LibStringW (texts that need no language file).
    {
        LibStringW empty;
        r.Check(empty.GetString()[0] == 0, "LibStringW() holds no string");
        wchar_t out[32] = {L'#', 0};
        r.Check(empty.FormatMsg(out, 32, 5u) == 0 && out[0] == L'#',
                "FormatMsg without a string writes nothing");
        r.Check(empty.SetString(L"%1!u! items and more", 11), "SetString of 11 characters");
        r.Check(empty.FormatMsg(out, 32, 42u) == 8 && out[0] == L'4' && out[7] == L's',
                "FormatMsg with a variable argument");
        empty.FreeString();
        r.Check(empty.GetString()[0] == 0, "FreeString");
        LibStringW missing(98765);
        r.Check(missing.GetString()[0] == 0, "LibStringW(number) of a missing string");
        r.Check(missing.Init(98764)[0] == 0, "Init of a missing string");
    }

    // Flat functions: one named, one imported by ordinal only.
    r.Check(OsVer() == OsVer(), "OsVer by name");
    DWORD old = SetLibFlags(0x10000000, 0);
    r.Check((GetLibFlags() & 0x10000000) != 0, "SetLibFlags and GetLibFlags by ordinal");
    SetLibFlags(old & 0x10000000, 0x10000000);
    return r.failed;
}
