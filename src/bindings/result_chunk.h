// Pages of packed validation results (validator::PackedResult blocks), shared by the results
// they hold: where a batch's threads put the results they make, and where the results' objects
// then point, so that making an object copies nothing.
//
// A chunk comes straight from the kernel and goes back to it with its last reference, on
// whichever thread: no block is made by one thread's heap and freed into it by another, and a
// batch leaves nothing resident in the allocator's heaps. Each result object holds a reference
// to its chunk, and the batch holds one until its objects are made. The count is a plain
// integer: it changes only while one batch alone holds the chunk, or under the interpreter
// lock.
//
// Python-free.
#pragma once

#include <cstddef>

namespace morvane::bindings {

class ResultChunk {
 public:
  ResultChunk(const ResultChunk&) = delete;
  ResultChunk& operator=(const ResultChunk&) = delete;

  void acquire() { ++references_; }
  // Drops a reference; the last one unmaps the chunk.
  void release();

 private:
  friend class ChunkWriter;
  ResultChunk(std::size_t mapped, ResultChunk* previous)
      : mapped_(mapped), previous_(previous) {}

  char* bytes() { return reinterpret_cast<char*>(this + 1); }

  std::size_t references_ = 1;  // the writer's
  std::size_t used_ = 0;        // bytes of blocks after the header
  std::size_t mapped_;          // the whole mapping, this header included
  ResultChunk* previous_;       // the writer's chunk before this one
};

// Places blocks one after another in chunks of its own, starting a new chunk when one is full.
// It holds a reference to each chunk it made and drops them all when destroyed.
class ChunkWriter {
 public:
  ChunkWriter() = default;
  ~ChunkWriter();
  ChunkWriter(const ChunkWriter&) = delete;
  ChunkWriter& operator=(const ChunkWriter&) = delete;

  struct Place {
    char* block;
    ResultChunk* chunk;
  };
  // Room for a block of `size` bytes, its content unspecified. std::bad_alloc when the kernel
  // gives no more memory.
  Place reserve(std::size_t size);

 private:
  ResultChunk* last_ = nullptr;
};

}  // namespace morvane::bindings
