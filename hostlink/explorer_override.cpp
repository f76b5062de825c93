#include "hostlink/explorer_override.h"

#include "frame/xml_document.h"
#include "shellns/id_list_text.h"

#include <string>

namespace kwill::hostlink {
namespace {

const char* ChildText(const TiXmlElement* parent, const char* name) {
    const TiXmlElement* child = parent->FirstChildElement(name);
    return child ? child->GetText() : nullptr;
}

std::wstring Widen(const char* text, UINT codePage) {
    if (!text || !*text) return {};
    int n = ::MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (n <= 1) return {};
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, text, -1, wide.data(), n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

}  // namespace

std::vector<ExclusionEntry> ReadExclusions(const TiXmlDocument& document) {
    std::vector<ExclusionEntry> entries;
    const TiXmlElement* top = document.FirstChildElement("exploreroverride");
    if (!top) return entries;
    for (const TiXmlElement* path = top->FirstChildElement("path"); path;
         path = path->NextSiblingElement("path")) {
        ExclusionEntry& entry = entries.emplace_back();
        const TiXmlElement* dir = path->FirstChildElement("dir");
        if (!dir) continue;
        // The text form is ASCII; UTF-8 keeps any stray byte from turning into a Base64 letter.
        std::wstring listText = Widen(ChildText(dir, "pidl"), CP_UTF8);
        if (!listText.empty()) {
            if (std::optional<shellns::ParsedList> parsed = shellns::ParseText(listText.c_str())) {
                entry.list = std::move(parsed->bytes);
            }
        }
        entry.path = Widen(ChildText(dir, "pathstring"), CP_ACP);
    }
    return entries;
}

std::optional<std::vector<ExclusionEntry>> LoadExclusionFile(const wchar_t* fileName) {
    if (!fileName || !*fileName) return std::nullopt;
    XmlDocumentFile document;
    if (!document.LoadFile(fileName)) return std::nullopt;
    return ReadExclusions(document);
}

}  // namespace kwill::hostlink
