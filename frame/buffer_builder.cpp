#include "frame/buffer_builder.h"

#include "frame/platform.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <memory>
#include <new>

namespace kwill {
namespace {

void* NothrowAllocate(size_t bytes) {
    return ::operator new(bytes, std::nothrow);
}

// Bytes of the UTF-8 form of one code point.
size_t Utf8Length(uint32_t cp) {
    return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

uint8_t* PutUtf8(uint8_t* out, uint32_t cp) {
    if (cp < 0x80) {
        *out++ = static_cast<uint8_t>(cp);
    } else if (cp < 0x800) {
        *out++ = static_cast<uint8_t>(0xC0 | (cp >> 6));
        *out++ = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out++ = static_cast<uint8_t>(0xE0 | (cp >> 12));
        *out++ = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    } else {
        *out++ = static_cast<uint8_t>(0xF0 | (cp >> 18));
        *out++ = static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F));
        *out++ = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    }
    return out;
}

// Walks UTF-16 text as code points; an unpaired surrogate reads as U+FFFD.
template <typename Visit>
void ForEachCodePoint(const wchar_t* text, Visit visit) {
    for (const wchar_t* p = text; *p; ++p) {
        uint32_t unit = static_cast<uint16_t>(*p);
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            uint32_t low = static_cast<uint16_t>(p[1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                visit((((unit & 0x3FF) << 10) | (low & 0x3FF)) + 0x10000);
                ++p;
                continue;
            }
            visit(0xFFFD);
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            visit(0xFFFD);
        } else {
            visit(unit);
        }
    }
}

}  // namespace

BlockAllocFn& BufferBlockAllocator() {
    static BlockAllocFn allocate = NothrowAllocate;
    return allocate;
}

void BlockFree(void* block) {
    ::operator delete(block);
}

void ByteHolder::Release() {
    if (owner_ == Owner::Malloc) std::free(data_);
    if (owner_ == Owner::Local) ::LocalFree(data_);
    data_ = nullptr;
    size_ = 0;
    owner_ = Owner::None;
}

bool ByteHolder::Resize(size_t size) {
    Release();
    if (size == 0) return true;
    data_ = std::malloc(size);
    if (!data_) return false;
    size_ = size;
    owner_ = Owner::Malloc;
    return true;
}

BufferBuilder::BufferBuilder(size_t blockSize)
    : blockSize_(blockSize ? blockSize : kDefaultBlockSize) {
    head_ = NewBlock();
    tail_ = head_;
}

BufferBuilder::~BufferBuilder() {
    if (head_) {
        FreeAfter(head_);
        BlockFree(head_);
    }
}

BufferBuilder::Block* BufferBuilder::NewBlock() const {
    if (blockSize_ > SIZE_MAX - kLinkBytes) return nullptr;
    auto* block = static_cast<Block*>(BufferBlockAllocator()(blockSize_ + kLinkBytes));
    if (block) block->next = nullptr;
    return block;
}

void BufferBuilder::FreeAfter(Block* block) {
    Block* next = block->next;
    block->next = nullptr;
    while (next) {
        Block* after = next->next;
        BlockFree(next);
        next = after;
    }
}

bool BufferBuilder::AppendRaw(const uint8_t* data, size_t bytes) {
    if (!head_) return false;
    while (bytes > blockSize_ - used_) {
        size_t room = blockSize_ - used_;
        if (data) {
            std::memcpy(tail_->data() + used_, data, room);
            data += room;
        } else {
            std::memset(tail_->data() + used_, 0, room);
        }
        bytes -= room;
        total_ += room;
        used_ = blockSize_;
        Block* block = NewBlock();
        if (!block) return false;  // the tail is full, so the next append starts a new block
        tail_->next = block;
        tail_ = block;
        used_ = 0;
    }
    if (data) {
        std::memcpy(tail_->data() + used_, data, bytes);
    } else {
        std::memset(tail_->data() + used_, 0, bytes);
    }
    used_ += bytes;
    total_ += bytes;
    return true;
}

bool BufferBuilder::Append(const void* data, size_t bytes) {
    if (!data) return false;
    return AppendRaw(static_cast<const uint8_t*>(data), bytes);
}

bool BufferBuilder::AppendZeros(size_t bytes) {
    return AppendRaw(nullptr, bytes);
}

bool BufferBuilder::AppendUtf8(const wchar_t* text) {
    if (!text || !*text) return false;
    size_t length = 0;
    ForEachCodePoint(text, [&](uint32_t cp) { length += Utf8Length(cp); });
    std::unique_ptr<uint8_t[]> utf8(new (std::nothrow) uint8_t[length]);
    if (!utf8) return false;
    uint8_t* out = utf8.get();
    ForEachCodePoint(text, [&](uint32_t cp) { out = PutUtf8(out, cp); });
    return Append(utf8.get(), length);
}

BufferBuilder& BufferBuilder::AppendWideTerminated(const wchar_t* text) {
    static const wchar_t kEmpty[] = L"";
    if (!text) text = kEmpty;
    if (!Append(text, (std::wcslen(text) + 1) * sizeof(wchar_t))) throw append_e();
    return *this;
}

bool BufferBuilder::Pad(size_t alignment) {
    size_t target = (total_ + alignment - 1) / alignment * alignment;
    return target == total_ || AppendZeros(target - total_);
}

