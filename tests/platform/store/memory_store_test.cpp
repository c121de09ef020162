#include "platform/store/memory_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "platform/store/xml_document.h"

namespace {

// A chunk holds one link in front of its blocks; blocks carry nothing extra.
constexpr size_t kChunkHeader = sizeof(void*);
constexpr unsigned char kFill = 0xA5;

// Records every chunk request, can refuse them, and fills new chunks with a
// pattern so that writes by the pool show.
class RecordingPool : public CMemoryStoreManager {
 public:
  RecordingPool(uint64_t block_size, uint64_t initial) : CMemoryStoreManager(block_size, initial) {}
  void Lock() override { ++locks; }
  void Unlock() override { ++unlocks; }

  std::vector<size_t> chunk_bytes;
  std::vector<unsigned char*> chunks;
  bool refuse = false;
  int locks = 0;
  int unlocks = 0;

 protected:
  void* AllocateChunk(size_t bytes) override {
    if (refuse) return nullptr;
    void* chunk = CMemoryStoreManager::AllocateChunk(bytes);
    if (chunk != nullptr) std::memset(chunk, kFill, bytes);
    chunk_bytes.push_back(bytes);
    chunks.push_back(static_cast<unsigned char*>(chunk));
    return chunk;
  }
};

TEST(MemoryStoreTest, ChunkBlockCountsDoubleFromTheInitialCount) {
  RecordingPool pool(sizeof(_XML_NODE), 8);
  const size_t block = sizeof(_XML_NODE);
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
  EXPECT_EQ(pool.chunk_bytes,
            (std::vector<size_t>{block * 8 + kChunkHeader, block * 16 + kChunkHeader,
                                 block * 32 + kChunkHeader, block * 64 + kChunkHeader}));
  EXPECT_EQ(pool.LastChunkBlockCount(), 64u);
  EXPECT_EQ(pool.TotalChunkBytes(), block * 120 + 4 * kChunkHeader);
}

TEST(MemoryStoreTest, ChunkGrowthStopsAtTheSizeBound) {
  // A multiple of the pointer size, so that ten blocks fit the bound.
  const uint64_t tenth = kMemoryStoreMaxChunkBytes / 10 / sizeof(void*) * sizeof(void*);
  const struct {
    const char* what;
    uint64_t block_size;
    uint64_t initial;
    std::vector<uint64_t> blocks;  // block count of each chunk made
  } cases[] = {
      {"doubling stops at the bound", tenth, 1, {1, 2, 4, 8, 10, 10, 10}},
      {"a first chunk above the bound is kept", kMemoryStoreMaxChunkBytes / 2, 3, {3, 3, 3}},
      {"blocks larger than the bound come one per chunk", kMemoryStoreMaxChunkBytes * 2, 1, {1, 1}},
  };
  for (const auto& c : cases) {
    RecordingPool pool(c.block_size, c.initial);
    std::vector<uint64_t> made;
    while (made.size() < c.blocks.size()) {
      const size_t chunks = pool.chunk_bytes.size();
      ASSERT_NE(pool.Alloc(), nullptr) << c.what;
      if (pool.chunk_bytes.size() != chunks) made.push_back(pool.LastChunkBlockCount());
    }
    EXPECT_EQ(made, c.blocks) << c.what;
    EXPECT_EQ(pool.chunk_bytes.back(), pool.ChunkBytes(c.blocks.back())) << c.what;
  }
}

TEST(MemoryStoreTest, BlocksAreNotWrittenBeforeTheyAreHandedOut) {
  RecordingPool pool(64, 1000);
  unsigned char* first = static_cast<unsigned char*>(pool.Alloc());
  ASSERT_EQ(pool.chunks.size(), 1u);
  unsigned char* chunk = pool.chunks[0];
  ASSERT_EQ(first, chunk + kChunkHeader) << "the first block follows the chunk's link";
  const size_t end = pool.chunk_bytes[0];
  for (int i = 0; i < 10; ++i) ASSERT_NE(pool.Alloc(), nullptr);
  size_t touched = 0;
  for (size_t i = kChunkHeader; i < end; ++i) touched += chunk[i] != kFill ? 1 : 0;
  EXPECT_EQ(touched, 0u) << "making the chunk and handing out blocks wrote into them";
  pool.Free(first);
  EXPECT_EQ(std::count(chunk + kChunkHeader + 64, chunk + end, kFill),
            static_cast<std::ptrdiff_t>(end - kChunkHeader - 64))
      << "freeing writes only into the freed block";
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
  EXPECT_EQ(next[1], static_cast<char*>(next[0]) + 24) << "blocks of a chunk in address order";
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
  EXPECT_EQ(pool.chunk_bytes.back(), 16u * 2 + kChunkHeader) << "the refused size is asked again";
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
