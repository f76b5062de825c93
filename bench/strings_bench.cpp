// The comparison family against the system's and the runtime's own functions, on one generated
// corpus of realistic file names: mixed case, version numbers, leading zeros, long digit runs,
// CJK names. The natural-order rows replay the comparisons that sorting the corpus makes, so
// the mix of near and far pairs is what a file list sees. A second corpus of real-world names
// (camera and scan series, reports, invoices) is compared in random pairs through the export.
#include "bench/harness.h"
#include "strings/compare.h"
#include "tools/common/kwill_dll.h"

#include "frame/platform.h"

#include <shlwapi.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <string>
#include <utility>
#include <vector>

namespace kwill::bench {
namespace {

std::vector<std::wstring> Corpus(size_t count) {
    Random rng(20240601);
    const wchar_t* stems[] = {
        L"IMG_",         L"DSC",          L"Screenshot ", L"Invoice ", L"invoice-",
        L"Report ",      L"report_v",     L"Track ",      L"setup-",   L"\x4F1A\x8BAE\x8BB0\x5F55 ",
        L"\x5199\x771F", L"\x6587\x4EF6", L"Backup ",     L"notes",    L"Chapter ",
        L"photo (",      L"build."};
    const wchar_t* extensions[] = {L".jpg", L".JPG",  L".txt", L".pdf", L".tar.gz",
                                   L".mp3", L".docx", L"",     L".png", L".log"};
    std::vector<std::wstring> names;
    while (names.size() < count) {
        std::wstring n = stems[rng.Below(std::size(stems))];
        switch (rng.Below(6)) {
            case 0:  // counters with leading zeros
                n += std::wstring(rng.Below(4), L'0') + std::to_wstring(rng.Below(5000));
                break;
            case 1:  // versions
                n += std::to_wstring(rng.Below(4)) + L"." + std::to_wstring(rng.Below(20)) + L"." +
                     std::to_wstring(rng.Below(200));
                break;
            case 2:  // dates and times
                n += L"2024-" + std::to_wstring(1 + rng.Below(12)) + L"-" +
                     std::to_wstring(1 + rng.Below(28)) + L" " + std::to_wstring(rng.Below(24)) +
                     L"." + std::to_wstring(rng.Below(60));
                break;
            case 3:  // long digit runs, beyond 64 bits
                n += L"2024060112345678901234" + std::to_wstring(rng.Below(1000));
                break;
            case 4:
                n += std::to_wstring(rng.Below(40)) + L")";
                break;
            default:
                n += std::to_wstring(rng.Below(300));
                break;
        }
        n += extensions[rng.Below(std::size(extensions))];
        names.push_back(n);
    }
    return names;
}

// The pairs that sorting the corpus compares, in order.
std::vector<std::pair<const wchar_t*, const wchar_t*>> SortPairs(
    const std::vector<std::wstring>& names) {
    std::vector<const wchar_t*> order;
    for (const std::wstring& n : names) order.push_back(n.c_str());
    std::vector<std::pair<const wchar_t*, const wchar_t*>> pairs;
    std::stable_sort(order.begin(), order.end(), [&pairs](const wchar_t* a, const wchar_t* b) {
        pairs.emplace_back(a, b);
        return NumericStrCmp(a, b, false) < 0;
    });
    return pairs;
}

// Names as real folders hold them: numbered series from cameras, scanners and exports with a
// stem shared by many files, padded and unpadded counters, copies "(1)", versions, dates,
// spaces and underscores, extensions in either case. Each name is built by appends in order,
// so the generator draws its numbers in the same order with any compiler.
std::vector<std::wstring> RealisticNames(size_t count) {
    Random rng(20250314);
    std::wstring n;
    auto add = [&n](const std::wstring& part) { n += part; };
    auto pick = [&rng, &n](std::initializer_list<const wchar_t*> list) {
        n += list.begin()[rng.Below(static_cast<uint32_t>(list.size()))];
    };
    auto number = [&rng, &n](uint32_t bound, size_t width) {
        const std::wstring digits = std::to_wstring(rng.Below(bound));
        if (digits.size() < width) n.append(width - digits.size(), L'0');
        n += digits;
    };
    std::vector<std::wstring> names;
    names.reserve(count);
    while (names.size() < count) {
        n.clear();
        switch (rng.Below(10)) {
            case 0:
                add(L"IMG_");
                number(10000, 4);
                pick({L".JPG", L".jpg", L".JPG"});
                break;
            case 1:
                add(L"DSC");
                number(100000, 5);
                pick({L".jpg", L".JPG", L".ARW"});
                break;
            case 2:
                add(L"scan ");
                number(400, 3);
                pick({L".tif", L".TIF", L".pdf"});
                break;
            case 3:
                add(L"Report 20");
                number(25, 2);
                add(L" ");
                number(10000, 0);
                pick({L".txt", L" (1).txt", L" (2).txt", L".TXT", L" final.docx"});
                break;
            case 4:
                add(L"track ");
                number(10000, 0);
                pick({L"", L" v2", L" v3"});
                pick({L".JPG", L".mp3", L".MP3", L".wav"});
                break;
            case 5:
                add(L"invoice_");
                number(2000, 4);
                pick({L"_final.pdf", L"_draft.pdf", L".pdf", L"_final.PDF"});
                break;
            case 6:
                add(L"Screenshot 2024-");
                number(12, 2);
                add(L"-");
                number(28, 2);
                add(L" at ");
                number(24, 2);
                add(L".");
                number(60, 2);
                add(L".");
                number(60, 2);
                add(L".png");
                break;
            case 7:
                pick({L"Budget", L"Holiday Photos", L"Meeting notes", L"Project Alpha",
                      L"Thesis draft", L"Kitchen plans", L"Quarterly sales", L"Garden"});
                pick({L" ", L" - ", L"_"});
                pick({L"", L"v", L"part "});
                number(60, 0);
                pick({L".docx", L".xlsx", L" (copy).docx", L".PDF", L".pptx"});
                break;
            case 8:
                pick({L"New Folder", L"New Text Document", L"Copy of notes"});
                if (rng.Below(2)) {
                    add(L" (");
                    number(30, 0);
                    add(L")");
                }
                pick({L"", L".txt"});
                break;
            default:
                add(L"Scan_202");
                number(5, 0);
                number(12, 2);
                number(28, 2);
                add(L"_");
                number(1000, 4);
                add(L".PDF");
                break;
        }
        names.push_back(n);
    }
    return names;
}

void Run() {
    using NumericCompare = int (*)(const wchar_t*, const wchar_t*, DWORD);
    const auto numericExport = tools::KwillDll::Get().Require<NumericCompare>("NumericStrCmp");
    {
        const std::vector<std::wstring> real = RealisticNames(4000);
        Random rng(4242);
        std::vector<std::pair<const wchar_t*, const wchar_t*>> pairs(20000);
        for (auto& p : pairs) {
            p.first = real[rng.Below(static_cast<uint32_t>(real.size()))].c_str();
            p.second = real[rng.Below(static_cast<uint32_t>(real.size()))].c_str();
        }
        Compare(
            "natural order, real names in random pairs (export)",
            {Unit::NanosecondsPerOp, static_cast<double>(pairs.size())},
            [&] {
                int sum = 0;
                for (const auto& p : pairs) sum += numericExport(p.first, p.second, 0);
                Keep(sum);
            },
            "StrCmpLogicalW",
            [&] {
                int sum = 0;
                for (const auto& p : pairs) sum += ::StrCmpLogicalW(p.first, p.second);
                Keep(sum);
            });
    }

    const std::vector<std::wstring> names = Corpus(2000);
    const auto pairs = SortPairs(names);
    const double ops = static_cast<double>(pairs.size());

    Compare(
        "natural order (NumericStrCmp)", {Unit::NanosecondsPerOp, ops},
        [&] {
            int sum = 0;
            for (const auto& p : pairs) sum += NumericStrCmp(p.first, p.second, false);
            Keep(sum);
        },
        "StrCmpLogicalW",
        [&] {
            int sum = 0;
            for (const auto& p : pairs) sum += ::StrCmpLogicalW(p.first, p.second);
            Keep(sum);
        });

    // The system's numeric collation, where this Windows (or Wine) has it.
    const DWORD digitsFlags = NORM_IGNORECASE | SORT_DIGITSASNUMBERS;
    const bool haveDigits = ::CompareStringEx(LOCALE_NAME_USER_DEFAULT, digitsFlags, L"a2", -1,
                                              L"a10", -1, nullptr, nullptr, 0) != 0;
    auto digits = [&] {
        int sum = 0;
        for (const auto& p : pairs) {
            sum += ::CompareStringEx(LOCALE_NAME_USER_DEFAULT, digitsFlags, p.first, -1, p.second,
                                     -1, nullptr, nullptr, 0);
        }
        Keep(sum);
    };
    auto ours = [&] {
        int sum = 0;
        for (const auto& p : pairs) sum += NumericStrCmp(p.first, p.second, false);
        Keep(sum);
    };
    if (haveDigits) {
        Compare("natural order (NumericStrCmp)", {Unit::NanosecondsPerOp, ops}, ours,
                "CompareStringEx SORT_DIGITSASNUMBERS", digits);
    } else {
        Row row;
        row.kernel = "natural order (NumericStrCmp)";
        row.peerName = "CompareStringEx SORT_DIGITSASNUMBERS (not supported here)";
        row.unit = Unit::NanosecondsPerOp;
        row.ours = Time(ours, {Unit::NanosecondsPerOp, ops});
        Report(row);
    }

    // One series of a camera folder: the pending text is equal in most comparisons.
    std::vector<std::wstring> series;
    {
        Random rng(77);
        for (int i = 0; i < 2000; ++i) {
            series.push_back((rng.Below(2) ? L"IMG_" : L"img_") +
                             std::to_wstring(rng.Below(20000)) +
                             (rng.Below(8) ? L".JPG" : L" (2).JPG"));
        }
    }
    const auto seriesPairs = SortPairs(series);
    Compare(
        "natural order, one camera series", {Unit::NanosecondsPerOp, double(seriesPairs.size())},
        [&] {
            int sum = 0;
            for (const auto& p : seriesPairs) sum += NumericStrCmp(p.first, p.second, false);
            Keep(sum);
        },
        "StrCmpLogicalW",
        [&] {
            int sum = 0;
            for (const auto& p : seriesPairs) sum += ::StrCmpLogicalW(p.first, p.second);
            Keep(sum);
        });

    // Bounded case-insensitive comparison of neighbours in the sorted list (long equal
    // prefixes) against the runtime's.
    std::vector<std::wstring> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    const double neighbours = static_cast<double>(sorted.size() - 1);
    Compare(
        "stricmpnW (A-Z folding, limit 260)", {Unit::NanosecondsPerOp, neighbours},
        [&] {
            int sum = 0;
            for (size_t i = 1; i < sorted.size(); ++i)
                sum += stricmpnW(sorted[i - 1].c_str(), sorted[i].c_str(), 260);
            Keep(sum);
        },
        "_wcsnicmp",
        [&] {
            int sum = 0;
            for (size_t i = 1; i < sorted.size(); ++i)
                sum += _wcsnicmp(sorted[i - 1].c_str(), sorted[i].c_str(), 260);
            Keep(sum);
        });

    // Case-insensitive search through a long listing for a few typed words.
    std::wstring listing;
    for (const std::wstring& n : names) listing += n + L"\r\n";
    const wchar_t* sought[] = {L"invoice-04", L"REPORT_V3.1", L"track 299.mp3", L"missing.name"};
    const double bytes = static_cast<double>(listing.size() * sizeof(wchar_t) * std::size(sought));
    std::wstring upperText(listing.size() + 1, 0), upperSought(64, 0);
    Compare(
        "strstriW (A-Z folding)", {Unit::MegabytesPerSecond, bytes},
        [&] {
            size_t found = 0;
            for (const wchar_t* s : sought) {
                // Every occurrence, as a filter over the listing does.
                for (const wchar_t* p = listing.c_str(); (p = strstriW(p, s)) != nullptr; ++p)
                    ++found;
            }
            Keep(found);
        },
        "towupper copies + wcsstr",
        [&] {
            size_t found = 0;
            for (const wchar_t* s : sought) {
                for (size_t i = 0; i <= listing.size(); ++i)
                    upperText[i] = static_cast<wchar_t>(std::towupper(listing.c_str()[i]));
                size_t k = 0;
                for (; s[k]; ++k) upperSought[k] = static_cast<wchar_t>(std::towupper(s[k]));
                upperSought[k] = 0;
                for (const wchar_t* p = upperText.c_str();
                     (p = std::wcsstr(p, upperSought.c_str())) != nullptr; ++p)
                    ++found;
            }
            Keep(found);
        });
}

const SuiteRegistrar kSuite({"strings", Run});

}  // namespace
}  // namespace kwill::bench
