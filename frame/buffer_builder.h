// Append-only byte streams kept in a chain of fixed-size blocks, so that appending never moves
// what is already stored; the whole stream is copied out once, in the form the caller wants.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <map>
#include <string>
#include <vector>

namespace kwill {

// Where the blocks come from. Returns null when memory is short; tests install an allocator
// that fails on purpose. Blocks are returned with BlockFree.
using BlockAllocFn = void* (*)(size_t bytes);
BlockAllocFn& BufferBlockAllocator();
void BlockFree(void* block);

// A byte range that may own its memory. The copy-out of a builder fills one.
class ByteHolder {
  public:
    enum class Owner { None, Malloc, Local };

    ByteHolder() = default;
    ByteHolder(void* data, size_t size, Owner owner) : data_(data), size_(size), owner_(owner) {}
    ByteHolder(const ByteHolder&) = delete;
    ByteHolder& operator=(const ByteHolder&) = delete;
    ~ByteHolder() { Release(); }

    uint8_t* data() const { return static_cast<uint8_t*>(data_); }
    size_t size() const { return size_; }
    Owner owner() const { return owner_; }

    // Frees owned memory and leaves the holder empty.
    void Release();
    // Replaces the content by a fresh malloc block of this size; false (and empty) when short
    // of memory.
    bool Resize(size_t size);

  private:
    void* data_ = nullptr;
    size_t size_ = 0;
    Owner owner_ = Owner::None;
};

class BufferBuilder {
  public:
    struct append_e : std::exception {};

    static constexpr size_t kDefaultBlockSize = 65500;

    explicit BufferBuilder(size_t blockSize = 0);
    virtual ~BufferBuilder();
    BufferBuilder(const BufferBuilder&) = delete;
    BufferBuilder& operator=(const BufferBuilder&) = delete;

    // False for a null pointer, a builder without blocks, or a block that could not be
    // allocated (the bytes that fitted stay in the stream). Zero bytes append nothing and
    // succeed.
    bool Append(const void* data, size_t bytes);
    bool AppendZeros(size_t bytes);
    // The UTF-8 form of a wide string without its terminator; false for null or empty text.
    bool AppendUtf8(const wchar_t* text);
    // The UTF-16 code units including the terminator (null appends one zero unit). Throws
    // append_e when the append fails, so that calls can be chained.
    BufferBuilder& AppendWideTerminated(const wchar_t* text);
    // Appends zeros up to a multiple of alignment (which must not be 0).
    bool Pad(size_t alignment);
    // Empties the stream, keeping only the first block.
    virtual void Reset();

    size_t size() const { return total_; }
    size_t block_size() const { return blockSize_; }
    bool has_blocks() const { return head_ != nullptr; }

    // Copy-outs. CopyTo needs room for size() bytes.
    void CopyTo(void* destination) const;
    // A malloc block (free() it), null without blocks or memory; *size gets the stream size.
    void* TakeHeapBlock(size_t* size) const;
    std::vector<uint8_t> TakeBytes() const;
    std::string TakeString() const;
    // Fills the holder with the stream: into its memory when it already has exactly size()
    // bytes, else into a fresh block. On failure, or a stream of 4 GiB or more, the holder is
    // released and the result is false.
    bool CopyInto(ByteHolder& holder) const;

  protected:
    struct Block {
        Block* next;
        uint8_t* data() { return reinterpret_cast<uint8_t*>(this) + kLinkBytes; }
    };
    static constexpr size_t kLinkBytes = 8;

    Block* NewBlock() const;
    // Appends from data (or zeros when data is null).
    bool AppendRaw(const uint8_t* data, size_t bytes);
    // Frees every block after this one and ends the chain there.
    void FreeAfter(Block* block);

    Block* head_ = nullptr;
    Block* tail_ = nullptr;
    size_t used_ = 0;
    size_t total_ = 0;
    size_t blockSize_;
};

// A builder whose bytes can also be overwritten at any offset, and whose stream can be cut
// back or extended.
class BufferBuilderRandomAccess : public BufferBuilder {
  public:
    explicit BufferBuilderRandomAccess(size_t blockSize = 0);

    struct Position {
        uint8_t* block = nullptr;  // the block's data area; null when out of range
        size_t offset = 0;         // within the block
    };
    Position Locate(size_t offset);
    // Overwrites from offset and appends what goes past the end; a gap beyond the end is
    // filled with zeros first.
    bool WriteAt(size_t offset, const void* data, size_t bytes);
    bool SetSize(size_t size);
    void Reset() override;
    // How many blocks the chain holds.
    size_t BlockCount() const;

  private:
    Block* LocateBlock(size_t offset, size_t& within);

    Block* readBlock_;
    size_t readStart_ = 0;
    Block* indexBlock_;
    size_t indexStart_ = 0;
    std::map<size_t, Block*> index_;
};

}  // namespace kwill
