#include "bindings/result_chunk.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <new>

namespace morvane::bindings {
namespace {

// Room for about a thousand results with findings; a result kept alone keeps at most this
// much mapped.
constexpr std::size_t kChunkBytes = std::size_t{256} << 10;

}  // namespace

void ResultChunk::release() {
  if (--references_ == 0) munmap(this, mapped_);
}

ChunkWriter::~ChunkWriter() {
  while (last_ != nullptr) {
    ResultChunk* previous = last_->previous_;
    last_->release();
    last_ = previous;
  }
}

ChunkWriter::Place ChunkWriter::reserve(std::size_t size) {
  // Blocks start at multiples of 8, and so do their texts (see validator::PackedResult).
  if (last_ != nullptr) last_->used_ = (last_->used_ + 7) / 8 * 8;
  if (last_ == nullptr || size > last_->mapped_ - sizeof(ResultChunk) - last_->used_) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    if (size > std::numeric_limits<std::size_t>::max() / 2) throw std::bad_alloc();
    const std::size_t mapped =
        std::max(kChunkBytes, (sizeof(ResultChunk) + size + page - 1) / page * page);
    void* memory =
        mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) throw std::bad_alloc();
    last_ = new (memory) ResultChunk(mapped, last_);
  }
  char* block = last_->bytes() + last_->used_;
  last_->used_ += size;
  return Place{block, last_};
}

}  // namespace morvane::bindings
