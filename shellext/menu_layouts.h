// Saved lister layouts for the desktop menu: the tree found under the configuration folder
// "Layouts" (files "*.tll", with the subfolder "Folders" scanned recursively), put in the order
// the user chose in "Layouts\order.xml".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kwill::shellext {

struct LayoutEntry {
    std::wstring name;
    int index = -1;  // layouts are numbered from 0 in the order found; folders and separators: -1
    bool folder = false;
    bool separator = false;
    uint32_t flags = 0;  // the "flags" attribute of the layout file's "lister_layout" element
    std::vector<LayoutEntry> children;
};

// One element of "layout_order": a named layout, a separator, or a folder ordering its children.
struct LayoutOrderItem {
    std::wstring name;
    bool separator = false;
    bool folder = false;
    std::vector<LayoutOrderItem> children;
};

// Folders nest no deeper than this; deeper folders are left out of the menu.
inline constexpr int kMaxLayoutDepth = 8;

// One name in a scanned folder, with its attributes as FindFirstFileW reports them.
struct LayoutFolderItem {
    std::wstring name;
    uint32_t attributes = 0;
};
// Lists the names in a folder ("." and ".." may be among them). The scan sees the disk only
// through this and the layout files it reads; tests put in their own to offer what the file
// system at hand cannot make, such as junctions and symbolic links.
using LayoutFolderLister = std::vector<LayoutFolderItem> (*)(const std::wstring& folder);
// Installs a lister (null: the real one) and returns the one it replaces.
LayoutFolderLister SetLayoutFolderLister(LayoutFolderLister lister);

// Parses the text of "order.xml" (UTF-8); an unreadable or malformed file orders nothing.
std::vector<LayoutOrderItem> ParseLayoutOrder(std::string_view xml);

// Orders one list and, through the folders, its tree: the entries the order list names come
// first in its order, then the others, folders before layouts, by name ignoring case. Separators
// go where the order list has them, though never first, last or two together.
void OrderLayouts(std::vector<LayoutEntry>& list, const std::vector<LayoutOrderItem>& order);

// Scans a folder for "*.tll" files (numbered from *next on) and, when recursive, its subfolders
// as folder entries. Reparse points are skipped (a junction back up the tree would never end),
// and folders nest at most kMaxLayoutDepth deep.
std::vector<LayoutEntry> ScanLayouts(const std::wstring& folder, bool recursive, int* next);

// The whole tree under a "Layouts" folder, ordered by its "order.xml".
std::vector<LayoutEntry> LoadLayoutTree(const std::wstring& layoutsFolder);

// The relative name of the layout with the given index: its folders' names and its own, joined
// by backslashes. Nothing when no layout has the index or the name would not fit in 260
// characters.
std::optional<std::wstring> LayoutRelativeName(const std::vector<LayoutEntry>& tree, int index);

// Number of layouts in the tree.
int CountLayouts(const std::vector<LayoutEntry>& tree);

}  // namespace kwill::shellext
