// A translation document: the JSON that a translation archive carries.
//
//     {"string": {"20005": ["Neues Fenster"], "20019": ["%1!u! Einträge", 3, 7]},
//      "dialog": {"100": {"1001": ["Version"]}},
//      "submit": 12}
//
// Every value of "string" and of a dialog's object is an array: the UTF-8 text, then optionally
// a 32-bit and a 64-bit unsigned number. The whole document is checked when it is parsed, and a
// document with anything out of place is refused as a whole: a half-checked translation would
// show some texts translated and others silently English, and a caller would read a number of
// the wrong width.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kwill::lang {

struct TranslatedEntry {
    std::string_view text;  // UTF-8, points into the document
    bool hasValue1 = false;
    uint32_t value1 = 0;
    bool hasValue2 = false;
    uint64_t value2 = 0;
};

class Translation {
  public:
    ~Translation();

    // Parses and checks a document. On failure returns null and, when `problem` is given,
    // says where the document went wrong ("string/20005: element 0 is not a string").
    static std::unique_ptr<Translation> Parse(const void* data, size_t size,
                                              std::string* problem = nullptr);

    bool FindString(uint32_t number, TranslatedEntry& entry) const;
    bool HasString(uint32_t number) const;
    // The controls of a dialog, as an opaque node for FindControl; null when absent.
    const void* Dialog(uint32_t dialog) const;
    static bool FindControl(const void* dialogNode, uint32_t control, TranslatedEntry& entry);
    bool Submit(uint64_t& value) const;
    size_t StringCount() const;

  private:
    struct Document;
    explicit Translation(std::unique_ptr<Document> doc);
    std::unique_ptr<Document> doc_;
};

// UTF-8 to UTF-16 into a caller buffer, cut to bufferChars - 1 units and terminated. Returns the
// units written; 0 (nothing written) for a null buffer or a size of 0.
int Utf8ToBuffer(std::string_view text, wchar_t* buffer, int bufferChars);

}  // namespace kwill::lang
