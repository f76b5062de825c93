// Buffer builders across block boundaries, under an allocator that runs out, and the random
// access builder against a plain vector doing the same edits.
#include "frame/buffer_builder.h"
#include "frame/platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace kwill {
namespace {

// Lets a number of block allocations succeed and fails the rest.
struct LimitedAllocator {
    static inline int remaining = 0;
    static void* Allocate(size_t bytes) {
        if (remaining <= 0) return nullptr;
        --remaining;
        return ::operator new(bytes, std::nothrow);
    }
    explicit LimitedAllocator(int allowed) {
        remaining = allowed;
        BufferBlockAllocator() = Allocate;
    }
    ~LimitedAllocator() {
        BufferBlockAllocator() = [](size_t n) { return ::operator new(n, std::nothrow); };
    }
};

std::vector<uint8_t> Pattern(size_t n, uint8_t seed = 1) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
    return bytes;
}

TEST(BufferBuilder, AppendsAcrossBlockBoundariesAndCopiesOutEveryForm) {
    constexpr size_t kBlock = 16;
    const size_t sizes[] = {0, 1, kBlock - 1, kBlock, kBlock + 1, 5 * kBlock + 3};
    const size_t chunks[] = {1, 7, kBlock, 1000};
    for (size_t size : sizes) {
        for (size_t chunk : chunks) {
            SCOPED_TRACE(testing::Message() << "size " << size << " chunk " << chunk);
            std::vector<uint8_t> expected = Pattern(size);
            BufferBuilderRandomAccess builder(kBlock);
            for (size_t at = 0; at < size; at += chunk)
                ASSERT_TRUE(builder.Append(expected.data() + at, std::min(chunk, size - at)));
            EXPECT_EQ(builder.size(), size);
            // A full tail stays the tail until more bytes arrive.
            EXPECT_EQ(builder.BlockCount(), size == 0 ? 1 : (size + kBlock - 1) / kBlock);

            EXPECT_EQ(builder.TakeBytes(), expected);
            EXPECT_EQ(builder.TakeString(), std::string(expected.begin(), expected.end()));
            size_t heapSize = 99;
            void* heap = builder.TakeHeapBlock(&heapSize);
            ASSERT_NE(heap, nullptr);
            EXPECT_EQ(heapSize, size);
            EXPECT_EQ(std::vector<uint8_t>(static_cast<uint8_t*>(heap),
                                           static_cast<uint8_t*>(heap) + size),
                      expected);
            std::free(heap);
            std::vector<uint8_t> copied(size + 1, 0xAA);
            builder.CopyTo(copied.data());
            EXPECT_EQ(copied.back(), 0xAA) << "wrote past the stream";
            copied.pop_back();
            EXPECT_EQ(copied, expected);
        }
    }
}

TEST(BufferBuilder, NullDataFailsAndZeroBytesSucceed) {
    BufferBuilder builder(4);
    EXPECT_FALSE(builder.Append(nullptr, 3));
    EXPECT_TRUE(builder.Append("x", 0));
    EXPECT_EQ(builder.size(), 0u);
    EXPECT_EQ(builder.block_size(), 4u);
    EXPECT_EQ(BufferBuilder().block_size(), BufferBuilder::kDefaultBlockSize);
}

TEST(BufferBuilder, PadsToTheAlignment) {
    struct Row {
        size_t total, alignment, padded;
    } rows[] = {{13, 8, 16}, {16, 8, 16}, {0, 8, 0}, {1, 1, 1}, {5, 3, 6}, {17, 16, 32}};
    for (const Row& row : rows) {
        BufferBuilder builder(4);
        std::vector<uint8_t> bytes = Pattern(row.total);
        builder.Append(bytes.data(), bytes.size());
        EXPECT_TRUE(builder.Pad(row.alignment));
        bytes.resize(row.padded, 0);
        EXPECT_EQ(builder.TakeBytes(), bytes) << row.total << " to " << row.alignment;
    }
}

