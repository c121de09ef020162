#include "platform/store/memory_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "platform/store/xml_document.h"

namespace {

// Records every chunk request and can refuse them.
class RecordingPool : public CMemoryStoreManager {
 public:
  RecordingPool(uint64_t block_size, uint64_t initial) : CMemoryStoreManager(block_size, initial) {}
  void Lock() override { ++locks; }
  void Unlock() override { ++unlocks; }

  std::vector<size_t> chunk_bytes;
  bool refuse = false;
  int locks = 0;
  int unlocks = 0;

 protected:
  void* AllocateChunk(size_t bytes) override {
    if (refuse) return nullptr;
    chunk_bytes.push_back(bytes);
    return CMemoryStoreManager::AllocateChunk(bytes);
  }
};

TEST(MemoryStoreTest, ChunkBlockCountsDoubleFromTheInitialCount) {
  RecordingPool pool(sizeof(_XML_NODE), 8);
  const size_t block = sizeof(_XML_NODE) + 16;
  // Alloc number -> chunks that exist after it.
  const struct {
    int alloc;
    size_t chunks;
  } steps[] = {{1, 1}, {8, 1}, {9, 2}, {24, 2}, {25, 3}, {56, 3}, {57, 4}};
  int done = 0;
  for (const auto& step : steps) {
    for (; done < step.alloc; ++done) ASSERT_NE(pool.Alloc(), nullptr);
    EXPECT_EQ(pool.chunk_bytes.size(), step.chunks) << "after alloc " << step.alloc;
  }
  EXPECT_EQ(pool.chunk_bytes, (std::vector<size_t>{block * 8 + 16, block * 16 + 16, block * 32 + 16,
                                                   block * 64 + 16}));
  EXPECT_EQ(pool.LastChunkBlockCount(), 64u);
}

TEST(MemoryStoreTest, FreedBlocksComeBackAfterTheFreeOnesInFreeingOrder) {
  RecordingPool pool(24, 2);
  void* a = pool.Alloc();
  void* b = pool.Alloc();
  void* c = pool.Alloc();  // second chunk of 4: three blocks stay free
  ASSERT_NE(c, nullptr);
  pool.Free(a);
  pool.Free(b);
  std::vector<void*> next;
  for (int i = 0; i < 5; ++i) next.push_back(pool.Alloc());
  EXPECT_EQ(pool.chunk_bytes.size(), 2u) << "no new chunk while freed blocks remain";
  EXPECT_EQ(next[3], a);
  EXPECT_EQ(next[4], b);
  EXPECT_EQ(std::set<void*>(next.begin(), next.end()).size(), 5u);
  EXPECT_EQ(next[1], static_cast<char*>(next[0]) + 24 + 16) << "blocks of a chunk in address order";
}

TEST(MemoryStoreTest, RefusedChunkLeavesThePoolUsable) {
  RecordingPool pool(16, 1);
  ASSERT_NE(pool.Alloc(), nullptr);
  pool.refuse = true;
  EXPECT_EQ(pool.Alloc(), nullptr);
  EXPECT_EQ(pool.ChunkCount(), 1u);
  EXPECT_EQ(pool.LastChunkBlockCount(), 1u);
  pool.refuse = false;
  ASSERT_NE(pool.Alloc(), nullptr);
  EXPECT_EQ(pool.chunk_bytes.back(), (16u + 16u) * 2 + 16) << "the refused size is asked again";
  EXPECT_EQ(pool.locks, pool.unlocks) << "every path unlocks";
  EXPECT_EQ(pool.locks, 3);
}

TEST(MemoryStoreTest, PayloadsAreAlignedAndDistinctForOddBlockSizes) {
  RecordingPool pool(13, 3);
  std::set<void*> seen;
  for (int i = 0; i < 40; ++i) {
    void* p = pool.Alloc();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % alignof(void*), 0u);
    std::memset(p, 0xAB, 13);  // ASan catches writes past a block
    seen.insert(p);
  }
  EXPECT_EQ(seen.size(), 40u);
}

TEST(MemoryStoreTest, TypedPoolHandsOutNodesAndLocksAroundFree) {
  CMemoryStoreTemplate<_XML_NODE, RecordingPool> pool(8);
  std::vector<_XML_NODE*> nodes;
  for (int i = 0; i < 8; ++i) nodes.push_back(pool.Alloc());
  EXPECT_EQ(pool.BlockSize(), sizeof(_XML_NODE));
  pool.Free(nodes[5]);
  EXPECT_EQ(pool.Alloc(), nodes[5]) << "the freed block before a new chunk";
  EXPECT_EQ(pool.ChunkCount(), 1u);
  EXPECT_EQ(pool.locks, 10);
  EXPECT_EQ(pool.unlocks, 10);
}

}  // namespace
