// The own regular-expression engine through its exports (RegExpAllocW with engine 1,
// RegExpMatchW per text), as a host searches a list of file names or the lines of a log: each
// row runs one pattern over a whole corpus and gives the time per text. The peer is PCRE2's
// interpreter, a native Linux program (bench/native/pcre2_peer.c) that
// scripts/bench-native-peers.sh runs after this one on the same texts and patterns: this suite
// writes them, with its match counts, into regex-peer/ in the build folder.
#include "bench/harness.h"
#include "tools/common/kwill_dll.h"

#include <direct.h>

#include <cstdio>
#include <string>
#include <vector>

namespace kwill::bench {
namespace {

// File names as a folder listing holds them: camera and scan series, dated backups, reports,
// tracks and invoices, with extensions in varying case.
std::vector<std::wstring> NameCorpus() {
    Random rng(11);
    auto digits = [&](int width) {
        std::wstring s;
        for (int i = 0; i < width; ++i) s += static_cast<wchar_t>(L'0' + rng.Below(10));
        return s;
    };
    auto date = [&] {
        return L"20" + std::to_wstring(10 + rng.Below(15)) + L"-" + digits(1).insert(0, L"0") +
               L"-" + std::to_wstring(10 + rng.Below(18));
    };
    const wchar_t* pictureExts[] = {L".jpg", L".JPG", L".jpeg", L".png", L".gif", L".heic"};
    const wchar_t* docExts[] = {L".txt", L".pdf", L".docx", L".xlsx", L".TXT", L".md"};
    const wchar_t* words[] = {L"holiday", L"notes", L"budget", L"draft", L"minutes", L"Summary"};
    std::vector<std::wstring> names;
    for (int i = 0; i < 4000; ++i) {
        std::wstring n;
        switch (rng.Below(10)) {
            case 0:
                n = L"DSC" + digits(5) + pictureExts[rng.Below(6)];
                break;
            case 1:
                n = L"IMG_" + digits(8) + L"_" + digits(6) + pictureExts[rng.Below(6)];
                break;
            case 2:
                n = L"Report " + std::to_wstring(2015 + rng.Below(10)) + L" " + digits(4);
                if (rng.Below(3) == 0) n += L" (" + std::to_wstring(1 + rng.Below(4)) + L")";
                n += docExts[rng.Below(6)];
                break;
            case 3:
                n = L"track " + digits(1 + rng.Below(4)) + (rng.Below(2) ? L" v2" : L"") +
                    (rng.Below(2) ? L".mp3" : L".MP3");
                break;
            case 4:
                n = L"invoice_" + digits(4) + (rng.Below(2) ? L"_final" : L"") +
                    (rng.Below(4) ? L".pdf" : L".PDF");
                break;
            case 5:
                n = L"scan " + date() + L" " + digits(4) + L".pdf";
                break;
            case 6:
                n = L"backup_" + date() + (rng.Below(2) ? L".tar.gz" : L".zip");
                break;
            case 7:
                n = std::wstring(words[rng.Below(6)]) + L" " + words[rng.Below(6)] +
                    docExts[rng.Below(6)];
                break;
            case 8:
                n = std::wstring(words[rng.Below(6)]) + L"_" + digits(3) + L".jpg";
                break;
            default:
                n = L"export-" + digits(2) + L".log";
                break;
        }
        names.push_back(std::move(n));
    }
    return names;
}

// Lines of a service log: timestamps, levels, threads, numbers and messages, with the odd stack
// trace and continuation line that has no timestamp.
std::vector<std::wstring> LineCorpus() {
    Random rng(13);
    auto number = [&](uint32_t below) { return std::to_wstring(rng.Below(below)); };
    const wchar_t* levels[] = {L"INFO ", L"INFO ", L"INFO ", L"DEBUG", L"WARN ", L"ERROR"};
    const wchar_t* threads[] = {L"worker-", L"db-pool-", L"http-", L"scheduler-", L"db-main-"};
    std::vector<std::wstring> lines;
    for (int i = 0; i < 2000; ++i) {
        uint32_t kind = rng.Below(12);
        if (kind == 0) {
            lines.push_back(L"    at com.example.service.Handler.process(Handler.java:" +
                            number(900) + L")");
            continue;
        }
        if (kind == 1) {
            lines.push_back(L"    caused by: connection to 10.0." + number(9) + L"." + number(250) +
                            L" refused after " + number(5) + L" attempts");
            continue;
        }
        std::wstring l = L"2023-05-" + std::to_wstring(10 + rng.Below(20)) + L" " +
                         std::to_wstring(10 + rng.Below(14)) + L":" +
                         std::to_wstring(10 + rng.Below(50)) + L":" +
                         std::to_wstring(10 + rng.Below(50)) + L"." + number(1000) + L" ";
        l += levels[rng.Below(6)];
        l += L" [";
        l += threads[rng.Below(5)];
        l += number(16) + L"] ";
        switch (rng.Below(6)) {
            case 0:
                l += L"request " + number(100000) + L" served in " + number(400) +
                     L" ms from 10.0." + number(9) + L"." + number(250);
                break;
            case 1:
                l += L"connection timeout after " + number(5000) + L" ms, retry " + number(4);
                break;
            case 2:
                l += L"query failed: deadlock detected (txn " + number(100000) + L")";
                break;
            case 3:
                l += L"cache hit ratio " + number(100) + L"%, " + number(10000) + L" entries";
                break;
            case 4:
                l += L"user alice" + number(100) + L" logged in from 192.168.1." + number(250);
                break;
            default:
                l += L"scheduled job nightly-export finished, status ok";
                break;
        }
        lines.push_back(std::move(l));
    }
    return lines;
}

struct PeerRow {
    const char* kernel;
    const wchar_t* pattern;
    bool lines;  // the log lines, else the file names
    bool caseSensitive;
};

// The patterns a host's name and line searches use: literals, '.' runs with a fixed extension,
// '.*' between literals, classes with '+', anchored '.*', an alternation followed by a literal,
// and runs of digit classes. A whole-name match is written with '^' and '$'.
constexpr PeerRow kRows[] = {
    {"regex names literal 'report'", L"report", false, true},
    {"regex names literal ignore case 'REPORT'", L"REPORT", false, false},
    {"regex names dots '^........\\.jpg$'", L"^........\\.jpg$", false, true},
    {"regex names '^invoice.*final.*\\.pdf$'", L"^invoice.*final.*\\.pdf$", false, true},
    {"regex names class '[0-9]+\\.txt'", L"[0-9]+\\.txt", false, true},
    {"regex names class '[A-Za-z]+_[0-9]+\\.jpg$'", L"[A-Za-z]+_[0-9]+\\.jpg$", false, true},
    {"regex names anchored '^.*\\.mp3$'", L"^.*\\.mp3$", false, true},
    {"regex names alternation '(Report|invoice|track) 2'", L"(Report|invoice|track) 2", false,
     true},
    {"regex names digits 'dddd-dd-dd'", L"[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]", false, true},
    {"regex names digits '[0-9]+'", L"[0-9]+", false, true},
    {"regex lines literal 'timeout'", L"timeout", true, true},
    {"regex lines literal ignore case 'DEADLOCK'", L"DEADLOCK", true, false},
    {"regex lines 'connection.*refused'", L"connection.*refused", true, true},
    {"regex lines class '[a-z]+-[0-9]+\\]'", L"[a-z]+-[0-9]+\\]", true, true},
    {"regex lines anchored '^.*deadlock'", L"^.*deadlock", true, true},
    {"regex lines alternation '(ERROR|WARN|FATAL) \\[db'", L"(ERROR|WARN|FATAL) \\[db", true, true},
    {"regex lines digits 'dddd-dd-dd'", L"[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]", true, true},
    {"regex lines digits '[0-9]+ ms'", L"[0-9]+ ms", true, true},
};

// The folder the native peer reads: regex-peer in the build folder.
std::wstring PeerFolder() {
    std::wstring folder = BuildFolder() + L"\\regex-peer";
    _wmkdir(folder.c_str());
    return folder;
}

// One text per line, UTF-16LE, each ended by a line feed (no text holds one).
void WriteCorpus(const std::wstring& file, const std::vector<std::wstring>& texts) {
    FILE* f = _wfopen(file.c_str(), L"wb");
    if (!f) return;
    for (const auto& t : texts) {
        std::fwrite(t.data(), sizeof(wchar_t), t.size(), f);
        wchar_t lf = L'\n';
        std::fwrite(&lf, sizeof(wchar_t), 1, f);
    }
    std::fclose(f);
}

void Run() {
    using AllocFn = void* (*)(const wchar_t*, DWORD);
    using FreeFn = void (*)(void*);
    using MatchFn = BOOL (*)(void*, const wchar_t*, DWORD, void**);
    tools::KwillDll& dll = tools::KwillDll::Get();
    auto alloc = dll.ByName<AllocFn>("RegExpAllocW");
    auto release = dll.ByName<FreeFn>("RegExpFree");
    auto match = dll.ByName<MatchFn>("RegExpMatchW");
    if (!alloc || !release || !match) return;

    const auto names = NameCorpus();
    const auto lines = LineCorpus();
    std::wstring folder = PeerFolder();
    WriteCorpus(folder + L"/names.u16", names);
    WriteCorpus(folder + L"/lines.u16", lines);
    // rows.txt: corpus, case flag, match count, pattern and row name, separated by tabs.
    FILE* rows = _wfopen((folder + L"/rows.txt").c_str(), L"wb");
    for (const PeerRow& row : kRows) {
        const auto& texts = row.lines ? lines : names;
        void* handle = alloc(row.pattern, 1);
        if (!handle) continue;
        DWORD caseSensitive = row.caseSensitive ? 1 : 0;
        size_t hits = 0;
        double ns = Time(
            [&] {
                size_t h = 0;
                for (const auto& t : texts) h += match(handle, t.c_str(), caseSensitive, nullptr);
                hits = h;
                Keep(h);
            },
            {Unit::NanosecondsPerOp, static_cast<double>(texts.size())});
        release(handle);
        Report(
            {row.kernel, "PCRE2 interpreter (native rows below)", ns, 0, Unit::NanosecondsPerOp});
        if (rows) {
            std::string pattern;
            for (const wchar_t* p = row.pattern; *p; ++p) pattern += static_cast<char>(*p);
            std::fprintf(rows, "%s\t%d\t%zu\t%s\t%s\n", row.lines ? "lines" : "names",
                         row.caseSensitive ? 1 : 0, hits, pattern.c_str(), row.kernel);
        }
    }
    if (rows) std::fclose(rows);
}

const SuiteRegistrar kSuite({"regex-peer", Run});

}  // namespace
}  // namespace kwill::bench
