#include "shellext/context_menu_commands.h"

#include <algorithm>
#include <iterator>

namespace kwill::shellext {
namespace {

constexpr size_t kMaxHelp = 256;

using A = MenuAction;
using L = FormatList;

const MenuCommand kCommands[] = {
    {0, L"newlister", false, 20005, 20012, false, A::NewLister, L::None},
    {1, L"tarnprefs", false, 20006, 20013, false, A::Prefs, L::None},
    {2, L"extracthere", false, 20008, 20014, false, A::Archive, L::None},
    {3, L"extractto", false, 20009, 20027, false, A::Archive, L::None},
    {4, L"extractsub", false, 20030, 20015, false, A::Archive, L::None},
    {5, L"extractsub", false, 20030, 20015, false, A::Archive, L::None},
    {6, L"addto", true, 20011, 20016, true, A::Archive, L::General},
    {7, L"addtoname", true, 20032, 20016, true, A::Archive, L::Named},
    {8, L"zipandmail", true, 20033, 20021, true, A::Archive, L::Email},
    {12, nullptr, false, 20023, 20024, false, A::Layout, L::None},
    {13, L"remcollicon", false, 0, 20026, false, A::RemoveCollectionsIcon, L::None},
    {14, L"convertsfx", false, 20028, 20029, false, A::Archive, L::None},
    {15, L"convertsfx", false, 20028, 20029, false, A::Archive, L::None},
    {16, L"extracthere", false, 20008, 20014, false, A::Archive, L::None},
    {17, L"open", false, 0, 0, false, A::OpenFolder, L::None},
    {18, L"addtofoldername", true, 20032, 20016, true, A::Archive, L::Named},
};

// The verbs InvokeCommand accepts as text, in the order they are looked up.
struct TextVerb {
    const wchar_t* verb;
    uint32_t kind;
};
const TextVerb kTextVerbs[] = {
    {L"newlister", 0},  {L"tarnprefs", 1},    {L"extractto", 3},   {L"extracthere", 2},
    {L"extractsub", 4}, {L"addto", 6},        {L"addtoname", 7},   {L"addtofoldername", 18},
    {L"zipandmail", 8}, {L"remcollicon", 13}, {L"convertsfx", 14}, {L"open", 17},
};

struct BuiltInText {
    int number;
    const wchar_t* text;
};
const BuiltInText kBuiltInTexts[] = {
    {20005, L"New Lister"},
    {20006, L"Preferences..."},
    {20007, L"Extract to \"%s\""},
    {20008, L"Extract Here"},
    {20009, L"Extract To..."},
    {20011, L"Add to Archive..."},
    {20012, L"Opens a new lister window"},
    {20013, L"Opens the preferences"},
    {20014, L"Extracts the archive into this folder"},
    {20015, L"Extracts each archive into a folder of its own"},
    {20016, L"Adds the selected files to a %s archive"},
    {20021, L"Adds the selected files to a %s archive and mails it"},
    {20022, L"Archive"},
    {20023, L"Layouts"},
    {20024, L"Opens a saved lister layout"},
    {20026, L"Removes the collections icon from the desktop"},
    {20027, L"Extracts the archive into a folder you choose"},
    {20028, L"Convert to Self-Extracting Program"},
    {20029, L"Converts the zip archive into a self-extracting program"},
    {20030, L"Extract to Subfolders"},
    {20031, L"Add to %s Archive"},
    {20032, L"Add to \"%s%s\""},
    {20033, L"Add to \"%s%s\" and Mail"},
};

}  // namespace

bool EqualIgnoringCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    if (a.empty()) return true;
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

const MenuCommand* FindMenuCommand(uint32_t kind) {
    for (const MenuCommand& command : kCommands)
        if (command.kind == kind) return &command;
    return nullptr;
}

std::optional<uint32_t> FindTextVerb(std::wstring_view verb) {
    for (const TextVerb& row : kTextVerbs)
        if (EqualIgnoringCase(verb, row.verb)) return row.kind;
    return std::nullopt;
}

std::optional<uint32_t> FindTextVerbA(std::string_view verb) {
    // The verbs are ASCII: a verb with other bytes cannot match, so widen byte by byte.
    std::wstring wide;
    for (char c : verb) {
        if (static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
        wide.push_back(static_cast<wchar_t>(c));
    }
    return FindTextVerb(wide);
}

std::wstring CommandVerb(const MenuCommand& command, std::wstring_view extension) {
    if (!command.verb) return {};
    std::wstring verb = command.verb;
    if (command.verbTakesExtension) verb += extension;
    return verb;
}

std::wstring CommandHelp(const MenuCommand& command, std::wstring_view extension) {
    if (!command.help) return {};
    std::wstring pattern = MenuText(command.help);
    std::wstring help = command.helpTakesExtension ? FormatMenuText(pattern, {extension})
                                                   : FormatMenuText(pattern, {});
    if (help.size() > kMaxHelp) help.resize(kMaxHelp);
    return help;
}

std::wstring MenuText(int number) {
    for (const BuiltInText& row : kBuiltInTexts)
        if (row.number == number) return row.text;
    return {};
}

std::wstring FormatMenuText(std::wstring_view pattern,
                            std::initializer_list<std::wstring_view> args) {
    std::wstring out;
    auto next = args.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == L'%' && i + 1 < pattern.size()) {
            if (pattern[i + 1] == L's') {
                if (next != args.end()) out += *next++;
                ++i;
                continue;
            }
            if (pattern[i + 1] == L'%') {
                out += L'%';
                ++i;
                continue;
            }
        }
        out += pattern[i];
    }
    return out;
}

HRESULT CopyCommandString(std::wstring_view text, bool wide, void* buffer, UINT cchMax) {
    if (!buffer || cchMax == 0) return E_INVALIDARG;
    if (wide) {
        auto* out = static_cast<wchar_t*>(buffer);
        size_t count = std::min<size_t>(text.size(), cchMax - 1);
        std::copy_n(text.data(), count, out);
        out[count] = L'\0';
        return S_OK;
    }
    auto* out = static_cast<char*>(buffer);
    out[0] = '\0';
    if (text.empty()) return S_OK;
    int size = ::WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, text.data(),
                                     static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return S_OK;
    std::string narrow(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, text.data(), static_cast<int>(text.size()),
                          narrow.data(), size, nullptr, nullptr);
    // Cut at a character boundary of the code page, so no half of a double-byte character stays.
    size_t count = 0;
    while (count < narrow.size()) {
        const char* next = ::CharNextExA(CP_ACP, narrow.c_str() + count, 0);
        size_t step = next > narrow.c_str() + count ? next - (narrow.c_str() + count) : 1;
        if (count + step > cchMax - 1) break;
        count += step;
    }
    std::copy_n(narrow.data(), count, out);
    out[count] = '\0';
    return S_OK;
}

}  // namespace kwill::shellext
