#include "hostlink/translation.h"

#include "frame/platform.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <string>
#include <vector>

namespace kwill::lang {

using Json = nlohmann::json;

struct Translation::Document {
    Json json;
};

namespace {

// Documents larger than this are refused before parsing (the archive reader limits members to
// the same size).
constexpr size_t kMaxDocument = 16u << 20;

bool IsNumberKey(const std::string& key) {
    if (key.empty() || key.size() > 10) return false;
    uint64_t value = 0;
    for (char c : key) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value <= UINT32_MAX;
}

// One entry: an array of the text and up to two unsigned numbers, the first within 32 bits.
bool CheckEntry(const Json& value, std::string& why) {
    if (!value.is_array()) return why = "not an array", false;
    if (value.empty() || value.size() > 3) return why = "needs 1 to 3 elements", false;
    if (!value[0].is_string()) return why = "element 0 is not a string", false;
    if (value.size() > 1 &&
        (!value[1].is_number_unsigned() || value[1].get<uint64_t>() > UINT32_MAX)) {
        return why = "element 1 is not a 32-bit unsigned number", false;
    }
    if (value.size() > 2 && !value[2].is_number_unsigned()) {
        return why = "element 2 is not an unsigned number", false;
    }
    return true;
}

bool CheckEntries(const Json& object, const std::string& path, std::string& problem) {
    if (!object.is_object()) return problem = path + ": not an object", false;
    for (auto it = object.begin(); it != object.end(); ++it) {
        std::string why;
        if (!IsNumberKey(it.key()))
            why = "the key is not a decimal number";
        else
            CheckEntry(it.value(), why);
        if (!why.empty()) return problem = path + "/" + it.key() + ": " + why, false;
    }
    return true;
}

bool CheckDocument(const Json& doc, std::string& problem) {
    if (!doc.is_object()) return problem = "the document is not an object", false;
    auto strings = doc.find("string");
    if (strings == doc.end()) return problem = "no \"string\" object", false;
    if (!CheckEntries(*strings, "string", problem)) return false;
    auto dialogs = doc.find("dialog");
    if (dialogs != doc.end()) {
        if (!dialogs->is_object()) return problem = "dialog: not an object", false;
        for (auto it = dialogs->begin(); it != dialogs->end(); ++it) {
            if (!IsNumberKey(it.key())) {
                return problem = "dialog/" + it.key() + ": the key is not a decimal number", false;
            }
            if (!CheckEntries(it.value(), "dialog/" + it.key(), problem)) return false;
        }
    }
    auto submit = doc.find("submit");
    if (submit != doc.end() && !submit->is_number_unsigned()) {
        return problem = "submit: not an unsigned number", false;
    }
    return true;
}

bool ReadEntry(const Json& value, TranslatedEntry& entry) {
    const std::string& text = value[0].get_ref<const std::string&>();
    entry = TranslatedEntry{};
    entry.text = text;
    if (value.size() > 1) entry.hasValue1 = true, entry.value1 = value[1].get<uint32_t>();
    if (value.size() > 2) entry.hasValue2 = true, entry.value2 = value[2].get<uint64_t>();
    return true;
}

const Json* Member(const Json& object, uint32_t number) {
    char key[12];
    auto end = std::to_chars(key, key + sizeof(key), number).ptr;
    auto it = object.find(std::string_view(key, static_cast<size_t>(end - key)));
    return it == object.end() ? nullptr : &*it;
}

}  // namespace

Translation::Translation(std::unique_ptr<Document> doc) : doc_(std::move(doc)) {}
Translation::~Translation() = default;

std::unique_ptr<Translation> Translation::Parse(const void* data, size_t size,
                                                std::string* problem) {
    std::string ignored;
    std::string& why = problem ? *problem : ignored;
    why.clear();
    if (!data || size > kMaxDocument) {
        why = "no document, or one larger than 16 MB";
        return nullptr;
    }
    auto doc = std::make_unique<Document>();
    const auto* bytes = static_cast<const uint8_t*>(data);
    // No exceptions: a parse error gives a discarded value.
    doc->json = Json::parse(bytes, bytes + size, nullptr, false);
    if (doc->json.is_discarded()) {
        why = "not JSON";
        return nullptr;
    }
    if (!CheckDocument(doc->json, why)) return nullptr;
    return std::unique_ptr<Translation>(new Translation(std::move(doc)));
}

bool Translation::FindString(uint32_t number, TranslatedEntry& entry) const {
    const Json* value = Member(*doc_->json.find("string"), number);
    return value && ReadEntry(*value, entry);
}

bool Translation::HasString(uint32_t number) const {
    return Member(*doc_->json.find("string"), number) != nullptr;
}

const void* Translation::Dialog(uint32_t dialog) const {
    auto dialogs = doc_->json.find("dialog");
    return dialogs == doc_->json.end() ? nullptr : Member(*dialogs, dialog);
}

bool Translation::FindControl(const void* dialogNode, uint32_t control, TranslatedEntry& entry) {
    if (!dialogNode) return false;
    const Json* value = Member(*static_cast<const Json*>(dialogNode), control);
    return value && ReadEntry(*value, entry);
}

bool Translation::Submit(uint64_t& value) const {
    auto submit = doc_->json.find("submit");
    if (submit == doc_->json.end()) return false;
    value = submit->get<uint64_t>();
    return true;
}

size_t Translation::StringCount() const {
    return doc_->json.find("string")->size();
}

int Utf8ToBuffer(std::string_view text, wchar_t* buffer, int bufferChars) {
    if (!buffer || bufferChars <= 0) return 0;
    if (text.empty() || bufferChars == 1) {
        buffer[0] = 0;
        return 0;
    }
    const int length = static_cast<int>(text.size() > INT32_MAX ? INT32_MAX : text.size());
    int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, buffer, bufferChars - 1);
    if (n == 0) {
        // Too long for the buffer: convert all of it and keep what fits.
        std::vector<wchar_t> all(static_cast<size_t>(length));
        n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, all.data(), length);
        if (n > bufferChars - 1) n = bufferChars - 1;
        for (int i = 0; i < n; ++i) buffer[i] = all[static_cast<size_t>(i)];
        // Never leave half a surrogate pair at the cut.
        if (n > 0 && buffer[n - 1] >= 0xD800 && buffer[n - 1] <= 0xDBFF) --n;
    }
    buffer[n] = 0;
    return n;
}

}  // namespace kwill::lang
