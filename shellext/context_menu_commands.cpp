#include "shellext/context_menu_commands.h"

#include "hostlink/language.h"

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

// The English texts, for when no language can be loaded (english.dll missing or not signed). They
// are the same as the language module's.
struct BuiltInText {
    int number;
    const wchar_t* text;
};
const BuiltInText kBuiltInTexts[] = {
    {20005, L"Open a new Tarnwell window"},
    {20006, L"Tarnwell preferences"},
    {20007, L"Extract to \"%1\""},
    {20008, L"Extract here"},
    {20009, L"Extract to..."},
    {20011, L"Add to archive..."},
    {20012, L"Opens a new file manager window"},
    {20013, L"Opens the preferences"},
    {20014, L"Extracts the archive into this folder"},
    {20015, L"Extracts the archive into a new folder"},
    {20016, L"Adds the selected items to a %1 archive"},
    {20021, L"Compresses the items and attaches them to a new message"},
    {20022, L"Tarnwell archives"},
    {20023, L"Layouts"},
    {20024, L"Opens a saved layout"},
    {20026, L"Removes the collections icon"},
    {20027, L"Chooses a folder to extract into"},
    {20028, L"Convert to a self-extracting archive"},
    {20029, L"Makes a self-extracting program of the archive"},
    {20030, L"Extract to subfolders"},
    {20031, L"Add to %1 archive"},
    {20032, L"Add to \"%1\""},
    {20033, L"Add to \"%1\" and mail"},
};

// The length of an insert at the start of rest (just after a "%"): "s", or a number 1 to 9
// optionally followed by a text type "!s!", "!ls!" or "!ws!". 0 when rest starts no insert;
// *position gets the number (0 for "s").
size_t InsertAt(std::wstring_view rest, size_t* position) {
    *position = 0;
    if (rest.empty()) return 0;
    if (rest[0] == L's') return 1;
    if (rest[0] < L'1' || rest[0] > L'9') return 0;
    *position = static_cast<size_t>(rest[0] - L'0');
    if (rest.size() < 2 || rest[1] != L'!') return 1;
    for (std::wstring_view type : {L"!s!", L"!ls!", L"!ws!"})
        if (rest.substr(1, type.size()) == type) return 1 + type.size();
    return 0;
}

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
    if (number > 0) {
        if (wchar_t* text = lang::LoadLibString(static_cast<uint32_t>(number))) {
            std::wstring copy = text;
            ::LocalFree(text);
            return copy;
        }
    }
    for (const BuiltInText& row : kBuiltInTexts)
        if (row.number == number) return row.text;
    return {};
}

std::wstring FormatMenuText(std::wstring_view pattern,
                            std::initializer_list<std::wstring_view> args) {
    std::wstring out;
    auto next = args.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != L'%' || i + 1 >= pattern.size()) {
            out += pattern[i];
            continue;
        }
        if (pattern[i + 1] == L'%') {
            out += L'%';
            ++i;
            continue;
        }
        size_t position = 0;
        size_t used = InsertAt(pattern.substr(i + 1), &position);
        if (!used) {
            out += pattern[i];
            continue;
        }
        if (position == 0) {
            if (next != args.end()) out += *next++;
        } else if (position <= args.size()) {
            out += args.begin()[position - 1];
        }
        i += used;
    }
    return out;
}

size_t CountMenuTextInserts(std::wstring_view pattern) {
    size_t count = 0;
    for (size_t i = 0; i + 1 < pattern.size(); ++i) {
        if (pattern[i] != L'%') continue;
        if (pattern[i + 1] == L'%') {
            ++i;
            continue;
        }
        size_t position = 0;
        if (size_t used = InsertAt(pattern.substr(i + 1), &position)) {
            ++count;
            i += used;
        }
    }
    return count;
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