TEST(BufferBuilder, Utf8MatchesTheSystemConversionAndReplacesLoneSurrogates) {
    struct Row {
        const wchar_t* text;
        const char* utf8;  // null: whatever WideCharToMultiByte gives
    } rows[] = {
        {L"\u00e9", "\xC3\xA9"},
        {L"\xD800", "\xEF\xBF\xBD"},
        {L"a\xDC00z", "a\xEF\xBF\xBDz"},
        {L"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
        {L"\xD83D\xD83D\xDE00", "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
        {L"ascii \u07ff\u0800\uffff \U0010FFFF", nullptr},
    };
    for (const Row& row : rows) {
        std::string expected;
        if (row.utf8) {
            expected = row.utf8;
        } else {
            char buffer[64];
            int n = ::WideCharToMultiByte(CP_UTF8, 0, row.text, -1, buffer, 64, nullptr, nullptr);
            expected.assign(buffer, n - 1);
        }
        BufferBuilder builder(3);
        EXPECT_TRUE(builder.AppendUtf8(row.text));
        EXPECT_EQ(builder.TakeString(), expected);
    }
    BufferBuilder builder;
    EXPECT_FALSE(builder.AppendUtf8(nullptr));
    EXPECT_FALSE(builder.AppendUtf8(L""));
}

TEST(BufferBuilder, WideTerminatedAppendsChainAndThrowOnFailure) {
    BufferBuilder builder(5);
    builder.AppendWideTerminated(L"ab").AppendWideTerminated(nullptr);
    EXPECT_EQ(builder.TakeString(), std::string("a\0b\0\0\0\0\0", 8));

    LimitedAllocator noMore(0);
    EXPECT_THROW(builder.AppendWideTerminated(L"long enough to need a block"),
                 BufferBuilder::append_e);
}

TEST(BufferBuilder, FailedAllocationKeepsWhatFittedAndTheNextAppendStartsAfresh) {
    constexpr size_t kBlock = 8;
    std::vector<uint8_t> data = Pattern(30);
    BufferBuilder builder(kBlock);
    {
        LimitedAllocator oneMore(1);  // room for the head plus one block: 16 bytes
        EXPECT_FALSE(builder.Append(data.data(), data.size()));
        EXPECT_EQ(builder.size(), 2 * kBlock);
        EXPECT_FALSE(builder.AppendZeros(1));
        EXPECT_EQ(builder.size(), 2 * kBlock);
    }
    std::vector<uint8_t> expected(data.begin(), data.begin() + 2 * kBlock);
    EXPECT_EQ(builder.TakeBytes(), expected);
    EXPECT_TRUE(builder.Append(data.data(), 3));
    expected.insert(expected.end(), data.begin(), data.begin() + 3);
    EXPECT_EQ(builder.TakeBytes(), expected);

    builder.Reset();
    EXPECT_EQ(builder.size(), 0u);
    EXPECT_TRUE(builder.Append(data.data(), 5));
    EXPECT_EQ(builder.TakeBytes(), Pattern(5));
}

TEST(BufferBuilder, WithoutAFirstBlockEverythingFailsAndResultsAreEmpty) {
    LimitedAllocator none(0);
    BufferBuilderRandomAccess builder(8);
    EXPECT_FALSE(builder.has_blocks());
    EXPECT_FALSE(builder.Append("abc", 3));
    EXPECT_FALSE(builder.AppendZeros(1));
    EXPECT_FALSE(builder.AppendUtf8(L"x"));
    EXPECT_FALSE(builder.WriteAt(0, "a", 1));
    EXPECT_FALSE(builder.SetSize(4));
    size_t size = 7;
    EXPECT_EQ(builder.TakeHeapBlock(&size), nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_TRUE(builder.TakeBytes().empty());
    ByteHolder holder;
    EXPECT_FALSE(builder.CopyInto(holder));
    builder.Reset();
}

TEST(BufferBuilder, CopyIntoReusesAHolderOfTheRightSizeAndReplacesOthers) {
    BufferBuilder builder(4);
    builder.Append("0123456789", 10);
    uint8_t own[10] = {};
    ByteHolder exact(own, sizeof(own), ByteHolder::Owner::None);
    EXPECT_TRUE(builder.CopyInto(exact));
    EXPECT_EQ(exact.data(), own);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(own), 10), "0123456789");

    ByteHolder other(std::malloc(3), 3, ByteHolder::Owner::Malloc);
    EXPECT_TRUE(builder.CopyInto(other));
    EXPECT_EQ(other.size(), 10u);
    EXPECT_EQ(other.owner(), ByteHolder::Owner::Malloc);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(other.data()), 10), "0123456789");
}

