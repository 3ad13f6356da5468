#include "parser/stack_bound.h"

#include <pthread.h>

namespace morvane::parser {
namespace {

// The lowest usable address of the calling thread's stack, above any guard page; 0 when it
// cannot be found.
std::uintptr_t find_stack_low() {
  pthread_attr_t attributes;
  // For the main thread glibc reads /proc/self/maps here, hence the per-thread cache below.
  if (pthread_getattr_np(pthread_self(), &attributes) != 0) return 0;
  void* low = nullptr;
  std::size_t size = 0;
  const bool found = pthread_attr_getstack(&attributes, &low, &size) == 0;
  pthread_attr_destroy(&attributes);
  return found ? reinterpret_cast<std::uintptr_t>(low) : 0;
}

// The thread-specific value holding the low end of the calling thread's stack, made once per
// process; a thread that has not looked it up yet reads null.
struct StackLowKey {
  StackLowKey() : made(pthread_key_create(&key, nullptr) == 0) {}
  pthread_key_t key{};
  bool made;
};

std::uintptr_t current_stack_low() {
  static const StackLowKey low;
  if (!low.made) return find_stack_low();
  if (void* known = pthread_getspecific(low.key)) return reinterpret_cast<std::uintptr_t>(known);
  const std::uintptr_t found = find_stack_low();
  // A failed store leaves the thread to look again on its next call.
  if (found != 0) pthread_setspecific(low.key, reinterpret_cast<void*>(found));
  return found;
}

}  // namespace

StackBound StackBound::of_current_thread(std::size_t reserve) {
  const std::uintptr_t low = current_stack_low();
  // Below the low end the caller runs on a stack of its own; above the thread's stack the
  // bound lies below it and is never reached.
  if (low == 0 || stack_pointer() < low) return StackBound();
  return StackBound(low + reserve);
}

}  // namespace morvane::parser
