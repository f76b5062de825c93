// A small host program for kwilllib.dll, built the way an outside program would be: it includes
// <kwilllib.h> and links against the import library (libkwilllib.dll.a here, kwilllib.lib with
// Microsoft's tools), so Windows loads the library with the program; no LoadLibrary, no
// GetProcAddress. It calls a few exports of different families, named ones and ones that the
// import library binds to their ordinal, uses the class Hash, and checks every answer: the exit
// code is the number of wrong ones.
#include <kwilllib.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

static int checks = 0, failures = 0;

static void Check(bool ok, const char* what) {
    printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    ++checks;
    if (!ok) ++failures;
}

int wmain() {
    // The library frame, by ordinal only (GetFileVersionStrings is @52 NONAME): the version of
    // the kwilllib.dll that this program loaded.
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(GetModuleHandleW(L"kwilllib.dll"), path, MAX_PATH);
    DWORD ms = 0, ls = 0;
    wchar_t product[64] = L"", description[64] = L"";
    DWORD version = GetFileVersionStrings(path, &ms, &ls, nullptr, nullptr, nullptr, nullptr, 0,
                                          product, 64, nullptr, 0, description, 64);
    printf("kwilllib.dll %u.%u.%u.%u (%ls, %ls)\n", HIWORD(ms), LOWORD(ms), HIWORD(ls), LOWORD(ls),
           product, description);
    Check(version != 0 && version == DWORD{HIWORD(ms)} * 100 + LOWORD(ms),
          "GetFileVersionStrings (ordinal 52) reads the library's version resource");

    // Library flags, by ordinal only (26 and 27).
    DWORD old = SetLibFlags(0x400, 0);
    Check((GetLibFlags() & 0x400) != 0, "SetLibFlags / GetLibFlags (ordinals 26, 27)");
    SetLibFlags(old & 0x400, 0x400);

    // Strings, by name.
    Check(NumericStrCmp(L"file9", L"file10", 0) < 0, "NumericStrCmp: file9 before file10");
    const wchar_t* extension = FindFileExtensionW(L"C:\\notes\\readme.txt");
    Check(extension && wcscmp(extension, L".txt") == 0, "FindFileExtensionW");

    // Text: a wildcard pattern handle, released with its free function.
    String_Pattern* pattern = AllocMatchPatternW(L"*.(txt|md)", 0);
    Check(pattern && MatchPatternW(pattern, L"a.md") == 1 && MatchPatternW(pattern, L"a.doc") == 0,
          "AllocMatchPatternW / MatchPatternW");
    FreeMatchPattern(pattern);

    // Codec: Base64 into the caller's buffer, and a buffer the library allocates (LocalFree).
    char base64[16];
    Base64Encode(reinterpret_cast<const BYTE*>("kwill"), 5, base64);
    Check(strcmp(base64, "a3dpbGw=") == 0, "Base64Encode");
    BYTE* decoded = nullptr;
    int n = Base64DecodeStringA(base64, &decoded, 0, 0);
    Check(n == 5 && decoded && memcmp(decoded, "kwill", 5) == 0, "Base64DecodeStringA");
    LocalFree(decoded);

    // The class Hash: a prefix hashed once, then two independent digests from copies.
    Hash prefix;
    prefix.Init(SHA256);
    prefix.HashData("ab", 2);
    Hash abc = prefix;
    abc.HashData("c", 1);
    char text[2 * Hash::MAX_HASH_SIZE + 1];
    abc.End(text, sizeof text, nullptr, 0);
    Check(strcmp(text, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad") == 0,
          "Hash: SHA-256 of abc");
    prefix.HashData("d", 1);
    unsigned char digest[32];
    prefix.End(sizeof digest, digest);
    Hash::SumToString(digest, text, sizeof text, prefix.HashSize());
    Check(strcmp(text, "a52d159f262b2c6ddb724a61840befc36eb30c88877a4030b65cbe86298449c9") == 0,
          "Hash: SHA-256 of abd from the same prefix");
    Hash blake;
    blake.Init(BLAKE3);
    blake.End(text, sizeof text, nullptr, 0);
    Check(strcmp(text, "af1349b9f5f9a1a6a0404dea36dcc9499bcb25c9adc112b7cc9a93cae41f3262") == 0,
          "Hash: BLAKE3 of nothing");

    // Shell namespace: ID lists are task memory, released with PIDLFree.
    LPITEMIDLIST empty = static_cast<LPITEMIDLIST>(PIDLAlloc(2));
    if (empty) empty->mkid.cb = 0;
    LPITEMIDLIST copy = PIDLCopy(empty, 0xFFFFFFFF);
    Check(copy && ILSize(copy) == 2 && ILGetCount(copy) == 0, "PIDLAlloc / PIDLCopy / ILSize");
    PIDLFree(copy);
    PIDLFree(empty);

    printf("%d passed, %d failed\n", checks - failures, failures);
    return failures;
}
