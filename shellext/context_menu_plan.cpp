#include "shellext/context_menu_plan.h"

#include "frame/platform.h"
#include "shellext/context_menu_commands.h"

namespace kwill::shellext {
namespace {

std::wstring_view FileName(std::wstring_view path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring_view::npos ? path : path.substr(slash + 1);
}

std::wstring_view Extension(std::wstring_view path) {
    std::wstring_view name = FileName(path);
    size_t dot = name.rfind(L'.');
    return dot == std::wstring_view::npos ? std::wstring_view() : name.substr(dot);
}

// The name an archive of the selection is proposed under: the first name without its folder
// and extension.
std::wstring ProposedName(std::wstring_view path) {
    std::wstring_view name = FileName(path);
    size_t dot = name.rfind(L'.');
    if (dot != std::wstring_view::npos && dot > 0) name = name.substr(0, dot);
    return std::wstring(name);
}

// The name of the folder holding the path; empty at a drive's root.
std::wstring ParentName(std::wstring_view path) {
    size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring_view::npos) return {};
    std::wstring_view parent = path.substr(0, slash);
    std::wstring_view name = FileName(parent);
    if (name.empty() || name.back() == L':') return {};
    return std::wstring(name);
}

const std::vector<ArchiveFormat>* ListOf(const MenuFlags& flags, FormatList list) {
    switch (list) {
        case FormatList::General:
            return &flags.general;
        case FormatList::Named:
            return &flags.named;
        case FormatList::Email:
            return &flags.email;
        default:
            return nullptr;
    }
}

// The text of an item that proposes an archive name: a text with two inserts takes the name and
// the extension apart, one with a single insert the whole file name.
std::wstring ProposedNameText(int number, const std::wstring& name, const std::wstring& extension) {
    std::wstring pattern = MenuText(number);
    if (CountMenuTextInserts(pattern) >= 2) return FormatMenuText(pattern, {name, extension});
    return FormatMenuText(pattern, {name + extension});
}

}  // namespace

std::wstring DottedExtension(std::wstring_view extension) {
    if (extension.empty() || extension.front() == L'.') return std::wstring(extension);
    return L"." + std::wstring(extension);
}

std::wstring FormatExtension(const MenuFlags& flags, uint32_t kind, uint32_t format) {
    const MenuCommand* command = FindMenuCommand(kind);
    const std::vector<ArchiveFormat>* list = command ? ListOf(flags, command->list) : nullptr;
    if (!list || format >= list->size()) return {};
    return DottedExtension((*list)[format].extension);
}

bool IsArchiveName(const MenuFlags& flags, std::wstring_view name) {
    std::wstring_view extension = Extension(name);
    if (extension.empty()) return false;
    for (const auto* list : {&flags.general, &flags.named, &flags.email})
        for (const ArchiveFormat& format : *list)
            if (EqualIgnoringCase(DottedExtension(format.extension), extension)) return true;
    return false;
}

MenuPlan PlanArchiveMenu(const MenuFlags& flags, const std::vector<std::wstring>& names,
                         bool dragDrop, bool verbsOnly) {
    MenuPlan plan;
    plan.submenu = !verbsOnly && (flags.archiveContext & kContextSubmenu);
    if (names.empty()) return plan;
    size_t archives = 0;
    size_t zips = 0;
    for (const std::wstring& name : names) {
        if (!IsArchiveName(flags, name)) continue;
        ++archives;
        if (EqualIgnoringCase(Extension(name), L".zip")) ++zips;
    }
    bool allArchives = archives == names.size();
    bool extract = flags.archiveContext & kContextExtract;
    bool convert = (flags.archiveContext & kContextConvert) && archives == 1 && zips == 1;
    std::wstring subText = archives == 1 && names.size() == 1
                               ? FormatMenuText(MenuText(20007), {ProposedName(names[0])})
                               : MenuText(20030);
    auto add = [&](uint32_t kind, uint32_t format, std::wstring text) {
        plan.items.push_back({kind, format, std::move(text)});
    };

    if (dragDrop) {
        if (allArchives && extract) {
            add(kKindDropExtractHere, 0, MenuText(20008));
            add(kKindDropExtractSub, 0, subText);
        }
        if (allArchives && convert) add(kKindDropConvert, 0, MenuText(20028));
        return plan;
    }

    if (allArchives && extract) {
        add(kKindExtractHere, 0, MenuText(20008));
        add(kKindExtractTo, 0, MenuText(20009));
        add(kKindExtractSub, 0, subText);
    }
    if (allArchives && convert) add(kKindConvert, 0, MenuText(20028));
    if (names.size() == 1 && archives == 1) return plan;

    for (uint32_t i = 0; i < flags.general.size(); ++i)
        add(kKindAddTo, i,
            flags.general.size() < 2
                ? MenuText(20011)
                : FormatMenuText(MenuText(20031), {flags.general[i].description}));
    std::wstring proposed = ProposedName(names[0]);
    std::wstring folder = names.size() >= 2 ? ParentName(names[0]) : std::wstring();
    for (uint32_t i = 0; i < flags.named.size(); ++i) {
        std::wstring extension = DottedExtension(flags.named[i].extension);
        add(kKindAddToName, i, ProposedNameText(20032, proposed, extension));
        if (!folder.empty())
            add(kKindAddToFolderName, i, ProposedNameText(20032, folder, extension));
    }
    for (uint32_t i = 0; i < flags.email.size(); ++i) {
        std::wstring extension = DottedExtension(flags.email[i].extension);
        add(kKindZipAndMail, i, ProposedNameText(20033, proposed, extension));
    }
    return plan;
}

}  // namespace kwill::shellext
