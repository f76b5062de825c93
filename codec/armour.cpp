#include "codec/armour.h"

#include "codec/base64.h"
#include "codec/hash.h"

#include <algorithm>
#include <cstring>

namespace kwill {
namespace {

constexpr size_t kLineBytes = 45;
constexpr std::string_view kBegin = "-----BEGIN ";

int ValueOf(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Reads the groups of one marked line from text[i] on, at most 15, skipping spaces and tabs;
// appends the whole bytes each group carries, stopping when `limit` bytes are reached. Returns
// true when the line ended (at a line break, '=', the end of the text or a character outside
// the alphabet) before its 15th group was complete.
bool ReadLine(std::string_view text, size_t i, std::vector<uint8_t>& out, size_t limit) {
    for (int group = 0; group < 15; ++group) {
        int v[4] = {};
        int k = 0;
        bool ended = false;
        while (k < 4) {
            if (i >= text.size()) {
                ended = true;
                break;
            }
            char c = text[i];
            if (c == ' ' || c == '\t') {
                ++i;
                continue;
            }
            int value = ValueOf(c);
            if (value < 0) {
                ended = true;
                break;
            }
            v[k++] = value;
            ++i;
        }
        uint32_t bits = uint32_t(v[0]) << 18 | uint32_t(v[1]) << 12 | uint32_t(v[2]) << 6 | v[3];
        int whole = k == 4 ? 3 : (k > 1 ? k - 1 : 0);
        for (int b = 0; b < whole && out.size() < limit; ++b)
            out.push_back(static_cast<uint8_t>(bits >> (16 - 8 * b)));
        if (ended) return true;
    }
    return false;
}

}  // namespace

std::string ArmourEncode(std::span<const uint8_t> data, std::string_view label) {
    std::string text;
    size_t lines = (data.size() + kLineBytes - 1) / kLineBytes;
    text.reserve(2 * label.size() + 64 + lines * 63 + 32);
    text.append(kBegin).append(label).append("-----\r\n");
    Hash md5;
    md5.Init(HashMethod::MD5);
    char line[64];
    for (size_t offset = 0; offset < data.size(); offset += kLineBytes) {
        auto piece = data.subspan(offset, std::min(kLineBytes, data.size() - offset));
        md5.HashData(piece.data(), piece.size());
        line[0] = 'D';
        size_t n = Base64Encode(piece, line + 1);
        text.append(line, n + 1).append("\r\n");
    }
    uint8_t digest[16];
    md5.End(sizeof(digest), digest);
    line[0] = 'c';
    size_t n = Base64Encode(digest, line + 1);
    text.append(line, n + 1).append("\r\n");
    text.append("-----END ").append(label).append("-----\r\n");
    return text;
}

bool ArmourDecode(std::string_view text, std::string_view label, std::vector<uint8_t>& data) {
    data.clear();
    size_t i = 0;
    for (;; ++i) {
        i = text.find(kBegin, i);
        if (i == std::string_view::npos) return false;
        if (text.substr(i + kBegin.size(), label.size()) == label) break;
    }
    // Data lines can hold at most three bytes for every four characters of the text.
    size_t limit = text.size() / 4 * 3 + 3;
    std::vector<uint8_t> check;
    bool dataComplete = false;
    bool checkRead = false;
    const size_t n = text.size();
    for (;;) {
        while (i < n && text[i] != '\r' && text[i] != '\n') ++i;
        if (i >= n) break;
        char lineEnd = text[i++];
        if (i < n && (text[i] == '\r' || text[i] == '\n') && text[i] != lineEnd) ++i;
        while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
        if (i >= n) break;
        if (text[i] == 'D' && !dataComplete) {
            dataComplete = ReadLine(text, i + 1, data, limit);
        } else if (text[i] == 'c' && !checkRead) {
            // The check line also ends the data: a block whose data fills its last line (or
            // that has no data at all) has no short line to end it.
            dataComplete = true;
            check.clear();
            checkRead = ReadLine(text, i + 1, check, 16);
        }
    }
    uint8_t digest[16];
    Hash md5;
    md5.Init(HashMethod::MD5);
    md5.HashData(data.data(), data.size());
    md5.End(sizeof(digest), digest);
    if (!dataComplete || !checkRead || check.size() != 16 ||
        std::memcmp(check.data(), digest, 16) != 0) {
        data.clear();
        return false;
    }
    return true;
}

}  // namespace kwill
