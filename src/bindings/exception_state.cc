#include "bindings/exception_state.h"

#include <cxxabi.h>
#include <pthread.h>

#include <cstddef>
#include <cstdlib>

namespace morvane::bindings {
namespace {

// The memory asked for, and given back, before the thread-local allocation: far more than that
// allocation takes, and below the size whose release lets the allocator return memory to the
// system, so that it stays in the thread's arena for the allocation that follows.
constexpr std::size_t kProbeSize = std::size_t{16} << 10;

// The thread-specific value marking a thread whose state is made, made once per process; a
// thread that has not made it reads null. Thread-specific data, not thread_local, since a
// thread_local of this library is allocated lazily just the same.
struct MadeKey {
  MadeKey() : made(pthread_key_create(&key, nullptr) == 0) {}
  pthread_key_t key{};
  bool made;
};

bool make_now() {
  void* probe = std::malloc(kProbeSize);
  if (probe == nullptr) return false;
  // A block only tested and freed may be elided, the compiler assuming malloc succeeds; the
  // empty asm that takes it keeps the allocation.
  asm volatile("" : : "r"(probe) : "memory");
  std::free(probe);
  // The runtime declares __cxa_get_globals const, so a call whose result goes unused would be
  // dropped; the empty asm takes the result, which keeps the call.
  abi::__cxa_eh_globals* const globals = abi::__cxa_get_globals();
  asm volatile("" : : "r"(globals));
  return true;
}

}  // namespace

bool make_exception_state() noexcept {
  static const MadeKey state;
  if (state.made && pthread_getspecific(state.key) != nullptr) return true;
  if (!make_now()) return false;
  // A failed store leaves the thread to make it again, at no harm, on its next call.
  if (state.made) pthread_setspecific(state.key, &state);
  return true;
}

}  // namespace morvane::bindings