TEST(BufferBuilderRandomAccess, WritesAndResizesLikeAVector) {
    const size_t blockSizes[] = {1, 4, 7, 64};
    for (size_t blockSize : blockSizes) {
        SCOPED_TRACE(blockSize);
        std::mt19937 random(static_cast<unsigned>(blockSize));
        BufferBuilderRandomAccess builder(blockSize);
        std::vector<uint8_t> model;
        for (int step = 0; step < 400; ++step) {
            size_t offset = random() % (model.size() + 20);
            switch (random() % 4) {
                case 0:
                case 1: {
                    std::vector<uint8_t> data = Pattern(random() % 30, static_cast<uint8_t>(step));
                    const uint8_t none = 0;  // an empty vector may have no data pointer
                    ASSERT_TRUE(
                        builder.WriteAt(offset, data.empty() ? &none : data.data(), data.size()))
                        << "step " << step;
                    if (offset + data.size() > model.size()) model.resize(offset + data.size());
                    std::copy(data.begin(), data.end(), model.begin() + offset);
                    break;
                }
                case 2:
                    ASSERT_TRUE(builder.SetSize(offset)) << "step " << step;
                    model.resize(offset, 0);
                    break;
                case 3: {
                    auto at = builder.Locate(offset);
                    if (offset < model.size()) {
                        ASSERT_NE(at.block, nullptr);
                        EXPECT_EQ(at.block[at.offset], model[offset]);
                    } else {
                        EXPECT_EQ(at.block, nullptr);
                    }
                    break;
                }
            }
            ASSERT_EQ(builder.size(), model.size());
            // Cutting back to a block boundary may leave an empty tail block after the full
            // ones; never more than that.
            size_t full = (model.size() + blockSize - 1) / blockSize;
            size_t blocks = builder.BlockCount();
            ASSERT_TRUE(blocks == std::max<size_t>(1, full) ||
                        (blocks == full + 1 && model.size() % blockSize == 0))
                << "step " << step << ": " << blocks << " blocks for " << model.size();
        }
        EXPECT_EQ(builder.TakeBytes(), model);
    }
}

TEST(BufferBuilderRandomAccess, DocumentedExamples) {
    BufferBuilderRandomAccess builder(4);
    builder.Append("abcd", 4);
    EXPECT_TRUE(builder.WriteAt(2, "XYZ", 3));
    EXPECT_EQ(builder.TakeString(), "abXYZ");
    EXPECT_TRUE(builder.WriteAt(7, "!", 1));
    EXPECT_EQ(builder.TakeString(), std::string("abXYZ\0\0!", 8));
    EXPECT_FALSE(builder.WriteAt(0, nullptr, 1));

    EXPECT_TRUE(builder.SetSize(0));
    EXPECT_EQ(builder.size(), 0u);
    EXPECT_EQ(builder.BlockCount(), 1u);
    EXPECT_EQ(builder.Locate(0).block, nullptr);
    EXPECT_TRUE(builder.SetSize(6));
    EXPECT_EQ(builder.TakeString(), std::string(6, '\0'));

    // After a reset the cursors and the index start over: no stale block is reached.
    builder.Append("0123456789", 10);
    auto before = builder.Locate(13);
    ASSERT_NE(before.block, nullptr);
    EXPECT_EQ(before.block[before.offset], '7');
    builder.Reset();
    builder.Append("abcdefgh", 8);
    auto at = builder.Locate(5);
    ASSERT_NE(at.block, nullptr);
    EXPECT_EQ(at.block[at.offset], 'f');
}

}  // namespace
}  // namespace kwill
