// ChunkWriter and ResultChunk: blocks never overlap, a block larger than a chunk gets one of its
// own, and a chunk stays mapped while a reference outlives its writer.
#include "bindings/result_chunk.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <vector>

namespace morvane::bindings {
namespace {

struct Written {
  const char* block;
  std::size_t size;
  char fill;
};

bool holds(const Written& written) {
  for (std::size_t i = 0; i < written.size; ++i) {
    if (written.block[i] != written.fill) return false;
  }
  return true;
}

TEST(ChunkWriter, BlocksKeepTheirBytesAndOutliveTheWriter) {
  std::vector<Written> blocks;
  ResultChunk* kept = nullptr;
  Written kept_block{};
  {
    ChunkWriter writer;
    // Sizes from empty to past a chunk, so that chunks fill up and one block needs its own.
    const std::size_t sizes[] = {0, 1, 16, 300, 4096, 70000, 1 << 20, 5, 250000};
    for (int round = 0; round < 40; ++round) {
      for (std::size_t size : sizes) {
        const ChunkWriter::Place place = writer.reserve(size);
        ASSERT_NE(place.chunk, nullptr);
        const char fill = static_cast<char>(blocks.size() % 251 + 1);
        std::memset(place.block, fill, size);
        blocks.push_back({place.block, size, fill});
        if (size == (1 << 20) && kept == nullptr) {
          kept = place.chunk;
          kept->acquire();
          kept_block = blocks.back();
        }
      }
    }
    for (const Written& written : blocks) ASSERT_TRUE(holds(written)) << written.size;
  }
  ASSERT_NE(kept, nullptr);
  EXPECT_TRUE(holds(kept_block));  // the writer's chunks are gone, but not the one still held
  kept->release();
}

}  // namespace
}  // namespace morvane::bindings
