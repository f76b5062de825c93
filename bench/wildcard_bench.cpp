// Wildcard patterns on a name-search workload, through the exports as a host calls them: every
// pattern is compiled once with AllocMatchPatternW (ignoring case) and matched against each name
// of a corpus of realistic file names with MatchPatternW. The same names and the equivalent
// patterns of the C library's fnmatch are written beside the benchmark program, where the
// native peer (bench/native/fnmatch_peer.c, run by `make bench`) reads them, so both sides time
// the same work.
#include "bench/harness.h"
#include "tools/common/kwill_dll.h"

#include <cstdio>
#include <string>
#include <vector>

namespace kwill::bench {
namespace {

using AllocFn = void*(__cdecl*)(const wchar_t*, DWORD);
using MatchFn = int(__cdecl*)(const void*, const wchar_t*);
using FreeFn = void(__cdecl*)(void*);

std::wstring Digits(Random& rng, int count) {
    std::wstring s;
    for (int i = 0; i < count; ++i) s += static_cast<wchar_t>(L'0' + rng.Below(10));
    return s;
}

// Names as a download, photo and document folder holds them: camera and scan series, reports
// and invoices with years and copies, tracks, archives, a few names with accented letters, and
// extensions in both cases.
std::vector<std::wstring> Corpus(size_t count) {
    Random rng(23);
    const wchar_t* docExt[] = {L".pdf", L".PDF", L".docx", L".txt", L".xlsx", L".odt"};
    const wchar_t* words[] = {L"annual", L"budget", L"minutes", L"summary",   L"draft",
                              L"final",  L"notes",  L"Café",    L"Übersicht", L"résumé"};
    const wchar_t* years[] = {L"2019", L"2020", L"2021", L"2022", L"2023", L"2024"};
    std::vector<std::wstring> names;
    names.reserve(count);
    while (names.size() < count) {
        std::wstring n;
        switch (rng.Below(12)) {
            case 0:
            case 1:  // camera: IMG_1234.JPG, some with a copy suffix or another extension
                n = (rng.Below(3) ? L"IMG_" : L"img_") + Digits(rng, 4);
                if (rng.Below(8) == 0) n += L" (1)";
                n += rng.Below(4) == 0 ? L".jpg" : (rng.Below(6) == 0 ? L".HEIC" : L".JPG");
                break;
            case 2:
                n = L"DSC" + Digits(rng, 5) + (rng.Below(2) ? L".JPG" : L".ARW");
                break;
            case 3:
                n = L"IMG_" + std::wstring(years[rng.Below(6)]) + Digits(rng, 4) + L"_" +
                    Digits(rng, 6) + L".jpg";
                break;
            case 4:  // Report 2023 9709 (1).txt, annual_report_2023_final.pdf
                n = rng.Below(2) ? L"Report " : L"report_";
                if (rng.Below(3) == 0) n = std::wstring(words[rng.Below(10)]) + L"_" + n;
                n += years[rng.Below(6)];
                n += n.back() == L'_' ? L"_" : L" ";
                n += Digits(rng, 4);
                if (rng.Below(3) == 0) n += L" (" + Digits(rng, 1) + L")";
                if (rng.Below(4) == 0) n += L"_final";
                n += docExt[rng.Below(6)];
                break;
            case 5:
                n = L"invoice_" + Digits(rng, 4) + (rng.Below(3) ? L"_final" : L"") +
                    docExt[rng.Below(2)];
                break;
            case 6:
                n = L"track " + Digits(rng, rng.Below(3) + 2) + (rng.Below(4) ? L"" : L" v2") +
                    (rng.Below(2) ? L".mp3" : L".FLAC");
                break;
            case 7:
                n = L"Scan " + std::wstring(years[rng.Below(6)]) + L"-0" + Digits(rng, 1) + L"-" +
                    Digits(rng, 2) + L" (" + Digits(rng, 1) + L").pdf";
                break;
            case 8:
                n = L"backup-" + std::wstring(years[rng.Below(6)]) + L"-" + Digits(rng, 2) +
                    (rng.Below(2) ? L".tar.gz" : L".zip");
                break;
            case 9:
                n = std::wstring(words[rng.Below(10)]) + L" " + words[rng.Below(10)] +
                    docExt[rng.Below(6)];
                break;
            case 10: {
                const wchar_t* plain[] = {L"README.md",  L"setup.exe", L"desktop.ini",
                                          L"Thumbs.db",  L"notes.txt", L"index.html",
                                          L"main.c",     L"Makefile",  L"~$report.docx",
                                          L"photo.jpeg", L".gitignore"};
                n = plain[rng.Below(11)];
                break;
            }
            default:
                n = L"Screenshot " + std::wstring(years[rng.Below(6)]) + L"-" + Digits(rng, 2) +
                    L"-" + Digits(rng, 2) + L" at " + Digits(rng, 2) + L"." + Digits(rng, 2) +
                    L".png";
                break;
        }
        names.push_back(n);
    }
    return names;
}

// A pattern in the library's syntax and the same pattern for fnmatch. `extended` needs
// FNM_EXTMATCH; `invert` means the library's pattern is the negation of the fnmatch one.
struct Pattern {
    const char* kind;
    const wchar_t* ours;
    const char* fnmatch;
    bool extended;
    bool invert;
};

const Pattern kPatterns[] = {
    {"literal", L"invoice_0042_final.pdf", "invoice_0042_final.pdf", false, false},
    {"? run, fixed extension", L"IMG_????.JPG", "IMG_????.JPG", false, false},
    {"? run, fixed extension", L"DSC?????.*", "DSC?????.*", false, false},
    {"* between literals", L"*report*2023*.pdf", "*report*2023*.pdf", false, false},
    {"* between literals", L"*final*", "*final*", false, false},
    {"anchored suffix", L"*.txt", "*.txt", false, false},
    {"anchored prefix", L"Screenshot*", "Screenshot*", false, false},
    {"anchored both", L"IMG_*.jpg", "IMG_*.jpg", false, false},
    {"class run", L"IMG_[0-9][0-9][0-9][0-9].JPG", "IMG_[0-9][0-9][0-9][0-9].JPG", false, false},
    {"class run", L"*[0-9][0-9][0-9][0-9]*.pdf", "*[0-9][0-9][0-9][0-9]*.pdf", false, false},
    {"class, negated", L"[~0-9]*.mp3", "[!0-9]*.mp3", false, false},
    {"class with repeat", L"track [0-9]#[0-9].mp3", "track +([0-9]).mp3", true, false},
    {"alternation, literal", L"*.(jpg|png)", "*.@(jpg|png)", true, false},
    {"alternation, literal", L"(img|dsc)*.jpg", "@(img|dsc)*.jpg", true, false},
    {"whole negation", L"~*.jpg", "*.jpg", false, true},
};

std::string Label(const Pattern& p) {
    std::string label = "wildcard ";
    for (const wchar_t* c = p.ours; *c; ++c) label += static_cast<char>(*c);
    return label;
}

std::string Utf8(const std::wstring& s) {
    std::string out;
    for (wchar_t c : s) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// wildcard-names.txt: one UTF-8 name a line. wildcard-patterns.txt: label, fnmatch pattern,
// flags (x extended, ! inverted, - neither) and the library's match count, tab-separated.
void WritePeerInput(const std::vector<std::wstring>& names, const std::vector<size_t>& hits) {
    const std::wstring folder = BuildFolder();
    FILE* out = _wfopen((folder + L"\\wildcard-names.txt").c_str(), L"wb");
    if (!out) return;
    for (const std::wstring& n : names) std::fprintf(out, "%s\n", Utf8(n).c_str());
    std::fclose(out);
    out = _wfopen((folder + L"\\wildcard-patterns.txt").c_str(), L"wb");
    if (!out) return;
    size_t i = 0;
    for (const Pattern& p : kPatterns) {
        const char* flags = p.extended ? (p.invert ? "x!" : "x") : (p.invert ? "!" : "-");
        std::fprintf(out, "%s\t%s\t%s\t%zu\n", Label(p).c_str(), p.fnmatch, flags, hits[i++]);
    }
    std::fclose(out);
}

void Run() {
    const auto& dll = tools::KwillDll::Get();
    auto alloc = dll.Require<AllocFn>("AllocMatchPatternW");
    auto match = dll.Require<MatchFn>("MatchPatternW");
    auto release = dll.Require<FreeFn>("FreeMatchPattern");
    const std::vector<std::wstring> names = Corpus(8192);
    std::vector<const wchar_t*> texts;
    for (const std::wstring& n : names) texts.push_back(n.c_str());

    std::vector<size_t> hits;
    for (const Pattern& p : kPatterns) {
        void* handle = alloc(p.ours, 0);
        size_t count = 0;
        for (const wchar_t* t : texts) count += match(handle, t);
        hits.push_back(count);
        Compare(
            Label(p), {Unit::NanosecondsPerOp, static_cast<double>(texts.size())},
            [&] {
                int n = 0;
                for (const wchar_t* t : texts) n += match(handle, t);
                Keep(n);
            },
            "fnmatch FNM_CASEFOLD: native row below", nullptr);
        release(handle);
    }
    WritePeerInput(names, hits);
}

const SuiteRegistrar kSuite({"wildcard", Run});

}  // namespace
}  // namespace kwill::bench
