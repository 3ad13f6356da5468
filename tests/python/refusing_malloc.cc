// An allocator that the memory tests load ahead of the C library (LD_PRELOAD): while refusal is
// on, malloc returns null to every thread but the one that turned it on, as when memory has run
// out; otherwise it is the C library's. The C library's own thread-local allocations go through
// it too, which is what the tests need: a thread-local block asked for while refusal is on makes
// the C library abort the process.
#include <pthread.h>

#include <atomic>
#include <cstddef>

extern "C" void* __libc_malloc(std::size_t size) noexcept;

namespace {

std::atomic<bool> refusing{false};
pthread_t keeper;  // written before refusing is set, so read only after it is seen set

}  // namespace

extern "C" {

// Turns refusal on (nonzero) for the threads other than the calling one, or off.
void refuse_other_threads(int on) {
  if (on != 0) keeper = pthread_self();
  refusing.store(on != 0, std::memory_order_release);
}

void* malloc(std::size_t size) noexcept {
  if (refusing.load(std::memory_order_acquire) && !pthread_equal(pthread_self(), keeper)) {
    return nullptr;
  }
  return __libc_malloc(size);
}

}  // extern "C"
