// Members of known size are inflated whole by libdeflate, larger ones are streamed through zlib,
// and the reader's two paths must not disagree about a member: the same bytes, or an error from
// both, except for the few rule breaks that libdeflate reads and zlib refuses (listed below). Each
// stream here goes through InflateWhole, through zlib itself (the reference: the stream is good
// when zlib ends it exactly at the expected size) and through a one-member archive read whole and
// streamed. The streams are the output of both compressors at every strategy, seeded
// mutations of them, random bytes, and hand-made blocks that break one rule of the format each.
#include "tests/zip/zip_support.h"
#include "zip/zip_codec.h"
#include "zip/zip_format.h"
#include "zip/zip_reader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

namespace kwill::zip {
namespace {

constexpr uint64_t kNoLimit = ~uint64_t(0);

// zlib's answer: the output when the stream ends exactly at size bytes, else nothing and why.
bool ZlibInflate(const std::vector<uint8_t>& stream, size_t size, std::vector<uint8_t>& out,
                 std::string& why) {
    out.assign(size + 1, 0);
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
    z.next_in = const_cast<uint8_t*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    int r = inflate(&z, Z_FINISH);
    bool ok = r == Z_STREAM_END && z.total_out == size;
    why = z.msg ? z.msg : r == Z_STREAM_END ? "other size" : "cut short";
    inflateEnd(&z);
    out.resize(ok ? size : 0);
    return ok;
}

// Where libdeflate is more lenient than zlib: it reads the fixed code's literal/length symbols
// 286 and 287 as length 258 and its distance symbols 30 and 31 as far distances, takes up to 288
// and 32 code lengths, ignores code lengths repeated past the end of the list, and gives the
// second codeword of a one-symbol code the same symbol. A stream that uses one of these is
// refused by zlib; the whole path may read it, and the member's CRC (or the file's Adler-32)
// still decides whether the bytes are the ones that were stored.
bool LibdeflateIsLenient(const std::string& zlibWhy) {
    return zlibWhy == "invalid literal/length code" || zlibWhy == "invalid distance code" ||
           zlibWhy == "too many length or distance symbols" ||
           zlibWhy == "invalid bit length repeat";
}

// A one-member archive holding the raw stream, recorded with the given size and CRC.
std::vector<uint8_t> ArchiveOf(const std::vector<uint8_t>& stream, uint32_t size, uint32_t crc) {
    std::string local, central, end;
    const std::string name = "m";
    auto common = [&](std::string& out) {
        Put16(out, 20);  // version needed
        Put16(out, 0);   // flags
        Put16(out, kMethodDeflate);
        Put32(out, 0);  // time and date
        Put32(out, crc);
        Put32(out, static_cast<uint32_t>(stream.size()));
        Put32(out, size);
        Put16(out, static_cast<uint16_t>(name.size()));
        Put16(out, 0);  // extra
    };
    Put32(local, kLocalHeaderSig);
    common(local);
    local += name;
    Put32(central, kCentralHeaderSig);
    Put16(central, 20);  // made by
    common(central);
    Put16(central, 0);  // comment
    Put16(central, 0);  // disk
    Put16(central, 0);  // internal attributes
    Put32(central, 0);  // external attributes
    Put32(central, 0);  // local header offset
    central += name;
    Put32(end, kEndRecordSig);
    Put32(end, 0);  // disks
    Put16(end, 1);
    Put16(end, 1);
    Put32(end, static_cast<uint32_t>(central.size()));
    Put32(end, static_cast<uint32_t>(local.size() + stream.size()));
    Put16(end, 0);
    std::vector<uint8_t> archive(local.begin(), local.end());
    archive.insert(archive.end(), stream.begin(), stream.end());
    archive.insert(archive.end(), central.begin(), central.end());
    archive.insert(archive.end(), end.begin(), end.end());
    return archive;
}

enum class Outcome { Read, Refused, Lenient };

// Compares every path on one stream expected to give size bytes.
Outcome Agree(const std::vector<uint8_t>& stream, size_t size, const std::string& what) {
    SCOPED_TRACE(what);
    std::vector<uint8_t> reference;
    std::string why;
    const bool good = ZlibInflate(stream, size, reference, why);
    std::vector<uint8_t> whole(size, 0xA5);
    const ZipError e = InflateWhole(stream, whole);
    if (!good && e == ZipError::Ok) {
        EXPECT_TRUE(LibdeflateIsLenient(why)) << "zlib refused the stream: " << why;
        return Outcome::Lenient;
    }
    EXPECT_EQ(e, good ? ZipError::Ok : ZipError::BadData) << "zlib: " << (good ? "read" : why);
    if (good) {
        EXPECT_TRUE(whole == reference);
    }

    // Through the reader with the CRC of zlib's output: Read, and Extract whole and streamed.
    const uint32_t crc =
        static_cast<uint32_t>(crc32(0, reference.data(), static_cast<uInt>(reference.size())));
    const std::vector<uint8_t> archive = ArchiveOf(stream, static_cast<uint32_t>(size), crc);
    ZipReader reader;
    EXPECT_EQ(reader.Open(std::make_unique<MemorySource>(archive)), ZipError::Ok);
    if (reader.Entries().size() != 1) return Outcome::Refused;
    const ZipEntry& entry = reader.Entries().front();
    std::vector<uint8_t> read;
    ZipError r = reader.Read(entry, "", kNoLimit, read);
    EXPECT_TRUE(good ? r == ZipError::Ok && read == reference : r != ZipError::Ok && read.empty())
        << "Read gave error " << static_cast<int>(r);
    for (uint64_t wholeLimit : {kNoLimit, uint64_t(0)}) {
        reader.SetWholeExtractLimit(wholeLimit);
        std::vector<uint8_t> streamed;
        r = reader.Extract(entry, "", [&](const uint8_t* p, size_t n) {
            streamed.insert(streamed.end(), p, p + n);
            return true;
        });
        EXPECT_EQ(r == ZipError::Ok, good)
            << (wholeLimit ? "whole" : "streamed") << " extract gave error " << static_cast<int>(r);
        if (good && r == ZipError::Ok) {
            EXPECT_TRUE(streamed == reference);
        }
    }
    return good ? Outcome::Read : Outcome::Refused;
}

std::vector<uint8_t> ZlibDeflate(const std::vector<uint8_t>& data, int level, int strategy) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, strategy);
    std::vector<uint8_t> out(deflateBound(&z, static_cast<uLong>(data.size())) + 16);
    z.next_in = const_cast<uint8_t*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

struct Sample {
    std::string what;
    std::vector<uint8_t> data;
    std::vector<uint8_t> stream;
};

std::vector<Sample> Samples() {
    std::mt19937 random(5);
    std::vector<uint8_t> noise(40000);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
    const std::pair<const char*, std::vector<uint8_t>> inputs[] = {
        {"empty", {}},
        {"one byte", {'x'}},
        {"mixed 5000", test::MixedBytes(5000, 1)},
        {"mixed 300000", test::MixedBytes(300000, 2)},
        {"zeros 100000", std::vector<uint8_t>(100000, 0)},
        {"noise 40000", noise},
    };
    const std::pair<const char*, int> strategies[] = {{"default", Z_DEFAULT_STRATEGY},
                                                      {"filtered", Z_FILTERED},
                                                      {"huffman only", Z_HUFFMAN_ONLY},
                                                      {"rle", Z_RLE},
                                                      {"fixed", Z_FIXED}};
    std::vector<Sample> samples;
    for (const auto& [name, data] : inputs) {
        for (int level : {0, 1, 6, 9})
            for (const auto& [strategyName, strategy] : strategies)
                samples.push_back({std::string(name) + ", zlib level " + std::to_string(level) +
                                       " " + strategyName,
                                   data, ZlibDeflate(data, level, strategy)});
        for (int level : {1, 6, 9}) {
            std::vector<uint8_t> stream;
            if (DeflateWhole(data, level, stream) == 0) continue;  // would be stored
            samples.push_back(
                {std::string(name) + ", libdeflate level " + std::to_string(level), data, stream});
        }
    }
    return samples;
}

TEST(InflateDifferential, EveryCompressorsStreams) {
    for (const Sample& s : Samples())
        EXPECT_EQ(Agree(s.stream, s.data.size(), s.what), Outcome::Read) << s.what;
}

// Bit flips, bytes set at random, cuts and appended bytes, each with the size the stream should
// give and with one byte more and less.
TEST(InflateDifferential, SeededMutations) {
    std::mt19937 random(1234);
    int counts[3] = {};
    for (const Sample& s : Samples()) {
        if (s.stream.size() < 4 || s.data.size() > 100000) continue;
        for (int i = 0; i < 40; ++i) {
            std::vector<uint8_t> m = s.stream;
            switch (random() % 4) {
                case 0:
                    for (uint32_t k = 1 + random() % 3; k > 0; --k)
                        m[random() % m.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
                    break;
                case 1:
                    m[random() % m.size()] = static_cast<uint8_t>(random());
                    break;
                case 2:
                    m.resize(random() % m.size());
                    break;
                default:
                    for (uint32_t k = 1 + random() % 8; k > 0; --k)
                        m.push_back(static_cast<uint8_t>(random()));
            }
            const size_t delta = random() % 3;
            const size_t size = delta == 0   ? s.data.size()
                                : delta == 1 ? s.data.size() + 1
                                             : (s.data.empty() ? 0 : s.data.size() - 1);
            counts[static_cast<int>(Agree(m, size, s.what + ", mutation " + std::to_string(i)))]++;
            if (HasFailure()) return;
        }
    }
    EXPECT_GT(counts[static_cast<int>(Outcome::Read)], 100);
    EXPECT_GT(counts[static_cast<int>(Outcome::Refused)], 1000);
}

TEST(InflateDifferential, RandomBytes) {
    std::mt19937 random(99);
    for (int i = 0; i < 3000 && !HasFailure(); ++i) {
        std::vector<uint8_t> stream(1 + random() % 64);
        for (uint8_t& b : stream) b = static_cast<uint8_t>(random());
        Agree(stream, random() % 300, "random stream " + std::to_string(i));
    }
}

// A deflate bit stream written by hand: fields least significant bit first, Huffman codes most
// significant bit first, as RFC 1951 lays them out.
class Bits {
  public:
    Bits& Put(uint32_t value, int count) {
        for (int i = 0; i < count; ++i) Bit((value >> i) & 1);
        return *this;
    }
    Bits& Code(uint32_t code, int length) {
        for (int i = length - 1; i >= 0; --i) Bit((code >> i) & 1);
        return *this;
    }
    // A symbol of the fixed literal/length code, and a fixed distance code.
    Bits& Fixed(uint32_t symbol) {
        if (symbol < 144) return Code(0x30 + symbol, 8);
        if (symbol < 256) return Code(0x190 + symbol - 144, 9);
        if (symbol < 280) return Code(symbol - 256, 7);
        return Code(0xC0 + symbol - 280, 8);
    }
    Bits& Distance(uint32_t code) { return Code(code, 5); }
    Bits& Align() {
        while (used_ != 0) Bit(0);
        return *this;
    }
    std::vector<uint8_t> Bytes() {
        Align();
        return bytes_;
    }

  private:
    void Bit(uint32_t bit) {
        if (used_ == 0) bytes_.push_back(0);
        bytes_.back() |= static_cast<uint8_t>(bit << used_);
        used_ = (used_ + 1) % 8;
    }
    std::vector<uint8_t> bytes_;
    int used_ = 0;
};

// Blocks that each break one rule of the format (and two that keep them all), with the size the
// member records.
TEST(InflateDifferential, HandMadeBlocks) {
    constexpr uint32_t kEnd = 256, kLength3 = 257;
    const uint32_t fixedFinal = 1 | 1 << 1;  // BFINAL, then BTYPE 01
    struct Case {
        const char* what;
        std::vector<uint8_t> stream;
        size_t size;
        Outcome expected;
    };
    const Case cases[] = {
        {"fixed block: abc, then a match of 3 at distance 3",
         Bits()
             .Put(fixedFinal, 3)
             .Fixed('a')
             .Fixed('b')
             .Fixed('c')
             .Fixed(kLength3)
             .Distance(2)
             .Fixed(kEnd)
             .Bytes(),
         6, Outcome::Read},
        {"stored block of 3 bytes",
         Bits()
             .Put(1, 3)
             .Align()
             .Put(3, 16)
             .Put(0xFFFC, 16)
             .Put('x', 8)
             .Put('y', 8)
             .Put('z', 8)
             .Bytes(),
         3, Outcome::Read},
        {"stored block whose length check is wrong",
         Bits()
             .Put(1, 3)
             .Align()
             .Put(3, 16)
             .Put(0xFFFD, 16)
             .Put('x', 8)
             .Put('y', 8)
             .Put('z', 8)
             .Bytes(),
         3, Outcome::Refused},
        {"stored block longer than the input",
         Bits().Put(1, 3).Align().Put(9, 16).Put(0xFFF6, 16).Put('x', 8).Bytes(), 9,
         Outcome::Refused},
        {"reserved block type", Bits().Put(1 | 3 << 1, 3).Put(0, 16).Bytes(), 0, Outcome::Refused},
        {"match before the first byte",
         Bits().Put(fixedFinal, 3).Fixed(kLength3).Distance(0).Fixed(kEnd).Bytes(), 3,
         Outcome::Refused},
        {"match reaching back past the first byte",
         Bits().Put(fixedFinal, 3).Fixed('a').Fixed(kLength3).Distance(1).Fixed(kEnd).Bytes(), 4,
         Outcome::Refused},
        {"no final block", Bits().Put(1 << 1, 3).Fixed('a').Fixed(kEnd).Bytes(), 1,
         Outcome::Refused},
        {"end of block missing", Bits().Put(fixedFinal, 3).Fixed('a').Fixed('b').Bytes(), 2,
         Outcome::Refused},
        {"more output than recorded",
         Bits().Put(fixedFinal, 3).Fixed('a').Fixed('b').Fixed(kEnd).Bytes(), 1, Outcome::Refused},
        {"less output than recorded",
         Bits().Put(fixedFinal, 3).Fixed('a').Fixed('b').Fixed(kEnd).Bytes(), 3, Outcome::Refused},
        {"distance symbol 30 of the fixed code",
         Bits().Put(fixedFinal, 3).Fixed('a').Fixed(kLength3).Distance(30).Fixed(kEnd).Bytes(), 4,
         Outcome::Refused},
        {"literal/length symbol 286 of the fixed code",
         Bits().Put(fixedFinal, 3).Fixed('a').Fixed(286).Distance(0).Fixed(kEnd).Bytes(), 259,
         Outcome::Lenient},
    };
    for (const Case& c : cases) EXPECT_EQ(Agree(c.stream, c.size, c.what), c.expected) << c.what;
}

}  // namespace
}  // namespace kwill::zip
