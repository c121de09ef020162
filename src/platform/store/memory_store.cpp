#include "platform/store/memory_store.h"

#include <cstdlib>

CMemoryStoreManager::CMemoryStoreManager(uint64_t block_size, uint64_t initial_block_count)
    : initial_blocks_(initial_block_count), block_size_(block_size) {
  InitHead(&free_);
  InitHead(&used_);
  InitHead(&chunks_);
}

CMemoryStoreManager::~CMemoryStoreManager() {
  while (!Empty(&chunks_)) {
    Link* last = chunks_.prev;
    Unlink(last);
    std::free(last);
  }
}

void CMemoryStoreManager::Unlink(Link* link) {
  link->prev->next = link->next;
  link->next->prev = link->prev;
}

void CMemoryStoreManager::LinkTail(Link* head, Link* link) {
  link->next = head;
  link->prev = head->prev;
  head->prev->next = link;
  head->prev = link;
}

uint64_t CMemoryStoreManager::BlockStride() const {
  constexpr uint64_t kAlign = alignof(Link);
  return kLinkSize + (block_size_ + kAlign - 1) / kAlign * kAlign;
}

uint64_t CMemoryStoreManager::ChunkBytes(uint64_t blocks) const {
  const uint64_t stride = BlockStride();
  if (blocks == 0 || blocks > (UINT64_MAX - kLinkSize) / stride) return 0;
  return stride * blocks + kLinkSize;
}

uint64_t CMemoryStoreManager::ChunkCount() const {
  uint64_t count = 0;
  for (const Link* c = chunks_.next; c != &chunks_; c = c->next) ++count;
  return count;
}

void* CMemoryStoreManager::AllocateChunk(size_t bytes) { return std::malloc(bytes); }

bool CMemoryStoreManager::AddChunk() {
  if (last_chunk_blocks_ > UINT64_MAX / 2) return false;
  const uint64_t blocks = last_chunk_blocks_ == 0 ? initial_blocks_ : last_chunk_blocks_ * 2;
  const uint64_t bytes = ChunkBytes(blocks);
  if (bytes == 0 || bytes > SIZE_MAX) return false;
  auto* chunk = static_cast<Link*>(AllocateChunk(static_cast<size_t>(bytes)));
  if (chunk == nullptr) return false;
  LinkTail(&chunks_, chunk);
  auto* base = reinterpret_cast<unsigned char*>(chunk) + kLinkSize;
  const uint64_t stride = BlockStride();
  for (uint64_t i = 0; i < blocks; ++i) {
    LinkTail(&free_, reinterpret_cast<Link*>(base + i * stride));
  }
  last_chunk_blocks_ = blocks;
  return true;
}

void* CMemoryStoreManager::Alloc() {
  Lock();
  if (Empty(&free_) && !AddChunk()) {
    Unlock();
    return nullptr;
  }
  Link* block = free_.next;
  Unlink(block);
  LinkTail(&used_, block);
  Unlock();
  return reinterpret_cast<unsigned char*>(block) + kLinkSize;
}

void CMemoryStoreManager::Free(void* payload) {
  if (payload == nullptr) return;
  Lock();
  auto* block = reinterpret_cast<Link*>(static_cast<unsigned char*>(payload) - kLinkSize);
  Unlink(block);
  LinkTail(&free_, block);
  Unlock();
}
