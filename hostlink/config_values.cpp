#include "hostlink/config_values.h"

#include "frame/xml_document.h"
#include "hostlink/config_paths.h"

#include <cstdio>
#include <cstring>

namespace kwill::config {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// At most bits/4 hexadecimal characters from the start; the first other character ends the
// reading, and a longer run is cut after the last character that fits (not reduced modulo).
uint64_t ParseHex(const char* p, unsigned bits) {
    uint64_t value = 0;
    for (unsigned n = 0, d; p && n < bits / 4 && (d = static_cast<unsigned>(HexDigit(*p))) < 16;
         ++n, ++p) {
        value = value << 4 | d;
    }
    return value;
}

const char* SkipSpace(const char* p) {
    while (IsSpace(*p)) ++p;
    return p;
}

bool IsContinuationByte(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

}  // namespace

int64_t ParseFlagNumber(const char* text) {
    if (!text) return 0;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        return static_cast<int64_t>(ParseHex(text + 2, 64));
    }
    const char* p = SkipSpace(text);
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    // Accumulate the magnitude towards the limit of its sign.
    const uint64_t limit = negative ? uint64_t{1} << 63 : uint64_t{INT64_MAX};
    uint64_t magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        unsigned digit = static_cast<unsigned>(*p - '0');
        if (magnitude > (limit - digit) / 10) return negative ? INT64_MIN : INT64_MAX;
        magnitude = magnitude * 10 + digit;
    }
    if (negative)
        return magnitude == (uint64_t{1} << 63) ? INT64_MIN : -static_cast<int64_t>(magnitude);
    return static_cast<int64_t>(magnitude);
}

uint32_t ParseDecimalU32(const char* text) {
    if (!text) return 0;
    const char* p = SkipSpace(text);
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    uint64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + static_cast<unsigned>(*p - '0');
        if (value > UINT32_MAX) return UINT32_MAX;
    }
    uint32_t result = static_cast<uint32_t>(value);
    return negative ? 0u - result : result;
}

uint32_t ParseHexU32(const char* text) {
    return static_cast<uint32_t>(ParseHex(text, 32));
}

uint64_t ParsePlusTime(const char* text) {
    if (!text || text[0] != '+') return 0;
    uint64_t high = ParseHexU32(text + 1);
    const char* second = std::strchr(text + 1, '+');
    uint64_t low = second ? ParseHexU32(second + 1) : 0;
    return high << 32 | low;
}

std::string FormatPlusTime(uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof(text), "+%lx+%lx", static_cast<unsigned long>(value >> 32),
                  static_cast<unsigned long>(value & 0xFFFFFFFFu));
    return text;
}

std::string FormatFlagNumber(int64_t value) {
    char text[24];
    std::snprintf(text, sizeof(text), "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

void CopyTextField(char* out, size_t outBytes, const char* text) {
    if (!out || outBytes == 0) return;
    size_t length = text ? std::strlen(text) : 0;
    if (length >= outBytes) {
        length = outBytes - 1;
        // Step back over a sequence cut in the middle: to its lead byte, which goes too.
        size_t end = length;
        while (end > 0 && IsContinuationByte(static_cast<unsigned char>(text[end]))) --end;
        length = end;
    }
    if (length) std::memcpy(out, text, length);
    out[length] = 0;
}

size_t ParseHexBytes(const char* text, uint8_t* out, size_t size) {
    size_t count = 0;
    for (; text && count < size; ++count, text += 2) {
        int high = HexDigit(text[0]);
        int low = high < 0 ? -1 : HexDigit(text[1]);
        if (low < 0) break;
        out[count] = static_cast<uint8_t>(high << 4 | low);
    }
    for (size_t i = count; i < size; ++i) out[i] = 0;
    return count;
}

std::string FormatHexBytes(const uint8_t* data, size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        text.push_back(digits[data[i] >> 4]);
        text.push_back(digits[data[i] & 15]);
    }
    return text;
}

const TiXmlElement* FindPrefsChild(const TiXmlNode& document, const char* element) {
    if (!element) return nullptr;
    const TiXmlElement* prefs = document.FirstChildElement("prefs");
    return prefs ? prefs->FirstChildElement(element) : nullptr;
}

int64_t AttributeFlag(const TiXmlElement* element, const char* attribute) {
    if (!element || !attribute) return 0;
    return ParseFlagNumber(element->Attribute(attribute));
}

int64_t ReadConfigFlagValue(const char* element, const char* attribute,
                            const wchar_t* relativeName) {
    if (!element || !attribute) return 0;
    XmlDocumentFile doc;
    if (LoadConfigDocument(doc, relativeName ? relativeName : kPrefsFile, kUserConfig) !=
        LoadOutcome::kLoaded) {
        return 0;
    }
    return AttributeFlag(FindPrefsChild(doc, element), attribute);
}

bool WriteConfigFlagValue(const char* element, const char* attribute, int64_t value,
                          const wchar_t* relativeName) {
    if (!element || !attribute || !*attribute) return false;
    XmlDocumentFile doc;
    if (LoadConfigDocument(doc, relativeName ? relativeName : kPrefsFile, kUserConfig) !=
        LoadOutcome::kLoaded) {
        return false;
    }
    auto* target = const_cast<TiXmlElement*>(FindPrefsChild(doc, element));
    if (!target) return false;
    target->SetAttribute(attribute, FormatFlagNumber(value).c_str());
    return doc.SaveFile();
}

bool GetUserPrefsFlag(const char* name) {
    if (!name) return false;
    XmlDocumentFile doc;
    if (LoadConfigDocument(doc, kUserPrefsFile, kUserConfig) != LoadOutcome::kLoaded) return false;
    const TiXmlElement* top = doc.FirstChildElement("userprefs");
    const TiXmlElement* item = top ? top->FirstChildElement(name) : nullptr;
    const TiXmlNode* first = item ? item->FirstChild() : nullptr;
    const TiXmlText* text = first ? first->ToText() : nullptr;
    return text && _stricmp(text->Value(), "yes") == 0;
}

}  // namespace kwill::config
