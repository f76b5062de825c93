// Values in the configuration files: the numeric flags of the main preferences file, the yes/no
// switches of the user preference file, and the number and text forms the records use.
//
// The parsers are plain functions on narrow text, with every overlong or out-of-range number
// given a fixed value, so that no file content can reach undefined behaviour.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class TiXmlElement;
class TiXmlNode;

namespace kwill::config {

// A flag value: "0x" (or "0X") then hexadecimal, else decimal with optional leading white space
// and sign. Digits end at the first other character; no digits give 0, as does null.
// Out of range: hexadecimal reads at most 16 characters after "0x" (a longer run is cut there,
// leading zeros included); a decimal beyond the 64-bit range gives INT64_MAX or INT64_MIN by
// its sign.
int64_t ParseFlagNumber(const char* text);

// A decimal u32 as the C library's strtoul reads it in base 10: white space, optional sign (a
// minus negates modulo 2^32), digits. Beyond 32 bits: 0xFFFFFFFF. Null: 0.
uint32_t ParseDecimalU32(const char* text);

// The library's ASCII-to-hex conversion: at most 8 characters from the start, each a
// hexadecimal digit, the first other character ending the reading; a longer run is cut after
// the 8th. No sign, prefix or white space. Null or no digits: 0.
uint32_t ParseHexU32(const char* text);

// A 64-bit time written "+" high "+" low, each half in hexadecimal. Text not starting with "+"
// reads as 0; a missing low half as 0.
uint64_t ParsePlusTime(const char* text);
std::string FormatPlusTime(uint64_t value);

// "0x" and the value in lower-case hexadecimal, as flag values are written.
std::string FormatFlagNumber(int64_t value);

// Copies text into out (outBytes with the terminator), cut before a UTF-8 sequence that would
// not fit whole. Null text gives an empty string. outBytes must be at least 1.
void CopyTextField(char* out, size_t outBytes, const char* text);

// Pairs of hexadecimal digits into bytes, up to size bytes or the first pair that is not two
// digits; the rest of out is zeroed. Returns the bytes read.
size_t ParseHexBytes(const char* text, uint8_t* out, size_t size);
std::string FormatHexBytes(const uint8_t* data, size_t size);

// The first top-level "prefs" element's first child element named `element` (case-sensitive).
const TiXmlElement* FindPrefsChild(const TiXmlNode& document, const char* element);
// ParseFlagNumber of the element's attribute; 0 when the element or the attribute is missing.
int64_t AttributeFlag(const TiXmlElement* element, const char* attribute);

// A flag value of the main preferences file ("ConfigFiles\Prefs.txc", or relativeName of kind
// 0): "prefs" / element / attribute. Any missing step, or an unreadable file, gives 0.
int64_t ReadConfigFlagValue(const char* element, const char* attribute,
                            const wchar_t* relativeName = nullptr);
// Sets the attribute of that element (never created) to "0x..." and saves the file. False when
// the file or the element is missing or saving fails; the file is then left as it was.
bool WriteConfigFlagValue(const char* element, const char* attribute, int64_t value,
                          const wchar_t* relativeName = nullptr);

// A switch of "ConfigFiles\userprefs.txc": true exactly when "userprefs" / name has text
// "yes" (any case) as its first child.
bool GetUserPrefsFlag(const char* name);

}  // namespace kwill::config
