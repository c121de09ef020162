#include "platform/store/memory_store.h"

#include <algorithm>
#include <cstdlib>
#include <new>

CMemoryStoreManager::CMemoryStoreManager(uint64_t block_size, uint64_t initial_block_count)
    : initial_blocks_(initial_block_count), block_size_(block_size) {}

CMemoryStoreManager::~CMemoryStoreManager() {
  while (chunks_ != nullptr) {
    ChunkHeader* next = chunks_->next;
    std::free(chunks_);
    chunks_ = next;
  }
}

uint64_t CMemoryStoreManager::BlockStride() const {
  constexpr uint64_t kAlign = alignof(FreeBlock);
  const uint64_t size = std::max<uint64_t>(block_size_, sizeof(FreeBlock));
  return (size + kAlign - 1) / kAlign * kAlign;
}

uint64_t CMemoryStoreManager::ChunkBytes(uint64_t blocks) const {
  const uint64_t stride = BlockStride();
  if (blocks == 0 || blocks > (UINT64_MAX - sizeof(ChunkHeader)) / stride) return 0;
  return stride * blocks + sizeof(ChunkHeader);
}

uint64_t CMemoryStoreManager::NextChunkBlocks() const {
  if (last_chunk_blocks_ == 0) return initial_blocks_;
  const uint64_t bound = std::max<uint64_t>(1, kMemoryStoreMaxChunkBytes / BlockStride());
  if (last_chunk_blocks_ >= bound) return last_chunk_blocks_;
  return std::min(last_chunk_blocks_ * 2, bound);
}

void* CMemoryStoreManager::AllocateChunk(size_t bytes) { return std::malloc(bytes); }

bool CMemoryStoreManager::AddChunk() {
  const uint64_t blocks = NextChunkBlocks();
  const uint64_t bytes = ChunkBytes(blocks);
  if (bytes == 0 || bytes > SIZE_MAX) return false;
  auto* chunk = static_cast<ChunkHeader*>(AllocateChunk(static_cast<size_t>(bytes)));
  if (chunk == nullptr) return false;
  chunk->next = chunks_;
  chunks_ = chunk;
  ++chunk_count_;
  total_bytes_ += bytes;
  fresh_ = reinterpret_cast<unsigned char*>(chunk) + sizeof(ChunkHeader);
  fresh_left_ = blocks;
  last_chunk_blocks_ = blocks;
  return true;
}

void* CMemoryStoreManager::Alloc() {
  Lock();
  void* block = nullptr;
  if (fresh_left_ > 0 || (free_head_ == nullptr && AddChunk())) {
    block = fresh_;
    fresh_ += BlockStride();
    --fresh_left_;
  } else if (free_head_ != nullptr) {
    block = free_head_;
    free_head_ = free_head_->next;
    if (free_head_ == nullptr) free_tail_ = nullptr;
  }
  Unlock();
  return block;
}

void CMemoryStoreManager::Free(void* payload) {
  if (payload == nullptr) return;
  Lock();
  // The block's record is dead; its first bytes now hold the free-list link.
  auto* block = new (payload) FreeBlock{nullptr};
  if (free_tail_ == nullptr) {
    free_head_ = block;
  } else {
    free_tail_->next = block;
  }
  free_tail_ = block;
  Unlock();
}
