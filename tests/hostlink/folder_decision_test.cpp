// The host-or-shell decision over made-up shell answers: every rule, and which questions the
// shell is asked on the way (the exclusion file is read only when the list is in use, the
// file-system test runs only in file-system mode).
#include "hostlink/folder_decision.h"

#include <gtest/gtest.h>

#include <string>

namespace kwill::hostlink {
namespace {

class FakeProbe : public FolderProbe {
  public:
    bool controlPanel = false;
    bool exclusionsAvailable = true;
    std::vector<ExclusionEntry> entries;
    std::vector<bool> matches;  // per entry
    bool fileSystem = true;
    bool home = false;

    std::string asked;  // one letter per question: c, x, m, f, h

    bool IsControlPanel() override { return asked += 'c', controlPanel; }
    const std::vector<ExclusionEntry>* Exclusions() override {
        asked += 'x';
        return exclusionsAvailable ? &entries : nullptr;
    }
    bool Matches(const ExclusionEntry& entry) override {
        asked += 'm';
        return matches[static_cast<size_t>(&entry - entries.data())];
    }
    bool IsFileSystem() override { return asked += 'f', fileSystem; }
    bool IsHomeFolder() override { return asked += 'h', home; }
};

constexpr uint64_t kOn = kSettings1ReplaceExplorer;
constexpr uint64_t kFs = kSettings4FileSystemOnly;
constexpr uint64_t kEx = kSettings4UseExclusions;

enum Target { kPath, kList, kBoth, kNeither, kCollPath, kCollItem };

FolderTarget MakeTarget(Target t) {
    FolderTarget target;
    target.hasPath = t == kPath || t == kBoth || t == kCollPath;
    target.hasList = t == kList || t == kBoth || t == kCollItem;
    target.collectionPath = t == kCollPath;
    target.collectionItem = t == kCollItem;
    return target;
}

TEST(FolderDecision, Rules) {
    struct Row {
        uint64_t settings1, settings4;
        Target target;
        bool controlPanel, available;
        std::vector<bool> matches;
        bool fileSystem, home;
        bool host;
        FolderRule rule;
        size_t entry;
        const char* asked;
    };
    using R = FolderRule;
    const Row rows[] = {
        // collections go to the host whatever the settings
        {0, 0, kCollPath, true, true, {}, false, false, true, R::kCollectionPath, 0, ""},
        {0, kFs, kCollItem, true, true, {}, false, false, true, R::kCollectionItem, 0, ""},
        // replacement off
        {0, kEx, kList, true, true, {true}, true, false, false, R::kReplacementOff, 0, ""},
        {~kOn, ~0ull, kPath, false, true, {}, true, false, false, R::kReplacementOff, 0, ""},
        // every folder: control panel, then the exclusion list when it is in use
        {kOn, 0, kList, true, true, {}, true, false, false, R::kControlPanel, 0, "c"},
        {kOn, 0, kPath, true, true, {}, true, false, true, R::kReplacementOn, 0, ""},
        {kOn, 0, kList, false, true, {true}, true, false, true, R::kReplacementOn, 0, "c"},
        {kOn, kEx, kList, true, true, {true}, true, false, false, R::kControlPanel, 0, "c"},
        {kOn, kEx, kList, false, false, {}, true, false, true, R::kExclusionsUnavailable, 0, "cx"},
        {kOn, kEx, kPath, false, true, {}, true, false, true, R::kNotExcluded, 0, "x"},
        {kOn,
         kEx,
         kPath,
         false,
         true,
         {false, false},
         true,
         false,
         true,
         R::kNotExcluded,
         0,
         "xmm"},
        {kOn,
         kEx,
         kPath,
         false,
         true,
         {false, true, true},
         true,
         false,
         false,
         R::kExcluded,
         1,
         "xmm"},
        {kOn, kEx, kBoth, false, true, {true}, true, false, false, R::kExcluded, 0, "cxm"},
        {kOn, kEx, kNeither, false, true, {false}, true, false, true, R::kNotExcluded, 0, "xm"},
        // file-system folders only: exclusions and control panel are not asked
        {kOn, kFs, kNeither, true, true, {}, false, false, true, R::kNothingToTest, 0, ""},
        {kOn, kFs | kEx, kPath, true, true, {true}, true, false, true, R::kFileSystem, 0, "f"},
        {kOn, kFs, kList, true, true, {}, false, false, false, R::kNotFileSystem, 0, "fh"},
        {kOn, kFs, kList, false, true, {}, false, true, true, R::kHomeFolder, 0, "fh"},
        {kOn, kFs, kPath, false, true, {}, false, true, false, R::kNotFileSystem, 0, "f"},
        {kOn, kFs, kBoth, false, true, {}, true, true, true, R::kFileSystem, 0, "f"},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE("row " + std::to_string(n++));
        FakeProbe probe;
        probe.controlPanel = row.controlPanel;
        probe.exclusionsAvailable = row.available;
        probe.entries.resize(row.matches.size());
        probe.matches = row.matches;
        probe.fileSystem = row.fileSystem;
        probe.home = row.home;
        FolderDecision d =
            DecideFolder({row.settings1, row.settings4}, MakeTarget(row.target), probe);
        EXPECT_EQ(d.host, row.host);
        EXPECT_STREQ(FolderRuleName(d.rule), FolderRuleName(row.rule));
        if (row.rule == R::kExcluded) {
            EXPECT_EQ(d.entry, row.entry);
        }
        EXPECT_EQ(probe.asked, row.asked);
    }
}

TEST(FolderDecision, CollectionPaths) {
    struct Row {
        const wchar_t* path;
        bool collection;
    };
    const Row rows[] = {{L"coll://", true},    {L"COLL://x", true}, {L"Coll://a/b", true},
                        {L"coll:/", false},    {L"coll", false},    {L"", false},
                        {L" coll://x", false}, {nullptr, false},    {L"xcoll://", false}};
    for (const Row& row : rows) {
        EXPECT_EQ(IsCollectionPath(row.path), row.collection)
            << (row.path ? std::string(row.path, row.path + wcslen(row.path)) : "(null)");
    }
}

}  // namespace
}  // namespace kwill::hostlink
