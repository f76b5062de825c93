#include "hostlink/explorer_command_line.h"

namespace kwill::hostlink {
namespace {

struct SwitchName {
    std::wstring_view name;
    uint32_t flag;
};

// Only this many leading characters of each name are compared.
constexpr SwitchName kSwitches[] = {
    {L"n", kSwitchNewWindow},
    {L"e", kSwitchExplore},
    {L"root", kSwitchRoot},
    {L"select", kSwitchSelect},
};

wchar_t AsciiLower(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + (L'a' - L'A')) : c;
}

// The flag of the switch whose name starts `rest` (the text after the slash), or 0.
uint32_t SwitchFlag(std::wstring_view rest) {
    for (const SwitchName& s : kSwitches) {
        if (rest.size() < s.name.size()) continue;
        bool same = true;
        for (size_t i = 0; i < s.name.size() && same; ++i) same = AsciiLower(rest[i]) == s.name[i];
        if (same) return s.flag;
    }
    return 0;
}

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

class ItemOutput {
  public:
    explicit ItemOutput(ItemBuffer buffer) : buffer_(buffer) {
        if (given()) buffer_.data[0] = L'\0';
    }
    bool given() const { return buffer_.data && buffer_.chars > 0; }
    bool open() const { return given() && !taken_; }
    void Take() { taken_ = true; }
    void Append(wchar_t c) {
        if (length_ + 1 >= buffer_.chars) return;
        buffer_.data[length_++] = c;
        buffer_.data[length_] = L'\0';
    }
    size_t length() const { return length_; }

  private:
    ItemBuffer buffer_;
    size_t length_ = 0;
    bool taken_ = false;  // an item was assigned, even one cut to nothing by a 1-character buffer
};

}  // namespace

ExplorerCommandLine ParseExplorerCommandLine(std::wstring_view line, ItemBuffer root,
                                             ItemBuffer path) {
    enum class State { kBetween, kSwitch, kItem };
    ItemOutput rootOut(root);
    ItemOutput pathOut(path);
    ExplorerCommandLine result;
    State state = State::kBetween;
    ItemOutput* item = nullptr;  // null inside a skipped item
    bool quoted = false;

    for (size_t i = 0; i < line.size(); ++i) {
        wchar_t c = line[i];
        switch (state) {
            case State::kBetween:
                if (c == L',' || IsBlank(c)) break;
                if (c == L'/') {
                    result.flags |= SwitchFlag(line.substr(i + 1));
                    state = State::kSwitch;
                    break;
                }
                if ((result.flags & kSwitchRoot) && rootOut.open()) {
                    item = &rootOut;
                } else if (pathOut.open()) {
                    item = &pathOut;
                } else {
                    item = nullptr;
                }
                if (item) {
                    item->Take();
                    item->Append(c);
                }
                quoted = c == L'"';
                state = State::kItem;
                break;
            case State::kSwitch:
                if (c == L',') state = State::kBetween;
                break;
            case State::kItem:
                if (c == L'"' && quoted) {
                    quoted = false;
                } else if (c == L',' && !quoted) {
                    state = State::kBetween;
                    break;
                }
                if (item) item->Append(c);
                break;
        }
    }
    result.rootLength = rootOut.length();
    result.pathLength = pathOut.length();
    result.found = result.rootLength != 0 || result.pathLength != 0;
    return result;
}

}  // namespace kwill::hostlink
