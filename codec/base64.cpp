#include "codec/base64.h"

#include "codec/kernels.h"

#include <cstring>

namespace kwill {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Character values for the decoder; 0xff marks characters outside the alphabet.
struct DecodeTable {
    uint8_t value[256];
    constexpr DecodeTable() : value() {
        for (int i = 0; i < 256; ++i) value[i] = 0xff;
        for (int i = 0; i < 64; ++i)
            value[static_cast<uint8_t>(kAlphabet[i])] = static_cast<uint8_t>(i);
    }
};
constexpr DecodeTable kDecode;

// The value a character stands for inside a group: outside the alphabet it counts as 0.
inline uint32_t ValueOf(char c) {
    uint8_t v = kDecode.value[static_cast<uint8_t>(c)];
    return v == 0xff ? 0 : v;
}

inline bool EndsGroup(char c) {
    return c == 0 || c == '=';
}

// Characters of one line, rounded up to a whole group; 0 for no line breaks.
size_t LineChars(int lineLength) {
    if (lineLength <= 1) return 0;
    return (static_cast<size_t>(lineLength) + 3) / 4 * 4;
}

// Encodes the tail of 1 or 2 bytes; returns the characters written.
size_t EncodeTail(const uint8_t* in, size_t count, char* out, bool pad) {
    uint32_t v = uint32_t{in[0]} << 16 | (count > 1 ? uint32_t{in[1]} << 8 : 0);
    out[0] = kAlphabet[v >> 18];
    out[1] = kAlphabet[(v >> 12) & 63];
    if (count > 1) {
        out[2] = kAlphabet[(v >> 6) & 63];
        if (!pad) return 3;
    } else {
        if (!pad) return 2;
        out[2] = '=';
    }
    out[3] = '=';
    return 4;
}

// Decodes a group the slow way, following every rule; returns false when decoding stops here.
// i is the index of the group's first character and is advanced past the group.
bool DecodeSlowGroup(const char* t, size_t n, size_t& i, uint8_t*& o) {
    if (i + 1 >= n || EndsGroup(t[i + 1])) return false;
    uint32_t v0 = ValueOf(t[i]), v1 = ValueOf(t[i + 1]);
    *o++ = static_cast<uint8_t>(v0 << 2 | v1 >> 4);
    if (i + 2 >= n || EndsGroup(t[i + 2])) return false;
    uint32_t v2 = ValueOf(t[i + 2]);
    *o++ = static_cast<uint8_t>(v1 << 4 | v2 >> 2);
    if (i + 3 >= n || EndsGroup(t[i + 3])) return false;
    *o++ = static_cast<uint8_t>(v2 << 6 | ValueOf(t[i + 3]));
    i += 4;
    return true;
}

}  // namespace

namespace codec::portable {

void Base64Encode(const uint8_t* in, size_t groups, char* out) {
    for (size_t g = 0; g < groups; ++g, in += 3, out += 4) {
        uint32_t v = uint32_t{in[0]} << 16 | uint32_t{in[1]} << 8 | in[2];
        out[0] = kAlphabet[v >> 18];
        out[1] = kAlphabet[(v >> 12) & 63];
        out[2] = kAlphabet[(v >> 6) & 63];
        out[3] = kAlphabet[v & 63];
    }
}

size_t Base64Decode(const char* in, size_t maxGroups, uint8_t* out) {
    size_t g = 0;
    for (; g < maxGroups; ++g, in += 4, out += 3) {
        uint32_t a = kDecode.value[static_cast<uint8_t>(in[0])];
        uint32_t b = kDecode.value[static_cast<uint8_t>(in[1])];
        uint32_t c = kDecode.value[static_cast<uint8_t>(in[2])];
        uint32_t d = kDecode.value[static_cast<uint8_t>(in[3])];
        if ((a | b | c | d) & 0x80) break;
        uint32_t v = a << 18 | b << 12 | c << 6 | d;
        out[0] = static_cast<uint8_t>(v >> 16);
        out[1] = static_cast<uint8_t>(v >> 8);
        out[2] = static_cast<uint8_t>(v);
    }
    return g;
}

}  // namespace codec::portable

size_t Base64EncodedLength(size_t count, bool pad, int lineLength) {
    size_t chars = count / 3 * 4;
    if (count % 3) chars += pad ? 4 : count % 3 + 1;
    // A break follows every filled line; an unpadded last group never fills one.
    if (size_t line = LineChars(lineLength)) chars += 2 * (chars / line);
    return chars;
}

