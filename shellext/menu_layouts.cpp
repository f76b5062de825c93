#include "shellext/menu_layouts.h"

#include "frame/platform.h"
#include "frame/xml_document.h"
#include "shellext/context_menu_commands.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace kwill::shellext {
namespace {

constexpr size_t kMaxRelativeName = MAX_PATH - 1;

bool LessNoCase(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
}

std::wstring FromUtf8(const char* text) {
    if (!text || !*text) return {};
    int size = ::MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (size <= 1) return {};
    std::wstring wide(static_cast<size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), size);
    wide.resize(static_cast<size_t>(size) - 1);
    return wide;
}

std::vector<LayoutOrderItem> ReadOrder(const TiXmlElement* parent, int depth) {
    std::vector<LayoutOrderItem> items;
    if (depth > kMaxLayoutDepth) return items;
    for (const TiXmlElement* child = parent->FirstChildElement(); child;
         child = child->NextSiblingElement()) {
        LayoutOrderItem item;
        std::string_view tag = child->Value() ? child->Value() : "";
        if (tag == "layout") {
            if (child->Attribute("separator")) {
                item.separator = true;
            } else if (const char* name = child->Attribute("name")) {
                item.name = FromUtf8(name);
            } else {
                continue;
            }
        } else if (tag == "folder") {
            const char* name = child->Attribute("name");
            if (!name) continue;
            item.name = FromUtf8(name);
            item.folder = true;
            item.children = ReadOrder(child, depth + 1);
        } else {
            continue;
        }
        items.push_back(std::move(item));
    }
    return items;
}

// Position of an entry's name in the order list (named items of its own sort), or none.
std::optional<size_t> OrderPosition(const LayoutEntry& entry,
                                    const std::vector<LayoutOrderItem>& order) {
    for (size_t i = 0; i < order.size(); ++i)
        if (!order[i].separator && EqualIgnoringCase(order[i].name, entry.name)) return i;
    return std::nullopt;
}

uint32_t ParseFlags(const char* text) {
    if (!text) return 0;
    unsigned long value = 0;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        value = std::strtoul(text + 2, nullptr, 16);
    else
        value = std::strtoul(text, nullptr, 10);
    return static_cast<uint32_t>(value);
}

uint32_t ReadLayoutFlags(const std::wstring& file) {
    XmlDocumentFile document;
    if (!document.LoadFile(file.c_str())) return 0;
    const TiXmlElement* layout = document.FirstChildElement("lister_layout");
    return layout ? ParseFlags(layout->Attribute("flags")) : 0;
}

std::vector<LayoutFolderItem> ListFolder(const std::wstring& folder) {
    std::vector<LayoutFolderItem> items;
    WIN32_FIND_DATAW data;
    HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return items;
    do {
        items.push_back({data.cFileName, data.dwFileAttributes});
    } while (::FindNextFileW(search, &data));
    ::FindClose(search);
    return items;
}

LayoutFolderLister g_lister = ListFolder;

// `depth` counts the folders above this one, from 0 for the folder the scan starts in.
std::vector<LayoutEntry> Scan(const std::wstring& folder, bool recursive, int* next, int depth) {
    std::vector<LayoutEntry> found;
    if (folder.size() + 2 >= MAX_PATH) return found;
    for (LayoutFolderItem& item : g_lister(folder)) {
        const std::wstring& name = item.name;
        if (name.empty() || name == L"." || name == L"..") continue;
        if (item.attributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
        if (item.attributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!recursive || depth >= kMaxLayoutDepth) continue;
            LayoutEntry entry;
            entry.name = name;
            entry.folder = true;
            entry.children = Scan(folder + L"\\" + name, true, next, depth + 1);
            found.push_back(std::move(entry));
        } else if (name.size() > 4 &&
                   EqualIgnoringCase(std::wstring_view(name).substr(name.size() - 4), L".tll")) {
            LayoutEntry entry;
            entry.name = name.substr(0, name.size() - 4);
            entry.index = (*next)++;
            entry.flags = ReadLayoutFlags(folder + L"\\" + name);
            found.push_back(std::move(entry));
        }
    }
    return found;
}

