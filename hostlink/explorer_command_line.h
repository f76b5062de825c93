// Explorer's command line as the shell hands it to a replacement: switches ("/n", "/e",
// "/root", "/select", anything else ignored) and up to two items, the root folder and the path,
// separated by commas. Portable: no Windows calls, the caller's buffers only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kwill::hostlink {

// Flags of the switches, as ParseExplorerCmdLine reports them. A switch is "/" and a name whose
// first 1, 1, 4 or 6 characters are compared without regard to case ("/EXPLORER" counts as
// "/e", "/ro" is nothing).
enum ExplorerSwitch : uint32_t {
    kSwitchNewWindow = 0x1,  // n
    kSwitchExplore = 0x2,    // e
    kSwitchRoot = 0x4,       // root
    kSwitchSelect = 0x8,     // select
};

// A caller's buffer for one item. A null pointer or 0 characters means the caller does not want
// that item; otherwise it is always terminated, and an item longer than chars - 1 is cut.
struct ItemBuffer {
    wchar_t* data = nullptr;
    size_t chars = 0;
};

struct ExplorerCommandLine {
    uint32_t flags = 0;
    size_t rootLength = 0;  // characters stored in the root buffer
    size_t pathLength = 0;  // characters stored in the path buffer
    bool found = false;     // a root or a path was stored
};

// Reads the line once, left to right:
// - Between items, blanks are skipped, "/" starts a switch that lasts to the next comma, and
//   anything else starts an item.
// - An item is the root when "/root" came before it, the root buffer was given and no root was
//   taken yet; else the path when the path buffer was given and no path was taken yet; else it
//   is skipped. An item that starts with a double quote lasts past commas to its closing quote;
//   the quotes stay in the stored text. An item ends at a comma outside quotes.
// - Text inside an item, including a skipped one, is never read as a switch, so the flags do not
//   depend on which buffers the caller gave.
ExplorerCommandLine ParseExplorerCommandLine(std::wstring_view line, ItemBuffer root,
                                             ItemBuffer path);

}  // namespace kwill::hostlink
