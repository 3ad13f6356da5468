#include "parser/stack_bound.h"

#include <pthread.h>

#include <optional>

namespace morvane::parser {
namespace {

struct Extent {
  std::uintptr_t low;   // the lowest usable address, above any guard page
  std::uintptr_t high;  // one past the highest
};

std::optional<Extent> find_extent() {
  pthread_attr_t attributes;
  // For the main thread glibc reads /proc/self/maps here, hence the per-thread cache.
  if (pthread_getattr_np(pthread_self(), &attributes) != 0) return std::nullopt;
  void* low = nullptr;
  std::size_t size = 0;
  const bool found = pthread_attr_getstack(&attributes, &low, &size) == 0 && low != nullptr;
  pthread_attr_destroy(&attributes);
  if (!found) return std::nullopt;
  const auto begin = reinterpret_cast<std::uintptr_t>(low);
  return Extent{begin, begin + size};
}

// The two thread-specific values holding the calling thread's extent, made once per process.
// A thread that has not looked its extent up yet reads null from both.
struct ExtentKeys {
  ExtentKeys() {
    made = pthread_key_create(&low, nullptr) == 0;
    if (made && pthread_key_create(&high, nullptr) != 0) {
      pthread_key_delete(low);
      made = false;
    }
  }
  pthread_key_t low{};
  pthread_key_t high{};
  bool made = false;
};

std::optional<Extent> current_extent() {
  static const ExtentKeys keys;
  if (!keys.made) return find_extent();
  const auto low = reinterpret_cast<std::uintptr_t>(pthread_getspecific(keys.low));
  if (low != 0) {
    return Extent{low, reinterpret_cast<std::uintptr_t>(pthread_getspecific(keys.high))};
  }
  const std::optional<Extent> extent = find_extent();
  // A failed store leaves the thread to look again on its next call.
  if (extent && pthread_setspecific(keys.high, reinterpret_cast<void*>(extent->high)) == 0) {
    pthread_setspecific(keys.low, reinterpret_cast<void*>(extent->low));
  }
  return extent;
}

}  // namespace

StackBound StackBound::of_current_thread() {
  const std::optional<Extent> extent = current_extent();
  const auto here = stack_pointer();
  if (!extent || here < extent->low || here >= extent->high) return StackBound();
  return StackBound(extent->low + kStackReserve);
}

}  // namespace morvane::parser
