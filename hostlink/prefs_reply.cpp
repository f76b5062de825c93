#include "hostlink/prefs_reply.h"

#include <cstring>

namespace kwill::host {
namespace {

class Reader {
  public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    size_t left() const { return bytes_.size() - at_; }

    template <typename T>
    bool Take(T& value) {
        if (left() < sizeof(T)) return false;
        std::memcpy(&value, bytes_.data() + at_, sizeof(T));
        at_ += sizeof(T);
        return true;
    }
    bool Take(uint8_t (&bytes)[16]) {
        if (left() < 16) return false;
        std::memcpy(bytes, bytes_.data() + at_, 16);
        at_ += 16;
        return true;
    }
    // A NUL-terminated UTF-16 string wholly inside the bytes; nothing is taken otherwise.
    bool TakeString(std::u16string& text) {
        for (size_t end = at_; end + 2 <= bytes_.size(); end += 2) {
            char16_t unit;
            std::memcpy(&unit, bytes_.data() + end, 2);
            if (unit == 0) {
                text.resize((end - at_) / 2);
                if (!text.empty()) std::memcpy(text.data(), bytes_.data() + at_, end - at_);
                at_ = end + 2;
                return true;
            }
        }
        return false;
    }

  private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
};

class Writer {
  public:
    template <typename T>
    void Put(const T& value) {
        const auto* p = reinterpret_cast<const uint8_t*>(&value);
        bytes_.insert(bytes_.end(), p, p + sizeof(T));
    }
    void PutString(const std::u16string& text) {
        // Up to the first NUL: the reader could not tell more apart.
        for (char16_t unit : text) {
            if (unit == 0) break;
            Put(unit);
        }
        Put(char16_t{0});
    }
    std::vector<uint8_t>& bytes() { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
};

}  // namespace

int ParsePrefsReply(std::span<const uint8_t> reply, PrefsFlagsData& out) {
    Reader in(reply);
    // The five words come together or not at all.
    if (in.left() < kPrefsReplyFlagBytes) return 0;
    for (uint64_t* word :
         {&out.settings1, &out.settings2, &out.settings4, &out.zipFlags, &out.extra}) {
        in.Take(*word);
    }
    int fields = 5;
    if (!in.Take(out.archiveContext)) return fields;
    ++fields;
    for (std::u16string* text : {&out.extractionFormats, &out.extractionMappings}) {
        if (!in.TakeString(*text)) return fields;
        ++fields;
    }
    for (std::vector<ArchiveFormatEntry>& list : out.formatLists) {
        uint32_t count = 0;
        if (!in.Take(count)) return fields;
        ++fields;
        list.clear();
        for (uint32_t i = 0; i < count; ++i) {
            ArchiveFormatEntry entry;
            if (!in.Take(entry.guid) || !in.TakeString(entry.extension) ||
                !in.TakeString(entry.description)) {
                return fields;
            }
            list.push_back(std::move(entry));
        }
    }
    return fields;
}

std::vector<uint8_t> BuildPrefsReply(const PrefsFlagsData& data, bool full) {
    Writer out;
    for (uint64_t word :
         {data.settings1, data.settings2, data.settings4, data.zipFlags, data.extra}) {
        out.Put(word);
    }
    if (!full) return std::move(out.bytes());
    out.Put(data.archiveContext);
    out.PutString(data.extractionFormats);
    out.PutString(data.extractionMappings);
    for (const std::vector<ArchiveFormatEntry>& list : data.formatLists) {
        out.Put(static_cast<uint32_t>(list.size()));
        for (const ArchiveFormatEntry& entry : list) {
            out.Put(entry.guid);
            out.PutString(entry.extension);
            out.PutString(entry.description);
        }
    }
    return std::move(out.bytes());
}

}  // namespace kwill::host
