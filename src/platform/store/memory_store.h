#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

// Largest chunk the pool asks for. Chunk block counts double from the initial
// count until a chunk would pass this size and then stay there, so a big
// structure never waits on (or leaves half unused) one huge allocation.
inline constexpr uint64_t kMemoryStoreMaxChunkBytes = uint64_t{1} << 20;

// Fixed-size block pool: blocks are carved from a few chunks whose block counts
// double (initial, 2x, 4x, ... up to the size bound above), so a structure of
// many small records costs few heap allocations and is released at once with
// the pool. Blocks carry no header, and a chunk's blocks are not written until
// they are handed out, so untouched pages of a fresh chunk cost no memory.
// Freed blocks are handed out again after the blocks that were already free,
// in the order they were freed.
class CMemoryStoreManager {
 public:
  CMemoryStoreManager(uint64_t block_size, uint64_t initial_block_count);
  virtual ~CMemoryStoreManager();
  CMemoryStoreManager(const CMemoryStoreManager&) = delete;
  CMemoryStoreManager& operator=(const CMemoryStoreManager&) = delete;

  // Called around every Alloc and Free; a derived pool overrides them to make
  // itself thread-safe. Both do nothing here.
  virtual void Lock() {}
  virtual void Unlock() {}

  // A payload of block-size bytes (not cleared), or null when a needed chunk
  // cannot be allocated (the pool is then unchanged).
  [[nodiscard]] void* Alloc();
  // Returns a payload obtained from Alloc of this pool.
  void Free(void* payload);

  [[nodiscard]] uint64_t ChunkCount() const { return chunk_count_; }
  // Heap bytes of all chunks together.
  [[nodiscard]] uint64_t TotalChunkBytes() const { return total_bytes_; }
  [[nodiscard]] uint64_t LastChunkBlockCount() const { return last_chunk_blocks_; }
  [[nodiscard]] uint64_t BlockSize() const { return block_size_; }
  // Distance between two blocks of a chunk: the block size rounded up so that
  // every block stays pointer-aligned (and can hold the free-list link).
  [[nodiscard]] uint64_t BlockStride() const;
  // Heap bytes of a chunk of n blocks (0 when that does not fit in 64 bits).
  [[nodiscard]] uint64_t ChunkBytes(uint64_t blocks) const;

 protected:
  // Heap seam for chunks. Chunks are released with std::free, so an override
  // either refuses (null) or returns storage from std::malloc.
  virtual void* AllocateChunk(size_t bytes);

 private:
  // Start of every chunk: the chunk list, newest first.
  struct ChunkHeader {
    ChunkHeader* next;
  };
  // What a free block holds: the next block of the free list.
  struct FreeBlock {
    FreeBlock* next;
  };

  [[nodiscard]] uint64_t NextChunkBlocks() const;
  [[nodiscard]] bool AddChunk();

  ChunkHeader* chunks_ = nullptr;
  uint64_t chunk_count_ = 0;
  uint64_t total_bytes_ = 0;
  // Blocks of the newest chunk never handed out: they come first.
  unsigned char* fresh_ = nullptr;
  uint64_t fresh_left_ = 0;
  // Freed blocks in the order they were freed.
  FreeBlock* free_head_ = nullptr;
  FreeBlock* free_tail_ = nullptr;
  uint64_t initial_blocks_;
  uint64_t last_chunk_blocks_ = 0;
  uint64_t block_size_;
};

// The typed pool: blocks of one T each. T must be a plain record (it is never
// constructed or destroyed by the pool).
template <typename T, typename Base>
class CMemoryStoreTemplate : public Base {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
  static_assert(alignof(T) <= alignof(void*));

 public:
  explicit CMemoryStoreTemplate(uint64_t initial_block_count)
      : Base(sizeof(T), initial_block_count) {}
  ~CMemoryStoreTemplate() override = default;

  [[nodiscard]] T* Alloc() { return static_cast<T*>(Base::Alloc()); }
  void Free(T* block) { Base::Free(block); }
};
