#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

// Fixed-size block pool: blocks are carved from a few chunks whose block counts
// double (initial, 2x, 4x, ...), so a structure of many small records costs a
// logarithmic number of heap allocations and is released at once with the pool.
// Freed blocks are handed out again after the blocks that were already free, in
// the order they were freed.
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

  [[nodiscard]] uint64_t ChunkCount() const;
  [[nodiscard]] uint64_t LastChunkBlockCount() const { return last_chunk_blocks_; }
  [[nodiscard]] uint64_t BlockSize() const { return block_size_; }
  // Heap bytes of a chunk of n blocks (0 when that does not fit in 64 bits).
  [[nodiscard]] uint64_t ChunkBytes(uint64_t blocks) const;

 protected:
  // Heap seam for chunks. Chunks are released with std::free, so an override
  // either refuses (null) or returns storage from std::malloc.
  virtual void* AllocateChunk(size_t bytes);

 private:
  struct Link {
    Link* next;
    Link* prev;
  };
  static constexpr size_t kLinkSize = sizeof(Link);

  static void InitHead(Link* head) { head->next = head->prev = head; }
  static bool Empty(const Link* head) { return head->next == head; }
  static void Unlink(Link* link);
  static void LinkTail(Link* head, Link* link);
  [[nodiscard]] bool AddChunk();
  // Distance between blocks: the link pair and the payload rounded up so that
  // every link stays pointer-aligned.
  [[nodiscard]] uint64_t BlockStride() const;

  Link free_;
  Link used_;
  Link chunks_;
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