namespace {

// Writes encoded text to a char or wchar_t buffer; wide output goes through a small narrow
// buffer so that the kernels only ever write char.
template <typename C>
class Writer {
  public:
    explicit Writer(C* out) : out_(out) {}
    void Groups(const uint8_t* in, size_t groups) {
        const codec::Kernels& k = codec::ActiveKernels();
        if constexpr (sizeof(C) == 1) {
            k.base64Encode(in, groups, reinterpret_cast<char*>(out_ + n_));
            n_ += groups * 4;
        } else {
            char narrow[1024];
            while (groups) {
                size_t take = groups < 256 ? groups : 256;
                k.base64Encode(in, take, narrow);
                for (size_t i = 0; i < take * 4; ++i) out_[n_ + i] = static_cast<C>(narrow[i]);
                n_ += take * 4;
                in += take * 3;
                groups -= take;
            }
        }
    }
    void Tail(const uint8_t* in, size_t count, bool pad) {
        char narrow[4];
        size_t chars = EncodeTail(in, count, narrow, pad);
        for (size_t i = 0; i < chars; ++i) out_[n_ + i] = static_cast<C>(narrow[i]);
        n_ += chars;
    }
    void Break() {
        out_[n_++] = '\r';
        out_[n_++] = '\n';
    }
    size_t written() const { return n_; }

  private:
    C* out_;
    size_t n_ = 0;
};

template <typename C>
size_t EncodeTo(std::span<const uint8_t> data, C* out, bool pad, int lineLength) {
    Writer<C> w(out);
    const uint8_t* in = data.data();
    size_t count = data.size();
    size_t line = LineChars(lineLength);
    if (line) {
        size_t lineBytes = line / 4 * 3;
        for (; count >= lineBytes; count -= lineBytes, in += lineBytes) {
            w.Groups(in, line / 4);
            w.Break();
        }
    }
    w.Groups(in, count / 3);
    if (count % 3) {
        w.Tail(in + count / 3 * 3, count % 3, pad);
        // A padded last group can fill the last line, which then gets its break too.
        if (line && pad && (count / 3 + 1) * 4 == line) w.Break();
    }
    return w.written();
}

}  // namespace

size_t Base64Encode(std::span<const uint8_t> data, char* out, bool pad, int lineLength) {
    return EncodeTo(data, out, pad, lineLength);
}

size_t Base64Encode(std::span<const uint8_t> data, wchar_t* out, bool pad, int lineLength) {
    return EncodeTo(data, out, pad, lineLength);
}

std::string Base64EncodeToString(std::span<const uint8_t> data, bool pad, int lineLength) {
    std::string text(Base64EncodedLength(data.size(), pad, lineLength), '\0');
    text.resize(Base64Encode(data, text.data(), pad, lineLength));
    return text;
}

std::wstring Base64EncodeToWString(std::span<const uint8_t> data, bool pad, int lineLength) {
    std::wstring text(Base64EncodedLength(data.size(), pad, lineLength), L'\0');
    text.resize(Base64Encode(data, text.data(), pad, lineLength));
    return text;
}

size_t Base64Decode(std::string_view text, uint8_t* out) {
    const codec::Kernels& k = codec::ActiveKernels();
    const char* t = text.data();
    size_t n = text.size();
    size_t i = 0;
    uint8_t* o = out;
    for (;;) {
        // Separators between groups.
        while (i < n) {
            char c = t[i];
            if (c == '\r' && i + 1 < n && t[i + 1] == '\n') {
                i += 2;
            } else if (c == '\n' || c == '\t' || c == ' ') {
                ++i;
            } else {
                break;
            }
        }
        if (i >= n || t[i] == 0) break;
        // Clean groups in bulk, then one group by the rules.
        size_t groups = k.base64Decode(t + i, (n - i) / 4, o);
        i += groups * 4;
        o += groups * 3;
        if (groups && (i >= n || t[i] == 0)) break;
        if (groups && (t[i] == '\r' || t[i] == '\n' || t[i] == '\t' || t[i] == ' ')) continue;
        if (!DecodeSlowGroup(t, n, i, o)) break;
    }
    return static_cast<size_t>(o - out);
}

size_t Base64Decode(std::wstring_view text, uint8_t* out) {
    // Only characters below 128 have a meaning to the decoder, so the text is narrowed with
    // every other character mapped to one that is outside the alphabet as well.
    std::string narrow(text.size(), '\0');
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        narrow[i] = c < 0x80 ? static_cast<char>(c) : static_cast<char>(0x80);
    }
    return Base64Decode(std::string_view(narrow), out);
}

std::vector<uint8_t> Base64DecodeToVector(std::string_view text) {
    std::vector<uint8_t> bytes(Base64DecodedCapacity(text.size()));
    bytes.resize(Base64Decode(text, bytes.data()));
    return bytes;
}

size_t Base64DecodeToVector(std::string_view text, std::vector<uint8_t>& bytes) {
    if (bytes.size() < Base64DecodedCapacity(text.size()))
        bytes.resize(Base64DecodedCapacity(text.size()));
    size_t n = Base64Decode(text, bytes.data());
    bytes.resize(n);
    return n;
}

std::vector<uint8_t> Base64DecodeToVector(std::wstring_view text) {
    std::vector<uint8_t> bytes(Base64DecodedCapacity(text.size()));
    bytes.resize(Base64Decode(text, bytes.data()));
    return bytes;
}

}  // namespace kwill
