// The favourites list of 5,000 entries read and walked through the exports (GetFavoritesList,
// every label and path copied, FreeFavoritesList) beside XmlDocumentFile loading the same file:
// the tree, the registry of handles and the walk should add little to the XML load.
#include "bench/harness.h"
#include "frame/xml_document.h"
#include "tools/common/kwill_dll.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace kwill::bench {
namespace {

using tools::KwillDll;

using ListFn = void* (*)();
using WalkFn = void* (*)(void*);
using CopyFn = BOOL (*)(void*, wchar_t*, int);

constexpr int kEntries = 5000;

// Favourites of the usual shape: paths with labels, a sub-folder every 50 entries, two levels.
std::string FavoritesText() {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<favorites>\n";
    bool inFolder = false;
    for (int i = 0; i < kEntries; ++i) {
        if (i % 50 == 0) {
            if (inFolder) text += "</folder>\n";
            text += "<folder label=\"Group " + std::to_string(i / 50) + "\">\n";
            inFolder = true;
        }
        text += "  <path label=\"Project \xc3\xa9t\xc3\xa9 " + std::to_string(i) +
                "\"><dir><pathstring>D:\\Work\\Projects\\" + std::to_string(i) +
                "\\Sources</pathstring></dir></path>\n";
    }
    if (inFolder) text += "</folder>\n";
    return text + "</favorites>\n";
}

void Run() {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"kwillbench-favorites";
    std::wstring configFiles = folder + L"\\ConfigFiles";
    std::wstring file = configFiles + L"\\favorites.tfv";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ::CreateDirectoryW(configFiles.c_str(), nullptr);
    std::string text = FavoritesText();
    if (FILE* f = _wfopen(file.c_str(), L"wb")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }

    // A portable installation: the configuration folder comes from the environment.
    KwillDll& dll = KwillDll::Get();
    auto setFlags = dll.Require<DWORD (*)(DWORD, DWORD)>(26);
    _wputenv((L"PA_TARNDATAFILES=" + folder).c_str());
    DWORD before = setFlags(0x100, 0);
    auto getList = dll.Require<ListFn>("GetFavoritesList");
    auto freeList = dll.Require<void (*)(void*)>("FreeFavoritesList");
    auto firstPath = dll.Require<WalkFn>("GetFirstPathEntry");
    auto nextPath = dll.Require<WalkFn>("GetNextPathEntry");
    auto firstFolder = dll.Require<WalkFn>("GetFirstSubfolder");
    auto nextFolder = dll.Require<WalkFn>("GetNextSubfolder");
    auto label = dll.Require<CopyFn>("GetEntryLabelW");
    auto path = dll.Require<CopyFn>("GetEntryPathW");

    wchar_t buffer[MAX_PATH];
    auto readAndWalk = [&] {
        void* list = getList();
        int seen = 0;
        for (void* f = firstFolder(list); f; f = nextFolder(f)) {
            label(f, buffer, MAX_PATH);
            for (void* e = firstPath(f); e; e = nextPath(e)) {
                seen += label(e, buffer, MAX_PATH) && path(e, buffer, MAX_PATH);
            }
        }
        freeList(list);
        return seen;
    };
    if (readAndWalk() == kEntries) {
        Compare(
            "favourites list, 5,000 entries, read + walk", {Unit::NanosecondsPerOp, kEntries},
            [&] { Keep(readAndWalk()); }, "XmlDocumentFile::LoadFile alone",
            [&] {
                XmlDocumentFile document;
                Keep(document.LoadFile(file.c_str(), TIXML_ENCODING_UTF8));
            });
    } else {
        std::fprintf(stderr, "favourites bench: the list did not read back whole\n");
    }

    setFlags(before & 0x100, ~before & 0x100);
    _wputenv(L"PA_TARNDATAFILES=");
    ::DeleteFileW(file.c_str());
    ::RemoveDirectoryW(configFiles.c_str());
    ::RemoveDirectoryW(folder.c_str());
}

const SuiteRegistrar kSuite({"favorites", Run});

}  // namespace
}  // namespace kwill::bench
