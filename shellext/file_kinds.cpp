#include "shellext/file_kinds.h"

#include "frame/xml_document.h"

#include <cwctype>
#include <initializer_list>
#include <vector>

namespace kwill::shellext {
namespace {

constexpr wchar_t kSection[] = L"Kwill.ButtonInfo";

bool EqualNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::towlower(a[i]) != std::towlower(b[i])) return false;
    return true;
}

size_t FindNoCase(std::wstring_view text, std::wstring_view part) {
    if (part.size() > text.size()) return std::wstring_view::npos;
    for (size_t i = 0; i + part.size() <= text.size(); ++i)
        if (EqualNoCase(text.substr(i, part.size()), part)) return i;
    return std::wstring_view::npos;
}

std::wstring ProfileString(const wchar_t* path, const wchar_t* key, size_t chars) {
    std::vector<wchar_t> buffer(chars + 1, L'\0');
    DWORD n = ::GetPrivateProfileStringW(kSection, key, L"", buffer.data(),
                                         static_cast<DWORD>(buffer.size()), path);
    return std::wstring(buffer.data(), n);
}

// Text of an XML node: UTF-8 when it is valid UTF-8, else read in the ANSI code page.
std::wstring NodeText(const TiXmlElement* element) {
    const char* text = element ? element->GetText() : nullptr;
    if (!text || !*text) return {};
    int length = static_cast<int>(std::char_traits<char>::length(text));
    UINT codePage = CP_UTF8;
    int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, nullptr, 0);
    if (n <= 0) {
        codePage = CP_ACP;
        n = ::MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
    }
    if (n <= 0) return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, text, length, out.data(), n);
    return out;
}

template <typename Insert>
std::wstring FormatOne(std::wstring_view pattern, Insert insert, size_t limit) {
    std::wstring out;
    bool inserted = false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        wchar_t c = pattern[i];
        if (c == L'%' && i + 1 < pattern.size()) {
            if (pattern[i + 1] == L'%') {
                out.push_back(L'%');
                ++i;
                continue;
            }
            if (!inserted) {
                size_t used = insert(pattern.substr(i + 1), out);
                if (used) {
                    inserted = true;
                    i += used;
                    continue;
                }
            }
        }
        out.push_back(c);
        if (out.size() > limit + 1) break;
    }
    return CutText(std::move(out), limit);
}

}  // namespace

uint32_t FileKindOfExtension(std::wstring_view extension) {
    static const struct {
        const wchar_t* extension;
        uint32_t kind;
    } kTable[] = {
        {L".kcf", kKindCommand},       {L".kop", kKindButtons},
        {L".flt", kKindFilter},        {L".kps", kKindSettings},
        {L".kft", kKindFileTypes},     {L".klt", kKindTheme},
        {L".tsp", kKindScriptPackage}, {L".tarnscriptinstall", kKindScriptInstall},
    };
    for (const auto& row : kTable)
        if (EqualNoCase(extension, row.extension)) return row.kind;
    return 0;
}

CommandFileText ReadCommandFile(const wchar_t* path) {
    CommandFileText text;
    if (!path || !*path) return text;
    text.tip = ProfileString(path, L"ToolTip", kCommandTipSource);
    text.function = ProfileString(path, L"Func1", kFunctionChars);
    if (!text.tip.empty() || !text.function.empty()) {
        text.iniForm = true;
        text.loaded = true;
        return text;
    }
    XmlDocumentFile document;
    if (!document.LoadFile(path)) return text;
    text.loaded = true;
    const TiXmlElement* button = document.FirstChildElement("button");
    if (!button) return text;
    text.tip = NodeText(button->FirstChildElement("tip"));
    const TiXmlElement* function = button->FirstChildElement("function");
    text.function = NodeText(function ? function->FirstChildElement("instruction") : nullptr);
    return text;
}

bool LoadsLayout(const CommandFileText& text) {
    constexpr std::wstring_view kLayout = L"Prefs LAYOUT";
    if (text.iniForm) {
        std::wstring_view f = text.function;
        return f.size() >= kLayout.size() + 1 &&
               EqualNoCase(f.substr(0, kLayout.size() + 1), L"Prefs LAYOUT=");
    }
    return FindNoCase(text.function, kLayout) != std::wstring_view::npos;
}

std::wstring CommandTipSource(const CommandFileText& text) {
    return CutText(!text.tip.empty() ? text.tip : text.function, kCommandTipSource);
}

std::wstring CutText(std::wstring text, size_t limit) {
    if (text.size() <= limit) return text;
    size_t cut = limit;
    if (cut > 0 && text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF) --cut;
    text.resize(cut);
    return text;
}

// The length of a message-style insert "%1" or "%1!type!" at the start of rest (after the "%"),
// when its type is one of those allowed; 0 otherwise.
size_t NumberedInsert(std::wstring_view rest, std::initializer_list<std::wstring_view> types) {
    if (rest.empty() || rest[0] != L'1') return 0;
    if (rest.size() < 2 || rest[1] != L'!') return 1;  // plain "%1"
    size_t close = rest.find(L'!', 2);
    if (close == std::wstring_view::npos) return 0;
    std::wstring_view type = rest.substr(2, close - 2);
    for (std::wstring_view allowed : types)
        if (type == allowed) return close + 1;
    return 0;
}

std::wstring FormatOneText(std::wstring_view pattern, std::wstring_view value, size_t limit) {
    return FormatOne(
        pattern,
        [&](std::wstring_view rest, std::wstring& out) -> size_t {
            size_t used = 0;
            if (!rest.empty() && (rest[0] == L's' || rest[0] == L'S'))
                used = 1;
            else
                used = NumberedInsert(rest, {L"s", L"ls", L"ws"});
            if (used) out.append(value);
            return used;
        },
        limit);
}

std::wstring FormatOneNumber(std::wstring_view pattern, uint32_t value, size_t limit) {
    return FormatOne(
        pattern,
        [&](std::wstring_view rest, std::wstring& out) -> size_t {
            size_t used = NumberedInsert(rest, {L"u", L"d", L"i", L"lu", L"ld"});
            if (!used) {
                size_t at = !rest.empty() && rest[0] == L'l' ? 1 : 0;
                if (at < rest.size() && (rest[at] == L'd' || rest[at] == L'u' || rest[at] == L'i'))
                    used = at + 1;
            }
            if (used) out += std::to_wstring(value);
            return used;
        },
        limit);
}

}  // namespace kwill::shellext