void BufferBuilder::Reset() {
    if (!head_) return;
    FreeAfter(head_);
    tail_ = head_;
    used_ = 0;
    total_ = 0;
}

void BufferBuilder::CopyTo(void* destination) const {
    auto* out = static_cast<uint8_t*>(destination);
    for (Block* block = head_; block; block = block->next) {
        size_t bytes = block == tail_ ? used_ : blockSize_;
        std::memcpy(out, block->data(), bytes);
        out += bytes;
        if (block == tail_) break;
    }
}

void* BufferBuilder::TakeHeapBlock(size_t* size) const {
    if (size) *size = total_;
    if (!head_) return nullptr;
    void* copy = std::malloc(total_ ? total_ : 1);
    if (copy) CopyTo(copy);
    return copy;
}

std::vector<uint8_t> BufferBuilder::TakeBytes() const {
    std::vector<uint8_t> bytes;
    if (!head_) return bytes;
    bytes.resize(total_);
    CopyTo(bytes.data());
    return bytes;
}

std::string BufferBuilder::TakeString() const {
    std::string text;
    if (!head_) return text;
    text.resize(total_);
    CopyTo(text.data());
    return text;
}

bool BufferBuilder::CopyInto(ByteHolder& holder) const {
    if (!head_ || uint64_t(total_) >= (uint64_t(1) << 32)) {
        holder.Release();
        return false;
    }
    if (holder.size() != total_ || (total_ && !holder.data())) {
        if (!holder.Resize(total_)) return false;
    }
    if (total_) CopyTo(holder.data());
    return true;
}

BufferBuilderRandomAccess::BufferBuilderRandomAccess(size_t blockSize)
    : BufferBuilder(blockSize), readBlock_(head_), indexBlock_(head_) {
    if (head_) {
        try {
            index_.emplace(0, head_);
        } catch (const std::bad_alloc&) {
            BlockFree(head_);
            head_ = tail_ = readBlock_ = indexBlock_ = nullptr;
        }
    }
}

void BufferBuilderRandomAccess::Reset() {
    BufferBuilder::Reset();
    readBlock_ = indexBlock_ = head_;
    readStart_ = indexStart_ = 0;
    // Entries beyond the head name freed blocks.
    while (index_.size() > 1) index_.erase(std::prev(index_.end()));
}

size_t BufferBuilderRandomAccess::BlockCount() const {
    size_t count = 0;
    for (Block* block = head_; block; block = block->next) ++count;
    return count;
}

BufferBuilder::Block* BufferBuilderRandomAccess::LocateBlock(size_t offset, size_t& within) {
    if (!head_ || offset >= total_) return nullptr;
    if (offset >= readStart_) {
        if (offset - readStart_ < blockSize_) {
            within = offset - readStart_;
            return readBlock_;
        }
        if (offset - readStart_ < 2 * blockSize_) {
            if (!readBlock_->next) return nullptr;
            readBlock_ = readBlock_->next;
            readStart_ += blockSize_;
            within = offset - readStart_;
            return readBlock_;
        }
    }
    try {
        while (indexBlock_ != tail_ && indexBlock_->next) {
            indexBlock_ = indexBlock_->next;
            indexStart_ += blockSize_;
            index_.emplace(indexStart_, indexBlock_);
        }
    } catch (const std::bad_alloc&) {
        // The entry was not made; step back so that a later call enters it.
        indexStart_ -= blockSize_;
        auto found = index_.find(indexStart_);
        if (found == index_.end()) return nullptr;
        indexBlock_ = found->second;
    }
    size_t start = offset / blockSize_ * blockSize_;
    auto found = index_.find(start);
    if (found == index_.end()) return nullptr;
    readBlock_ = found->second;
    readStart_ = start;
    within = offset - start;
    return readBlock_;
}

BufferBuilderRandomAccess::Position BufferBuilderRandomAccess::Locate(size_t offset) {
    Position position;
    size_t within = 0;
    if (Block* block = LocateBlock(offset, within)) {
        position.block = block->data();
        position.offset = within;
    }
    return position;
}

bool BufferBuilderRandomAccess::WriteAt(size_t offset, const void* data, size_t bytes) {
    if (!data || !head_) return false;
    auto* in = static_cast<const uint8_t*>(data);
    if (offset > total_ && !AppendZeros(offset - total_)) return false;
    while (bytes > 0 && offset < total_) {
        size_t within = 0;
        Block* block = LocateBlock(offset, within);
        if (!block) return false;
        size_t end = block == tail_ ? used_ : blockSize_;
        size_t n = end - within;
        if (n > bytes) n = bytes;
        std::memcpy(block->data() + within, in, n);
        in += n;
        offset += n;
        bytes -= n;
    }
    return AppendRaw(in, bytes);
}

bool BufferBuilderRandomAccess::SetSize(size_t size) {
    if (!head_) return false;
    if (size == total_) return true;
    if (size > total_) return AppendZeros(size - total_);
    size_t within = 0;
    Block* block = LocateBlock(size, within);
    if (!block) return false;
    size_t start = size - within;
    tail_ = block;
    used_ = within;
    total_ = size;
    if (readStart_ > start) {
        readBlock_ = block;
        readStart_ = start;
    }
    index_.erase(index_.upper_bound(start), index_.end());
    if (indexStart_ > start) {
        indexBlock_ = block;
        indexStart_ = start;
    }
    FreeAfter(block);
    return true;
}

}  // namespace kwill