bool AppendName(const std::vector<LayoutEntry>& list, int index, std::wstring& path) {
    for (const LayoutEntry& entry : list) {
        if (entry.folder) {
            size_t keep = path.size();
            path += entry.name;
            path += L'\\';
            if (AppendName(entry.children, index, path)) return true;
            path.resize(keep);
        } else if (!entry.separator && entry.index == index) {
            path += entry.name;
            return true;
        }
    }
    return false;
}

std::vector<LayoutOrderItem> OrderFromDocument(const TiXmlDocument& document) {
    const TiXmlElement* root = document.FirstChildElement("layout_order");
    return root ? ReadOrder(root, 0) : std::vector<LayoutOrderItem>{};
}

}  // namespace

std::vector<LayoutOrderItem> ParseLayoutOrder(std::string_view xml) {
    XmlDocumentFile document;
    std::string text(xml);
    document.Parse(text.c_str(), nullptr, TIXML_ENCODING_UTF8);
    if (document.Error()) return {};
    return OrderFromDocument(document);
}

void OrderLayouts(std::vector<LayoutEntry>& list, const std::vector<LayoutOrderItem>& order) {
    std::stable_sort(list.begin(), list.end(), [&](const LayoutEntry& a, const LayoutEntry& b) {
        std::optional<size_t> pa = OrderPosition(a, order);
        std::optional<size_t> pb = OrderPosition(b, order);
        if (pa && pb) return *pa < *pb;
        if (pa || pb) return pa.has_value();
        if (a.folder != b.folder) return a.folder;
        return LessNoCase(a.name, b.name);
    });

    // A separator goes before an entry when the order list has one between the entry and the
    // entry before it; unnamed entries follow the whole order list.
    std::vector<LayoutEntry> ordered;
    size_t cursor = 0;
    for (LayoutEntry& entry : list) {
        std::optional<size_t> at = OrderPosition(entry, order);
        size_t end = at ? *at : order.size();
        bool separator = false;
        for (size_t i = cursor; i < end; ++i) separator |= order[i].separator;
        cursor = std::max(cursor, at ? *at + 1 : order.size());
        if (separator && !ordered.empty()) {
            LayoutEntry mark;
            mark.separator = true;
            ordered.push_back(std::move(mark));
        }
        ordered.push_back(std::move(entry));
    }
    list = std::move(ordered);

    for (LayoutEntry& entry : list) {
        if (!entry.folder) continue;
        const std::vector<LayoutOrderItem>* children = nullptr;
        for (const LayoutOrderItem& item : order)
            if (item.folder && EqualIgnoringCase(item.name, entry.name)) {
                children = &item.children;
                break;
            }
        static const std::vector<LayoutOrderItem> kNone;
        OrderLayouts(entry.children, children ? *children : kNone);
    }
}

LayoutFolderLister SetLayoutFolderLister(LayoutFolderLister lister) {
    LayoutFolderLister previous = g_lister;
    g_lister = lister ? lister : ListFolder;
    return previous;
}

std::vector<LayoutEntry> ScanLayouts(const std::wstring& folder, bool recursive, int* next) {
    int counter = 0;
    return Scan(folder, recursive, next ? next : &counter, 0);
}

std::vector<LayoutEntry> LoadLayoutTree(const std::wstring& layoutsFolder) {
    int next = 0;
    std::vector<LayoutEntry> tree = ScanLayouts(layoutsFolder, false, &next);
    std::vector<LayoutEntry> folders = ScanLayouts(layoutsFolder + L"\\Folders", true, &next);
    std::move(folders.begin(), folders.end(), std::back_inserter(tree));
    if (CountLayouts(tree) == 0) return {};
    XmlDocumentFile order;
    std::vector<LayoutOrderItem> items;
    if (order.LoadFile((layoutsFolder + L"\\order.xml").c_str(), TIXML_ENCODING_UTF8))
        items = OrderFromDocument(order);
    OrderLayouts(tree, items);
    return tree;
}

std::optional<std::wstring> LayoutRelativeName(const std::vector<LayoutEntry>& tree, int index) {
    std::wstring path;
    if (index < 0 || !AppendName(tree, index, path) || path.size() > kMaxRelativeName)
        return std::nullopt;
    return path;
}

int CountLayouts(const std::vector<LayoutEntry>& tree) {
    int count = 0;
    for (const LayoutEntry& entry : tree)
        count += entry.folder ? CountLayouts(entry.children) : (entry.separator ? 0 : 1);
    return count;
}

}  // namespace kwill::shellext
