// The exclusion list of the Explorer replacement, "ConfigFiles\exploreroverride.txc":
//
//   <exploreroverride>
//     <path><dir><pidl>?AAAA...</pidl><pathstring>C:\Games</pathstring></dir></path>
//     ...
//   </exploreroverride>
//
// "pidl" holds an ID list in the library's text form, "pathstring" a parsing path in the ANSI
// code page. Either may be missing.
#pragma once

#include "hostlink/folder_decision.h"

#include <optional>
#include <vector>

class TiXmlDocument;

namespace kwill::hostlink {

inline constexpr wchar_t kExclusionFileName[] = L"ConfigFiles\\exploreroverride.txc";

// One entry per "path" element, in file order, so that an entry's index names its place in the
// file. A "pidl" that is not a well-formed list is left out and the entry falls back to its
// "pathstring"; an entry with neither never matches. A document without the top element has no
// entries.
std::vector<ExclusionEntry> ReadExclusions(const TiXmlDocument& document);

// Loads the file: nothing when it is missing or not well-formed XML.
std::optional<std::vector<ExclusionEntry>> LoadExclusionFile(const wchar_t* fileName);

}  // namespace kwill::hostlink
